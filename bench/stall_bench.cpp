// Stalls shorter than the time-out, at scale: files of 60 KB go through the program's own receiver
// and sender (RmtReceiveFile, RmtSendFile) over a line paced at 115200 baud between two
// pseudo-terminals; in the middle of each file the line carries nothing for 3 s (the 6 s time-out
// is twice that), then delivers what waited. Beside it, busy loops load the machine. Each file must
// arrive byte for byte; the table gives how many did and what a stall cost beyond its own length.
// Usage: stall_bench [--count N] [--load N] [--stall MS] [--size BYTES]
// Run through bench/stall, which builds it first; about 10 s a file.

#include "bench/BenchSupport.h"
#include "bench/PacedRelay.h"
#include "core/AppState.h"
#include "core/Settings.h"
#include "core/StatusPanel.h"
#include "link/PexLink.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "transfer/FileTransfer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>

using namespace orvalt;

namespace {

constexpr double kLineRate = 11520.0; // bytes a second at 115200 baud, 8N1
constexpr int kTimeOutMs = 6000;

struct Options
{
    int count = 20;
    int load = 3;
    int stallMs = 3000;
    qint64 size = 60 * 1024;
};

QString panePath(const QString& native)
{
    return QDir::cleanPath(native).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

QByteArray randomBytes(qint64 size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (auto& c : bytes)
        c = static_cast<char>(random.bounded(256));
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArrayLiteral("<missing>");
}

// The quiet seam that also stalls the line once the file in hand has come as far as stallAt.
class StallingDialogs : public bench::QuietDialogs
{
public:
    void transferProgress(const QString&, qint64 done, qint64) override
    {
        if (relay && stallAt >= 0 && done >= stallAt) {
            relay->stall(stallMs, stallDelayUs);
            stallAt = -1;
        }
    }
    bench::PacedRelay* relay = nullptr;
    qint64 stallAt = -1;
    int stallMs = 0;
    int stallDelayUs = 0; // after the block that reached stallAt: somewhere inside the next exchange
};

struct Outcome
{
    int identical = 0;
    int runs = 0;
    QList<double> extraSeconds; // beyond the unstalled transfer and the stall itself
    QStringList failures;
    quint64 repeats = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Options options;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        bool ok = false;
        const qint64 value = args.at(i + 1).toLongLong(&ok);
        if (!ok || value < 0) {
            std::fprintf(stderr, "stall_bench: %s needs a number\n", qPrintable(args.at(i)));
            return 2;
        }
        if (args.at(i) == QLatin1String("--count"))
            options.count = static_cast<int>(value);
        else if (args.at(i) == QLatin1String("--load"))
            options.load = static_cast<int>(value);
        else if (args.at(i) == QLatin1String("--stall"))
            options.stallMs = static_cast<int>(value);
        else if (args.at(i) == QLatin1String("--size"))
            options.size = qMax<qint64>(value, 1024);
        else {
            std::fprintf(stderr, "usage: stall_bench [--count N] [--load N] [--stall MS] [--size BYTES]\n");
            return 2;
        }
    }
    if (args.size() % 2 == 0) {
        std::fprintf(stderr, "usage: stall_bench [--count N] [--load N] [--stall MS] [--size BYTES]\n");
        return 2;
    }

    QTemporaryDir work;
    const QString media = work.filePath(QStringLiteral("media"));
    const QString mediumM = media + QStringLiteral("/M");
    const QString host = work.filePath(QStringLiteral("host"));
    QDir().mkpath(mediumM);
    QDir().mkpath(host);

    bench::Pty programSide;
    bench::Pty instrumentSide;
    if (!bench::openPty(programSide) || !bench::openPty(instrumentSide)) {
        std::fprintf(stderr, "stall_bench: no pseudo-terminal\n");
        return 1;
    }
    QProcess instrument;
    instrument.start(QStringLiteral(ORVALT_INSTRUMENT_PATH),
                     {QStringLiteral("--media"), media, QStringLiteral("--device"), instrumentSide.path});
    if (!instrument.waitForStarted(10000)) {
        std::fprintf(stderr, "stall_bench: the instrument did not start\n");
        return 1;
    }
    bench::PacedRelay relay(programSide.master, instrumentSide.master, kLineRate);

    std::vector<std::unique_ptr<QProcess>> busy;
    for (int i = 0; i < options.load; ++i) {
        busy.push_back(std::make_unique<QProcess>());
        busy.back()->start(QStringLiteral("sh"),
                           {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
    }

    link::PexLink pex([&](int) { return programSide.path; });
    link::PexOpenRecord record;
    record.baud = 4;
    pex.PexOpen(record);
    pex.PexRetry(1);
    pex.PexSetTimeOut(kTimeOutMs);
    AppState state;
    StallingDialogs dialogs;
    Settings settings(ProgramPaths{work.path(), QStringLiteral("bench")}, dialogs, work.path());
    PaneModel left;
    PaneModel right;
    StatusPanel panel;
    HostFs fs;
    ProgramContext ctx{{state, settings, dialogs, pex}, fs, left, right, panel};
    dialogs.relay = &relay;
    dialogs.stallMs = options.stallMs;

    const QString remote = QStringLiteral("M:\\STALL.DAT");
    const QString onInstrument = mediumM + QStringLiteral("/STALL.DAT");
    const QString onHost = host + QStringLiteral("/STALL.DAT");
    // The program looks for the instrument's answers on a line that works before it stalls it.
    QByteArray reply(255, ' ');
    pex.PexSendCommand("STS?", reply);
    pex.PexSendCommand("MED 0", reply);

    auto transfer = [&](bool get, const QByteArray& content, qint64 stallAt, int stallDelayUs,
                        Outcome* outcome) -> double {
        writeFile(get ? onInstrument : onHost, content);
        QFile::remove(get ? onHost : onInstrument);
        dialogs.stallAt = stallAt;
        dialogs.stallDelayUs = stallDelayUs;
        const quint64 repeatsBefore = pex.retransmissions();
        QElapsedTimer t;
        t.start();
        const qint32 result =
            get ? RmtReceiveFile(ctx, remote, panePath(onHost)) : RmtSendFile(ctx, panePath(onHost), remote);
        const double seconds = t.nsecsElapsed() / 1e9;
        if (outcome) {
            ++outcome->runs;
            outcome->repeats += pex.retransmissions() - repeatsBefore;
            if (result == 0 && readFile(get ? onHost : onInstrument) == content)
                ++outcome->identical;
            else
                outcome->failures << QStringLiteral("%1 (%2)").arg(result).arg(pex.errorString());
        }
        return seconds;
    };

    std::printf(
        "Stalls of %d ms (time-out %d ms) in files of %lld bytes at 115200 baud, %d busy loops beside\n",
        options.stallMs, kTimeOutMs, static_cast<long long>(options.size), options.load);
    std::printf("%-10s %10s %12s %12s %12s %8s\n", "direction", "identical", "unstalled s", "median +s",
                "worst +s", "repeats");
    bool sound = true;
    for (const bool get : {true, false}) {
        const double unstalled = transfer(get, randomBytes(options.size, 1), -1, 0, nullptr);
        Outcome outcome;
        for (int i = 0; i < options.count; ++i) {
            // Stalls spread over the file, from a tenth to nine tenths of the way, and over the
            // exchange in hand: a 256-byte block takes 22.6 ms on the line.
            const qint64 stallAt = options.size / 10 + options.size * 8 / 10 * i / qMax(1, options.count);
            const int delayUs = 1000 + 23000 * i / qMax(1, options.count);
            const double seconds = transfer(get, randomBytes(options.size, static_cast<quint32>(100 + i)),
                                            stallAt, delayUs, &outcome);
            outcome.extraSeconds << seconds - unstalled - options.stallMs / 1000.0;
        }
        std::sort(outcome.extraSeconds.begin(), outcome.extraSeconds.end());
        const double median =
            outcome.extraSeconds.isEmpty() ? 0 : outcome.extraSeconds.at(outcome.extraSeconds.size() / 2);
        const double worst = outcome.extraSeconds.isEmpty() ? 0 : outcome.extraSeconds.constLast();
        std::printf("%-10s %6d/%-3d %12.2f %12.2f %12.2f %8llu\n", get ? "get" : "put", outcome.identical,
                    outcome.runs, unstalled, median, worst, static_cast<unsigned long long>(outcome.repeats));
        for (const QString& failure : std::as_const(outcome.failures))
            std::printf("           failed: %s\n", qPrintable(failure));
        sound = sound && outcome.identical == outcome.runs;
    }

    pex.PexClose();
    for (auto& loop : busy) {
        loop->kill();
        loop->waitForFinished(5000);
    }
    relay.stop();
    instrument.terminate();
    if (!instrument.waitForFinished(5000)) {
        instrument.kill();
        instrument.waitForFinished(5000);
    }
    bench::closePty(programSide);
    bench::closePty(instrumentSide);
    return sound ? 0 : 1;
}
