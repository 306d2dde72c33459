// View (F3): the front end's half of it. The active pane says which file; openForView reads it
// and a viewer window (frmView) shows it, beside the main window.

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "viewer/ViewSource.h"
#include "window/frmMain.h"
#include "window/frmView.h"

#include <QAction>
#include <QMenu>

namespace orvalt {

namespace {

// The dispatcher's key of View: not a toolbar button, but run as one (the user has acted, the
// pointer comes back after it).
const QString kViewKey = QStringLiteral("View");

} // namespace

void frmMain::buildViewActions()
{
    auto& c = m_controls;
    c.mnuView = new QAction(QStringLiteral("&View"), this);
    c.mnuView->setObjectName(QStringLiteral("mnuView"));
    c.mnuView->setShortcut(QKeySequence(Qt::Key_F3));
    c.mnuView->setShortcutContext(Qt::WindowShortcut);
    // In the File menu after New Folder preparation, before the separator above Close.
    const QList<QAction*> items = c.mnuFile->actions();
    c.mnuFile->insertAction(items.size() > 1 ? items.at(1) : nullptr, c.mnuView);
    addAction(c.mnuView);
    connect(c.mnuView, &QAction::triggered, this, [this] { m_dispatcher.dispatch(kViewKey); });
    m_dispatcher.setAction(kViewKey, [this] { viewFromActive(); });
}

void frmMain::viewFromActive()
{
    const QString side = activeSide();
    const PaneModel& pane = AppState::isLeft(side) ? m_leftPane : m_rightPane;
    int row = pane.currentRow();
    if (row < 0 || !pane.isSelected(row)) {
        const QList<int> rows = pane.selectedRows();
        row = rows.isEmpty() ? -1 : rows.first();
    }
    if (row < 0) {
        m_dialogs.notice(QStringLiteral("Choose a file to view."));
        return;
    }
    const PaneRow& chosen = pane.row(row);
    if (chosen.folder) {
        m_dialogs.notice(
            QStringLiteral("%1 is a folder: View shows a file; Enter opens the folder.").arg(chosen.name));
        return;
    }
    const QString folder = m_state.path(side) == QLatin1String("\\") ? QString() : m_state.path(side);
    const ViewTarget target{m_state.devId(side) != QLatin1String("0"),
                            m_state.medium(side) + folder + QLatin1Char('\\') + chosen.name};
    std::optional<ViewOpened> opened = openForView(m_ctx, target);
    if (!opened)
        return;
    auto* view = new frmView(std::move(opened->document), m_dialogs, std::move(opened->keep), this);
    view->show();
    view->raise();
    view->activateWindow();
}

} // namespace orvalt
