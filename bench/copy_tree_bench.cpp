// A folder tree of 200 small files (1 to 4 KiB) copied into the virtual instrument and back at
// 115200 baud through CopyFolderTree: payload rate against the line rate, the per-file commands
// ("MKDR ", "FWT ", "DUMMY", "CDR ", "DIR?", "FRD? ") included, on a line with a round trip of 5 ms
// (--round-trip MS), against ZMODEM sending the same files on the same line in the same run.
// Usage: copy_tree_bench [--round-trip MS] [--no-zmodem]

#include "bench/BenchSupport.h"
#include "bench/RelayLine.h"
#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/Settings.h"
#include "core/StatusPanel.h"
#include "link/PexLink.h"
#include "panes/Endpoint.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "transfer/CopyFolderTree.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

using namespace orvalt;

namespace {

constexpr double kLineRate = 115200 / 10.0;

using bench::QuietDialogs;

QString panePath(const QString& native)
{
    return QDir::cleanPath(native).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

qint64 treeBytes(const QString& folder, int* files)
{
    qint64 total = 0;
    for (const QFileInfo& i : QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        if (i.isDir())
            total += treeBytes(i.filePath(), files);
        else {
            total += i.size();
            ++*files;
        }
    }
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int roundTripMs = 5;
    bool zmodem = true;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        bool ok = true;
        if (args[i] == QLatin1String("--round-trip") && i + 1 < args.size())
            roundTripMs = args[++i].toInt(&ok);
        else if (args[i] == QLatin1String("--no-zmodem"))
            zmodem = false;
        else
            ok = false;
        if (!ok || roundTripMs < 0) {
            std::fprintf(stderr, "usage: copy_tree_bench [--round-trip MS] [--no-zmodem]\n");
            return 2;
        }
    }

    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("host/TREE"));
    QRandomGenerator random(2024);
    QStringList relative; // for sz, from the host folder
    for (int i = 0; i < 200; ++i) {
        const QString folder = QStringLiteral("D%1").arg(i / 20);
        QDir(source).mkpath(folder);
        const QString name = QStringLiteral("%1/F%2.DAT").arg(folder).arg(i, 3, 10, QLatin1Char('0'));
        QFile f(source + QLatin1Char('/') + name);
        f.open(QIODevice::WriteOnly);
        QByteArray data(1024 + random.bounded(3 * 1024 + 1), '\0');
        for (auto& c : data)
            c = static_cast<char>(random.bounded(256));
        f.write(data);
        relative << name;
    }
    int files = 0;
    const qint64 payload = treeBytes(source, &files);
    QDir().mkpath(work.filePath(QStringLiteral("back")));

    bench::LineConditions conditions;
    conditions.oneWay = std::chrono::microseconds(roundTripMs * 500);
    bench::RelayLine line(conditions);
    if (!line.isOpen())
        return 1;
    bench::LineInstrument instrument(line.endA(), {});
    const QString media = instrument.media();
    const QString device = line.endB();

    AppState state;
    QuietDialogs dialogs;
    Settings settings(ProgramPaths{work.filePath(QStringLiteral("program")), QStringLiteral("orvalt")},
                      dialogs, work.filePath(QStringLiteral("user")));
    PaneModel left;
    PaneModel right;
    StatusPanel panel;
    HostFs hostFs;
    link::PexLink pex([device](int) { return device; });
    ProgramContext ctx{{state, settings, dialogs, pex}, hostFs, left, right, panel};
    if (!bench::openLink(pex))
        return 1;
    state.Connected = true;
    state.LongNames = true;

    // Host to the instrument.
    const Endpoint onHost = endpointOf(true, panePath(work.path()) + QLatin1Char('\\'));
    const Endpoint onInstrument = endpointOf(false, QStringLiteral("M:\\"));
    QElapsedTimer t;
    t.start();
    CopyRun up;
    CopyFolderTree(ctx, up, panePath(source), QStringLiteral("M:\\"), false, onHost, onInstrument);
    const double upSeconds = t.elapsed() / 1000.0;
    int upFiles = 0;
    const qint64 upBytes = treeBytes(media + QStringLiteral("/M/TREE"), &upFiles);
    const int window = pex.windowInUse();

    // And back: the instrument into the host.
    t.restart();
    CopyRun down;
    CopyFolderTree(ctx, down, QStringLiteral("M:\\TREE"),
                   panePath(work.filePath(QStringLiteral("back"))) + QLatin1Char('\\'), false, onInstrument,
                   onHost);
    const double downSeconds = t.elapsed() / 1000.0;
    int downFiles = 0;
    const qint64 downBytes = treeBytes(work.filePath(QStringLiteral("back/TREE")), &downFiles);
    pex.PexClose();

    bench::ZmodemRun z;
    if (zmodem) {
        QDir().mkpath(work.filePath(QStringLiteral("zmodem")));
        z = bench::runZmodem(source, relative, work.filePath(QStringLiteral("zmodem")), conditions, payload);
    }

    std::printf("tree: %d files, %lld bytes of payload, line rate %.0f bytes/s (115200 baud, 8N1), round "
                "trip %d ms\n",
                files, static_cast<long long>(payload), kLineRate, roundTripMs);
    std::printf("to the instrument:   %d files, %lld bytes, %.1f s, %.0f bytes/s, ratio %.3f (window %d)%s\n",
                upFiles, static_cast<long long>(upBytes), upSeconds, upBytes / upSeconds,
                upBytes / upSeconds / kLineRate, window, up.notCopied.isEmpty() ? "" : " (some not copied)");
    std::printf("from the instrument: %d files, %lld bytes, %.1f s, %.0f bytes/s, ratio %.3f%s\n", downFiles,
                static_cast<long long>(downBytes), downSeconds, downBytes / downSeconds,
                downBytes / downSeconds / kLineRate, down.notCopied.isEmpty() ? "" : " (some not copied)");
    if (zmodem)
        std::printf("ZMODEM sz -> rz, the same files on the same line: %.1f s, ratio %.3f%s\n", z.seconds,
                    z.ok ? payload / z.seconds / kLineRate : 0.0,
                    z.ok ? "" : qPrintable(QLatin1String(" FAILED ") + z.note));
    return upFiles == files && downFiles == files && (!zmodem || z.ok) ? 0 : 2;
}
