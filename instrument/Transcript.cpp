#include "Transcript.h"

#include <QDateTime>

namespace orvalt::instrument {

namespace {
constexpr int kHexBytes = 16;
}

bool Transcript::open(const QString& path, QString* error)
{
    if (path.isEmpty())
        return true;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = QStringLiteral("cannot open the transcript %1: %2").arg(path, m_file.errorString());
        return false;
    }
    return true;
}

QString Transcript::printable(const QByteArray& text)
{
    QString out;
    out.reserve(text.size());
    for (const char byte : text) {
        const auto c = static_cast<unsigned char>(byte);
        if (c < 0x20 || c == 0x7F)
            out += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
        else
            out += QLatin1Char(static_cast<char>(c)); // Latin-1, as on the wire
    }
    return out;
}

void Transcript::command(const QByteArray& text)
{
    write(QStringLiteral("CMD ") + printable(text));
}

void Transcript::rawLine(const QByteArray& line)
{
    write(QStringLiteral("RAW ") + printable(line));
}

void Transcript::block(qint32 type, const QByteArray& payload)
{
    QString line = QStringLiteral("BLK %1 %2").arg(type).arg(payload.size());
    if (!payload.isEmpty())
        line += QLatin1Char(' ') + QString::fromLatin1(payload.left(kHexBytes).toHex());
    write(line);
}

void Transcript::packedBlock(qint32 type, const QByteArray& packed)
{
    if (m_packed)
        write(QStringLiteral("PAK %1 %2").arg(type).arg(packed.size()));
}

void Transcript::write(const QString& line)
{
    if (!m_file.isOpen())
        return;
    const QString stamp =
        m_timed ? QString::number(QDateTime::currentMSecsSinceEpoch()) + QLatin1Char(' ') : QString();
    m_file.write((stamp + line + QLatin1Char('\n')).toUtf8());
    m_file.flush();
}

} // namespace orvalt::instrument
