#include "fileops/DeleteAndCreate.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "fileops/CommandFailure.h"
#include "fileops/DestructiveQuestions.h"
#include "fileops/NameRules.h"
#include "fileops/Rename.h"
#include "link/CommandWords.h"
#include "panes/Endpoint.h"
#include "panes/HostFs.h"
#include "panes/HostListing.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"
#include "session/CommandExchange.h"
#include "session/ErrorText.h"

namespace orvalt {

namespace {

constexpr int kMaxNewFolders = 1100;

// "FDL " deletes in the instrument's selected folder: the item's own medium and folder are
// selected first (where they are not already), so the right item goes.
qint32 remoteDelete(ProgramContext& ctx, const QString& path)
{
    return ctx.instrument.sendIn(ctx, MediumCode(path), wireFolder(FolderOfPath(path).mid(2)),
                                 CommandWords::kDelete + NameOfPath(path));
}

// Whether the place shows a folder of that name: the host asked, or for the instrument a row of
// its pane (names matched without regard to case, as the media match them).
bool folderShownIn(ProgramContext& ctx, const Endpoint& where, const QString& path)
{
    if (where.host)
        return ctx.hostFs.folderExists(path);
    return !where.pane.isEmpty() && paneList(ctx, where.pane).rowNamed(NameOfPath(path)) >= 0;
}

} // namespace

qint32 selectRemoteFolder(ProgramContext& ctx, const QString& remoteFolder)
{
    return ctx.instrument.select(ctx, MediumCode(remoteFolder), wireFolder(remoteFolder.mid(2))).result();
}

FileEntry RmtMakeFolder(ProgramContext& ctx, const Endpoint& where, const QString& path, QString* failure)
{
    if (where.isInstrument()) {
        // "MKDR " names the folder from the medium's root: the medium must be the one selected.
        const qint32 result = ctx.instrument.sendIn(ctx, MediumCode(path), QString(),
                                                    CommandWords::kMakeFolder + SlashPath(path.mid(2)));
        if (result != 0) {
            if (failure)
                *failure = commandFailureText(ctx, CommandWords::kMakeFolder, result, path);
            return FileEntry();
        }
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

void RmtDeleteFolder(ProgramContext& ctx, const Endpoint& where, const QString& path, bool force)
{
    // Failures are passed over here: the refill that follows shows what is left.
    if (where.host)
        ctx.hostFs.deleteFolder(path, force);
    else
        remoteDelete(ctx, path);
}

void RmtDeleteFile(ProgramContext& ctx, const Endpoint& where, const QString& path, bool force)
{
    if (where.isInstrument()) {
        const qint32 result = remoteDelete(ctx, path);
        if (result != 0)
            ctx.dialogs.plain(commandFailureText(ctx, CommandWords::kDelete, result, path));
        return;
    }
    const HostFsResult deleted = ctx.hostFs.deleteFile(path, force);
    if (deleted.error == HostFsError::ReadOnly)
        ctx.dialogs.notice(ResourceTexts::text(8109));
    else if (!deleted.ok())
        ctx.dialogs.notice(deleted.text);
}

QString GetUniqueFolder(ProgramContext& ctx, const Endpoint& where)
{
    const QString parent = where.folderPath();
    QString candidate;
    for (int n = 1; n <= kMaxNewFolders; ++n) {
        candidate = parent + QStringLiteral("NEW%1").arg(n, 4, 10, QLatin1Char('0'));
        // On the host a file of that name would stop the folder being made just as well.
        if (!folderShownIn(ctx, where, candidate) && !(where.host && ctx.hostFs.fileExists(candidate)))
            return candidate;
    }
    return candidate;
}

void toolbarDelete(ProgramContext& ctx, const QString& side)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    if (!ctx.dialogs.ask(deleteQuestionText(ctx, side)))
        return;
    if (side.isEmpty())
        return;
    const Endpoint where = paneEndpoint(st, side);
    PaneModel& pane = paneList(ctx, side);
    if (pane.currentRow() >= 0) {
        // Rows are taken from the pane as it is; the refill comes after the walk.
        for (const PaneRow& row : pane.selectedItems()) {
            const QString& name = row.name;
            // A name that is not one plain name cannot be a row of this folder.
            const QString path = name.isEmpty() ? QString() : where.pathOf(name);
            if (path.isEmpty())
                continue;
            if (row.folder)
                RmtDeleteFolder(ctx, where, path, st.OverwriteAll);
            else
                RmtDeleteFile(ctx, where, path, st.OverwriteAll);
        }
    }
    pane.clear();
    LoadListview(ctx, side);
}

void newFolder(ProgramContext& ctx, const QString& side)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    st.NewFolderMode = true;
    if (!side.isEmpty()) {
        const Endpoint where = paneEndpoint(st, side);
        const QString newPath = GetUniqueFolder(ctx, where);
        QString failure;
        const FileEntry entry = RmtMakeFolder(ctx, where, newPath, &failure);
        if (entry.name.isEmpty()) {
            // Without the folder there is nothing to name; going on would rename the pane's folder.
            ctx.dialogs.notice(failure.isEmpty() ? ResourceTexts::text(8304) : failure);
        } else {
            st.NewFolderName.clear();
            if (NameCheck(ctx, entry.name, entry.shortName, kWarnKindFolder, kWarnModeChange, where) == 3) {
                RmtDeleteFolder(ctx, where, newPath, true);
            } else if (nameIsBadFor(st, st.NewFolderName, kWarnModeCheck, where)) {
                // The rename is never sent with a name the instrument cannot hold, so the folder has
                // kept its first name: that is the one to remove.
                RmtDeleteFolder(ctx, where, newPath, true);
                ctx.dialogs.notice(ResourceTexts::text(8305));
            }
        }
        LoadListview(ctx, side);
    }
    st.NewFolderMode = false;
    ctx.dialogs.setBusyPointer(false);
}

} // namespace orvalt
