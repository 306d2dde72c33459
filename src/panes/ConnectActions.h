#pragma once

#include <QString>

namespace orvalt {

struct ProgramContext;

// Connecting to the instrument and dropping the link, and the model name.

// ModelName from the settings file ("KD7350" when it names none).
void ReadModel(ProgramContext& ctx);

// Asks the instrument for its product; a model of the RZ family records its model and media in
// the settings file. Then rebuilds both panes' selectors.
void CheckProduct(ProgramContext& ctx);

// The toolbar's Connection and Disconnection.
void Connect(ProgramContext& ctx);
void Disconnect(ProgramContext& ctx);

} // namespace orvalt
