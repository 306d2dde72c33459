#pragma once

#include "link/ProductReply.h"

#include <QString>

namespace orvalt {

struct ProgramContext;

// Connecting to the instrument and dropping the link, the model name, and the guard that every
// remote operation passes first.

// ModelName from the settings file ("KD7350" when it names none).
void ReadModel(ProgramContext& ctx);

// Asks the instrument for its product; a model of the RZ family records its model and media in
// the settings file. Then rebuilds both panes' selectors.
void CheckProduct(ProgramContext& ctx);

// The toolbar's Connection and Disconnection.
void Connect(ProgramContext& ctx);
void Disconnect(ProgramContext& ctx);

// Records the medium of the media-list text device for the pane of side ("L" left, anything else
// right) and tells whether a remote operation may go on: connected, or no pane shows the
// instrument. When not, says so (once the user has acted).
bool CheckConnect(ProgramContext& ctx, const QString& device, const QString& side);

} // namespace orvalt
