// Pane listing speed, as ratios measured in one run:
//   host listing:  refilling a pane whose sub-folders hold 100,000 files in 1,000 folders (the
//                  folder-size walk dominates) against `du -s --apparent-size` on the same tree,
//                  warm cache; target <= 1.0.
//   instrument listing: "DIR?" of a folder of 2,000 entries from the virtual instrument at
//                  115200 baud against the time its bytes need at the line rate: compressed (the
//                  link's default), target <= 0.5; and from an instrument without compression
//                  (--no-pack), target <= 1.10.
// Usage: listing_bench [work-folder]

#include "bench/BenchSupport.h"
#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/Settings.h"
#include "core/StatusPanel.h"
#include "link/PexLink.h"
#include "panes/HostFs.h"
#include "panes/HostListing.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemoteListing.h"
#include "panes/RowText.h"
#include "session/CommandExchange.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace orvalt;

namespace {

using bench::QuietDialogs;

void makeTree(const QString& root, int folders, int filesEach)
{
    const QByteArray content(100, 'x');
    for (int f = 0; f < folders; ++f) {
        const QString folder = QStringLiteral("%1/F%2").arg(root).arg(f, 4, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        for (int i = 0; i < filesEach; ++i) {
            QFile file(QStringLiteral("%1/D%2.CSV").arg(folder).arg(i, 4, 10, QLatin1Char('0')));
            if (file.open(QIODevice::WriteOnly))
                file.write(content.left(1 + (i * 37) % 100));
        }
    }
}

template<typename F> double bestOf(int runs, F f)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, t.nsecsElapsed() / 1e9);
    }
    return best;
}

QString panePath(const QString& native)
{
    return QDir::cleanPath(native).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

void hostListing(const QString& work)
{
    const QString root = work + QStringLiteral("/host");
    makeTree(root, 1000, 100);
    HostFs fs;
    PaneModel list;
    const QString host = panePath(root);
    auto refill = [&] {
        list.clear();
        list.appendRows(hostRows(fs.listFolder(host, HostFs::FolderSizes::Walk)));
    };
    auto du = [&] {
        QProcess p;
        p.start(QStringLiteral("du"), {QStringLiteral("-s"), QStringLiteral("--apparent-size"), root});
        p.waitForFinished(-1);
    };
    refill(); // warm the cache
    du();
    const double walk = bestOf(3, [&] { fs.folderSize(host); });
    const double listOnly = bestOf(3, [&] { fs.listFolder(host, HostFs::FolderSizes::Skip); });
    std::printf("  (size walk alone %.3f s, listing without sizes %.3f s)\n", walk, listOnly);
    const double ours = bestOf(3, refill);
    const double theirs = bestOf(3, du);
    std::printf("%-44s %10.3f s  du %8.3f s  ratio %6.2f  (target <= 1.00, %d rows)\n",
                "host listing, 100,000 files in 1,000 folders", ours, theirs, ours / theirs, list.rowCount());
}

void instrumentListing(const QString& work, const QStringList& extra, const char* what, double target)
{
    const QString media = work + QStringLiteral("/media");
    if (!QFileInfo::exists(media + QStringLiteral("/M/BIG"))) {
        QDir().mkpath(media + QStringLiteral("/M/BIG"));
        for (int i = 0; i < 2000; ++i) {
            QFile f(QStringLiteral("%1/M/BIG/MEAS%2.CSV").arg(media).arg(i, 4, 10, QLatin1Char('0')));
            if (f.open(QIODevice::WriteOnly))
                f.write(QByteArray(i % 5000, 'y'));
        }
    }
    QProcess instrument;
    instrument.start(
        QStringLiteral(ORVALT_INSTRUMENT_PATH),
        QStringList{QStringLiteral("--media"), media, QStringLiteral("--baud"), QStringLiteral("115200")} +
            extra);
    if (!instrument.waitForReadyRead(10000)) {
        std::printf("instrument did not start\n");
        return;
    }
    const QString device = QString::fromLocal8Bit(instrument.readLine()).trimmed();
    link::PexLink pex([device](int) { return device; });
    link::PexOpenRecord record;
    record.baud = 4;
    pex.PexOpen(record);
    pex.PexRetry(1);
    pex.PexSetTimeOut(6000);
    AppState state;
    QuietDialogs dialogs;
    Settings settings(ProgramPaths{work, QStringLiteral("bench")}, dialogs, work);
    PaneModel left;
    PaneModel right;
    StatusPanel panel;
    HostFs fs;
    ProgramContext ctx{{state, settings, dialogs, pex}, fs, left, right, panel};
    SendCmd(state, pex, dialogs, QStringLiteral("MED 0"));
    SendCmd(state, pex, dialogs, QStringLiteral("CDR /BIG"));
    QString listing;
    const double seconds = bestOf(3, [&] { listing = DirList(ctx); });
    const double lineSeconds = listing.size() * 10.0 / 115200.0;
    std::printf("%-44s %10.3f s  line %6.3f s  ratio %6.2f  (target <= %.2f, %lld bytes, %lld entries)\n",
                what, seconds, lineSeconds, seconds / lineSeconds, target,
                static_cast<long long>(listing.size()), static_cast<long long>(splitListing(listing).size()));
    pex.PexClose();
    instrument.terminate();
    instrument.waitForFinished(5000);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir temp;
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    instrumentListing(work, {}, "instrument listing, 2,000 entries, 115200", 0.5);
    instrumentListing(work, {QStringLiteral("--no-pack")}, "  the same, instrument without compression",
                      1.10);
    hostListing(work);
    return 0;
}
