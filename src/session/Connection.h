#pragma once

#include "link/ProductReply.h"

#include <QString>
#include <functional>
#include <optional>

namespace orvalt {

struct AppState;
struct SessionContext;
namespace link {
class PexLink;
}

// Connecting to the instrument and leaving it, the model name, and the guard that every remote
// operation passes first: the one way the window and orvalt-cli do each of these.

// The time a call waits for the instrument's answer: 6 s, and 3 minutes for the RZ family, which
// answers slowly.
inline constexpr qint32 kCallTimeOutMs = 6000;
inline constexpr qint32 kRzCallTimeOutMs = 180000;

// ModelName from the settings file ("KD7350" when it names none).
void ReadModel(SessionContext& s);

// What a greeting found.
struct Greeting
{
    // The line is open and the instrument greeted: it answered "STS?" (the RZ family is not asked).
    bool answered = false;
    // The RZ family only: what "PRODUCT?" said, and the link's result of asking it.
    std::optional<ProductReply> product;
    qint32 productResult = 0;
};

// Opens the line with the selected port's settings (one retry, kCallTimeOutMs) and greets the
// instrument. A model of the RZ family: kRzCallTimeOutMs, short names, the raw line
// "UTILITY FILECOPY,ON" and "PRODUCT?", whose model (when it is of the family) becomes ModelName.
// Any other: "STS?", then "TDIF?", whose acceptance says that it takes long names. connected runs
// as soon as the user may be told (before the raw line, or between "STS?" and "TDIF?"). Connected
// is set when the instrument answered; on a failure nothing is closed, and the link's error
// string says why.
Greeting greetInstrument(SessionContext& s, const std::function<void()>& connected = {});

// Leaves the instrument: the RZ family's "UTILITY FILECOPY,OFF", Connected cleared, the line
// closed.
void leaveInstrument(SessionContext& s);

// "PRODUCT?" and what its reply says (blank when there is no link); result (when given) is the
// link's.
ProductReply askProduct(link::PexLink& link, qint32* result = nullptr);

// What the status bar's line panel says: "Not connected", or the model and the line the link was
// opened with ("KD7350 · /dev/ttyUSB0 · 9600 8N1"); once a call found the instrument out of reach,
// "Not connected" and why ("Not connected · no answer", "Not connected · the port went away"),
// until the instrument answers again (Connection, or any later request it answers).
QString linePanelText(const AppState& state, const link::PexLink& link);
// The instrument panes show what was there before the line was lost: not current until the
// instrument answers again.
bool instrumentOutOfReach(const AppState& state, const link::PexLink& link);

// Records the medium of the media-list text device for the pane of side ("L" left, anything else
// right) and tells whether a remote operation may go on: connected, or no pane shows the
// instrument. When not, says so (once the user has acted).
bool CheckConnect(SessionContext& s, const QString& device, const QString& side);

} // namespace orvalt
