#pragma once

#include <QtGlobal>

namespace orvalt {

struct ProgramContext;

// Stops a file stream with the instrument in the middle, so that the link is ready for the next
// command with nothing left on the line. A write ("FWT ") just sends no more blocks and no "DUMMY";
// a read ("FRD? ") asks for no further block. Either way the instrument drops the unfinished
// exchange (a half-written file with it) at its next command; this sends that command at once, the
// status query the greeting uses, so the instrument has let go before the caller reports back.
// Returns the query's result: 0 when the instrument answered and the link is ready. Every path
// that stops a file in the middle comes here, so the way of stopping lives in one place.
qint32 abandonFileStream(ProgramContext& ctx);

} // namespace orvalt
