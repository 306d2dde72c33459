#pragma once

#include "link/WireText.h"

#include <QString>

namespace orvalt {

struct AppState;
class DialogSeam;
namespace link {
class PexLink;
}

// Sends a command through PexSendCommand with a 255-space reply buffer, keeps the first three
// characters of the buffer in LastReplyCode, lets the event loop run once and returns the result
// unchanged (0, 20, 60, 160, or a link failure). A command with a character outside Latin-1 is not
// sent: the result is link::PexResult::BadArgument and link.errorString() says why.
qint32 SendCmd(AppState& state, link::PexLink& link, DialogSeam& dialogs, const QString& command);

} // namespace orvalt
