#include "link/LinkWindow.h"

#include "link/FrameCodec.h"

namespace orvalt::link {

namespace {

const QByteArray kRequestWord = QByteArrayLiteral("WINDOW? ");
const QByteArray kReplyWord = QByteArrayLiteral("WINDOW:");

// A count of one or two decimal digits within 1 .. kMaxWindow; nothing else.
std::optional<int> countOf(const QByteArray& digits)
{
    if (digits.isEmpty() || digits.size() > 2)
        return std::nullopt;
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kMaxWindow)
        return std::nullopt;
    return value;
}

} // namespace

QByteArray windowRequest(int frames)
{
    return kRequestWord + QByteArray::number(frames);
}

std::optional<int> parseWindowRequest(const QByteArray& command)
{
    if (!command.startsWith(kRequestWord))
        return std::nullopt;
    const std::optional<int> count = countOf(command.mid(kRequestWord.size()));
    if (!count || *count < 2)
        return std::nullopt;
    return count;
}

QByteArray windowReply(int frames)
{
    return kReplyWord + QByteArray::number(frames);
}

std::optional<int> parseWindowReply(const QByteArray& reply)
{
    if (!reply.startsWith(kReplyWord))
        return std::nullopt;
    return countOf(reply.mid(kReplyWord.size()).trimmed());
}

} // namespace orvalt::link
