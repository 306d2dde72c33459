#include "panes/HostListing.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "panes/Endpoint.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemoteListing.h"
#include "panes/RemotePaths.h"
#include "panes/RowText.h"
#include "session/InstrumentSession.h"

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

bool folderIn(ProgramContext& ctx, const Endpoint& where, const QString& path)
{
    if (where.host)
        return ctx.hostFs.folderExists(path);
    return !where.pane.isEmpty() && listHasName(paneList(ctx, where.pane), NameOfPath(path));
}

bool fileIn(ProgramContext& ctx, const Endpoint& where, const QString& path)
{
    if (where.host)
        return ctx.hostFs.fileExists(path);
    return !where.pane.isEmpty() && listHasName(paneList(ctx, where.pane), NameOfPath(path));
}

FileEntry GetFileEntry(ProgramContext& ctx, const QString& path, const Endpoint& where)
{
    if (where.host) {
        const auto item = ctx.hostFs.fileEntry(path);
        return item ? item->entry : FileEntry();
    }
    if (where.pane.isEmpty())
        return FileEntry();
    const PaneModel& pane = paneList(ctx, where.pane);
    const int r = pane.rowNamed(NameOfPath(path));
    if (r < 0)
        return FileEntry();
    const PaneRow& row = pane.row(r);
    FileEntry e;
    e.name = row.name;
    e.shortName = row.name;
    e.date = row.date;
    // The size from a fresh listing of the file's own folder; the stored name may differ in case.
    if (ctx.instrument.select(ctx, MediumCode(path), wireFolder(FolderOfPath(path).mid(2))).ok())
        e.size = RmtFileSize(ctx, row.name);
    return e;
}

FileEntry GetFolderEntry(ProgramContext& ctx, const QString& path, const Endpoint& where)
{
    if (where.host) {
        const auto item = ctx.hostFs.folderEntry(path, HostFs::FolderSizes::Skip);
        return item ? item->entry : FileEntry();
    }
    if (where.pane.isEmpty())
        return FileEntry();
    const PaneModel& pane = paneList(ctx, where.pane);
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
