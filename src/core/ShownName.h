#pragma once

#include <QString>

namespace orvalt {

// A name as a message shows it: control characters (a host or instrument name may hold them) written
// as \xNN, so a box or a console line cannot be garbled by what it names, and a name longer than any
// the instrument holds cut to 64 characters and "...".
QString escapedName(const QString& name);

} // namespace orvalt
