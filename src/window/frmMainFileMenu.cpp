// The File menu beyond the two entries of the program's design (New Folder preparation, Close):
// what the toolbar does to the active pane's selection, with the keys that do it, and View (F3),
// whose front end's half lives here too: the active pane says which file, openForView reads it
// and a viewer window (frmView) shows it, beside the main window.

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "panes/Endpoint.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "viewer/ViewSource.h"
#include "window/ActivePane.h"
#include "window/Toolbar.h"
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

void frmMain::buildFileMenu()
{
    auto& c = m_controls;
    c.mnuView = new QAction(QStringLiteral("View"), this);
    c.mnuView->setObjectName(QStringLiteral("mnuView"));
    c.mnuView->setShortcut(QKeySequence(Qt::Key_F3));
    addAction(c.mnuView);
    connect(c.mnuView, &QAction::triggered, this, [this] { m_dispatcher.dispatch(kViewKey); });
    m_dispatcher.setAction(kViewKey, [this] { viewFromActive(); });

    // The toolbar's actions under their resource texts (put on at load); their keys live on the
    // toolbar and are only shown here.
    auto toolbarEntry = [this](const char* name, int text, const QString& key, const QKeySequence& shown) {
        auto* a = new QAction(QString::number(text), this);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(shown);
        a->setShortcutContext(Qt::WidgetShortcut);
        connect(a, &QAction::triggered, this, [this, key] { m_dispatcher.dispatch(key); });
        return a;
    };
    c.mnuRename = toolbarEntry("mnuRename", 1026, ToolKeys::Rename, QKeySequence(Qt::Key_F2));
    c.mnuDelete = toolbarEntry("mnuDelete", 1008, ToolKeys::Delete, QKeySequence(Qt::Key_F8));
    c.mnuFormat = toolbarEntry("mnuFormat", 1027, ToolKeys::Format, QKeySequence());
    // After New Folder preparation, before the separator above Close.
    const QList<QAction*> items = c.mnuFile->actions();
    c.mnuFile->insertActions(items.size() > 1 ? items.at(1) : nullptr,
                             {c.mnuView, c.mnuRename, c.mnuDelete, c.mnuFormat});
}

void frmMain::viewFromActive()
{
    const QString side = activeSide(m_state);
    const PaneModel* pane = side.isEmpty() ? nullptr : AppState::isLeft(side) ? &m_leftPane : &m_rightPane;
    int row = pane ? pane->currentRow() : -1;
    if (pane && (row < 0 || !pane->isSelected(row))) {
        const QList<int> rows = pane->selectedRows();
        row = rows.isEmpty() ? -1 : rows.first();
    }
    if (row < 0) {
        m_dialogs.notice(QStringLiteral("Choose a file to view."));
        return;
    }
    const PaneRow& chosen = pane->row(row);
    if (chosen.folder) {
        m_dialogs.notice(
            QStringLiteral("%1 is a folder: View shows a file; Enter opens the folder.").arg(chosen.name));
        return;
    }
    std::optional<ViewOpened> opened = openForView(m_ctx, paneEndpoint(m_state, side), chosen.name);
    if (!opened)
        return;
    auto* view = new frmView(std::move(opened->document), m_dialogs, std::move(opened->keep), this);
    view->show();
    view->raise();
    view->activateWindow();
}

} // namespace orvalt
