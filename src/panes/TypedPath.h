#pragma once

#include <QString>

namespace orvalt {

struct ProgramContext;

// A folder typed into the path box above a pane, and Enter: the pane goes there. A host pane takes
// a folder of this computer, written with "/" or "\" ("/home/me/data", "\home\me\data", "C:\DATA"
// on Windows), or one below the folder shown ("data\2026"), "~" for the home folder; an instrument
// pane a folder of the medium it shows ("\DATA\SUB", "/DATA/SUB", "M:\DATA" for INT MEM, or one
// below the folder shown), ".." going up. A folder that is not there is told and the box shows
// the folder shown again. Nothing while a copy runs.
void pathTyped(ProgramContext& ctx, const QString& side, const QString& typed);

// The folder an instrument pane's box names: its pane form ("\DATA\SUB", "\" for the root), from
// the folder shown (current) and the pane's medium code; empty when it names another medium or
// climbs above the root.
QString typedInstrumentFolder(const QString& typed, const QString& current, const QString& medium);

} // namespace orvalt
