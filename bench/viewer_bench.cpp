// The viewer on a measurement file (60,000 rows of date, time and four channels, 3 MB), run through
// bench/run:
//
//   viewer_bench draw [--rows N] [--runs N]   the file from the disk to its plot on the screen, each
//                                             run in a new viewer; then repaints while zooming
//   viewer_bench memory [--rows N]            this process's peak memory once the viewer has shown
//                                             every tab of the file (one process per figure)
//
// A file arrives from the instrument as a temporary file, so "arrived" is the file on the disk: the
// time counts reading it, making it out, laying out the window and painting the plot, which is what
// a user waits for after the progress window closes.

#include "bench/BenchSupport.h"
#include "bench/MeasurementData.h"
#include "viewer/PlotState.h"
#include "viewer/ViewDocument.h"
#include "window/PlotView.h"
#include "window/frmView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace orvalt;

namespace {

struct Options
{
    QString mode;
    int rows = 60000;
    int runs = 7;
};

bool parse(const QStringList& args, Options& o)
{
    if (args.size() < 2)
        return false;
    o.mode = args.at(1);
    for (int i = 2; i + 1 < args.size(); i += 2) {
        bool ok = false;
        const int value = args.at(i + 1).toInt(&ok);
        if (!ok || value < 0 || value > 2000000)
            return false;
        if (args.at(i) == QLatin1String("--rows"))
            o.rows = value;
        else if (args.at(i) == QLatin1String("--runs"))
            o.runs = std::max(1, value);
        else
            return false;
    }
    return o.mode == QLatin1String("draw") || o.mode == QLatin1String("memory");
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Counts the paints of a widget: a window not yet exposed paints nothing, whatever is asked.
class PaintCounter : public QObject
{
public:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

// Repaints the plot and returns once it has painted.
void paintNow(PlotView* plot, PaintCounter& counter)
{
    const int before = counter.paints;
    plot->repaint();
    while (counter.paints == before) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        plot->repaint();
    }
}

// The viewer of the file at path, shown with its plot painted; nothing when the file is no
// measurement file.
std::unique_ptr<frmView> openViewer(const QString& path, bench::QuietDialogs& dialogs, PaintCounter& counter)
{
    QByteArray bytes;
    qint64 size = 0;
    QString why;
    if (!readForView(path, kViewCap, bytes, size, why))
        return nullptr;
    auto view = std::make_unique<frmView>(
        viewDocument(QStringLiteral("TRACE.CSV"), path, std::move(bytes), size), dialogs, nullptr);
    view->setAttribute(Qt::WA_DeleteOnClose, false);
    view->resize(1200, 800);
    view->show();
    if (!view->plot())
        return nullptr;
    view->plot()->installEventFilter(&counter);
    paintNow(view->plot(), counter);
    return view;
}

int draw(const QString& path, const Options& o)
{
    bench::QuietDialogs dialogs;
    std::vector<double> opened;
    for (int run = 0; run < o.runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        PaintCounter counter;
        std::unique_ptr<frmView> view = openViewer(path, dialogs, counter);
        if (!view)
            return 1;
        opened.push_back(clock.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
    }
    // Repaints while the wheel zooms in, about the plot's middle, then out again.
    PaintCounter counter;
    std::unique_ptr<frmView> view = openViewer(path, dialogs, counter);
    if (!view)
        return 1;
    PlotView* plot = view->plot();
    const QPoint middle = plot->plotArea().center();
    std::vector<double> frames;
    for (int step = 0; step < 60; ++step) {
        const int turn = step < 30 ? 120 : -120;
        QWheelEvent wheel(middle, plot->mapToGlobal(middle), QPoint(), QPoint(0, turn), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QElapsedTimer clock;
        clock.start();
        QApplication::sendEvent(plot, &wheel);
        paintNow(plot, counter);
        frames.push_back(clock.nsecsElapsed() / 1e6);
    }
    const double first = median(opened);
    std::printf("%-44s %8.0f ms (worst of %d: %.0f ms; target <= 500 ms)\n",
                QStringLiteral("%1 rows, file to plot on the screen").arg(o.rows).toLatin1().constData(),
                first, o.runs, *std::max_element(opened.begin(), opened.end()));
    std::printf("%-44s %8.1f ms (worst %.1f ms; 60 frames a second is 16.7 ms)\n",
                QStringLiteral("%1 rows, a repaint while zooming").arg(o.rows).toLatin1().constData(),
                median(frames), *std::max_element(frames.begin(), frames.end()));
    return 0;
}

int memory(const QString& path, const Options& o)
{
    bench::QuietDialogs dialogs;
    PaintCounter counter;
    std::unique_ptr<frmView> view = openViewer(path, dialogs, counter);
    if (!view)
        return 1;
    // Every tab shown once, as a user looking through the file would.
    for (int i = 0; i < view->tabs()->count(); ++i) {
        view->tabs()->setCurrentIndex(i);
        view->tabs()->currentWidget()->repaint();
    }
    QCoreApplication::processEvents();
    std::printf("%d %lld %ld\n", o.rows, static_cast<long long>(QFile(path).size()), bench::peakKilobytes());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Options o;
    if (!parse(QCoreApplication::arguments(), o)) {
        std::fprintf(stderr, "usage: viewer_bench draw|memory [--rows N] [--runs N]\n");
        return 2;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TRACE.CSV"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(bench::kMeasurementHeader + bench::measurements(o.rows)) < 0)
        return 1;
    file.close();
    return o.mode == QLatin1String("draw") ? draw(path, o) : memory(path, o);
}
