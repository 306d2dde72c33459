// Payload rate of the instrument link at 115200 baud, against the line rate and against ZMODEM
// (sz/rz) on the same paced line, measured in the same run. Run through bench/run.
//
// The link writes a file with "FWT " and reads it back with "FRD? " in 256-byte blocks, one block
// in flight, exactly as the program's sender and receiver do. ZMODEM runs between two
// pseudo-terminals joined by a relay that holds every byte back to the line rate in each direction.

#include "bench/PacedRelay.h"
#include "link/PexLink.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtEndian>
#include <chrono>
#include <cstdio>
#include <unistd.h>

using namespace orvalt::link;
using orvalt::bench::openPty;
using orvalt::bench::Pty;

namespace {

constexpr qint64 kBaud = 115200;
constexpr double kLineRate = kBaud / 10.0; // bytes a second, 8N1
constexpr int kBlock = 256;

struct Options
{
    qint64 size = 1024 * 1024;
    double noise = 0.0; // probability of a damaged byte, each way
    bool zmodem = true;
};

struct Row
{
    QString what;
    double seconds = 0;
    qint64 bytes = 0;
    bool ok = false;
    QString note;
};

QByteArray testData(qint64 size)
{
    QByteArray data(size, '\0');
    QRandomGenerator random(7350);
    for (qint64 i = 0; i < size; ++i)
        data[i] = static_cast<char>(random.bounded(256));
    return data;
}

// ---------------------------------------------------------------------------------------------
// The link against orvalt-instrument.

class Instrument
{
public:
    explicit Instrument(const QStringList& extra)
    {
        for (const char* medium : {"M", "1", "2", "D"})
            QDir(m_media.path()).mkpath(QLatin1String(medium));
        QStringList args{QStringLiteral("--media"), m_media.path(), QStringLiteral("--baud"),
                         QString::number(kBaud)};
        m_process.start(QStringLiteral(ORVALT_INSTRUMENT_PATH), args + extra);
        if (m_process.waitForStarted(5000)) {
            while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
            }
            m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        }
    }
    ~Instrument()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }
    QString device() const { return m_device; }
    QString mediumFile(const QString& name) const { return m_media.filePath(QStringLiteral("M/") + name); }

private:
    QTemporaryDir m_media;
    QProcess m_process;
    QString m_device;
};

bool openLink(PexLink& link, const QString& device)
{
    PexOpenRecord record;
    record.baud = 4; // 115200
    if (link.PexOpen(record) != 0)
        return false;
    link.PexRetry(1);
    return link.PexSetTimeOut(6000) == 0 && !device.isEmpty();
}

// What the program's sender does: command line, length header, the blocks, each acknowledged,
// then "DUMMY".
Row linkWrite(PexLink& link, const QByteArray& data)
{
    Row row{QStringLiteral("link write (FWT, 256-byte blocks)"), 0, data.size(), false, {}};
    QElapsedTimer timer;
    timer.start();
    auto step = [&link](qint32 type, const QByteArray& bytes) {
        qint32 length = static_cast<qint32>(bytes.size());
        if (link.PexSendData(type, length, bytes.constData()) != 0)
            return false;
        char ack[kBlock];
        qint32 ackType = 0;
        qint32 ackLength = 0;
        return link.PexReceiveData(ackType, ackLength, ack, kBlock) == 0 && ackType != 9;
    };
    char header[4];
    qToBigEndian(static_cast<quint32>(data.size()), header);
    bool ok = step(0, "FWT 0,/BENCH.DAT,") && step(0, QByteArray(header, 4));
    for (qint64 offset = 0; ok && offset < data.size(); offset += kBlock) {
        const bool last = offset + kBlock >= data.size();
        ok = step(last ? 1 : 0, data.mid(offset, kBlock));
    }
    QByteArray reply(128, ' ');
    const qint32 dummy = link.PexSendCommand("DUMMY", reply);
    row.seconds = timer.nsecsElapsed() / 1e9;
    row.ok = ok && dummy == 0;
    if (!row.ok)
        row.note = link.errorString();
    return row;
}

// What the program's receiver does: "FRD? " as a type-3 block, then type-4 requests until type 7.
Row linkRead(PexLink& link, const QByteArray& expected)
{
    Row row{QStringLiteral("link read (FRD?, 256-byte blocks)"), 0, expected.size(), false, {}};
    QByteArray reply(256, ' ');
    link.PexSendCommand("CDR /", reply);
    QElapsedTimer timer;
    timer.start();
    QByteArray received;
    bool first = true;
    bool ok = false;
    for (;;) {
        QByteArray request = first ? QByteArray("FRD? BENCH.DAT") : QByteArray();
        qint32 type = first ? 3 : 4;
        qint32 length = static_cast<qint32>(request.size());
        if (link.PexSendData(type, length, request.constData()) != 0)
            break;
        char buffer[kBlock];
        qint32 answerType = 0;
        qint32 answerLength = 0;
        if (link.PexReceiveData(answerType, answerLength, buffer, kBlock) != 0 || answerType == 9)
            break;
        received.append(buffer + (first ? 4 : 0), answerLength - (first ? 4 : 0));
        first = false;
        if (answerType == 7) {
            ok = true;
            break;
        }
    }
    row.seconds = timer.nsecsElapsed() / 1e9;
    row.ok = ok && received == expected;
    if (!row.ok)
        row.note = ok ? QStringLiteral("data differ") : link.errorString();
    return row;
}

QList<Row> runLink(const QByteArray& data, double noise, const QString& label)
{
    QStringList extra;
    if (noise > 0) {
        // The instrument damages bytes both ways: half flipped, half lost.
        extra << QStringLiteral("--corrupt") << QString::number(noise / 2) << QStringLiteral("--drop")
              << QString::number(noise / 2);
    }
    Instrument instrument(extra);
    const QString device = instrument.device();
    PexLink link([&device](int) { return device; });
    if (!openLink(link, device))
        return {Row{QStringLiteral("link") + label, 0, 0, false, link.errorString()}};
    Row write = linkWrite(link, data);
    const quint64 afterWrite = link.retransmissions();
    Row read = linkRead(link, data);
    write.what += label;
    read.what += label;
    write.note += QStringLiteral(" %1 repeats").arg(afterWrite);
    read.note += QStringLiteral(" %1 repeats").arg(link.retransmissions() - afterWrite);
    link.PexClose();
    return {write, read};
}

// ---------------------------------------------------------------------------------------------
// ZMODEM over two pseudo-terminals and a paced relay.

Row runZmodem(const QByteArray& data, double noise, const QString& label)
{
    Row row{QStringLiteral("ZMODEM sz -> rz") + label, 0, data.size(), false, {}};
    QTemporaryDir work;
    QDir(work.path()).mkpath(QStringLiteral("in"));
    const QString source = work.filePath(QStringLiteral("BENCH.DAT"));
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
            row.note = QStringLiteral("cannot write %1").arg(source);
            return row;
        }
    }
    Pty a;
    Pty b;
    if (!openPty(a) || !openPty(b)) {
        row.note = QStringLiteral("no pseudo-terminal");
        return row;
    }
    orvalt::bench::PacedRelay relay(a.master, b.master, kLineRate, noise);

    QProcess receiver;
    receiver.setWorkingDirectory(work.filePath(QStringLiteral("in")));
    receiver.setStandardInputFile(b.path);
    receiver.setStandardOutputFile(b.path);
    receiver.setStandardErrorFile(QProcess::nullDevice());
    QProcess sender;
    sender.setWorkingDirectory(work.path());
    sender.setStandardInputFile(a.path);
    sender.setStandardOutputFile(a.path);
    sender.setStandardErrorFile(QProcess::nullDevice());

    QElapsedTimer timer;
    timer.start();
    receiver.start(QStringLiteral("rz"), {QStringLiteral("-b"), QStringLiteral("-y")});
    sender.start(QStringLiteral("sz"), {QStringLiteral("-b"), QStringLiteral("BENCH.DAT")});
    const int limitMs = static_cast<int>(data.size() / kLineRate * 1000 * 4 + 30000);
    // The transfer is over when the sender has its last acknowledgement and ends.
    const bool done = sender.waitForFinished(limitMs);
    row.seconds = timer.nsecsElapsed() / 1e9;
    const bool receiverEnded = receiver.waitForFinished(10000);
    relay.stop();
    if (!done || !receiverEnded) {
        sender.kill();
        receiver.kill();
        sender.waitForFinished();
        receiver.waitForFinished();
    }
    QFile result(work.filePath(QStringLiteral("in/BENCH.DAT")));
    row.ok = done && sender.exitCode() == 0 && result.open(QIODevice::ReadOnly) && result.readAll() == data;
    if (!row.ok)
        row.note = done ? QStringLiteral("sz %1, rz %2").arg(sender.exitCode()).arg(receiver.exitCode())
                        : QStringLiteral("did not finish");
    for (int fd : {a.master, a.slave, b.master, b.slave})
        ::close(fd);
    return row;
}

void print(const QList<Row>& rows, const Options& options)
{
    std::printf("Payload rate against the line rate at %lld baud (%.0f bytes/s), %lld bytes each way%s\n\n",
                static_cast<long long>(kBaud), kLineRate, static_cast<long long>(options.size),
                options.noise > 0
                    ? qPrintable(QStringLiteral(", noise rows: %1 of bytes damaged").arg(options.noise))
                    : "");
    std::printf("%-44s %9s %10s %7s  %s\n", "transfer", "seconds", "bytes/s", "ratio", "");
    for (const Row& row : rows) {
        const double rate = row.seconds > 0 ? row.bytes / row.seconds : 0;
        std::printf("%-44s %9.2f %10.0f %7.3f  %s%s\n", qPrintable(row.what), row.seconds, rate,
                    rate / kLineRate, row.ok ? "" : "FAILED ", qPrintable(row.note.trimmed()));
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--size") && i + 1 < args.size())
            options.size = args[++i].toLongLong();
        else if (args[i] == QLatin1String("--noise") && i + 1 < args.size())
            options.noise = args[++i].toDouble();
        else if (args[i] == QLatin1String("--no-zmodem"))
            options.zmodem = false;
        else {
            std::fprintf(stderr, "usage: link_throughput [--size BYTES] [--noise P] [--no-zmodem]\n");
            return 2;
        }
    }
    if (options.size <= 0 || options.size > 64 * 1024 * 1024 || options.noise < 0 || options.noise >= 1) {
        std::fprintf(stderr, "link_throughput: size 1 .. 64 MiB, noise 0 .. 1\n");
        return 2;
    }
    const QByteArray data = testData(options.size);
    QList<Row> rows = runLink(data, 0, QString());
    if (options.zmodem)
        rows << runZmodem(data, 0, QString());
    if (options.noise > 0) {
        const QString label = QStringLiteral(", noisy");
        rows << runLink(data, options.noise, label);
        if (options.zmodem)
            rows << runZmodem(data, options.noise, label);
    }
    print(rows, options);
    for (const Row& row : rows) {
        if (!row.ok)
            return 1;
    }
    return 0;
}
