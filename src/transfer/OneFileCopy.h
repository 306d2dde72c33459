#pragma once

#include <QString>

namespace orvalt {

struct CopyRun;
struct Endpoint;
struct ProgramContext;

// Copies one file (sourcePath, in from) into the folder of to, the way the two places' kinds call
// for: the host's own copy when both are the host, "CPY " when both are the instrument, else the
// sender or the receiver. overwrite goes to the host copy only; changedName says the name check
// gave the file a new name (held in WarnName), the destination's name whichever way the file goes
// (the source is read under its own path). Every failure is shown here but for a lost link, which
// the copy's end tells. Does nothing while StopRequested is set. Returns the result of the
// transfer or of "CPY " (0 for the host's own copy), so that a caller can tell a link that is gone.
qint32 CopyOneFile(ProgramContext& ctx, const Endpoint& from, const QString& sourcePath, const Endpoint& to,
                   bool overwrite, bool changedName);

// The same with the name the file gets at the destination given. A file received without the
// instrument's date is recorded in run, when given, for the copy's closing notice.
qint32 copyFileAs(ProgramContext& ctx, const Endpoint& from, const QString& sourcePath, const Endpoint& to,
                  const QString& targetName, bool overwrite, CopyRun* run = nullptr);

// The message for a result of RmtSendFile or RmtReceiveFile of remotePath: none for 0, else the two
// lines of transferFailure (TransferTexts.h).
void showTransferResult(ProgramContext& ctx, qint32 result, const QString& hostFailure,
                        const QString& remotePath);

} // namespace orvalt
