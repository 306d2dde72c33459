#pragma once

#include <QByteArray>
#include <optional>

// How both ends of the link agree on several block requests in flight (docs/link-protocol.md,
// "The window"). The program asks with a command, "WINDOW? n", saying how many window requests it
// would keep in flight; an instrument that knows the window kinds answers 0 with "WINDOW:m", the
// number it takes (at most n). Any other answer (an instrument of today answers 20, as to every
// command it does not know) means one request at a time, as before.

namespace orvalt::link {

QByteArray windowRequest(int frames);
// The number asked for, when the command is a window request (2 .. kMaxWindow, else nothing).
std::optional<int> parseWindowRequest(const QByteArray& command);

QByteArray windowReply(int frames);
// The number an instrument takes, from its reply text (which may be padded with spaces); nothing
// when the text is no window reply or the number is out of 1 .. kMaxWindow.
std::optional<int> parseWindowReply(const QByteArray& reply);

} // namespace orvalt::link
