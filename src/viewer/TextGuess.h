#pragma once

#include <QByteArray>
#include <QString>

namespace orvalt {

// How the bytes of a file read as text. Instruments of this family write ASCII, UTF-8 or, on older
// firmware with Japanese menus, Shift_JIS; anything else is taken byte for byte as Latin-1, which
// reads every byte as some character and so never fails.
enum class TextEncoding
{
    Utf8,
    ShiftJis,
    Latin1
};

// The name a user chooses the encoding by ("UTF-8", "Shift_JIS", "Latin-1").
QString encodingName(TextEncoding encoding);

// Whether this system can decode Shift_JIS (Qt reaches it through ICU, which a build may lack).
bool shiftJisAvailable();

// UTF-8 when the bytes are valid UTF-8, else Shift_JIS where they decode cleanly, else Latin-1.
// cutShort says the bytes are the first part of a longer file: a character cut in two at their
// end is no reason to give up an encoding.
TextEncoding guessEncoding(const QByteArray& bytes, bool cutShort = false);

// The bytes as text in that encoding; a UTF-8 byte order mark is left out. Bytes that do not
// decode become the replacement character.
QString decodeText(const QByteArray& bytes, TextEncoding encoding);

// Whether the bytes are better shown in hex than as text: a NUL byte, or many control characters
// other than tab, line ends and form feed, in the first 8 KiB.
bool looksBinary(const QByteArray& bytes);

} // namespace orvalt
