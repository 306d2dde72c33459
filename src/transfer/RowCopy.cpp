#include "transfer/RowCopy.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "fileops/NameRules.h"
#include "fileops/Rename.h"
#include "panes/Endpoint.h"
#include "panes/HostFs.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"
#include "transfer/CheckOverWrite.h"
#include "transfer/CopyFolderTree.h"
#include "transfer/FileTransfer.h"
#include "transfer/OneFileCopy.h"
#include "transfer/TransferTexts.h"

#include <QDir>
#include <QFileInfo>
#include <optional>

namespace orvalt {

namespace {

// The overwrite question's answer: 0 replaces, 1 replaces this and all later targets, 2 skips the
// row, 3 stops the copy. Empty when the row goes on (with overwrite set), else whether it stops.
std::optional<bool> stopsAfter(qint16 answer, const AppState& st, bool& overwrite)
{
    switch (answer) {
    case 0:
        overwrite = true;
        return std::nullopt;
    case 1:
        overwrite = st.OverwriteAll;
        return std::nullopt;
    case 2:
        return false;
    default:
        return true;
    }
}

} // namespace

RowCopied copyRow(ProgramContext& ctx, CopyRun& run, const CopyItem& item, const Endpoint& from,
                  const Endpoint& to, CopyDestination& destination)
{
    AppState& st = ctx.state;
    const QString destFolder = to.folderPath();
    RowCopied copied;
    // Stopped before this row began (Interruption, Ctrl+C while it was looked up): the copy's
    // routines would pass it over as done, so it is named here.
    if (st.StopRequested) {
        const QString native = from.host ? HostFs::nativePath(item.path) : QString();
        run.notCopied << TransferTexts::notCopied(
            native.isEmpty() ? item.path : QDir::toNativeSeparators(native), TransferTexts::notStarted());
        copied.stop = true;
        return copied;
    }
    bool overwrite = st.OverwriteAll;
    if (!item.folder) {
        const qint16 checked = NameCheck(ctx, item.name, item.shortName, kWarnKindFile, kWarnModeCheck, to);
        if (checked == 3) {
            copied.stop = true;
            return copied;
        }
        // Another name (the file's short name, or one the user typed) is the destination's name
        // only: the source is read under its own path, since on most hosts a short name names no file.
        const QString own = item.targetName.isEmpty() ? NameOfPath(item.path) : item.targetName;
        const QString targetName = checked == -1 ? st.WarnName : own;
        copied.targetName = targetName;
        const bool toInstrument = to.isInstrument();
        const QString sentKey = (destFolder + targetName).toCaseFolded();
        if (toInstrument && run.sentToInstrument.contains(sentKey)) {
            const QString native = HostFs::nativePath(item.path);
            run.notCopied << TransferTexts::notCopied(native.isEmpty() ? item.path
                                                                       : QDir::toNativeSeparators(native),
                                                      TransferTexts::sameNameButCase());
            return copied;
        }
        if (destination.has(targetName, false)) {
            qint16 answer = 0; // with OverwriteAll nothing is asked, so nothing needs describing
            if (!st.OverwriteAll) {
                // The source first: describing an instrument item may select its folder.
                const QString source = item.describe();
                answer = CheckOverWrite(ctx, targetName, source, destination.describe(targetName, false));
            }
            if (const auto stop = stopsAfter(answer, st, overwrite)) {
                copied.stop = *stop;
                return copied;
            }
        }
        copied.attempted = true;
        copied.result = copyFileAs(ctx, from, item.path, to, targetName, overwrite, &run);
        if (toInstrument && copied.result == TransferResult::Done)
            run.sentToInstrument.insert(sentKey);
        if (copied.result == TransferResult::NotConfirmed)
            run.notConfirmed.append({destFolder + targetName, QFileInfo(HostFs::nativePath(item.path)).size(),
                                     destination.listedBefore(targetName)});
        return copied;
    }

    if (nameIsBadFor(st, item.name, kWarnModeCheck, to)) {
        ctx.dialogs.notice(ResourceTexts::text(8305));
        copied.stop = true;
        return copied;
    }
    // The folder copy names a host folder on the instrument by its short name unless the
    // instrument takes long ones; that is the folder it merges into.
    const bool shortThere = from.host && to.isInstrument() && !st.LongNames;
    const QString nameThere = shortThere ? item.shortName : item.name;
    if (destination.has(nameThere, true)) {
        const QString source = item.describe();
        const qint16 answer = CheckOverWrite(ctx, nameThere, source, destination.describe(nameThere, true));
        if (const auto stop = stopsAfter(answer, st, overwrite)) {
            copied.stop = *stop;
            return copied;
        }
    }
    copied.attempted = true;
    CopyFolderTree(ctx, run, item.path, destFolder, overwrite, from, to);
    return copied;
}

} // namespace orvalt
