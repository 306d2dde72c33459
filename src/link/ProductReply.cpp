#include "link/ProductReply.h"

#include "link/CommandWords.h"
#include "link/WireText.h"

#include <algorithm>

namespace orvalt {

namespace {

constexpr qsizetype kProductPrefixLength = CommandWords::kProductField.size();

// Line breaks, tabs and the other control characters of Latin-1 have no place in a name that is
// shown in a selector and stored as one line of the settings file.
bool hasControl(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        const ushort u = c.unicode();
        return u < 0x20 || (u >= 0x7F && u < 0xA0);
    });
}

// The last field runs on into the buffer's blank fill; no name ends with a space.
QString withoutFill(QString field)
{
    while (field.endsWith(QLatin1Char(' ')))
        field.chop(1);
    return field;
}

} // namespace

ProductReply parseProductReply(const QByteArray& reply)
{
    ProductReply result;
    QString text = QString::fromLatin1(reply);
    const QString model = withoutFill(NextField(text).mid(kProductPrefixLength));
    if (hasControl(model))
        return result;
    result.model = model;
    while (result.media.size() < ProductReply::kMaxMedia) {
        const QString medium = NextField(text);
        if (medium.isEmpty() || medium.startsWith(QLatin1Char(' ')) || hasControl(medium))
            break;
        result.media.append(withoutFill(medium));
    }
    return result;
}

bool isRzFamily(const QString& model)
{
    return model.startsWith(QLatin1String("RZ"));
}

} // namespace orvalt
