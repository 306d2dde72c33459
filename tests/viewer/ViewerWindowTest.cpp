// View (F3) through the real windows: the key on a pane's file, the viewer's tabs, the plot under
// the mouse, find, the encoding, Save as PNG, and what the viewer says of files it cannot show.

#include "support/TestMain.h"
#include "transfer/CopyWindowRig.h"
#include "viewer/PlotState.h"
#include "viewer/Viewers.h"
#include "window/HexView.h"
#include "window/PlotView.h"
#include "window/TextView.h"
#include "window/frmView.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTreeView>

using namespace orvalt;
using test::CopyWindow;
using test::viewers;

namespace {

// Rows 1..n: A is the row's number, B its square (a spike of 1e6 at row spike).
QByteArray rowsFile(int n, int spike = -1)
{
    QByteArray text("A,B\n");
    for (int i = 1; i <= n; ++i)
        text += QByteArray::number(i) + ',' +
                QByteArray::number(i == spike ? qint64(1000000) : qint64(i) * i) + '\n';
    return text;
}

QStringList tabTexts(const frmView& v)
{
    QStringList texts;
    for (int i = 0; i < v.tabs()->count(); ++i)
        texts << v.tabs()->tabText(i);
    return texts;
}

bool near(double a, double b, double span)
{
    return std::abs(a - b) <= span * 1e-9;
}

// The window with a host folder in the left pane holding the given files, shown and active.
struct ViewRig
{
    CopyWindow rig{QStringLiteral("host"), QStringLiteral("host")};

    bool start(const QList<QPair<QString, QByteArray>>& files)
    {
        for (const auto& f : files)
            if (!test::putFile(rig.path(QStringLiteral("L"), f.first), f.second))
                return false;
        if (!rig.start())
            return false;
        rig.window->show();
        rig.window->activateWindow();
        return QTest::qWaitForWindowActive(rig.window.get());
    }

    // Selects the file in the left list and presses F3 there.
    void view(const QString& name)
    {
        rig.select(QStringLiteral("L"), {name});
        QTreeView* list = rig.window->controls().L_ListView;
        list->setFocus();
        const int row = rig.list(QStringLiteral("L")).rowNamed(name);
        if (row >= 0)
            rig.list(QStringLiteral("L"))
                .selection()
                ->setCurrentIndex(rig.list(QStringLiteral("L")).index(row, 0), QItemSelectionModel::NoUpdate);
        QTest::keyClick(list, Qt::Key_F3);
    }

    ~ViewRig()
    {
        for (frmView* v : viewers())
            v->close();
    }
};

} // namespace

class ViewerWindowTest : public QObject
{
    Q_OBJECT

private slots:
    // F3 on a measurement file opens a viewer beside the window, another F3 a second one; each
    // shows the plot of every column, the rows, the text and the bytes, and Esc closes it.
    void viewMeasurementFile()
    {
        ViewRig v;
        QVERIFY(v.start(
            {{QStringLiteral("TRACE001.CSV"), rowsFile(2000)}, {QStringLiteral("B.CSV"), rowsFile(3)}}));
        v.view(QStringLiteral("TRACE001.CSV"));
        QTRY_COMPARE(viewers().size(), 1);
        v.view(QStringLiteral("B.CSV"));
        QTRY_COMPARE(viewers().size(), 2);
        // The newest viewer is in front; Esc closes it and leaves the other.
        frmView* second = viewers().first()->document().name == QLatin1String("B.CSV") ? viewers().first()
                                                                                       : viewers().last();
        QTRY_VERIFY(second->isActiveWindow());
        QTest::keyClick(second, Qt::Key_Escape);
        QTRY_COMPARE(viewers().size(), 1);
        frmView* view = viewers().first();
        QCOMPARE(view->document().name, QStringLiteral("TRACE001.CSV"));
        QCOMPARE(tabTexts(*view), (QStringList{"Plot", "Table", "Text", "Hex"}));
        QVERIFY(!view->notes()->isVisible());
        QCOMPARE(view->seriesList()->count(), 2);
        QCOMPARE(view->table()->model()->rowCount(), 2000);
        QCOMPARE(view->table()->model()->index(1999, 1).data().toString(), QStringLiteral("4000000"));
        QCOMPARE(view->plotState()->range().x0, 1.0);
        QCOMPARE(view->plotState()->range().x1, 2000.0);

        // A series ticked off leaves the plot and the values under the pointer.
        QListWidget* list = view->seriesList();
        const QRect box = list->visualItemRect(list->item(1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint(box.left() + box.height() / 2, box.center().y()));
        QVERIFY(!view->plotState()->shown(1));
        QTest::mouseMove(view->plot(), view->plot()->plotArea().center());
        QVERIFY(view->readout()->text().startsWith(QStringLiteral("row ")));
        QVERIFY(view->readout()->text().contains(QStringLiteral("A ")));
        QVERIFY(!view->readout()->text().contains(QStringLiteral("B ")));
    }

    // The wheel zooms about the pointer, a right-drag shows the rectangle drawn, a drag keeps the
    // point grabbed under the pointer, Home shows everything again.
    void plotUnderTheMouse()
    {
        ViewRig v;
        QVERIFY(v.start({{QStringLiteral("T.CSV"), rowsFile(60000, 30000)}}));
        v.view(QStringLiteral("T.CSV"));
        QTRY_COMPARE(viewers().size(), 1);
        frmView* view = viewers().first();
        PlotView* plot = view->plot();
        PlotState& state = *view->plotState();
        const PlotState::Range all = state.range();
        QCOMPARE(all.y1 > 1e6, true); // the one spike among 60,000 rows is in view

        const QRect area = plot->plotArea();
        const QPoint at(area.left() + area.width() / 4, area.center().y());
        const QPointF before = plot->valueAt(at);
        QWheelEvent wheel(at, plot->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(plot, &wheel);
        const double span = all.x1 - all.x0;
        QVERIFY(near(state.range().x1 - state.range().x0, span * 0.8, span));
        QVERIFY(near(plot->valueAt(at).x(), before.x(), span));
        QCOMPARE(state.range().y0, all.y0); // the wheel alone leaves the y axis

        const QPoint from(area.left() + 40, area.top() + 30);
        const QPoint to(area.left() + 200, area.top() + 150);
        const QPointF a = plot->valueAt(from);
        const QPointF b = plot->valueAt(to);
        QTest::mousePress(plot, Qt::RightButton, {}, from);
        QTest::mouseMove(plot, QPoint(120, 90));
        QTest::mouseMove(plot, to);
        QTest::mouseRelease(plot, Qt::RightButton, {}, to);
        QCOMPARE(state.range().x0, a.x());
        QCOMPARE(state.range().x1, b.x());
        QCOMPARE(state.range().y0, b.y());
        QCOMPARE(state.range().y1, a.y());

        const QPointF grabbed = plot->valueAt(from);
        QTest::mousePress(plot, Qt::LeftButton, {}, from);
        QTest::mouseMove(plot, from + QPoint(30, 20));
        QTest::mouseMove(plot, to);
        QTest::mouseRelease(plot, Qt::LeftButton, {}, to);
        const double shown = state.range().x1 - state.range().x0;
        QVERIFY(near(plot->valueAt(to).x(), grabbed.x(), shown));
        QVERIFY(std::abs(plot->valueAt(to).y() - grabbed.y()) < 1e-6 * (state.range().y1 - state.range().y0));

        plot->setFocus();
        QTest::keyClick(plot, Qt::Key_Home);
        QCOMPARE(state.range().x0, all.x0);
        QCOMPARE(state.range().x1, all.x1);
        QCOMPARE(state.range().y1, all.y1);
    }

    // Ctrl+F finds in the text, from the top again past the end; the encoding can be changed.
    void textFindAndEncoding()
    {
        ViewRig v;
        // Valid UTF-8 as well as valid Shift_JIS: the guess says UTF-8, the user knows better.
        QVERIFY(v.start(
            {{QStringLiteral("NOTE.TXT"), QByteArray("first line\n\xe3\x81\x82 second\nthird line\n")}}));
        v.view(QStringLiteral("NOTE.TXT"));
        QTRY_COMPARE(viewers().size(), 1);
        frmView* view = viewers().first();
        QCOMPARE(tabTexts(*view), (QStringList{"Text", "Hex"}));
        QCOMPARE(view->encodingBox()->currentText(), QStringLiteral("UTF-8"));
        QTRY_VERIFY(view->isActiveWindow()); // a new viewer comes to the front
        QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
        TextView* text = view->textView();
        QTRY_VERIFY(text->findBox()->hasFocus());
        QTest::keyClicks(text->findBox(), QStringLiteral("line"));
        QTest::keyClick(text->findBox(), Qt::Key_Return);
        QCOMPARE(text->selectedLine(), 0);
        QTest::keyClick(text->findBox(), Qt::Key_Return);
        QCOMPARE(text->selectedLine(), 2);
        QTest::keyClick(text->findBox(), Qt::Key_Return);
        QCOMPARE(text->selectedLine(), 0);
        QCOMPARE(text->findStatus()->text(), QStringLiteral("From the top again"));
        QTest::keyClick(text->findBox(), Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(text->selectedLine(), 2);
        text->findBox()->setText(QStringLiteral("fourth"));
        QTest::keyClick(text->findBox(), Qt::Key_Return);
        QCOMPARE(text->findStatus()->text(), QStringLiteral("Not found"));
        QCOMPARE(text->selectedLine(), 2); // where it was

        // What is selected is copied.
        QTest::keyClick(text->textArea(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("line"));
        // Esc in the find bar closes the bar, not the viewer.
        QTest::keyClick(text->findBox(), Qt::Key_Escape);
        QVERIFY(!text->findBox()->isVisible());
        QCOMPARE(viewers().size(), 1);

        const int latin1 = view->encodingBox()->findText(QStringLiteral("Latin-1"));
        view->encodingBox()->setCurrentIndex(latin1);
        emit view->encodingBox()->activated(latin1);
        QCOMPARE(text->lines().line(1).toString(), QString::fromLatin1("\xe3\x81\x82 second"));
    }

    // The plot is saved as it is in view; a place that cannot be written is told, naming it.
    void saveAsPng()
    {
        ViewRig v;
        QVERIFY(v.start({{QStringLiteral("T.CSV"), rowsFile(100)}}));
        v.view(QStringLiteral("T.CSV"));
        QTRY_COMPARE(viewers().size(), 1);
        frmView* view = viewers().first();
        QTemporaryDir out;
        const QString png = QDir(out.path()).filePath(QStringLiteral("trace.png"));
        const QString missing = QDir(out.path()).filePath(QStringLiteral("no/such/folder.png"));
        test::ScriptedDialogs& dialogs = v.rig.dialogs();
        dialogs.saveAnswers = {png, missing, QString()};
        QTest::mouseClick(view->savePictureButton(), Qt::LeftButton);
        QImageReader reader(png);
        QCOMPARE(reader.format(), QByteArray("png"));
        QCOMPARE(reader.size(), view->plot()->size());
        QVERIFY(dialogs.saveAsked.first().endsWith(QStringLiteral("T.png|PNG pictures (*.png)")));

        QTest::mouseClick(view->savePictureButton(), Qt::LeftButton);
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(dialogs.shown.first().text.startsWith(
            QStringLiteral("The plot could not be saved as %1.\n").arg(missing)));
        QTest::mouseClick(view->savePictureButton(), Qt::LeftButton); // cancelled: nothing said
        QCOMPARE(dialogs.shown.size(), 1);
    }

    // What cannot be drawn or shown whole is said in the viewer, above what is shown.
    void filesThatDoNotFit_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("sparse"); // a file of this many zero bytes instead
        QTest::addColumn<QStringList>("tabs");
        QTest::addColumn<QString>("notes");
        QTest::newRow("empty") << "EMPTY.DAT" << QByteArray() << qint64(0) << QStringList()
                               << "The file is empty.";
        QTest::newRow("ragged and not numbers")
            << "R.CSV" << QByteArray("A,B\n1,2\n3\n4,x\n5,6\n") << qint64(0)
            << QStringList{"Plot", "Table", "Text", "Hex"}
            << "1 of 4 rows have another number of fields than the header (the first on line 3); their "
               "missing fields are left out.\n1 cells are not numbers (the first on line 4, column \"B\"); "
               "they "
               "are left out of the plot.";
        QTest::newRow("one column of words")
            << "W.CSV" << QByteArray("Site\nNorth pier\n") << qint64(0) << QStringList{"Text", "Hex"}
            << "No column of the file holds numbers to draw. It is shown as text.";
        QTest::newRow("2 GB") << "HUGE.BIN" << QByteArray() << qint64(2147483648LL) << QStringList{"Hex"}
                              << "The file holds 2,147,483,648 bytes; the first 20 MB are shown.";
    }

    void filesThatDoNotFit()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, sparse);
        QFETCH(QStringList, tabs);
        QFETCH(QString, notes);
        ViewRig v;
        QVERIFY(v.start({{name, bytes}}));
        if (sparse > 0) {
            QFile file(v.rig.path(QStringLiteral("L"), name));
            QVERIFY(file.resize(sparse)); // no disk space taken: the file system leaves a hole
            v.rig.renew();
        }
        v.view(name);
        QTRY_COMPARE(viewers().size(), 1);
        frmView* view = viewers().first();
        QCOMPARE(tabTexts(*view), tabs);
        QCOMPARE(view->notes()->text(), notes);
        QVERIFY(view->notes()->isVisible());
        if (sparse > 0) {
            view->tabs()->setCurrentIndex(0);
            QCOMPARE(view->hexView()->verticalScrollBar()->maximum() +
                         view->hexView()->verticalScrollBar()->pageStep(),
                     20000000 / 16);
        }
    }

    // F3 with nothing to view says so; a folder is not viewed.
    void nothingToView()
    {
        ViewRig v;
        QVERIFY(v.start({{QStringLiteral("SUB/IN.TXT"), "x"}}));
        v.view(QStringLiteral("NOT THERE"));
        QCOMPARE(v.rig.dialogs().texts(), QStringList{"Choose a file to view."});
        v.view(QStringLiteral("SUB"));
        QCOMPARE(v.rig.dialogs().texts().last(),
                 QStringLiteral("SUB is a folder: View shows a file; Enter opens the folder."));
        QVERIFY(viewers().isEmpty());
    }
};

ORVALT_TEST(ViewerWindowTest);
#include "ViewerWindowTest.moc"
