#pragma once

#include "core/AppState.h"
#include "session/SessionContext.h"

namespace orvalt {

class HostFs;
class PaneModel;
class StatusPanel;

// What the routines behind the main window's actions work with: the session (program-wide state,
// settings stores, dialog seam, instrument link), the host file system, the two panes and the
// status bar's first panel. The main window (or orvalt-cli, without a window) owns all of them and
// hands this record to the routines it calls.
struct ProgramContext : SessionContext
{
    HostFs& hostFs;
    PaneModel& leftPane;
    PaneModel& rightPane;
    StatusPanel& statusPanel1;
};

// The pane of a side ("L" the left pane, anything else the right one).
inline PaneModel& paneList(ProgramContext& ctx, const QString& side)
{
    return AppState::isLeft(side) ? ctx.leftPane : ctx.rightPane;
}

// The side letter of the other pane.
inline QString otherSide(const QString& side)
{
    return AppState::isLeft(side) ? QStringLiteral("R") : QStringLiteral("L");
}

} // namespace orvalt
