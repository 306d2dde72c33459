#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstddef>

namespace orvalt {

// Text on the wire: one byte per character, Latin-1, and the comma-separated fields of the
// instrument's answers.

// Writes the Latin-1 code of each character of text into buffer[0 ..] and returns the number of
// characters. A text with a character outside Latin-1, or longer than bufferSize, is refused: the
// result is -1, nothing is written, and error (when given) says why.
qint32 StrToBytes(char* buffer, qint32 bufferSize, const QString& text, QString* error = nullptr);
template<std::size_t N>
qint32 StrToBytes(std::array<char, N>& buffer, const QString& text, QString* error = nullptr)
{
    return StrToBytes(buffer.data(), static_cast<qint32>(N), text, error);
}

// The text of bytes 0 .. count - 1 of buffer, each byte one Latin-1 character. A count outside
// 0 .. bufferSize is cut to that range.
QString BytesToStr(const char* buffer, qint32 bufferSize, qint32 count);
template<std::size_t N> QString BytesToStr(const std::array<char, N>& buffer, qint32 count)
{
    return BytesToStr(buffer.data(), static_cast<qint32>(N), count);
}

// Takes the text before the first comma off the front of text (the whole text when it has no
// comma; an empty result for an empty text). No spaces are trimmed.
QString NextField(QString& text);

// The wire form of a text, one byte per character; false (and error) for a character outside Latin-1.
bool toWireText(const QString& text, QByteArray& bytes, QString* error = nullptr);

} // namespace orvalt
