#pragma once

#include <QString>

namespace orvalt {

struct ProgramContext;

// Asks what to do with an item whose name exists at the destination. source and dest describe the
// two items (date, and for a file " " size "Byte"). Returns 0 Yes, 1 Completely Yes, 2 No,
// 3 Cancel, and leaves the answer in DialogAnswer. With OverwriteAll set nothing is asked and the
// answer is 0. Completely Yes sets OverwriteAll and shows "Replacement" in the first status panel.
qint16 CheckOverWrite(ProgramContext& ctx, const QString& name, const QString& source, const QString& dest);

} // namespace orvalt
