// The instrument's answer to "PRODUCT?", as it lands in the 255-space reply buffer.

#include "FuzzCheck.h"
#include "link/ProductReply.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace orvalt;

namespace {

constexpr int kReplyBufferSize = 255;

bool plainName(const QString& name)
{
    for (QChar c : name) {
        const ushort u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || c == QLatin1Char(','))
            return false;
    }
    return !name.endsWith(QLatin1Char(' '));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The link copies at most the buffer's size and leaves the rest of the blank fill.
    QByteArray reply(kReplyBufferSize, ' ');
    std::memcpy(reply.data(), data, qMin<size_t>(size, kReplyBufferSize));

    const ProductReply product = parseProductReply(reply);
    FUZZ_CHECK(product.model.size() <= kReplyBufferSize);
    FUZZ_CHECK(plainName(product.model));
    FUZZ_CHECK(product.media.size() <= ProductReply::kMaxMedia);
    for (const QString& medium : product.media) {
        FUZZ_CHECK(!medium.isEmpty());
        FUZZ_CHECK(!medium.startsWith(QLatin1Char(' ')));
        FUZZ_CHECK(plainName(medium));
    }
    if (product.model.isEmpty())
        FUZZ_CHECK(!isRzFamily(product.model));
    return 0;
}
