#pragma once

#include <QtGlobal>

namespace orvalt {

struct ProgramContext;

// Stops a file stream in the middle, a write ("FWT " and its blocks) or a read ("FRD? " and its
// requests), once the answer to the last block sent or asked for is in. Nothing more of the file
// goes or is asked for, and no closing "DUMMY" is sent: the instrument drops an unfinished file at
// its next command, and a read ends there too. That next command is sent here at once, a status
// query the instrument answers itself, so that when this returns the instrument has let go of the
// file (a write's part is discarded, the file it replaced kept) and the link is ready for the
// next command. Returns the query's result (0 when the instrument answered).
qint32 abandonFileStream(ProgramContext& ctx);

} // namespace orvalt
