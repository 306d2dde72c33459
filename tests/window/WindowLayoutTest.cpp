#include "window/WindowLayout.h"

#include "support/TestMain.h"

#include <QTest>

using namespace orvalt;

namespace {

LayoutInput windowOf(double width, double selectorWidth = 1500)
{
    LayoutInput in;
    in.windowWidth = width;
    in.innerHeight = 6000;
    in.toolbarHeight = 420;
    in.titleTop = 420;
    in.titleHeight = 300;
    in.statusBarHeight = 300;
    in.rightSelectorWidth = selectorWidth;
    in.leftListLeft = 0;
    in.splitterWidth = 75;
    return in;
}

} // namespace

class WindowLayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void sizeControls_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("split");
        QTest::addColumn<double>("rightLeft");
        QTest::addColumn<double>("rightWidth");
        QTest::addColumn<double>("combo1Width");
        QTest::addColumn<double>("selectorLeft");
        QTest::addColumn<double>("upLeft");
        QTest::addColumn<double>("combo2Left");
        QTest::addColumn<double>("combo2Width");
        // The right path box ends at 9440, past the right list (8940) and the window: as laid out.
        QTest::newRow("9000 wide, split 4500") << 9000.0 << 4500.0 << 4500.0 << 4580.0 << 4360.0 << 2350.0
                                               << 5180.0 << 4680.0 << 6780.0 << 2660.0;
        QTest::newRow("shrunk to 8000") << 8000.0 << 4500.0 << 3700.0 << 3780.0 << 4160.0 << 1550.0 << 4380.0
                                        << 3880.0 << 5980.0 << 2460.0;
        QTest::newRow("below 6000 wide") << 5000.0 << 4500.0 << 2700.0 << 2780.0 << 3160.0 << 550.0 << 3380.0
                                         << 2880.0 << 4980.0 << 1460.0;
        QTest::newRow("below the minimum") << 9000.0 << 3000.0 << 4000.0 << 4080.0 << 4860.0 << 1850.0
                                           << 4680.0 << 4180.0 << 6280.0 << 3160.0;
        QTest::newRow("at the right limit") << 9000.0 << 5000.0 << 5000.0 << 5080.0 << 3860.0 << 2850.0
                                            << 5680.0 << 5180.0 << 7280.0 << 2160.0;
        QTest::newRow("past the right limit") << 9000.0 << 5001.0 << 4200.0 << 4280.0 << 4660.0 << 2050.0
                                              << 4880.0 << 4380.0 << 6480.0 << 2960.0;
    }
    void sizeControls()
    {
        QFETCH(double, width);
        QFETCH(double, x);
        QFETCH(double, split);
        double at = x;
        const LayoutOutput out = SizeControls(at, windowOf(clampedWindowWidth(width)));
        QCOMPARE(at, split);
        QCOMPARE(out.split, split);
        QCOMPARE(out.leftList.width(), split);
        QCOMPARE(out.splitter.left(), split);
        QTEST(out.rightList.left(), "rightLeft");
        QTEST(out.rightList.width(), "rightWidth");
        QTEST(out.combo1Width, "combo1Width");
        QTEST(out.imageCombo2Left, "selectorLeft");
        QTEST(out.driveListRLeft, "selectorLeft");
        QTEST(out.comboRDevLeft, "selectorLeft");
        QTEST(out.command2Left, "upLeft");
        QTEST(out.combo2Left, "combo2Left");
        QTEST(out.combo2Width, "combo2Width");
    }

    void minimumWindowWidth_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("expected");
        QTest::newRow("below") << 4000.0 << 6000.0;
        QTest::newRow("at") << 6000.0 << 6000.0;
        QTest::newRow("above") << 6500.0 << 6500.0;
    }
    void minimumWindowWidth()
    {
        QFETCH(double, width);
        QTEST(clampedWindowWidth(width), "expected");
    }

    void bars_data()
    {
        QTest::addColumn<bool>("toolbar");
        QTest::addColumn<bool>("statusBar");
        QTest::addColumn<double>("titleTop");
        QTest::addColumn<double>("innerHeight");
        QTest::addColumn<double>("top");
        QTest::addColumn<double>("height");
        QTest::newRow("both shown") << true << true << 420.0 << 6000.0 << 720.0 << 4980.0;
        QTest::newRow("toolbar hidden") << false << true << 0.0 << 6000.0 << 300.0 << 5400.0;
        QTest::newRow("status bar hidden") << true << false << 420.0 << 6000.0 << 720.0 << 5280.0;
        QTest::newRow("both hidden") << false << false << 0.0 << 6000.0 << 300.0 << 5700.0;
        QTest::newRow("shorter than its bars") << true << true << 420.0 << 900.0 << 720.0 << 0.0;
    }
    void bars()
    {
        QFETCH(bool, toolbar);
        QFETCH(bool, statusBar);
        LayoutInput in = windowOf(9000);
        in.toolbarVisible = toolbar;
        in.statusBarVisible = statusBar;
        QFETCH(double, titleTop);
        QFETCH(double, innerHeight);
        in.titleTop = titleTop;
        in.innerHeight = innerHeight;
        double x = 4500;
        const LayoutOutput out = SizeControls(x, in);
        QTEST(out.leftList.top(), "top");
        QTEST(out.leftList.height(), "height");
        QCOMPARE(out.rightList.top(), out.leftList.top());
        QCOMPARE(out.rightList.height(), out.leftList.height());
        QCOMPARE(out.splitter.top(), out.leftList.top());
        QCOMPARE(out.splitter.height(), out.leftList.height());
    }

    void drag_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("splitterLeft");
        QTest::addColumn<double>("mouseX");
        QTest::addColumn<double>("barLeft");
        QTest::addColumn<double>("split");
        QTest::newRow("within the limits") << 9000.0 << 4500.0 << 300.0 << 4800.0 << 4800.0;
        // Past the right limit the bar stops at width - 4000, and that split is kept on release.
        QTest::newRow("past the right limit") << 9000.0 << 4500.0 << 2000.0 << 5000.0 << 5000.0;
        QTest::newRow("past the left limit") << 9000.0 << 4500.0 << -1000.0 << 4000.0 << 4000.0;
        QTest::newRow("narrow window") << 6000.0 << 2700.0 << 0.0 << 4000.0 << 2700.0;
    }
    void drag()
    {
        QFETCH(double, width);
        QFETCH(double, splitterLeft);
        QFETCH(double, mouseX);
        SplitterDrag drag;
        const QRectF bar = drag.mouseDown(QRectF(splitterLeft, 720, 75, 4980));
        QCOMPARE(bar, QRectF(splitterLeft, 720, 37, 4960));
        QVERIFY(drag.dragging());
        const auto moved = drag.mouseMove(mouseX, width);
        QVERIFY(moved.has_value());
        QTEST(moved->left(), "barLeft");
        QCOMPARE(moved->width(), 37.0);
        QCOMPARE(moved->top(), 720.0);
        const auto released = drag.mouseUp();
        QVERIFY(released.has_value());
        QVERIFY(!drag.dragging());
        double x = *released;
        SizeControls(x, windowOf(width));
        QTEST(x, "split");
    }

    void dragWithoutMouseDownDoesNothing()
    {
        SplitterDrag drag;
        QVERIFY(!drag.mouseMove(300, 9000).has_value());
        QVERIFY(!drag.mouseUp().has_value());
        drag.mouseDown(QRectF(4500, 0, 60, 1000));
        QVERIFY(drag.mouseUp().has_value());
        QVERIFY(!drag.mouseMove(300, 9000).has_value());
        QVERIFY(!drag.mouseUp().has_value());
    }

    void dragBarWidth_data()
    {
        QTest::addColumn<double>("splitterWidth");
        QTest::addColumn<double>("barWidth");
        QTest::newRow("odd") << 75.0 << 37.0;
        QTest::newRow("even") << 60.0 << 30.0;
        QTest::newRow("half to even below") << 74.5 << 37.0;
        QTest::newRow("half to even above") << 75.5 << 38.0;
        QTest::newRow("one") << 1.0 << 0.0;
    }
    void dragBarWidth()
    {
        QFETCH(double, splitterWidth);
        SplitterDrag drag;
        QTEST(drag.mouseDown(QRectF(4000, 0, splitterWidth, 10)).width(), "barWidth");
    }

    void twips_data()
    {
        QTest::addColumn<double>("twips");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<double>("pixels");
        QTest::newRow("an inch at 96") << 1440.0 << 96.0 << 96.0;
        QTest::newRow("an inch at 192") << 1440.0 << 192.0 << 192.0;
        QTest::newRow("smallest window at 96") << 6000.0 << 96.0 << 400.0;
        QTest::newRow("smallest window at 192") << 6000.0 << 192.0 << 800.0;
        QTest::newRow("no dpi counts as 96") << 1440.0 << 0.0 << 96.0;
    }
    void twips()
    {
        QFETCH(double, twips);
        QFETCH(double, dpi);
        QFETCH(double, pixels);
        QCOMPARE(twipsToPixels(twips, dpi), pixels);
        QCOMPARE(pixelsToTwips(pixels, dpi), twips);
    }

    // The split and the column widths kept from the last run: junk in the store gives nothing,
    // and the design's values stand.
    void remembered_data()
    {
        QTest::addColumn<QString>("split");
        QTest::addColumn<double>("splitUsed"); // 0: none
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QString>("columnsUsed");
        QTest::newRow("as saved") << "5000" << 5000.0 << "1600,1700,1000,700"
                                  << "1600,1700,1000,700";
        QTest::newRow("widths kept whole") << "4000.5" << 4000.5 << " 100, 30000 ,1000.4,700"
                                           << "100,30000,1000,700";
        QTest::newRow("one column too few") << "" << 0.0 << "1600,1700,1000"
                                            << "";
        QTest::newRow("one too many") << "x" << 0.0 << "1600,1700,1000,700,1"
                                      << "";
        QTest::newRow("a column hidden") << "-1" << 0.0 << "1600,0,1000,700"
                                         << "";
        QTest::newRow("not numbers") << "inf" << 0.0 << "1600,wide,1000,700"
                                     << "";
        QTest::newRow("beyond any screen") << "1e7" << 0.0 << "1600,1700,1000,30001"
                                           << "";
    }
    void remembered()
    {
        QFETCH(QString, split);
        QFETCH(double, splitUsed);
        QFETCH(QString, columns);
        QFETCH(QString, columnsUsed);
        QCOMPARE(RememberedLayout::split(split).value_or(0), splitUsed);
        QCOMPARE(RememberedLayout::columnWidthsText(RememberedLayout::columnWidths(columns, 4)), columnsUsed);
    }
};

ORVALT_TEST(WindowLayoutTest);
#include "WindowLayoutTest.moc"
