#pragma once

#include <QString>

namespace orvalt {

namespace link {
class PexLink;
}

// Every message that tells of a failure is made here, for the window and orvalt-cli alike: the
// text the program has always shown on the first line, and on a second line the cause in plain
// words and what the user can do about it, wherever the program knows more than the first line
// says. docs/errors.md lists them all.
namespace ErrorText {

// Where the user chooses the port and its settings, as the advice names it: the window's
// Tool > Option..., or orvalt-cli's --device and line options. The window's unless set.
enum class PortChoice
{
    Window,
    CommandLine
};
void setPortChoice(PortChoice choice);

// What a user who may not open a serial device can do, from its group and mode: join the group
// that may use it (dialout, or the one it has), or ask the administrator when no group the user
// could join opens it. The dialout group when the device cannot be looked at.
QString permissionAdvice(const QString& device);

// The first line, then the cause on a line of its own; the first line alone when the cause is empty.
QString twoLines(const QString& first, const QString& cause);

// Why the link's last call failed, and what to do: the port that could not be opened (no such
// device, not permitted, in use), the instrument that stopped answering, the port that went away,
// the line too noisy to carry the exchange. Empty when the last call did not fail in the link.
QString linkCause(const link::PexLink& link);

// The same for a result: the link's cause when result is a failure of the link, or when it hides
// one (the receiver's -1 after the link failed); else empty.
QString linkCauseOf(const link::PexLink& link, qint32 result);

// What the instrument refused and why, from the reason its refusal gave (link::RefusalReason as a
// number): what names the file or folder ("M:\DATA\X.CSV"), medium the medium ("INT MEM"). Empty
// when the refusal gave no reason.
QString refusalCause(int reason, const QString& what, const QString& medium);

// The cause of a failure on the host's side: what the system said of it, and what to do for the
// failures a user meets most (no space left, a read-only disk, no permission).
QString hostCause(const QString& systemReason);

} // namespace ErrorText

} // namespace orvalt
