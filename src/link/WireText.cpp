#include "link/WireText.h"

#include <cstring>

namespace orvalt {

bool toWireText(const QString& text, QByteArray& bytes, QString* error)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).unicode() > 0xFF) {
            if (error) {
                *error =
                    QStringLiteral("the character \"%1\" (U+%2) at position %3 of \"%4\" cannot be sent to "
                                   "the instrument, which knows one-byte characters only")
                        .arg(text.at(i))
                        .arg(text.at(i).unicode(), 4, 16, QLatin1Char('0'))
                        .arg(i + 1)
                        .arg(text);
            }
            return false;
        }
    }
    bytes = text.toLatin1();
    return true;
}

qint32 StrToBytes(char* buffer, qint32 bufferSize, const QString& text, QString* error)
{
    QByteArray bytes;
    if (!toWireText(text, bytes, error))
        return -1;
    if (bytes.size() > bufferSize || (!buffer && !bytes.isEmpty())) {
        if (error) {
            *error = QStringLiteral("\"%1\" has %2 characters, more than the %3 bytes that can be sent")
                         .arg(text)
                         .arg(bytes.size())
                         .arg(qMax(0, bufferSize));
        }
        return -1;
    }
    if (!bytes.isEmpty())
        std::memcpy(buffer, bytes.constData(), static_cast<size_t>(bytes.size()));
    return static_cast<qint32>(bytes.size());
}

QString BytesToStr(const char* buffer, qint32 bufferSize, qint32 count)
{
    if (!buffer)
        return {};
    const qint32 n = qBound(0, count, qMax(0, bufferSize));
    return QString::fromLatin1(buffer, n);
}

QString NextField(QString& text)
{
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    if (comma < 0) {
        QString field;
        field.swap(text);
        return field;
    }
    const QString field = text.left(comma);
    text.remove(0, comma + 1);
    return field;
}

} // namespace orvalt
