// What a device server sends over RFC 2217: Telnet's commands, negotiation and subnegotiations
// among the instrument's data, split anywhere.

#include "FuzzCheck.h"
#include "link/TelnetCodec.h"

#include <cstddef>
#include <cstdint>

using namespace orvalt::link;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray in(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    TelnetCodec whole;
    whole.start();
    const QByteArray wholeData = whole.receive(in);
    const QByteArray wholeReplies = whole.takeReplies();
    const QList<TelnetCodec::ComPortAnswer> wholeAnswers = whole.takeAnswers();

    // Data never grows, and a reply answers a negotiation of three bytes with three.
    FUZZ_CHECK(wholeData.size() <= in.size());
    FUZZ_CHECK(wholeReplies.size() <= in.size());
    FUZZ_CHECK(wholeReplies.size() % 3 == 0);
    for (const TelnetCodec::ComPortAnswer& answer : wholeAnswers)
        FUZZ_CHECK(answer.value.size() <= TelnetCodec::kMaxSubnegotiation);

    // The same bytes one at a time tell the same.
    TelnetCodec split;
    split.start();
    QByteArray splitData;
    for (const char c : in)
        splitData += split.receive(QByteArray(1, c));
    FUZZ_CHECK(splitData == wholeData);
    FUZZ_CHECK(split.takeReplies() == wholeReplies);
    FUZZ_CHECK(split.takeAnswers().size() == wholeAnswers.size());

    // Escaped data comes back as it was, whatever it holds.
    TelnetCodec back;
    FUZZ_CHECK(back.receive(TelnetCodec::escape(in)) == in);
    FUZZ_CHECK(back.takeReplies().isEmpty());
    return 0;
}
