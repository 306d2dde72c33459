#pragma once

#include <QLatin1String>
#include <QString>
#include <QtGlobal>

class QDateTime;

namespace orvalt {

// The texts of a pane row's Date, Size and Kind columns, the same for host and instrument rows.

// The Kind of a folder row. It is the one mark by which the program tells folder rows from file
// rows, so it is compared, never displayed only.
inline constexpr QLatin1String kDirKind("<DIR>");

// Sizes count in units of 1000 bytes, truncated; anything under 1000 bytes (zero and a negative
// size included) shows as "1KB". The text is right-aligned in ten characters; a longer one is
// shown whole.
QString sizeText(qint64 bytes);

// "yyyy/MM/dd hh:mm:ss" on the 24-hour clock; empty for an invalid date.
QString dateText(const QDateTime& when);

// Everything after the first "." of a file name (trace.2002.dat gives 2002.dat); empty without one.
QString kindText(const QString& name);

} // namespace orvalt
