#pragma once

#include <QByteArray>
#include <QString>

namespace orvalt {

// The hex view's lines: the offset, sixteen bytes in hex, and the same bytes as characters (a dot
// for any byte that is not printable ASCII).
inline constexpr int kHexBytesPerLine = 16;

qint64 hexLineCount(qint64 bytes);
// Line number line of the bytes: "00000010  48 65 6c 6c 6f 0a 00 ...  Hello..". The offset has
// eight digits, more for a file beyond 4 GB.
QString hexLine(const QByteArray& bytes, qint64 line);

} // namespace orvalt
