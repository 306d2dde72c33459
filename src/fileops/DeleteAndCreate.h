#pragma once

#include "panes/FileEntry.h"

#include <QString>

namespace orvalt {

struct ProgramContext;

// Deleting the selected rows and making a new folder, on whichever pane is active. Paths are pane
// paths: host paths, or remote paths (M:\DATA\A.DAT).

// Makes the folder on the active pane. On the instrument ("MKDR ", whose answer is not looked at)
// the entry is the path's last name, dated "Now"; on the host it is the new folder as the host
// reports it, or an empty record when the host could not make it (failure then says why).
FileEntry RmtMakeFolder(ProgramContext& ctx, const QString& path, QString* failure = nullptr);

// Delete a folder (with everything in it) or a file on the active pane; force also deletes
// read-only items. On the instrument the item's medium and folder are selected first ("MED ",
// "CDR "), then "FDL " names it. The folder delete passes every failure over; the file delete
// shows "FDL Error " and the code, 8109 for a read-only host file, or the host's own description.
void RmtDeleteFolder(ProgramContext& ctx, const QString& path, bool force);
void RmtDeleteFile(ProgramContext& ctx, const QString& path, bool force);

// The first of parent + NEW0001 .. NEW1100 that the active pane does not hold (NEW1100 when all of
// them exist). parent ends with "\".
QString GetUniqueFolder(ProgramContext& ctx, const QString& parent);

// Instrument only: makes the medium and folder of a remote folder path (M:\DATA\ or M:\DATA) the
// instrument's current ones, as the commands that name a bare item need. 0, or the first failing
// command's result.
qint32 selectRemoteFolder(ProgramContext& ctx, const QString& remoteFolder);

// The toolbar's "削除": asks 8105, then deletes the selected rows of the active pane (folders and
// files, force = OverwriteAll) and refills it.
void toolbarDelete(ProgramContext& ctx);

// The menu item "New Folder preparation": makes NEWnnnn in the active pane's folder, asks for its
// name, renames it, and removes it again when cancelled or when the instrument cannot hold the name
// (8305).
void newFolder(ProgramContext& ctx);

} // namespace orvalt
