#pragma once

#include <QString>

namespace orvalt {

struct ProgramContext;

// The window's Connection and Disconnection: the greeting of the session, then the panes.

// Asks the instrument for its product; a model of the RZ family records its model and media in
// the settings file. Then rebuilds both panes' selectors.
void CheckProduct(ProgramContext& ctx);

// The toolbar's Connection: greets the instrument ("Connected" once it answered), takes the RZ
// family's product as CheckProduct does, and lists each instrument pane anew. A failure says why.
void Connect(ProgramContext& ctx);
// Text 8302 "It failed in the connection" and under it why: the port that could not be opened
// (with the device and what to do), the instrument that did not answer, or what it answered.
// The window's Connection and orvalt-cli both tell this.
QString connectionFailedText(ProgramContext& ctx);

// The toolbar's Disconnection: empties the instrument panes and leaves the instrument.
void Disconnect(ProgramContext& ctx);

} // namespace orvalt
