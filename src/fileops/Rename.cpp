#include "fileops/Rename.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "fileops/ActivePane.h"
#include "fileops/NameRules.h"
#include "fileops/PaneMoves.h"
#include "panes/HostListing.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"

namespace orvalt {

namespace {

bool nameIsBadFor(const AppState& st, const QString& name, const QString& mode, const QString& side)
{
    if (mode == kWarnModeCheck && !side.isEmpty() && isHostPane(st, side))
        return false;
    if (name.isEmpty() || name.size() > wholeNameLimit(st))
        return true;
    return !nameCharsAllowed(name, shortNameMode(st));
}

// The rename of NameCheck's "CHANGE" mode, in the active pane: candidate becomes WarnName.
void renameInActivePane(ProgramContext& ctx, const QString& kind, const QString& candidate)
{
    AppState& st = ctx.state;
    const QString side = activeSide(st);
    if (side.isEmpty())
        return;
    const QString newName = st.WarnName;
    if (kind == kWarnKindFolder)
        st.NewFolderName = newName;
    // A name the instrument cannot hold is never sent: a blank, a comma or a "/" would change what
    // the command means. The caller's bad-name test then removes the new folder.
    if (!isHostPane(st, side) && nameIsBadFor(st, newName, kWarnModeCheck, side))
        return;
    const QString oldPath = joinPanePath(st.medium(side), st.path(side), candidate);
    const QString newPath =
        newName.isEmpty() ? QString() : joinPanePath(st.medium(side), st.path(side), newName);
    if (oldPath.isEmpty() || newPath.isEmpty()) {
        // "." or ".." would name the folder itself or its parent: refused as a host move refuses a
        // path that cannot be chosen.
        ctx.dialogs.notice(ResourceTexts::text(8304));
        st.DialogAnswer = 3;
        return;
    }
    if (kind == kWarnKindFolder)
        MovePaneFolder(ctx, oldPath, newPath);
    else
        MovePaneFile(ctx, oldPath, newPath);
}

} // namespace

bool NameIsBad(const AppState& st, const QString& name, const QString& mode)
{
    return nameIsBadFor(st, name, mode, st.LActive ? QStringLiteral("L") : QStringLiteral("R"));
}

bool NameIsBadAtDest(const AppState& st, const QString& name, const QString& mode)
{
    QString dest;
    if (st.LActive)
        dest = QStringLiteral("R");
    else if (st.RActive)
        dest = QStringLiteral("L");
    return nameIsBadFor(st, name, mode, dest);
}

qint16 NameCheck(ProgramContext& ctx, const QString& name, const QString& shortName, const QString& kind,
                 const QString& mode)
{
    AppState& st = ctx.state;
    st.DialogAnswer = 0;
    const bool check = mode == kWarnModeCheck;
    if (check && ((st.LActive && isHostPane(st, QStringLiteral("R"))) ||
                  (st.RActive && isHostPane(st, QStringLiteral("L")))))
        return 0;
    bool valid = true;
    bool changed = false;
    st.WarnKind = kind;
    st.WarnMode = mode;
    QString candidate = name;
    bool firstPass = true;
    for (;;) {
        if (check) {
            if (firstPass) {
                if (shortNameMode(st)) {
                    // The host's own 8.3 name: the same name in upper case, or an alias with "~".
                    if (name != shortName && name.toUpper() == shortName) {
                        candidate = shortName;
                        changed = true;
                    } else if (shortName.contains(QLatin1Char('~'))) {
                        candidate = shortName;
                    }
                }
            } else {
                candidate = st.WarnName;
            }
            firstPass = false;
            valid = nameCharsAllowed(candidate, shortNameMode(st));
            if (candidate.startsWith(QLatin1Char('~'))) {
                valid = false;
            } else if (st.ModelName.startsWith(QLatin1String("RZ")) && shortName.contains(QLatin1Char('~')) &&
                       candidate == shortName) {
                // The RZ family takes the host's "~" aliases; a name the user typed is checked in full.
                valid = true;
                changed = true;
            }
            if (!hasFileForm(candidate, st.LongNames ? kLongNameLimit : kShortNameLimit))
                valid = false;
            if (valid)
                break;
        }
        ctx.dialogs.setBusyPointer(false);
        st.WarnName = candidate;
        if (showFileWarn(ctx) == 3)
            break;
        ctx.dialogs.setBusyPointer(true);
        if (!check) {
            renameInActivePane(ctx, kind, candidate);
            break;
        }
        changed = true;
    }
    st.WarnName = candidate;
    if (st.DialogAnswer == 3)
        return 3;
    return changed ? -1 : 0;
}

qint16 RenameItem(ProgramContext& ctx, const QString& name, const QString& shortName, const QString& kind,
                  const QString& side)
{
    AppState& st = ctx.state;
    st.DialogAnswer = 0;
    st.WarnName.clear();
    st.WarnKind = kind;
    bool renamed = false;
    QString candidate;
    if (!isHostPane(st, side)) {
        candidate = st.LongNames ? name : shortName;
        st.WarnMode = kWarnModeCheck; // the dialog shows the samples and checks the form
    } else {
        candidate = name;
        st.WarnMode = kWarnModeChange;
    }
    const QString oldName = candidate;
    bool valid = false;
    bool firstPass = true;
    for (;;) {
        ctx.dialogs.setBusyPointer(false);
        if (firstPass || !valid) {
            st.WarnName = candidate;
            showFileWarn(ctx);
        }
        if (st.DialogAnswer == 3 || st.WarnName == oldName || valid)
            break;
        firstPass = false;
        candidate = st.WarnName;
        // An empty name, "." and ".." would name the pane's folder or its parent, not an item in it.
        valid = nameCharsAllowed(candidate, shortNameMode(st)) && !candidate.startsWith(QLatin1Char('#')) &&
                !candidate.startsWith(QLatin1Char('$')) &&
                !joinPanePath(st.medium(side), st.path(side), candidate).isEmpty() && !candidate.isEmpty();
    }
    if (st.DialogAnswer != 3) {
        ctx.dialogs.setBusyPointer(true);
        const QString oldPath = joinPanePath(st.medium(side), st.path(side), oldName);
        const QString newPath = joinPanePath(st.medium(side), st.path(side), st.WarnName);
        if (!oldName.isEmpty() && !oldPath.isEmpty() && !newPath.isEmpty()) {
            // A failed host file move ends this item without a message; the folder move reports.
            if (kind == kWarnKindFile)
                MovePaneFile(ctx, oldPath, newPath);
            else
                MovePaneFolder(ctx, oldPath, newPath);
            renamed = true;
        }
    }
    st.WarnName = candidate;
    if (st.DialogAnswer == 3)
        return 3;
    return renamed ? -1 : 0;
}

void toolbarRename(ProgramContext& ctx)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    for (const QString& side : activeSidesLeftFirst(st)) {
        const PaneModel& pane = paneList(ctx, side);
        if (pane.currentRow() >= 0) {
            // The rows are read first: the pane stays as it is until the refill below.
            for (const PaneRow& row : pane.selectedItems()) {
                const QString path = joinPanePath(st.medium(side), st.path(side), row.name);
                if (path.isEmpty() || row.name.isEmpty())
                    continue;
                const FileEntry entry =
                    row.folder ? GetFolderEntry(ctx, path, side) : GetFileEntry(ctx, path, side);
                // An item that has gone since the pane was filled has nothing to rename; an empty
                // name would make the move act on the pane's folder itself.
                if (entry.name.isEmpty())
                    continue;
                RenameItem(ctx, entry.name, entry.shortName, row.folder ? kWarnKindFolder : kWarnKindFile,
                           side);
            }
        }
        LoadListview(ctx, side);
    }
}

} // namespace orvalt
