#pragma once

#include <QString>
#include <QStringList>

namespace orvalt {

struct ProgramContext;

// The toolbar's "左へ転送" (Copy to Left): what is selected in the right pane is copied into the
// left pane's folder. Either pane may show the host or an instrument medium. The right list must
// be the one that had the focus last (activeSide, which the window tells; text 8300 otherwise); each file
// passes the instrument's name rules (with the name dialog where needed) and the overwrite question, each
// folder the folder-name test; the progress window shows the rows and the file in hand, and the left pane is
// listed anew at the end. Items that could not be copied along the way are told in one notice at the end.
void copyToLeft(ProgramContext& ctx, const QString& activeSide);

// The toolbar's "右へ転送" (Copy to Right): the same from the left pane into the right one.
void copyToRight(ProgramContext& ctx, const QString& activeSide);

// Files and folders of the host, by their native paths (as the desktop's file manager drops
// them), copied into the folder an instrument pane shows (side), row by row as Copy to Left /
// Copy to Right copies its selection: the same name rules, overwrite question, progress and
// closing notice. Does nothing while a copy runs or when the pane shows the host.
void copyHostItemsInto(ProgramContext& ctx, const QString& side, const QStringList& nativePaths);

// The toolbar's "中断" (Interruption) while a copy runs: the file in hand is finished, nothing
// further is transferred, and the progress window says so (text 8113). Does nothing otherwise.
void interruption(ProgramContext& ctx);

} // namespace orvalt
