#pragma once

#include "panes/FileEntry.h"
#include "transfer/CopyRun.h"
#include "transfer/TransferTexts.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace orvalt {

struct Endpoint;
struct ProgramContext;

// Copies the folder source (a pane path without a final "\", in from) with everything below it
// into the destination folder (in to). On the first call (TopFolderMade clear) destination is the
// folder to copy into, ending with "\"; the top folder is made there and its contents follow. Both
// places on the host: the host's folder copy, replacing existing files only with overwrite. Both on
// the instrument: one "CPY " of the folder. Host to instrument: "MKDR " and the sender, under short
// (8.3) names unless the instrument takes long ones, replacing what is there; instrument to host:
// the folder selected, "DIR?" and the receiver, merging into host folders that exist. After
// Interruption what is still to come is named as not started, and no folder is made for it. Messages: text
// 8106 for a path the host refuses and the host's own text for another failure to make a folder (that call
// ends, its caller goes on); items that could not be copied are added to run.notCopied. After a result that
// means the instrument is out of reach nothing more is sent: run records it, and what was not reached is
// named in run.notReached.
void CopyFolderTree(ProgramContext& ctx, CopyRun& run, const QString& source, const QString& destination,
                    bool overwrite, const Endpoint& from, const Endpoint& to);

// Whether a name that came from the instrument can be one entry of a host folder: not empty, "."
// or "..", without "/", "\" or a control character, not longer than a host name may be, and on
// Windows none of the characters and device names Windows refuses. An instrument that sends
// anything else is not allowed to write outside the folder being copied into, or to fail strangely.
bool hostCanTakeName(const QString& name);

// The entries of an instrument listing ("DIR?") that may be copied, in listing order, without
// ".."; the names of the others are added to refused. There is no limit on their number.
QList<FileEntry> usableListing(const QString& listing, QStringList* refused);

} // namespace orvalt
