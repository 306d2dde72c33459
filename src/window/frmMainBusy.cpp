// The window while the instrument works: a command it is slow to answer (a format, a copy inside
// the instrument, a long listing) and the floppy's pause after a format. The pointer is the busy
// one and the status bar says what is waited for, with the seconds; Renew pressed meanwhile is kept
// and runs once the work is over.

#include "core/AppState.h"
#include "fileops/Format.h"
#include "link/PexLink.h"
#include "window/ActivePane.h"
#include "window/Toolbar.h"
#include "window/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

namespace orvalt {

namespace {

// An answer this slow is shown as waited for; quicker ones would only make the pointer flicker.
constexpr int kShownAfterMs = 500;

} // namespace

void frmMain::buildBusyStatus()
{
    m_controls.statusBusy = new QLabel(m_controls.sbStatusBar);
    m_controls.statusBusy->setObjectName(QStringLiteral("statusBusy"));
    m_controls.sbStatusBar->addPermanentWidget(m_controls.statusBusy);
    m_controls.statusBusy->hide();
    // The link calls instrumentWaits every kIdleHookMs while it waits; when that stops, the answer
    // is in.
    m_waitEnded = new QTimer(this);
    m_waitEnded->setSingleShot(true);
    m_waitEnded->setInterval(3 * link::PexLink::kIdleHookMs);
    connect(m_waitEnded, &QTimer::timeout, this, [this] {
        m_waiting.invalidate();
        if (!m_waitShown)
            return;
        m_waitShown = false;
        QGuiApplication::restoreOverrideCursor();
        showBusyText(m_busyText);
    });
}

void frmMain::instrumentWaits()
{
    if (!m_waiting.isValid())
        m_waiting.start();
    m_waitEnded->start();
    if (m_waiting.elapsed() >= kShownAfterMs) {
        if (!m_waitShown) {
            m_waitShown = true;
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        }
        const QString waited =
            QStringLiteral("Waiting for the instrument's answer: %1 s").arg(m_waiting.elapsed() / 1000);
        m_controls.statusBusy->setText(m_busyText.isEmpty() ? waited
                                                            : m_busyText + QStringLiteral("  ") + waited);
        m_controls.statusBusy->show();
    }
    // The window repaints; user input waits, since it could start a second exchange in the middle
    // of this one.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void frmMain::showBusyText(const QString& text)
{
    m_busyText = text;
    m_controls.statusBusy->setText(text);
    m_controls.statusBusy->setVisible(!text.isEmpty());
}

void frmMain::formatKeepingRenew()
{
    // The floppy's pause takes no input at all; only Renew (its button or Ctrl+R) is noted, and
    // asked for again once the format is over, when the dispatcher runs it.
    bool renew = false;
    QAction* renewAction = nullptr;
    for (QAction* a : m_controls.tbToolBar->actions())
        if (a->data().toString() == ToolKeys::Renew)
            renewAction = a;
    const QWidget* renewButton = m_controls.tbToolBar->widgetForAction(renewAction);
    const auto noteRenew = [&renew, renewAction, renewButton](QObject* watched, QEvent* event) {
        // Its key reaches the button's action as a shortcut; a click, the window under the pointer.
        if (event->type() == QEvent::Shortcut) {
            renew = renew || watched == renewAction;
        } else if (event->type() == QEvent::MouseButtonRelease && qobject_cast<QWindow*>(watched)) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            renew = renew || (mouse->button() == Qt::LeftButton &&
                              QApplication::widgetAt(mouse->globalPosition().toPoint()) == renewButton);
        }
    };
    toolbarFormat(m_ctx, activeSide(m_state), [this, &noteRenew](int ms) {
        pauseWithoutInput(m_floppyPauseMs < 0 ? ms : m_floppyPauseMs, noteRenew);
    });
    if (renew)
        m_dispatcher.dispatch(ToolKeys::Renew); // runs once the format's own action is over
}

} // namespace orvalt
