#include "panes/HostListing.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemoteListing.h"
#include "panes/RemotePaths.h"
#include "panes/RowText.h"

namespace orvalt {

namespace {

bool isHost(const AppState& st, const QString& side)
{
    return st.devId(side) == QLatin1String("0");
}

// Whether an instrument pane has a row of that name: the very name, or one that differs only in
// case, since an instrument's medium does not tell them apart. Kind is not looked at.
bool listHasName(const PaneModel& pane, const QString& name)
{
    return pane.rowNamed(name) >= 0;
}

// The active side's letter; the left one when no list has had the focus yet.
QString activeSide(const AppState& st)
{
    return st.RActive ? QStringLiteral("R") : QStringLiteral("L");
}

QString inactiveSide(const AppState& st)
{
    return st.LActive ? QStringLiteral("R") : QStringLiteral("L");
}

} // namespace

QList<PaneRow> hostRows(const QList<HostItem>& items)
{
    QList<PaneRow> rows;
    rows.reserve(items.size());
    for (const HostItem& item : items) {
        const bool folder = item.entry.isFolder();
        rows.append({item.entry.name, dateText(item.created), sizeText(item.size),
                     folder ? QString(kDirKind) : kindText(item.entry.name), folder,
                     folder ? -1 : item.size});
    }
    return rows;
}

bool isSystemDrive(const QString& drivePrefix)
{
#ifdef Q_OS_WIN
    return drivePrefix.right(2).toUpper() == QLatin1String("C:");
#else
    return drivePrefix.isEmpty();
#endif
}

QString paneHostFolder(ProgramContext& ctx, const QString& side)
{
    return ctx.state.medium(side) + ctx.state.path(side);
}

void LoadListview(ProgramContext& ctx, const QString& side)
{
    AppState& st = ctx.state;
    PaneModel& pane = paneList(ctx, side);
    // Rows stay in the order they are added until a heading is clicked again.
    pane.hideSortMark();
    ctx.dialogs.setBusyPointer(true);
    pane.clear();
    if (!isHost(st, side)) {
        R_LoadListview(ctx, side);
    } else {
        // The right pane follows its drive list; the left keeps its medium.
        if (!AppState::isLeft(side))
            st.RMedium = pane.choosers().driveData();
        pane.appendRows(
            hostRows(ctx.hostFs.listFolder(paneHostFolder(ctx, side), HostFs::FolderSizes::Walk)));
    }
    pane.setPathText(st.path(side));
    ctx.dialogs.setBusyPointer(false);
}

bool myFolderExistsU(ProgramContext& ctx, const QString& path)
{
    const AppState& st = ctx.state;
    if ((st.LActive && isHost(st, QStringLiteral("L"))) || (st.RActive && isHost(st, QStringLiteral("R"))))
        return ctx.hostFs.folderExists(path);
    return listHasName(paneList(ctx, activeSide(st)), NameOfPath(path));
}

namespace {

// Asks the host when the inactive pane shows it, else looks for the name in that pane's list.
template<typename HostQuestion>
bool existsInInactivePane(ProgramContext& ctx, const QString& path, HostQuestion askHost)
{
    const AppState& st = ctx.state;
    if ((st.LActive && isHost(st, QStringLiteral("R"))) || (st.RActive && isHost(st, QStringLiteral("L"))))
        return askHost(path);
    return listHasName(paneList(ctx, inactiveSide(st)), NameOfPath(path));
}

} // namespace

bool myFolderExists(ProgramContext& ctx, const QString& path)
{
    return existsInInactivePane(ctx, path, [&](const QString& p) { return ctx.hostFs.folderExists(p); });
}

bool myFileExists(ProgramContext& ctx, const QString& path)
{
    return existsInInactivePane(ctx, path, [&](const QString& p) { return ctx.hostFs.fileExists(p); });
}

FileEntry GetFileEntry(ProgramContext& ctx, const QString& path, const QString& side)
{
    if (isHost(ctx.state, side)) {
        const auto item = ctx.hostFs.fileEntry(path);
        return item ? item->entry : FileEntry();
    }
    const PaneModel& pane = paneList(ctx, side);
    const int r = pane.rowNamed(NameOfPath(path));
    if (r < 0)
        return FileEntry();
    const PaneRow& row = pane.row(r);
    FileEntry e;
    e.name = row.name;
    e.shortName = row.name;
    e.date = row.date;
    e.size = RmtFileSize(ctx, row.name); // the stored name, which may differ in case
    return e;
}

FileEntry GetFolderEntry(ProgramContext& ctx, const QString& path, const QString& side)
{
    if (isHost(ctx.state, side)) {
        const auto item = ctx.hostFs.folderEntry(path, HostFs::FolderSizes::Skip);
        return item ? item->entry : FileEntry();
    }
    const PaneModel& pane = paneList(ctx, side);
    const int r = pane.rowNamed(NameOfPath(path));
    if (r < 0)
        return FileEntry();
    const PaneRow& row = pane.row(r);
    FileEntry e;
    e.name = row.name;
    e.shortName = row.name;
    e.date = row.date;
    e.attributes = FileEntry::kFolder;
    return e;
}

} // namespace orvalt
