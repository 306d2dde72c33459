#pragma once

#include <QString>

namespace orvalt {

struct CopyRun;
struct ProgramContext;

// Copies one file from the source pane into the destination folder (a pane path ending with "\")
// of the other pane, the way the two panes' kinds call for: the host's own copy when both show the
// host, "CPY " when both show the instrument, else the sender or the receiver, the active pane's
// side being the source. overwrite goes to the host copy only; changedName says the name check
// gave the file a new name (held in WarnName), the destination's name whichever way the file goes
// (the source is read under its own path). Every failure is shown here. Does nothing while
// StopRequested is set. Returns the result of the transfer or of "CPY " (0 for the host's own copy),
// so that a caller can tell a link that is gone.
qint32 CopyOneFile(ProgramContext& ctx, const QString& sourcePath, const QString& destFolder, bool overwrite,
                   bool changedName);

// The same with the name the file gets at the destination given (the one-file copy's rules for the
// two panes' kinds, its messages and result). A file received without the instrument's date is
// recorded in run, when given, for the copy's closing notice.
qint32 copyFileAs(ProgramContext& ctx, const QString& sourcePath, const QString& destFolder,
                  const QString& targetName, bool overwrite, CopyRun* run = nullptr);

// The message for a result of RmtSendFile or RmtReceiveFile of remotePath: none for 0, else the two
// lines of transferFailure (TransferTexts.h).
void showTransferResult(ProgramContext& ctx, qint32 result, const QString& hostFailure,
                        const QString& remotePath);

} // namespace orvalt
