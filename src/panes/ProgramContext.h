#pragma once

#include "session/SessionContext.h"

namespace orvalt {

struct MainControls;
class HostFs;

// What the routines behind the main window's actions work with: the session (program-wide state,
// settings stores, dialog seam, instrument link), the main window's controls and the host file
// system. The main window owns all of them and hands this record to the routines it calls.
struct ProgramContext : SessionContext
{
    MainControls& controls;
    HostFs& hostFs;
};

} // namespace orvalt
