#include "panes/Navigation.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "panes/HostListing.h"
#include "panes/PaneRows.h"
#include "panes/ProgramContext.h"
#include "window/MainControls.h"

#include <QComboBox>
#include <QHeaderView>
#include <QTreeWidget>

namespace orvalt {

namespace {

const char* const kSortOrderProperty = "paneSortOrder";

// The folder to enter from the current row of a list, when it is a selected folder row.
QString folderDownIn(QTreeWidget* list)
{
    QTreeWidgetItem* row = list->currentItem();
    if (row && row->isSelected() && IsFolderRow(row))
        return row->text(0);
    return QString();
}

void enterFolder(ProgramContext& ctx, const QString& side)
{
    const QString name = GetFolderDown(ctx);
    if (name.isEmpty())
        return;
    PaneList(ctx.controls, side)->clear();
    QString& path = ctx.state.path(side);
    path = (path == QLatin1String("\\") ? QString() : path) + QLatin1Char('\\') + name;
    PanePathBox(ctx.controls, side)->setEditText(path);
    LoadListview(ctx, side);
}

// The sides the toolbar acts on: the right pane when it is active, then the left one.
QStringList activeSides(const AppState& st)
{
    QStringList sides;
    if (st.RActive)
        sides << QStringLiteral("R");
    if (st.LActive)
        sides << QStringLiteral("L");
    return sides;
}

} // namespace

void ListFocused(ProgramContext& ctx, const QString& side)
{
    ctx.state.LActive = AppState::isLeft(side);
    ctx.state.RActive = !AppState::isLeft(side);
}

QString GetFolderDown(ProgramContext& ctx)
{
    QString result;
    if (ctx.state.LActive)
        result = folderDownIn(ctx.controls.L_ListView);
    if (ctx.state.RActive)
        result = folderDownIn(ctx.controls.lvListView);
    return result;
}

QString GetFolderUp(const QString& path)
{
    if (path.isEmpty() || path == QLatin1String("\\"))
        return QString();
    const qsizetype last = path.lastIndexOf(QLatin1Char('\\'));
    if (last <= 0)
        return QStringLiteral("\\");
    return path.left(last);
}

void ListDoubleClicked(ProgramContext& ctx)
{
    // A double-click is the same navigation as Open, which a running copy must not disturb.
    if (ctx.state.TransferBusy)
        return;
    for (const QString& side : activeSides(ctx.state))
        enterFolder(ctx, side);
}

void UpButtonClicked(ProgramContext& ctx, const QString& side)
{
    if (ctx.state.TransferBusy)
        return;
    ctx.dialogs.setBusyPointer(true);
    const QString parent = GetFolderUp(ctx.state.path(side));
    if (!parent.isEmpty()) {
        ctx.state.path(side) = parent;
        PanePathBox(ctx.controls, side)->setEditText(parent);
        LoadListview(ctx, side);
    }
    ctx.dialogs.setBusyPointer(false);
}

void DriveListChanged(ProgramContext& ctx, const QString& side)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    st.Interactive = true;
    QComboBox* drives = PaneDriveList(ctx.controls, side);
    st.drive(side) = static_cast<int16_t>(drives->currentIndex() + 1);
    st.path(side) = QStringLiteral("\\");
    st.medium(side) = drives->currentData().toString();
    QTreeWidget* list = PaneList(ctx.controls, side);
    list->clear();
    LoadListview(ctx, side);
    list->setFocus();
    ListFocused(ctx, side);
}

void ColumnClicked(QTreeWidget* list, int column)
{
    // One order serves every column of a list, and each click reverses it. The list keeps it
    // itself: the header flips its own indicator on a click, before this handler runs.
    const bool wasDescending = list->property(kSortOrderProperty).toInt() == Qt::DescendingOrder;
    const Qt::SortOrder order = wasDescending ? Qt::AscendingOrder : Qt::DescendingOrder;
    list->setProperty(kSortOrderProperty, order);
    list->header()->setSortIndicatorShown(true);
    // The rows themselves are put in order, once: the copy and the other actions read them in the
    // order shown, and rows that a refill adds later stay where they are put.
    list->sortItems(column, order);
}

void ToolbarUp(ProgramContext& ctx)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    for (const QString& side : activeSides(st)) {
        const QString parent = GetFolderUp(st.path(side));
        if (parent.isEmpty())
            continue;
        // The root of the system volume holds the operating system's files: a notice, no more.
        if (parent == QLatin1String("\\") && st.devId(side) == QLatin1String("0") &&
            IsSystemDrive(st.medium(side)))
            ctx.dialogs.notice(ResourceTexts::text(8111));
        st.path(side) = parent;
        PanePathBox(ctx.controls, side)->setEditText(parent);
        LoadListview(ctx, side);
    }
}

void ToolbarOpen(ProgramContext& ctx)
{
    if (ctx.state.TransferBusy)
        return;
    for (const QString& side : activeSides(ctx.state))
        enterFolder(ctx, side);
}

void ToolbarRenew(ProgramContext& ctx)
{
    if (ctx.state.TransferBusy)
        return;
    ctx.dialogs.setBusyPointer(true);
    LoadListview(ctx, QStringLiteral("L"));
    LoadListview(ctx, QStringLiteral("R"));
    ctx.dialogs.setBusyPointer(false);
}

} // namespace orvalt
