#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstddef>

namespace orvalt {

struct AppState;
class DialogSeam;
namespace link {
class PexLink;
}

// Sends a command through PexSendCommand with a 255-space reply buffer, keeps the first three
// characters of the buffer in LastReplyCode, lets the event loop run once and returns the result
// unchanged (0, 20, 60, 160, or a link failure). A command with a character outside Latin-1 is not
// sent: the result is link::PexResult::BadArgument and link.errorString() says why.
qint32 SendCmd(AppState& state, link::PexLink& link, DialogSeam& dialogs, const QString& command);

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
