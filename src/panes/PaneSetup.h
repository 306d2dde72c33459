#pragma once

#include <QString>

namespace orvalt {

struct ProgramContext;

// Each pane's source (Host PC or the instrument) and its medium or host drive.

// Both source selectors: "Host PC" and the model, the pane's source chosen.
void FillSourceCombos(ProgramContext& ctx);
// Shows the pane's instrument media list, filled from the media the settings file names, with the
// stored entry chosen.
void FillMediaList(ProgramContext& ctx, const QString& side);
// Shows the pane's host drive list, refreshed, and takes its drive as the pane's medium.
void ShowHostDrives(ProgramContext& ctx, const QString& side);

// A host pane's drive between runs. It is stored by its root at the end of a run; at the next
// start it is the pane's drive again while it is mounted, and when it is gone the pane shows the
// root of the system drive.
void saveHostDrive(ProgramContext& ctx, const QString& side);
void restoreHostDrive(ProgramContext& ctx, const QString& side);

// At start an instrument pane shows the medium it showed at the last shut-down, known as the pane's
// medium before anything is listed, so that Connection lists the folder it showed then. A stored
// position the media list no longer has starts at the root of the first medium.
void restoreInstrumentMedium(ProgramContext& ctx, const QString& side);

// The user chose a source in a pane's source selector (position 0 Host PC, 1 the instrument).
void sourceChosen(ProgramContext& ctx, const QString& side, int position);
// The user chose an entry of a pane's media list (Connect also runs this to list a pane anew).
void mediaListChosen(ProgramContext& ctx, const QString& side);

} // namespace orvalt
