#include "viewer/HexLines.h"

namespace orvalt {

qint64 hexLineCount(qint64 bytes)
{
    return bytes <= 0 ? 0 : (bytes + kHexBytesPerLine - 1) / kHexBytesPerLine;
}

QString hexLine(const QByteArray& bytes, qint64 line)
{
    const qint64 offset = line * kHexBytesPerLine;
    if (line < 0 || offset >= bytes.size())
        return QString();
    const qint64 count = qMin<qint64>(kHexBytesPerLine, bytes.size() - offset);
    QString text = QStringLiteral("%1  ").arg(offset, 8, 16, QLatin1Char('0'));
    QString chars;
    for (qint64 i = 0; i < kHexBytesPerLine; ++i) {
        if (i == kHexBytesPerLine / 2)
            text += QLatin1Char(' ');
        if (i >= count) {
            text += QStringLiteral("   ");
            continue;
        }
        const auto b = static_cast<unsigned char>(bytes.at(offset + i));
        text += QStringLiteral("%1 ").arg(b, 2, 16, QLatin1Char('0'));
        chars += b >= 0x20 && b < 0x7f ? QChar(QLatin1Char(static_cast<char>(b))) : QChar(QLatin1Char('.'));
    }
    return text + QLatin1Char(' ') + chars;
}

} // namespace orvalt
