// Payload rate of the instrument link at 115200 baud against the line rate, row by row on the lines
// users have (no delay; a USB serial adapter's round trip of 5 ms and of 16 ms; one byte in 10,000
// damaged; an instrument that spends 2 ms on every block), each against ZMODEM (sz/rz) on the same
// line in the same run. Run through bench/run.
//
// The link writes a file with "FWT " and reads it back with "FRD? " in 256-byte blocks through
// PexLink, exactly as the program's sender and receiver do, against the virtual instrument; the
// line is a relay between two pseudo-terminals that holds every byte back to the line rate in each
// direction and delays it by half the round trip. "One block" is the link against an instrument
// that takes one request at a time (--no-window), as every instrument did before the window.

#include "bench/LinkLegs.h"
#include "bench/RelayLine.h"
#include "link/PexLink.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstdio>

using namespace orvalt::link;
using orvalt::bench::kLineRate;
using orvalt::bench::Leg;
using orvalt::bench::LineConditions;
using orvalt::bench::linkRead;
using orvalt::bench::linkWrite;
using orvalt::bench::randomBytes;
using orvalt::bench::zmodemLeg;

namespace {

constexpr qint64 kBaud = 115200;

struct Options
{
    qint64 size = 1024 * 1024;
    double noise = 0.0001; // of the noisy row; 0 leaves the row out
    bool zmodem = true;
    bool oneBlockEverywhere = false;
    QStringList rows; // empty: all
};

struct LinkRun
{
    Leg write;
    Leg read;
    int window = 0;
    quint64 repeats = 0;
};

struct Row
{
    QString key;
    QString what;
    LineConditions line;
    QStringList instrumentOptions;
    LinkRun link;
    LinkRun oneBlock;
    Leg zmodem;
};

LinkRun runLink(const QByteArray& data, const Row& row, const QStringList& more)
{
    LinkRun run;
    orvalt::bench::RelayLine line(row.line);
    if (!line.isOpen()) {
        run.write.note = QStringLiteral("no pseudo-terminal");
        return run;
    }
    orvalt::bench::LineInstrument instrument(line.endA(), row.instrumentOptions + more);
    const QString device = line.endB();
    PexLink link([&device](int) { return device; });
    if (!orvalt::bench::openLink(link)) {
        run.write.note = QStringLiteral("the instrument did not answer: ") + link.errorString();
        return run;
    }
    // Repeats while the instrument was starting up belong to neither way.
    const quint64 beforeWrite = link.retransmissions();
    run.write = linkWrite(link, data);
    run.window = link.windowInUse();
    const quint64 afterWrite = link.retransmissions();
    run.read = linkRead(link, data);
    run.repeats = link.retransmissions() - beforeWrite;
    run.write.note += QStringLiteral(" %1 repeats").arg(afterWrite - beforeWrite);
    run.read.note += QStringLiteral(" %1 repeats").arg(link.retransmissions() - afterWrite);
    link.PexClose();
    return run;
}

QString cell(const Leg& leg, qint64 bytes)
{
    if (!leg.ran)
        return QString();
    return leg.ok ? QString::number(leg.ratio(bytes), 'f', 3) : QStringLiteral("FAILED");
}

void print(const QList<Row>& rows, const Options& options)
{
    std::printf("Payload rate against the line rate at %lld baud (%.0f bytes/s), %lld bytes each way;\n"
                "ZMODEM (sz -> rz) on the same line in the same run\n\n",
                static_cast<long long>(kBaud), kLineRate, static_cast<long long>(options.size));
    std::printf("%-30s %6s %7s %7s   %-15s %7s\n", "line", "window", "write", "read", "one block w/r",
                "ZMODEM");
    for (const Row& row : rows) {
        const QString oneBlock = row.oneBlock.write.ran
                                     ? cell(row.oneBlock.write, options.size) + QLatin1Char('/') +
                                           cell(row.oneBlock.read, options.size)
                                     : QString();
        std::printf("%-30s %6d %7s %7s   %-15s %7s\n", qPrintable(row.what), row.link.window,
                    qPrintable(cell(row.link.write, options.size)),
                    qPrintable(cell(row.link.read, options.size)), qPrintable(oneBlock),
                    qPrintable(cell(row.zmodem, options.size)));
    }
    std::printf("\nRepeats (PexLink::retransmissions()) and failures:\n");
    for (const Row& row : rows) {
        std::printf("  %-28s write:%s  read:%s", qPrintable(row.what), qPrintable(row.link.write.note),
                    qPrintable(row.link.read.note));
        if (row.oneBlock.write.ran)
            std::printf("  one block write:%s read:%s", qPrintable(row.oneBlock.write.note),
                        qPrintable(row.oneBlock.read.note));
        if (!row.zmodem.ok && row.zmodem.ran)
            std::printf("  ZMODEM: %s", qPrintable(row.zmodem.note));
        std::printf("\n");
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
        else if (args[i] == QLatin1String("--row") && i + 1 < args.size())
            options.rows << args[++i];
        else if (args[i] == QLatin1String("--no-zmodem"))
            options.zmodem = false;
        else if (args[i] == QLatin1String("--one-block"))
            options.oneBlockEverywhere = true;
        else {
            std::fprintf(
                stderr,
                "usage: link_throughput [--size BYTES] [--noise P] [--row plain|5ms|16ms|noise|slow]...\n"
                "                       [--one-block] [--no-zmodem]\n");
            return 2;
        }
    }
    if (options.size <= 0 || options.size > 64 * 1024 * 1024 || options.noise < 0 || options.noise >= 1) {
        std::fprintf(stderr, "link_throughput: size 1 .. 64 MiB, noise 0 .. 1\n");
        return 2;
    }

    using std::chrono::microseconds;
    QList<Row> rows{
        {QStringLiteral("plain"),
         QStringLiteral("no delay"),
         {kLineRate, 0, microseconds(0)},
         {},
         {},
         {},
         {}},
        {QStringLiteral("5ms"),
         QStringLiteral("5 ms round trip"),
         {kLineRate, 0, microseconds(2500)},
         {},
         {},
         {},
         {}},
        {QStringLiteral("16ms"),
         QStringLiteral("16 ms round trip"),
         {kLineRate, 0, microseconds(8000)},
         {},
         {},
         {},
         {}},
        // Plain blocks of a measurement file: its rows are text, so a start marker noise changes into
        // a printable byte makes the block read like raw lines, and that damage is among the others.
        {QStringLiteral("noise"),
         QStringLiteral("1 byte in %1 damaged, plain").arg(options.noise > 0 ? qRound(1 / options.noise) : 0),
         {kLineRate, options.noise, microseconds(0)},
         {QStringLiteral("--no-pack")},
         {},
         {},
         {}},
        {QStringLiteral("slow"),
         QStringLiteral("instrument 2 ms per block"),
         {kLineRate, 0, microseconds(0)},
         {QStringLiteral("--block-ms"), QStringLiteral("2")},
         {},
         {},
         {}},
    };
    const QByteArray random = randomBytes(options.size);
    const QByteArray text =
        orvalt::bench::measurements(static_cast<int>(options.size / 40) + 1).left(options.size);
    QList<Row> measured;
    for (Row& row : rows) {
        if (row.key == QLatin1String("noise") && options.noise <= 0)
            continue;
        if (!options.rows.isEmpty() && !options.rows.contains(row.key))
            continue;
        std::fprintf(stderr, "link_throughput: %s\n", qPrintable(row.what));
        const QByteArray& data = row.key == QLatin1String("noise") ? text : random;
        row.link = runLink(data, row, {});
        // The noisy row always holds one request at a time against the window, in the same run.
        if (options.oneBlockEverywhere || row.key == QLatin1String("noise"))
            row.oneBlock = runLink(data, row, {QStringLiteral("--no-window")});
        if (options.zmodem)
            row.zmodem = zmodemLeg(data, row.line);
        measured << row;
    }
    print(measured, options);
    for (const Row& row : std::as_const(measured)) {
        for (const Leg* leg :
             {&row.link.write, &row.link.read, &row.oneBlock.write, &row.oneBlock.read, &row.zmodem})
            if (leg->ran && !leg->ok)
                return 1;
        if (!row.link.write.ran)
            return 1;
    }
    return 0;
}
