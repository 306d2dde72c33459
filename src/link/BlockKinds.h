#pragma once

#include <QtGlobal>

namespace orvalt {

// The block types a block exchange carries in its tag, spelled once for the program's sender and
// receiver, the link and the virtual instrument.
inline constexpr qint32 kBlockMore =
    0; // request: a file block with more to follow; answer: more follows / acknowledged
inline constexpr qint32 kBlockFinal = 1;   // request: the last file block of "FWT "
inline constexpr qint32 kBlockCommand = 3; // request: "DIR?" or "FRD? name", answered in blocks
inline constexpr qint32 kBlockNext = 4;    // request: the next answer block
// Beneath the calls, once both ends agreed on compression: "DIR?" or "FRD? name" whose answer comes
// as one compressed stream, and the "FWT " line of a file whose length and data follow compressed.
inline constexpr qint32 kBlockPackedCommand = 5;
inline constexpr qint32 kBlockPackedWrite = 6;
inline constexpr qint32 kBlockLast = 7;    // answer: the last block
inline constexpr qint32 kBlockRefused = 9; // answer: refused, the exchange ends

} // namespace orvalt
