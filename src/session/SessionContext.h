#pragma once

#include "session/InstrumentSession.h"

namespace orvalt {

struct AppState;
class DialogSeam;
class Settings;
namespace link {
class PexLink;
}

// What an exchange with the instrument works with: the program-wide state, the settings stores,
// the dialog seam (for its questions, notices and the yield) and the instrument link.
struct SessionContext
{
    AppState& state;
    Settings& settings;
    DialogSeam& dialogs;
    link::PexLink& link;
    // The place selected on the instrument, which each command that acts in one selects first.
    InstrumentSession instrument{};
};

} // namespace orvalt
