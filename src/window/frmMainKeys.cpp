// What a user of two-pane file managers reaches for: the keys, the lists' context menus, the mark
// of the active pane, the line's panel in the status bar, and drops on the lists. Every key and
// menu entry runs what its toolbar button runs, through the dispatcher.

#include "core/AppState.h"
#include "core/ResourceTexts.h"
#include "core/SerialSettings.h"
#include "fileops/DeleteAndCreate.h"
#include "panes/Navigation.h"
#include "panes/ProgramContext.h"
#include "session/Connection.h"
#include "transfer/CopyDriver.h"
#include "window/ActivePane.h"
#include "window/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

namespace orvalt {

namespace {

// The keys of the toolbar's buttons, window-wide. Delete, Enter and Backspace belong to the lists
// (listKeyPress), F5 and F7 to actions of their own.
QList<QKeySequence> toolbarKeys(const QString& key)
{
    if (key == ToolKeys::Delete)
        return {QKeySequence(Qt::Key_F8)};
    if (key == ToolKeys::Rename)
        return {QKeySequence(Qt::Key_F2)};
    if (key == ToolKeys::Renew)
        return {QKeySequence(Qt::CTRL | Qt::Key_R)};
    if (key == ToolKeys::Interrupt)
        return {QKeySequence(Qt::Key_Escape)};
    return {};
}

QString keyText(const QKeySequence& key)
{
    return key.toString(QKeySequence::NativeText);
}

// Copy to Left copies from the right pane, Copy to Right from the left one.
QString copyKeyFrom(const QString& side)
{
    return AppState::isLeft(side) ? ToolKeys::CopyRight : ToolKeys::CopyLeft;
}

QStringList localFiles(const QMimeData* mime)
{
    QStringList files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            files << url.toLocalFile();
    }
    return files;
}

} // namespace

void frmMain::buildKeys()
{
    for (QAction* a : m_controls.tbToolBar->actions()) {
        const QList<QKeySequence> keys = toolbarKeys(a->data().toString());
        if (!keys.isEmpty())
            a->setShortcuts(keys);
    }
    m_controls.mnuCreateFolder->setShortcut(QKeySequence(Qt::Key_F7));

    m_controls.actCopyOther = new QAction(this);
    m_controls.actCopyOther->setObjectName(QStringLiteral("actCopyOther"));
    m_controls.actCopyOther->setShortcut(QKeySequence(Qt::Key_F5));
    addAction(m_controls.actCopyOther);
    connect(m_controls.actCopyOther, &QAction::triggered, this, &frmMain::dispatchCopyFromActive);

    for (QTreeView* list : {m_controls.L_ListView, m_controls.lvListView})
        list->setDragDropMode(QAbstractItemView::DragDrop);
    m_leftPane.setDragTag(QStringLiteral("L"));
    m_rightPane.setDragTag(QStringLiteral("R"));
}

void frmMain::showKeysInTips()
{
    // After the resource texts: a tool-tip reads "Delete (F8)".
    for (QAction* a : m_controls.tbToolBar->actions()) {
        const QString key = a->data().toString();
        QString keys;
        if (key == ToolKeys::CopyLeft)
            keys = QStringLiteral("F5 in the right pane");
        else if (key == ToolKeys::CopyRight)
            keys = QStringLiteral("F5 in the left pane");
        else if (key == ToolKeys::Delete)
            keys = QStringLiteral("F8, Del in a list");
        else if (key == ToolKeys::Open)
            keys = QStringLiteral("Enter in a list");
        else if (key == ToolKeys::Up)
            keys = QStringLiteral("Backspace in a list");
        else if (!a->shortcut().isEmpty())
            keys = keyText(a->shortcut());
        if (!keys.isEmpty() && !a->toolTip().endsWith(QLatin1Char(')')))
            a->setToolTip(a->toolTip() + QStringLiteral(" (") + keys + QLatin1Char(')'));
    }
}

QString frmMain::activeOrLeft() const
{
    return m_state.RActive ? QStringLiteral("R") : QStringLiteral("L");
}

QTreeView* frmMain::listOf(const QString& side) const
{
    return AppState::isLeft(side) ? m_controls.L_ListView : m_controls.lvListView;
}

void frmMain::dispatchCopyFromActive()
{
    // With no active pane yet the copy from the left pane says what it says when nothing is chosen.
    m_dispatcher.dispatch(copyKeyFrom(activeOrLeft()));
}

void frmMain::focusOtherList(QTreeView* from)
{
    const QString side = from == m_controls.L_ListView ? QStringLiteral("R") : QStringLiteral("L");
    listOf(side)->setFocus(Qt::TabFocusReason);
    // The focus does not reach a window that is not active; the pane becomes the active one anyway.
    listFocused(m_ctx, side);
    markActivePane();
}

bool frmMain::listKeyPress(QTreeView* list, QKeyEvent* event)
{
    const QString side = list == m_controls.L_ListView ? QStringLiteral("L") : QStringLiteral("R");
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (mods & ~Qt::ShiftModifier)
            return false;
        focusOtherList(list);
        return true;
    case Qt::Key_Delete:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Backspace:
        if (mods != Qt::NoModifier)
            return false;
        // The list has the focus, so it is the active pane whatever event made it so.
        listFocused(m_ctx, side);
        if (event->key() == Qt::Key_Delete)
            m_dispatcher.dispatch(ToolKeys::Delete);
        else if (event->key() == Qt::Key_Backspace)
            (AppState::isLeft(side) ? m_controls.Command1 : m_controls.Command2)->click();
        else
            m_dispatcher.dispatch(ToolKeys::Open);
        return true;
    default:
        return false;
    }
}

void frmMain::showListMenu(const QString& side, const QPoint& pos)
{
    QTreeView* list = listOf(side);
    listFocused(m_ctx, side);
    markActivePane();
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("listMenu"));
    auto add = [&menu](int text, const QString& key) {
        QAction* a = menu.addAction(ResourceTexts::text(text));
        a->setData(key);
        return a;
    };
    // What acts on the selection is there but cannot be chosen without one (Delete would ask
    // about removing nothing).
    bool folders = false;
    bool files = false;
    for (const PaneRow& row : (AppState::isLeft(side) ? m_leftPane : m_rightPane).selectedItems())
        (row.folder ? folders : files) = true;
    add(1007, ToolKeys::Open)->setShortcut(QKeySequence(Qt::Key_Return));
    menu.actions().constLast()->setEnabled(folders);
    QAction* view = menu.addAction(m_controls.mnuView->text());
    view->setShortcut(m_controls.mnuView->shortcut());
    view->setEnabled(files);
    add(AppState::isLeft(side) ? 1019 : 1018, copyKeyFrom(side))->setShortcut(QKeySequence(Qt::Key_F5));
    menu.actions().constLast()->setEnabled(files || folders);
    menu.addSeparator();
    add(1026, ToolKeys::Rename)->setShortcut(QKeySequence(Qt::Key_F2));
    menu.actions().constLast()->setEnabled(files || folders);
    add(1008, ToolKeys::Delete)->setShortcut(QKeySequence(Qt::Key_Delete));
    menu.actions().constLast()->setEnabled(files || folders);
    QAction* folder = add(1023, QString());
    folder->setShortcut(QKeySequence(Qt::Key_F7));
    menu.addSeparator();
    add(1025, ToolKeys::Renew)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    if (m_state.devId(side) != QLatin1String("0"))
        add(1027, ToolKeys::Format);
    for (QAction* a : menu.actions())
        a->setShortcutContext(Qt::WidgetShortcut); // shown only; the keys live on the window
    QAction* chosen = menu.exec(list->viewport()->mapToGlobal(pos));
    if (!chosen)
        return;
    if (chosen == folder)
        m_controls.mnuCreateFolder->trigger();
    else if (chosen == view)
        m_controls.mnuView->trigger();
    else
        m_dispatcher.dispatch(chosen->data().toString());
}

void frmMain::markActivePane()
{
    // The active pane's list has a frame in the highlight colour; the other a quiet one of the
    // same width, so nothing moves when the focus changes sides.
    for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")}) {
        QTreeView* list = listOf(side);
        const bool active = AppState::isLeft(side) ? m_state.LActive : m_state.RActive;
        QPalette pal = list->palette();
        pal.setColor(QPalette::WindowText,
                     active ? pal.color(QPalette::Highlight) : pal.color(QPalette::Mid));
        list->setPalette(pal);
        list->setLineWidth(2);
        list->setProperty("activePane", active);
    }
}

void frmMain::showLineStatus()
{
    m_controls.statusLine->setText(linePanelText(m_state, m_link));
    // After the line was lost an instrument pane still shows what was there before: greyed, and its
    // tip says why, until the instrument answers again.
    const bool outOfReach = instrumentOutOfReach(m_state, m_link);
    for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")}) {
        QTreeView* list = listOf(side);
        const bool stale = outOfReach && m_state.devId(side) == QLatin1String("1");
        const QPalette normal = QApplication::palette(list);
        QPalette pal = list->palette();
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            pal.setBrush(group, QPalette::Text,
                         normal.brush(stale ? QPalette::Disabled : group, QPalette::Text));
        list->setPalette(pal);
        list->setProperty("current", !stale);
        list->setToolTip(stale ? QStringLiteral("Not current: the line to the instrument was lost. Press "
                                                "Connection to list it again.")
                               : QString());
    }
}

bool frmMain::viewportDragEvent(QTreeView* list, QEvent* event)
{
    const auto type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop &&
        type != QEvent::DragLeave)
        return false;
    if (type == QEvent::DragLeave)
        return true;
    auto* drop = static_cast<QDropEvent*>(event);
    const QString side = list == m_controls.L_ListView ? QStringLiteral("L") : QStringLiteral("R");
    const QMimeData* mime = drop->mimeData();
    const QString from =
        mime ? QString::fromUtf8(mime->data(QString::fromLatin1(PaneModel::kRowsMimeType))) : QString();
    const bool rows = (from == QLatin1String("L") || from == QLatin1String("R")) && from != side;
    // Files from the desktop go to an instrument pane; a host pane is the desktop's own business.
    const QStringList files = rows ? QStringList() : localFiles(mime);
    const bool takes = rows || (!files.isEmpty() && m_state.devId(side) != QLatin1String("0"));
    // While a copy runs a drop is refused: the pointer says so, and a drop does nothing.
    if (!takes || m_state.TransferBusy) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(rows ? Qt::CopyAction : drop->proposedAction());
    drop->accept();
    if (type != QEvent::Drop)
        return true;
    if (rows) {
        // The rows dragged are the source pane's selection, and the copy is Copy to Left / Right.
        listFocused(m_ctx, from);
        m_dispatcher.dispatch(copyKeyFrom(from));
    } else {
        copyHostItemsInto(m_ctx, side, files);
        markActivePane();
        showLineStatus();
    }
    return true;
}

} // namespace orvalt
