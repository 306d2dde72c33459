#include "panes/HostListing.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "panes/HostFs.h"
#include "panes/PaneRows.h"
#include "panes/ProgramContext.h"
#include "panes/RemoteListing.h"
#include "panes/RemotePaths.h"
#include "panes/RowText.h"
#include "window/MainControls.h"

#include <QComboBox>
#include <QHeaderView>
#include <QTreeWidget>

namespace orvalt {

namespace {

bool isHost(const AppState& st, const QString& side)
{
    return st.devId(side) == QLatin1String("0");
}

// The row of a name in an instrument pane: the row of that very name, else the one whose name
// differs only in case, since an instrument's medium does not tell them apart. Kind is not looked at.
QTreeWidgetItem* rowNamed(QTreeWidget* list, const QString& name)
{
    QTreeWidgetItem* sameButCase = nullptr;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = list->topLevelItem(i);
        if (row->text(0) == name)
            return row;
        if (!sameButCase && row->text(0).compare(name, Qt::CaseInsensitive) == 0)
            sameButCase = row;
    }
    return sameButCase;
}

bool listHasName(QTreeWidget* list, const QString& name)
{
    return rowNamed(list, name) != nullptr;
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

bool IsSystemDrive(const QString& drivePrefix)
{
#ifdef Q_OS_WIN
    return drivePrefix.right(2).toUpper() == QLatin1String("C:");
#else
    return drivePrefix.isEmpty();
#endif
}

QString PaneHostFolder(ProgramContext& ctx, const QString& side)
{
    return ctx.state.medium(side) + ctx.state.path(side);
}

void LoadListview(ProgramContext& ctx, const QString& side)
{
    AppState& st = ctx.state;
    QTreeWidget* list = PaneList(ctx.controls, side);
    // Rows stay in the order they are added: sorting is off until a heading is clicked again. The
    // headings stay clickable.
    list->header()->setSortIndicatorShown(false);
    ctx.dialogs.setBusyPointer(true);
    list->clear();
    if (!isHost(st, side)) {
        R_LoadListview(ctx, side);
    } else {
        // The right pane follows its drive list; the left keeps its medium.
        if (!AppState::isLeft(side))
            st.RMedium = ctx.controls.DriveListR->currentData().toString();
        const auto items = ctx.hostFs.listFolder(PaneHostFolder(ctx, side), HostFs::FolderSizes::Walk);
        for (const HostItem& item : items) {
            const bool folder = item.entry.isFolder();
            AddPaneRow(list, item.entry.name, DateText(item.created), SizeText(item.size),
                       folder ? QString(kDirKind) : KindText(item.entry.name), folder);
        }
    }
    PanePathBox(ctx.controls, side)->setEditText(st.path(side));
    ctx.dialogs.setBusyPointer(false);
}

bool myFolderExistsU(ProgramContext& ctx, const QString& path)
{
    const AppState& st = ctx.state;
    if ((st.LActive && isHost(st, QStringLiteral("L"))) || (st.RActive && isHost(st, QStringLiteral("R"))))
        return ctx.hostFs.folderExists(path);
    return listHasName(PaneList(ctx.controls, activeSide(st)), NameOfPath(path));
}

namespace {

// Asks the host when the inactive pane shows it, else looks for the name in that pane's list.
template<typename HostQuestion>
bool existsInInactivePane(ProgramContext& ctx, const QString& path, HostQuestion askHost)
{
    const AppState& st = ctx.state;
    if ((st.LActive && isHost(st, QStringLiteral("R"))) || (st.RActive && isHost(st, QStringLiteral("L"))))
        return askHost(path);
    return listHasName(PaneList(ctx.controls, inactiveSide(st)), NameOfPath(path));
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
    const QString name = NameOfPath(path);
    const QTreeWidgetItem* row = rowNamed(PaneList(ctx.controls, side), name);
    if (!row)
        return FileEntry();
    FileEntry e;
    e.name = row->text(0);
    e.shortName = row->text(0);
    e.date = row->text(1);
    e.size = RmtFileSize(ctx, row->text(0)); // the stored name, which may differ in case
    return e;
}

FileEntry GetFolderEntry(ProgramContext& ctx, const QString& path, const QString& side)
{
    if (isHost(ctx.state, side)) {
        const auto item = ctx.hostFs.folderEntry(path, HostFs::FolderSizes::Skip);
        return item ? item->entry : FileEntry();
    }
    const QTreeWidgetItem* row = rowNamed(PaneList(ctx.controls, side), NameOfPath(path));
    if (!row)
        return FileEntry();
    FileEntry e;
    e.name = row->text(0);
    e.shortName = row->text(0);
    e.date = row->text(1);
    e.attributes = FileEntry::kFolder;
    return e;
}

} // namespace orvalt
