#pragma once

#include "panes/FileEntry.h"

#include <QString>

namespace orvalt {

struct Endpoint;
struct ProgramContext;

// Deleting and making folders in a place the caller names (where: the host, or an instrument
// medium). Paths are pane paths: host paths, or remote paths (M:\DATA\A.DAT).

// Makes the folder. On the instrument "MKDR " goes once the path's medium is selected; the entry is
// the path's last name, dated "Now". On the host it is the new folder as the host reports it. An
// empty record when it could not be made (failure then says why: "MKDR Error 160" and the cause).
FileEntry RmtMakeFolder(ProgramContext& ctx, const Endpoint& where, const QString& path,
                        QString* failure = nullptr);

// Delete a folder (with everything in it) or a file; force also deletes read-only items. On the
// instrument the item's medium and folder are selected first (where they are not selected
// already), then "FDL " names it. The folder delete passes every failure over; the file delete
// shows "FDL Error ", the code and its cause, 8109 for a read-only host file, or the host's own
// description.
void RmtDeleteFolder(ProgramContext& ctx, const Endpoint& where, const QString& path, bool force);
void RmtDeleteFile(ProgramContext& ctx, const Endpoint& where, const QString& path, bool force);

// The first of NEW0001 .. NEW1100 in where's folder that it does not hold (NEW1100 when all of them
// exist): the host asked, an instrument place by the rows of the pane that shows it.
QString GetUniqueFolder(ProgramContext& ctx, const Endpoint& where);

// Instrument only: makes the medium and folder of a remote folder path (M:\DATA\ or M:\DATA) the
// selected ones, as the commands that name a bare item need. 0, or the first failing command's
// result.
qint32 selectRemoteFolder(ProgramContext& ctx, const QString& remoteFolder);

// The toolbar's "削除" on the pane of side (the active one; empty for none): asks 8105, then
// deletes its selected rows (folders and files, force = OverwriteAll) and refills it.
void toolbarDelete(ProgramContext& ctx, const QString& side);

// The menu item "New Folder preparation" on the pane of side: makes NEWnnnn in its folder, asks for
// its name, renames it, and removes it again when cancelled or when the instrument cannot hold the
// name (8305). The pane is listed again.
void newFolder(ProgramContext& ctx, const QString& side);

} // namespace orvalt
