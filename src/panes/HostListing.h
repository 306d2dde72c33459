#pragma once

#include "panes/FileEntry.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"

#include <QString>

namespace orvalt {

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

// Whether a folder of that path (a host path, or for an instrument pane its last name, which
// matches a row's name without regard to case) is in the active pane (myFolderExistsU) or in the
// inactive one (myFolderExists), and a file in the inactive one (myFileExists).
bool myFolderExistsU(ProgramContext& ctx, const QString& path);
bool myFolderExists(ProgramContext& ctx, const QString& path);
bool myFileExists(ProgramContext& ctx, const QString& path);

// The record of a file or folder shown on a side: from the host file system for a host pane, from
// the pane's row for an instrument pane. Empty when it is not found.
FileEntry GetFileEntry(ProgramContext& ctx, const QString& path, const QString& side);
FileEntry GetFolderEntry(ProgramContext& ctx, const QString& path, const QString& side);

// The drive whose root holds the operating system's own files (C: on Windows, "/" elsewhere).
bool isSystemDrive(const QString& drivePrefix);

} // namespace orvalt
