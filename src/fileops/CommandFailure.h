#pragma once

#include <QString>
#include <QtGlobal>

namespace orvalt {

struct ProgramContext;

// What the user is told of an instrument command that failed: "MKDR Error 160" (the verb without
// its blank, the result), and on a second line why, where the program knows: the link's failure,
// or what the instrument's reply said it refused (path names the item, for the medium's name too).
QString commandFailureText(ProgramContext& ctx, const QString& command, qint32 result, const QString& path);
// The second line alone: why, where the program knows; empty where it does not.
QString commandCause(ProgramContext& ctx, qint32 result, const QString& path);

} // namespace orvalt
