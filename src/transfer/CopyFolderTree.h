#pragma once

#include "panes/FileEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace orvalt {

struct ProgramContext;

// What one run of Copy to Left or Copy to Right carries from row to row and into a folder copy.
struct CopyRun
{
    // The top folder of the folder copy in hand exists at the destination, so the calls of
    // CopyFolderTree now copy contents. The driver clears it after each selected folder.
    bool TopFolderMade = false;
    // What was passed over on the way, one line each ("M:\DATA\X.DAT: DEVICE BUSY"); the driver tells
    // the user once, at the end, rather than stopping a long copy for every item.
    QStringList notCopied;
    // The instrument's current medium and folder as this run last set them ("M:\DATA"); empty
    // when something may have moved it since.
    QString instrumentPlace;
    // The result of the request that found the instrument out of reach (TransferResult::linkGone),
    // and what the link said of it; 0 while it is in reach. From then on nothing more is sent,
    // each further request would cost a full time-out: the items the copy did not come to are
    // named in notReached instead, without a reason of their own.
    qint32 linkLost = 0;
    QString linkLostWhy;
    QStringList notReached;
};

// Records a result that means the instrument is out of reach in run (the first one only); true
// when it is one. A failure whose result hides the link's (the receiver's -1) is taken for what the
// link last failed with.
bool NoteLinkLost(ProgramContext& ctx, CopyRun& run, qint32 result);

// What the user is told of a copy that could not do everything: why it stopped when the link was
// lost, then what was not copied, at most a screenful of it. Empty when there is nothing to tell.
QString NotCopiedText(const CopyRun& run);

// The first lines of that text: the copy stopped because the instrument cannot be reached, and why.
QString LinkLostText(const QString& why);

// Copies the folder source (a pane path without a final "\") with everything below it into the
// destination folder of the other pane; side ("L" or "R") names the source pane. On the first call
// (TopFolderMade clear) destination is the folder to copy into, ending with "\"; the top folder is
// made there and its contents follow. Both panes on the host: the host's folder copy, replacing
// existing files only with overwrite. Both on the instrument: one "CPY " of the folder. Host to
// instrument: "MKDR " and the sender, under short (8.3) names unless the instrument takes long ones,
// replacing what is there; instrument to host: "CDR ", "DIR?" and the receiver, merging into host
// folders that exist. Nothing is done while StopRequested is set, so after Interruption the folders
// still to come are made but stay empty. Messages: text 8106 for a path the host refuses and the
// host's own text for another failure to make a folder (that call ends, its caller goes on); items
// that could not be copied are added to run.notCopied. After a result that means the instrument is
// out of reach nothing more is sent: run records it, and what was not reached is named in
// run.notReached.
void CopyFolderTree(ProgramContext& ctx, CopyRun& run, const QString& source, const QString& destination,
                    bool overwrite, const QString& side);

// Whether a name that came from the instrument can be one entry of a host folder: not empty, "."
// or "..", without "/", "\" or a control character, not longer than a host name may be, and on
// Windows none of the characters and device names Windows refuses. An instrument that sends
// anything else is not allowed to write outside the folder being copied into, or to fail strangely.
bool HostCanTakeName(const QString& name);

// The entries of an instrument listing ("DIR?") that may be copied, in listing order, without
// ".."; the names of the others are added to refused. There is no limit on their number.
QList<FileEntry> UsableListing(const QString& listing, QStringList* refused);

// A name as a message shows it: in quotes, with control characters written as \xNN.
QString ShownName(const QString& name);

// What the user is told of a failed transfer (the one-file copy's messages): text 8303 for 160,
// "DEVICE BUSY" for 60, "Command Format (DEVICE BUSY)" for 20, the host's text where there is one,
// else "Send or Rec Error (DEVICE BUSY) " and the number.
QString TransferFailureText(qint32 result, const QString& hostFailure);

} // namespace orvalt
