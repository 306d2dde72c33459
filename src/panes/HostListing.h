#pragma once

#include "panes/FileEntry.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"

#include <QString>

namespace orvalt {

struct Endpoint;
struct ProgramContext;

// The one entry point that refills a pane: a host pane from the host file system, an instrument
// pane through the instrument listing.
void LoadListview(ProgramContext& ctx, const QString& side);
inline void LoadListviewL(ProgramContext& ctx)
{
    LoadListview(ctx, QStringLiteral("L"));
}
inline void LoadListviewR(ProgramContext& ctx)
{
    LoadListview(ctx, QStringLiteral("R"));
}

// The rows of a host listing: folders "<DIR>", files by their kind, sizes in kilobytes.
QList<PaneRow> hostRows(const QList<HostItem>& items);

// The host folder a host pane shows: its drive prefix and path ("" and "\DATA" give "\DATA").
QString paneHostFolder(ProgramContext& ctx, const QString& side);

// Whether where holds a folder (or a file) of that path: the host asked, an instrument place by a
// row of the pane that shows it (its last name, matched without regard to case, of either kind);
// false for an instrument place no pane shows.
bool folderIn(ProgramContext& ctx, const Endpoint& where, const QString& path);
bool fileIn(ProgramContext& ctx, const Endpoint& where, const QString& path);
// The record of a file or folder of where: from the host file system for the host, from the row of
// the pane that shows an instrument place (a file's size from a listing of its folder). Empty when
// it is not found.
FileEntry GetFileEntry(ProgramContext& ctx, const QString& path, const Endpoint& where);
FileEntry GetFolderEntry(ProgramContext& ctx, const QString& path, const Endpoint& where);

// The drive whose root holds the operating system's own files (C: on Windows, "/" elsewhere).
bool isSystemDrive(const QString& drivePrefix);

} // namespace orvalt
