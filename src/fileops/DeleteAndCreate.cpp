#include "fileops/DeleteAndCreate.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "fileops/ActivePane.h"
#include "fileops/DestructiveQuestions.h"
#include "fileops/NameRules.h"
#include "fileops/Rename.h"
#include "link/CommandWords.h"
#include "panes/HostFs.h"
#include "panes/HostListing.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemoteListing.h"
#include "panes/RemotePaths.h"
#include "session/CommandExchange.h"

namespace orvalt {

namespace {

constexpr int kMaxNewFolders = 1100;

qint32 send(ProgramContext& ctx, const QString& command)
{
    return SendCmd(ctx.state, ctx.link, ctx.dialogs, command);
}

// "FDL " deletes in the instrument's current folder, which the last listing of either pane left
// somewhere: the item's own medium and folder are selected first, so the right item goes.
qint32 remoteDelete(ProgramContext& ctx, const QString& path)
{
    const qint32 selected = selectRemoteFolder(ctx, FolderOfPath(path));
    if (selected != 0)
        return selected;
    return send(ctx, CommandWords::kDelete + NameOfPath(path));
}

bool activeSideIsHost(const AppState& st)
{
    const QString side = activeSide(st);
    return !side.isEmpty() && isHostPane(st, side);
}

} // namespace

qint32 selectRemoteFolder(ProgramContext& ctx, const QString& remoteFolder)
{
    const qint32 medium = send(ctx, CommandWords::kMedium + MediumCode(remoteFolder));
    if (medium != 0)
        return medium;
    QString folder = SlashPath(remoteFolder.mid(2));
    if (folder.isEmpty())
        folder = QStringLiteral("/");
    return send(ctx, CommandWords::kChangeFolder + folder);
}

FileEntry RmtMakeFolder(ProgramContext& ctx, const QString& path, QString* failure)
{
    if (!activeSideIsHost(ctx.state)) {
        send(ctx, CommandWords::kMakeFolder + SlashPath(path.mid(2)));
        FileEntry entry;
        entry.name = NameOfPath(path);
        entry.shortName = entry.name;
        entry.date = QStringLiteral("Now");
        entry.attributes = FileEntry::kFolder;
        return entry;
    }
    const HostFsResult made = ctx.hostFs.createFolder(path);
    if (!made.ok()) {
        if (failure)
            *failure = made.text;
        return FileEntry();
    }
    const auto item = ctx.hostFs.folderEntry(path, HostFs::FolderSizes::Skip);
    return item ? item->entry : FileEntry();
}

void RmtDeleteFolder(ProgramContext& ctx, const QString& path, bool force)
{
    // Failures are passed over here: the refill that follows shows what is left.
    if (activeSideIsHost(ctx.state))
        ctx.hostFs.deleteFolder(path, force);
    else
        remoteDelete(ctx, path);
}

void RmtDeleteFile(ProgramContext& ctx, const QString& path, bool force)
{
    if (!activeSideIsHost(ctx.state)) {
        const qint32 result = remoteDelete(ctx, path);
        if (result != 0)
            ctx.dialogs.plain(commandRefusedText(ctx, QStringLiteral("FDL Error ") + QString::number(result),
                                                 result, path));
        return;
    }
    const HostFsResult deleted = ctx.hostFs.deleteFile(path, force);
    if (deleted.error == HostFsError::ReadOnly)
        ctx.dialogs.notice(ResourceTexts::text(8109));
    else if (!deleted.ok())
        ctx.dialogs.notice(deleted.text);
}

QString GetUniqueFolder(ProgramContext& ctx, const QString& parent)
{
    const bool host = activeSideIsHost(ctx.state);
    QString candidate;
    for (int n = 1; n <= kMaxNewFolders; ++n) {
        candidate = parent + QStringLiteral("NEW%1").arg(n, 4, 10, QLatin1Char('0'));
        // On the host a file of that name would stop the folder being made just as well.
        if (!myFolderExistsU(ctx, candidate) && !(host && ctx.hostFs.fileExists(candidate)))
            return candidate;
    }
    return candidate;
}

void toolbarDelete(ProgramContext& ctx)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    if (!ctx.dialogs.ask(deleteQuestionText(ctx)))
        return;
    for (const QString& side : activeSidesLeftFirst(st)) {
        PaneModel& pane = paneList(ctx, side);
        if (pane.currentRow() >= 0) {
            // Rows are taken from the pane as it is; the refill comes after the walk.
            for (const PaneRow& row : pane.selectedItems()) {
                const QString& name = row.name;
                // A name that is not one plain name cannot be a row of this folder.
                const QString path =
                    name.isEmpty() ? QString() : joinPanePath(st.medium(side), st.path(side), name);
                if (path.isEmpty())
                    continue;
                if (row.folder)
                    RmtDeleteFolder(ctx, path, st.OverwriteAll);
                else
                    RmtDeleteFile(ctx, path, st.OverwriteAll);
            }
        }
        pane.clear();
        LoadListview(ctx, side);
    }
}

void newFolder(ProgramContext& ctx)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    st.NewFolderMode = true;
    const QString side = activeSide(st);
    if (!side.isEmpty()) {
        const QString parent = joinPanePath(st.medium(side), st.path(side), QString());
        const QString newPath = GetUniqueFolder(ctx, parent);
        QString failure;
        const FileEntry entry = RmtMakeFolder(ctx, newPath, &failure);
        if (entry.name.isEmpty()) {
            // Without the folder there is nothing to name; going on would rename the pane's folder.
            ctx.dialogs.notice(failure.isEmpty() ? ResourceTexts::text(8304) : failure);
        } else {
            st.NewFolderName.clear();
            if (NameCheck(ctx, entry.name, entry.shortName, kWarnKindFolder, kWarnModeChange) == 3) {
                RmtDeleteFolder(ctx, newPath, true);
            } else if (NameIsBad(st, st.NewFolderName, kWarnModeCheck)) {
                // The rename is never sent with a name the instrument cannot hold, so the folder has
                // kept its first name: that is the one to remove.
                RmtDeleteFolder(ctx, newPath, true);
                ctx.dialogs.notice(ResourceTexts::text(8305));
            }
        }
        LoadListview(ctx, side);
    }
    st.NewFolderMode = false;
    ctx.dialogs.setBusyPointer(false);
}

} // namespace orvalt
