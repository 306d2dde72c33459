#include "transfer/OneFileCopy.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "fileops/CommandFailure.h"
#include "link/CommandWords.h"
#include "panes/Endpoint.h"
#include "panes/HostFs.h"
#include "panes/ListingText.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"
#include "session/CommandExchange.h"
#include "transfer/CopyRun.h"
#include "transfer/FileTransfer.h"
#include "transfer/TransferTexts.h"

namespace orvalt {

namespace {

// The wire form of a remote path: without its medium prefix, "/" for "\".
QString wirePath(const QString& remotePath)
{
    return SlashPath(remotePath.mid(2));
}

// The instrument's date of a file as the pane that shows its folder lists it: the one a received
// copy keeps. A name the pane does not show (or no pane) gives no date.
QDateTime listedDate(ProgramContext& ctx, const Endpoint& from, const QString& name)
{
    if (from.pane.isEmpty())
        return QDateTime();
    const PaneModel& pane = paneList(ctx, from.pane);
    // The media do not tell names apart by case: a name typed in another case is the same file.
    const int r = pane.rowNamed(name);
    return r >= 0 && !pane.row(r).folder ? shownDateTime(pane.row(r).date) : QDateTime();
}

} // namespace

void showTransferResult(ProgramContext& ctx, qint32 result, const QString& hostFailure,
                        const QString& remotePath)
{
    // Stopped: the user asked for it; the copy's end says what was not copied. An instrument out of
    // reach is told once, at the copy's end, with everything it kept from being copied (or from
    // being confirmed).
    if (result == TransferResult::Done || result == TransferResult::Stopped ||
        result == TransferResult::NotConfirmed || TransferResult::linkGone(result) ||
        (result == TransferResult::NotReceived && TransferResult::linkGone(ctx.link.lastFailure())))
        return;
    const TransferFailure failure = transferFailure(ctx, result, hostFailure, remotePath);
    if (failure.information)
        ctx.dialogs.notice(failure.text());
    else
        ctx.dialogs.plain(failure.text());
}

qint32 CopyOneFile(ProgramContext& ctx, const Endpoint& from, const QString& sourcePath, const Endpoint& to,
                   bool overwrite, bool changedName)
{
    // The name check may have given the destination another name; the source keeps its own path.
    const QString targetName = changedName ? ctx.state.WarnName : NameOfPath(sourcePath);
    return copyFileAs(ctx, from, sourcePath, to, targetName, overwrite);
}

qint32 copyFileAs(ProgramContext& ctx, const Endpoint& from, const QString& sourcePath, const Endpoint& to,
                  const QString& targetName, bool overwrite, CopyRun* run)
{
    AppState& st = ctx.state;
    if (st.StopRequested)
        return TransferResult::Done;
    ctx.dialogs.setBusyPointer(true);
    const QString destFolder = to.folderPath();

    if (from.host && to.host) {
        // A refused host copy would otherwise pass unseen: the copy goes on with its next row.
        const bool ownName = targetName == NameOfPath(sourcePath);
        const HostFsResult copied =
            ctx.hostFs.copyFile(sourcePath, ownName ? destFolder : destFolder + targetName, overwrite);
        if (!copied.ok())
            ctx.dialogs.notice(copied.text);
        return TransferResult::Done;
    }

    if (from.isInstrument() && to.isInstrument()) {
        const QString command = CommandWords::kCopy + MediumCode(sourcePath) + QLatin1Char(',') +
                                wirePath(sourcePath) + QLatin1Char(',') + MediumCode(destFolder) +
                                QLatin1Char(',') + wirePath(destFolder) + targetName;
        const qint32 result = ctx.instrument.send(ctx, command);
        if (result != 0)
            ctx.dialogs.plain(commandFailureText(ctx, CommandWords::kCopy, result, sourcePath));
        return result;
    }

    QString hostFailure;
    qint32 result = 0;
    const bool sending = from.host;
    if (sending) {
        result = RmtSendFile(ctx, sourcePath, destFolder + targetName, &hostFailure);
    } else {
        const QDateTime listed = listedDate(ctx, from, NameOfPath(sourcePath));
        result = RmtReceiveFile(ctx, sourcePath, destFolder + targetName, &hostFailure, listed);
        if (run)
            noteReceivedDate(*run, sourcePath, result, listed);
    }
    showTransferResult(ctx, result, hostFailure, sending ? destFolder + targetName : sourcePath);
    return result;
}

} // namespace orvalt
