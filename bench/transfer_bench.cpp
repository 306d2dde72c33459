// One file through the program's own sender and receiver (RmtSendFile, RmtReceiveFile) to the
// virtual instrument and back:
//   rate:   1 MiB each way at 115200 baud, payload rate as a ratio to the line rate (11,520 bytes/s);
//           target >= 0.93 both ways;
//   memory: peak memory of the process after 1 MiB and after 64 MiB each way, unpaced; target: flat.
// Usage: transfer_bench [rate|memory]

#include "bench/BenchSupport.h"
#include "core/AppState.h"
#include "core/Settings.h"
#include "core/StatusPanel.h"
#include "link/PexLink.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "transfer/FileTransfer.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

using namespace orvalt;

namespace {

QString panePath(const QString& native)
{
    return QDir::cleanPath(native).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

void writeRandom(const QString& path, qint64 size)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QRandomGenerator random(7350);
    QByteArray chunk(64 * 1024, '\0');
    for (qint64 done = 0; done < size; done += chunk.size()) {
        for (auto& c : chunk)
            c = static_cast<char>(random.bounded(256));
        f.write(chunk.constData(), std::min<qint64>(chunk.size(), size - done));
    }
}

QByteArray digest(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result();
}

struct Run
{
    double sendSeconds = 0;
    double receiveSeconds = 0;
    bool identical = false;
    qint32 sendResult = -99;
    qint32 receiveResult = -99;
};

Run roundTrip(const QString& work, qint64 size, qint64 baud)
{
    const QString media = work + QStringLiteral("/media");
    QDir().mkpath(media + QStringLiteral("/M"));
    const QString source = work + QStringLiteral("/source.bin");
    const QString back = work + QStringLiteral("/back.bin");
    writeRandom(source, size);
    QFile::remove(back);

    QStringList extra;
    if (baud > 0)
        extra << QStringLiteral("--baud") << QString::number(baud);
    bench::Instrument instrument(media, extra);
    link::PexLink pex([&](int) { return instrument.device(); });
    link::PexOpenRecord record;
    record.baud = 4;
    pex.PexOpen(record);
    pex.PexRetry(1);
    pex.PexSetTimeOut(6000);
    AppState state;
    bench::QuietDialogs dialogs;
    Settings settings(ProgramPaths{work, QStringLiteral("bench")}, dialogs, work);
    PaneModel left;
    PaneModel right;
    StatusPanel panel;
    HostFs fs;
    ProgramContext ctx{{state, settings, dialogs, pex}, fs, left, right, panel};

    Run run;
    QElapsedTimer t;
    t.start();
    run.sendResult = RmtSendFile(ctx, panePath(source), QStringLiteral("M:\\BENCH.BIN"));
    run.sendSeconds = t.nsecsElapsed() / 1e9;
    t.restart();
    run.receiveResult = RmtReceiveFile(ctx, QStringLiteral("M:\\BENCH.BIN"), panePath(back));
    run.receiveSeconds = t.nsecsElapsed() / 1e9;
    run.identical = digest(source) == digest(back);
    pex.PexClose();
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString what = argc > 1 ? QString::fromLatin1(argv[1]) : QStringLiteral("rate");
    QTemporaryDir temp;
    if (what == QLatin1String("rate")) {
        const qint64 size = 1024 * 1024;
        const Run r = roundTrip(temp.path(), size, 115200);
        const double line = 11520.0;
        std::printf("%-44s %8.3f   (target >= 0.93; %s, results %d/%d)\n",
                    "1 MiB host to instrument, 115200 baud", size / r.sendSeconds / line,
                    r.identical ? "identical" : "DIFFERENT", r.sendResult, r.receiveResult);
        std::printf("%-44s %8.3f   (target >= 0.93)\n", "1 MiB instrument to host, 115200 baud",
                    size / r.receiveSeconds / line);
        return r.identical && r.sendResult == 0 && r.receiveResult == 0 ? 0 : 1;
    }
    const Run small = roundTrip(temp.path(), 1024 * 1024, 0);
    const long afterSmall = bench::peakKilobytes();
    const Run large = roundTrip(temp.path(), 64 * 1024 * 1024, 0);
    const long afterLarge = bench::peakKilobytes();
    std::printf("%-44s %8.3f   (peak %ld KiB after 1 MiB, %ld KiB after 64 MiB; target <= 1.05)\n",
                "peak memory, 64 MiB against 1 MiB each way", static_cast<double>(afterLarge) / afterSmall,
                afterSmall, afterLarge);
    std::printf("%-44s %8.3f s / %.3f s   (%s)\n", "64 MiB unpaced, send / receive", large.sendSeconds,
                large.receiveSeconds, small.identical && large.identical ? "identical" : "DIFFERENT");
    return small.identical && large.identical ? 0 : 1;
}
