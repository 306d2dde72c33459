// The main window's layout: panes and selector rows follow the window size and the splitter.
// The rules work in twips on the window's inner area (below the menu bar, toolbar included); the
// widgets live in the central widget, which starts below the toolbar.

#include "panes/Navigation.h"
#include "window/ActivePane.h"
#include "window/WindowLayout.h"
#include "window/frmMain.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

namespace orvalt {

namespace {

// Design-time places of the selector rows, in twips.
constexpr double kRowGap = 45;
constexpr double kSelectorLeft = 600; // source selector and medium selector
constexpr double kSelectorWidth = 1500;
constexpr double kUpButtonLeft = 100;
constexpr double kUpButtonWidth = 420;
constexpr double kPathBoxLeft = kSelectorLeft + kSelectorWidth + 100;
constexpr double kSplitterWidth = 60;
constexpr double kInitialSplit = 4000;

} // namespace

void frmMain::SizeControls(double& x)
{
    auto& c = m_controls;
    const double dpi = logicalDpi();
    const auto tw = [dpi](double px) {
        return pixelsToTwips(px, dpi);
    };
    const auto px = [dpi](double twips) {
        return qRound(twipsToPixels(twips, dpi));
    };

    const double rowHeight = tw(qMax(c.ImageCombo1->sizeHint().height(), c.Combo1->sizeHint().height()));
    const bool toolbarShown = c.tbToolBar->isVisible() || !isVisible();
    const double toolbarHeight = tw(c.tbToolBar->sizeHint().height());
    const double menuHeight = menuBar()->isVisible() || !isVisible() ? tw(menuBar()->sizeHint().height()) : 0;

    LayoutInput in;
    in.windowWidth = tw(width());
    in.innerHeight = tw(height()) - menuHeight;
    in.toolbarVisible = toolbarShown;
    in.toolbarHeight = toolbarHeight;
    in.titleTop = toolbarShown ? toolbarHeight : 0;
    in.titleHeight = 2 * rowHeight + 3 * kRowGap;
    in.statusBarVisible = c.sbStatusBar->isVisible() || !isVisible();
    in.statusBarHeight = tw(c.sbStatusBar->sizeHint().height());
    in.rightSelectorWidth = kSelectorWidth;
    in.leftListLeft = 0;
    in.splitterWidth = kSplitterWidth;
    const LayoutOutput out = orvalt::SizeControls(x, in);
    m_splitTwips = out.split;

    // Inner coordinates to the central widget's: the central widget begins below the toolbar.
    const double offset = in.titleTop;
    auto place = [&](QWidget* w, double left, double top, double widthTwips, double heightTwips) {
        w->setGeometry(px(left), px(top - offset), qMax(0, px(widthTwips)), qMax(0, px(heightTwips)));
    };
    const double row1 = in.titleTop + kRowGap;
    const double row2 = row1 + rowHeight + kRowGap;

    place(c.picTitles, 0, in.titleTop, in.windowWidth, in.titleHeight);
    place(c.ComboLDev, kSelectorLeft, row1, kSelectorWidth, rowHeight);
    place(c.Command1, kUpButtonLeft, row2, kUpButtonWidth, rowHeight);
    place(c.ImageCombo1, kSelectorLeft, row2, kSelectorWidth, rowHeight);
    place(c.DriveListL, kSelectorLeft, row2, kSelectorWidth, rowHeight);
    place(c.Combo1, kPathBoxLeft, row2, out.combo1Width, rowHeight);

    place(c.ComboRDev, out.comboRDevLeft, row1, kSelectorWidth, rowHeight);
    place(c.Command2, out.command2Left, row2, kUpButtonWidth, rowHeight);
    place(c.ImageCombo2, out.imageCombo2Left, row2, kSelectorWidth, rowHeight);
    place(c.DriveListR, out.driveListRLeft, row2, kSelectorWidth, rowHeight);
    // The right path box would reach past the window's edge and hide its drop-down button; it ends
    // with the right list instead.
    const double combo2Width = qMin(out.combo2Width, out.rightList.right() - out.combo2Left);
    place(c.Combo2, out.combo2Left, row2, combo2Width, rowHeight);

    place(c.L_ListView, out.leftList.left(), out.leftList.top(), out.leftList.width(), out.leftList.height());
    place(c.lvListView, out.rightList.left(), out.rightList.top(), out.rightList.width(),
          out.rightList.height());
    place(c.imgSplitter, out.splitter.left(), out.splitter.top(), out.splitter.width(),
          out.splitter.height());
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    const double dpi = logicalDpi();
    const int minWidth = qRound(twipsToPixels(WindowLayout::kMinWindowWidth, dpi));
    setMinimumWidth(minWidth);
    if (width() < minWidth) {
        resize(minWidth, height());
        return; // the resize comes back here with the new width
    }
    double x = m_splitTwips > 0 ? m_splitTwips : kInitialSplit;
    SizeControls(x);
}

void frmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    double x = m_splitTwips > 0 ? m_splitTwips : kInitialSplit;
    SizeControls(x);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    QTreeView* list = watched == m_controls.L_ListView || watched == m_controls.lvListView
                          ? static_cast<QTreeView*>(watched)
                          : nullptr;
    if (event->type() == QEvent::FocusIn && list) {
        listFocused(m_ctx, list == m_controls.L_ListView ? QStringLiteral("L") : QStringLiteral("R"));
        markActivePane();
    }
    if (event->type() == QEvent::KeyPress && list && listKeyPress(list, static_cast<QKeyEvent*>(event)))
        return true;
    for (QTreeView* view : {m_controls.L_ListView, m_controls.lvListView}) {
        if (view && watched == view->viewport() && viewportDragEvent(view, event))
            return true;
    }
    if (watched != m_controls.imgSplitter)
        return QMainWindow::eventFilter(watched, event);
    const double dpi = logicalDpi();
    const auto tw = [dpi](double px) {
        return pixelsToTwips(px, dpi);
    };
    QWidget* splitter = m_controls.imgSplitter;
    QWidget* bar = m_controls.picSplitter;
    // The drag bar is placed in the central widget's pixels; the rules see the splitter's geometry
    // in twips of the same coordinates, which is all they compare with (lefts and widths).
    auto showBar = [&](const QRectF& r) {
        bar->setGeometry(qRound(twipsToPixels(r.left(), dpi)), splitter->y(),
                         qMax(2, qRound(twipsToPixels(r.width(), dpi))),
                         qRound(twipsToPixels(r.height(), dpi)));
        bar->raise(); // above both lists while it moves
    };
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const QRect g = splitter->geometry();
        showBar(m_drag.mouseDown(QRectF(tw(g.x()), tw(g.y()), tw(g.width()), tw(g.height()))));
        bar->show();
        return true;
    }
    case QEvent::MouseMove: {
        const auto* me = static_cast<QMouseEvent*>(event);
        if (const auto r = m_drag.mouseMove(tw(me->position().x()), tw(width())))
            showBar(*r);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        if (auto x = m_drag.mouseUp()) {
            bar->hide();
            SizeControls(*x);
        }
        return true;
    }
    default:
        return QMainWindow::eventFilter(watched, event);
    }
}

} // namespace orvalt
