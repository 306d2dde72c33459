#pragma once

#include <QLatin1String>

namespace orvalt {

// The instrument's command words, spelled once for the program and the virtual instrument. A word
// that takes arguments ends with its blank, and the arguments follow it separated by ","; the
// instrument reads the word up to that blank (kMedium.trimmed()). Paths on the line use "/", a
// folder written with a final "/"; a medium is named by its command code ("0", ...). A command's
// result is 0 on success, else the instrument's code (20 format error or refused argument, 60 busy,
// 160 medium unknown, full or not writable); the reply text is empty unless said below.
namespace CommandWords {

// No arguments. Reply: "PRODUCT:" and the model in one field, then the names of the media,
// comma-separated.
inline constexpr QLatin1String kProduct{"PRODUCT?"};
// The first field of the kProduct reply, before the model.
inline constexpr QLatin1String kProductField{"PRODUCT:"};
// No arguments. 0 when the instrument is there and ready: the connect check.
inline constexpr QLatin1String kStatus{"STS?"};
// No arguments. 0 when the instrument takes long names, else it keeps to upper-case 8.3 names.
inline constexpr QLatin1String kLongNames{"TDIF?"};
// The medium's code ("MED 0"): makes it the current medium, at its root.
inline constexpr QLatin1String kMedium{"MED "};
// A folder path on the current medium ("CDR /DATA"): makes it the current folder.
inline constexpr QLatin1String kChangeFolder{"CDR "};
// No arguments; sent as a block request. Answered in blocks: the current folder's listing, a header
// field, then per entry name, size, date, time and kind, comma-separated.
inline constexpr QLatin1String kDirectory{"DIR?"};
// "code,/path/NAME," in the first block of an upload; the length (4 bytes, big-endian) and the data
// follow in blocks.
inline constexpr QLatin1String kFileWrite{"FWT "};
// A file name in the current folder; sent as a block request. Answered in blocks: the file's data.
inline constexpr QLatin1String kFileRead{"FRD? "};
// "code,source,code,target": copies a file, or a folder when the source is one, on the instrument.
inline constexpr QLatin1String kCopy{"CPY "};
// "code,old,new": renames or moves on one medium; never replaces an item in the way.
inline constexpr QLatin1String kMove{"MOV "};
// A name in the current folder: deletes that file or folder.
inline constexpr QLatin1String kDelete{"FDL "};
// A folder path: makes the folder, whose parent must exist.
inline constexpr QLatin1String kMakeFolder{"MKDR "};
// The medium's code: formats it, emptying it.
inline constexpr QLatin1String kFormat{"FMT "};
// No arguments; follows every upload. Result: how the last upload ended (0 stored, else the code
// of its refusal).
inline constexpr QLatin1String kDummy{"DUMMY"};
// Raw lines (unframed, unanswered, ended by a line feed) that put an instrument of the RZ family
// into its file-copy mode and out of it again.
inline constexpr QLatin1String kFileCopyOn{"UTILITY FILECOPY,ON"};
inline constexpr QLatin1String kFileCopyOff{"UTILITY FILECOPY,OFF"};

} // namespace CommandWords

} // namespace orvalt
