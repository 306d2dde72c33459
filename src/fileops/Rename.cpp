#include "fileops/Rename.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "fileops/NameRules.h"
#include "fileops/PaneMoves.h"
#include "panes/Endpoint.h"
#include "panes/HostListing.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"

namespace orvalt {

namespace {

// The rename of NameCheck's "CHANGE" mode, in where: candidate becomes WarnName.
void renameIn(ProgramContext& ctx, const Endpoint& where, const QString& kind, const QString& candidate)
{
    AppState& st = ctx.state;
    const QString newName = st.WarnName;
    if (kind == kWarnKindFolder)
        st.NewFolderName = newName;
    // A name the instrument cannot hold is never sent: a blank, a comma or a "/" would change what
    // the command means. The caller's bad-name test then removes the new folder.
    if (where.isInstrument() && nameIsBadFor(st, newName, kWarnModeCheck, where))
        return;
    const QString oldPath = where.pathOf(candidate);
    const QString newPath = newName.isEmpty() ? QString() : where.pathOf(newName);
    if (oldPath.isEmpty() || newPath.isEmpty()) {
        // "." or ".." would name the folder itself or its parent: refused as a host move refuses a
        // path that cannot be chosen.
        ctx.dialogs.notice(ResourceTexts::text(8304));
        st.DialogAnswer = 3;
        return;
    }
    if (kind == kWarnKindFolder)
        MovePaneFolder(ctx, where, oldPath, newPath);
    else
        MovePaneFile(ctx, where, oldPath, newPath);
}

} // namespace

bool nameIsBadFor(const AppState& st, const QString& name, const QString& mode, const Endpoint& where)
{
    if (mode == kWarnModeCheck && where.host)
        return false;
    const bool shortNames = shortNameMode(st, where);
    if (name.isEmpty() || name.size() > wholeNameLimit(shortNames))
        return true;
    return !nameCharsAllowed(name, shortNames);
}

qint16 NameCheck(ProgramContext& ctx, const QString& name, const QString& shortName, const QString& kind,
                 const QString& mode, const Endpoint& where)
{
    AppState& st = ctx.state;
    st.DialogAnswer = 0;
    const bool check = mode == kWarnModeCheck;
    // A copy into a host folder has no names to check.
    if (check && where.host)
        return 0;
    const bool shortNames = shortNameMode(st, where);
    bool valid = true;
    bool changed = false;
    st.WarnKind = kind;
    st.WarnMode = mode;
    st.WarnShortNames = shortNames;
    QString candidate = name;
    bool firstPass = true;
    for (;;) {
        if (check) {
            if (firstPass) {
                if (shortNames) {
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
            valid = nameCharsAllowed(candidate, shortNames);
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
            renameIn(ctx, where, kind, candidate);
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
                  const Endpoint& where)
{
    AppState& st = ctx.state;
    st.DialogAnswer = 0;
    st.WarnName.clear();
    st.WarnKind = kind;
    const bool shortNames = shortNameMode(st, where);
    st.WarnShortNames = shortNames;
    bool renamed = false;
    QString candidate;
    if (where.isInstrument()) {
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
        valid = nameCharsAllowed(candidate, shortNames) && !candidate.startsWith(QLatin1Char('#')) &&
                !candidate.startsWith(QLatin1Char('$')) && !where.pathOf(candidate).isEmpty() &&
                !candidate.isEmpty();
    }
    if (st.DialogAnswer != 3) {
        ctx.dialogs.setBusyPointer(true);
        const QString oldPath = where.pathOf(oldName);
        const QString newPath = where.pathOf(st.WarnName);
        if (!oldName.isEmpty() && !oldPath.isEmpty() && !newPath.isEmpty()) {
            // A failed host file move ends this item without a message; the folder move reports.
            if (kind == kWarnKindFile)
                MovePaneFile(ctx, where, oldPath, newPath);
            else
                MovePaneFolder(ctx, where, oldPath, newPath);
            renamed = true;
        }
    }
    st.WarnName = candidate;
    if (st.DialogAnswer == 3)
        return 3;
    return renamed ? -1 : 0;
}

void toolbarRename(ProgramContext& ctx, const QString& side)
{
    AppState& st = ctx.state;
    if (st.TransferBusy || side.isEmpty())
        return;
    const Endpoint where = paneEndpoint(st, side);
    const PaneModel& pane = paneList(ctx, side);
    if (pane.currentRow() >= 0) {
        // The rows are read first: the pane stays as it is until the refill below.
        for (const PaneRow& row : pane.selectedItems()) {
            const QString path = where.pathOf(row.name);
            if (path.isEmpty() || row.name.isEmpty())
                continue;
            const FileEntry entry =
                row.folder ? GetFolderEntry(ctx, path, where) : GetFileEntry(ctx, path, where);
            // An item that has gone since the pane was filled has nothing to rename; an empty
            // name would make the move act on the pane's folder itself.
            if (entry.name.isEmpty())
                continue;
            RenameItem(ctx, entry.name, entry.shortName, row.folder ? kWarnKindFolder : kWarnKindFile, where);
        }
    }
    LoadListview(ctx, side);
}

} // namespace orvalt
