#pragma once

namespace orvalt {

struct AppState;
struct MainControls;
class DialogSeam;
class Settings;
class HostFs;
namespace link {
class PexLink;
}

// What the routines behind the main window's actions work with: the program-wide state, the
// settings stores, the dialog seam, the main window's controls, the instrument link and the host
// file system. The main window owns all of them and hands this record to the routines it calls.
struct ProgramContext
{
    AppState& state;
    Settings& settings;
    DialogSeam& dialogs;
    MainControls& controls;
    link::PexLink& link;
    HostFs& hostFs;
};

} // namespace orvalt
