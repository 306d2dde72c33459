#include "link/RefusalReason.h"

namespace orvalt::link {

namespace {

constexpr int kLastReason = static_cast<int>(RefusalReason::NoSuchMedium);
// A reason is one or two digits; anything longer is not one of ours.
constexpr qsizetype kMaxDigits = 2;

RefusalReason reasonOfDigits(const QByteArray& digits)
{
    if (digits.isEmpty() || digits.size() > kMaxDigits)
        return RefusalReason::None;
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return RefusalReason::None;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= kLastReason ? static_cast<RefusalReason>(value) : RefusalReason::None;
}

} // namespace

QByteArray refusalPayload(RefusalReason reason)
{
    return reason == RefusalReason::None ? QByteArray() : QByteArray::number(static_cast<int>(reason));
}

RefusalReason refusalOfBlock(const QByteArray& payload)
{
    return reasonOfDigits(payload);
}

RefusalReason refusalOfReply(const QByteArray& text)
{
    // The reply buffer is filled with spaces after the text.
    const QByteArray trimmed = text.trimmed();
    const qsizetype comma = trimmed.indexOf(',');
    return comma < 0 ? RefusalReason::None : reasonOfDigits(trimmed.mid(comma + 1));
}

} // namespace orvalt::link
