#pragma once

#include "core/JobTotals.h"

#include <QList>

namespace orvalt {

struct ProgramContext;

// The copy's progress window. While it is open the main window refuses to close.

// Shows it over the main window with its bar from minimum to maximum (at minimum) and no notice;
// CloseAllowed becomes false.
void ProgressOpen(ProgramContext& ctx, int minimum, int maximum);
// The items' totals, counted before the copy starts, for the figures of the whole job.
void ProgressJob(ProgramContext& ctx, const QList<JobTotals>& items);
void ProgressStep(ProgramContext& ctx, int value);
// Text 8113: the user asked to stop, and the file in hand is being finished.
void ProgressNotice(ProgramContext& ctx);
// Takes the window away; CloseAllowed becomes true.
void ProgressClose(ProgramContext& ctx);

} // namespace orvalt
