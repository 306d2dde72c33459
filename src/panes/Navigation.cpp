#include "panes/Navigation.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "panes/HostListing.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"

namespace orvalt {

namespace {

// The folder to enter from the current row of a pane, when it is a selected folder row.
QString folderDownIn(const PaneModel& pane)
{
    const int r = pane.currentRow();
    if (r >= 0 && pane.isSelected(r) && pane.row(r).folder)
        return pane.row(r).name;
    return QString();
}

void enterFolder(ProgramContext& ctx, const QString& side)
{
    const QString name = GetFolderDown(ctx, side);
    if (name.isEmpty())
        return;
    PaneModel& pane = paneList(ctx, side);
    pane.clear();
    QString& path = ctx.state.path(side);
    path = (path == QLatin1String("\\") ? QString() : path) + QLatin1Char('\\') + name;
    pane.setPathText(path);
    LoadListview(ctx, side);
}

} // namespace

QString GetFolderDown(ProgramContext& ctx, const QString& side)
{
    return side.isEmpty() ? QString() : folderDownIn(paneList(ctx, side));
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

void listDoubleClicked(ProgramContext& ctx, const QString& side)
{
    // A double-click is the same navigation as Open, which a running copy must not disturb.
    if (ctx.state.TransferBusy || side.isEmpty())
        return;
    enterFolder(ctx, side);
}

void upButtonClicked(ProgramContext& ctx, const QString& side)
{
    if (ctx.state.TransferBusy)
        return;
    ctx.dialogs.setBusyPointer(true);
    const QString parent = GetFolderUp(ctx.state.path(side));
    if (!parent.isEmpty()) {
        ctx.state.path(side) = parent;
        paneList(ctx, side).setPathText(parent);
        LoadListview(ctx, side);
    }
    ctx.dialogs.setBusyPointer(false);
}

void driveListChanged(ProgramContext& ctx, const QString& side)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    st.Interactive = true;
    PaneModel& pane = paneList(ctx, side);
    st.drive(side) = static_cast<int16_t>(pane.choosers().drive + 1);
    st.path(side) = QStringLiteral("\\");
    st.medium(side) = pane.choosers().driveData();
    pane.clear();
    LoadListview(ctx, side);
    pane.requestFocus();
}

void columnClicked(PaneModel& pane, int column)
{
    // One order serves every column of a pane, and each click reverses it. The rows themselves are
    // put in order, once: the copy and the other actions read them in the order shown, and rows
    // that a refill adds later stay where they are put.
    const Qt::SortOrder order =
        pane.lastSortOrder() == Qt::DescendingOrder ? Qt::AscendingOrder : Qt::DescendingOrder;
    pane.sortByClick(column, order);
}

void toolbarUp(ProgramContext& ctx, const QString& side)
{
    AppState& st = ctx.state;
    if (st.TransferBusy || side.isEmpty())
        return;
    {
        const QString parent = GetFolderUp(st.path(side));
        if (parent.isEmpty())
            return;
        // The root of the system volume holds the operating system's files: a notice, no more.
        if (parent == QLatin1String("\\") && st.devId(side) == QLatin1String("0") &&
            isSystemDrive(st.medium(side)))
            ctx.dialogs.notice(ResourceTexts::text(8111));
        st.path(side) = parent;
        paneList(ctx, side).setPathText(parent);
        LoadListview(ctx, side);
    }
}

void toolbarOpen(ProgramContext& ctx, const QString& side)
{
    if (ctx.state.TransferBusy || side.isEmpty())
        return;
    enterFolder(ctx, side);
}

void toolbarRenew(ProgramContext& ctx)
{
    if (ctx.state.TransferBusy)
        return;
    ctx.dialogs.setBusyPointer(true);
    LoadListview(ctx, QStringLiteral("L"));
    LoadListview(ctx, QStringLiteral("R"));
    ctx.dialogs.setBusyPointer(false);
}

} // namespace orvalt
