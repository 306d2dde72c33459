#pragma once

#include <QString>

namespace orvalt {

struct SessionContext;

// Records the medium of the media-list text device for the pane of side ("L" left, anything else
// right) and tells whether a remote operation may go on: connected, or no pane shows the
// instrument. When not, says so (once the user has acted).
bool CheckConnect(SessionContext& s, const QString& device, const QString& side);

} // namespace orvalt
