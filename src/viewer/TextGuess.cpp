#include "viewer/TextGuess.h"

#include <QStringDecoder>

namespace orvalt {

namespace {

constexpr char kShiftJis[] = "Shift_JIS";
// A UTF-8 character is at most 4 bytes, a Shift_JIS one 2: a cut end leaves at most 3 behind.
constexpr qsizetype kLongestCut = 3;
constexpr qsizetype kBinaryProbe = 8192;

bool decodesCleanly(const QByteArray& bytes, const char* name, bool cutShort)
{
    // Stateless: a character left half-finished at the very end counts as an error, unless the
    // file goes on beyond these bytes, where its last few bytes are not judged.
    QStringDecoder decoder(name, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return false;
    const QByteArrayView judged =
        cutShort ? QByteArrayView(bytes).first(qMax<qsizetype>(0, bytes.size() - kLongestCut)) : bytes;
    const QString text = decoder.decode(judged); // the decoding happens here, not in decode()
    return !decoder.hasError();
}

} // namespace

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::ShiftJis:
        return QStringLiteral("Shift_JIS");
    case TextEncoding::Latin1:
        break;
    }
    return QStringLiteral("Latin-1");
}

bool shiftJisAvailable()
{
    return QStringDecoder(kShiftJis).isValid();
}

TextEncoding guessEncoding(const QByteArray& bytes, bool cutShort)
{
    if (decodesCleanly(bytes, "UTF-8", cutShort))
        return TextEncoding::Utf8;
    if (decodesCleanly(bytes, kShiftJis, cutShort))
        return TextEncoding::ShiftJis;
    return TextEncoding::Latin1;
}

QString decodeText(const QByteArray& bytes, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8: {
        QStringDecoder decoder(QStringConverter::Utf8); // drops a byte order mark by default
        return decoder.decode(bytes);
    }
    case TextEncoding::ShiftJis: {
        QStringDecoder decoder(kShiftJis);
        if (decoder.isValid())
            return decoder.decode(bytes);
        break;
    }
    case TextEncoding::Latin1:
        break;
    }
    return QString::fromLatin1(bytes);
}

bool looksBinary(const QByteArray& bytes)
{
    const QByteArrayView probe = QByteArrayView(bytes).first(qMin(bytes.size(), kBinaryProbe));
    qsizetype control = 0;
    for (const char c : probe) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0)
            return true;
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f')
            ++control;
    }
    // A text file may hold a stray escape or two; one byte in ten is no text.
    return control * 10 > probe.size();
}

} // namespace orvalt
