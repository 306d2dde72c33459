#pragma once

#include <QString>

namespace orvalt {

struct ProgramContext;

// The medium's name for a remote path ("INT MEM" for M:\DATA\A.DAT) as the media lists show it,
// else as the settings file names it; the medium code when nothing names it.
QString mediumNameOf(ProgramContext& ctx, const QString& remotePath);

} // namespace orvalt
