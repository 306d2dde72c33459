// The frame decoder reads whatever the serial line delivers. Input: a chunk size byte, a byte of
// quiet-line marks, then the bytes of the line.

#include "FuzzCheck.h"
#include "link/FrameCodec.h"

#include <QtEndian>
#include <cstddef>
#include <cstdint>

using namespace orvalt::link;

namespace {

bool sameEvent(const FrameDecoder::Event& a, const FrameDecoder::Event& b)
{
    return a.type == b.type && a.frame == b.frame && a.line == b.line && a.damage == b.damage;
}

// What the decoder hands on must be something the peer could have sent.
void checkEvent(const FrameDecoder::Event& event)
{
    switch (event.type) {
    case FrameDecoder::Event::Type::Frame: {
        const Frame& f = event.frame;
        FUZZ_CHECK(f.payload.size() <= kMaxPayload);
        FUZZ_CHECK(f.seq < (isWindowKind(f.kind) ? kWindowSeqModulo : kSeqModulo));
        const QByteArray wire = encodeFrame(f);
        FUZZ_CHECK(!wire.isEmpty());
        FrameDecoder again;
        const QList<FrameDecoder::Event> events = again.feed(wire);
        FUZZ_CHECK(events.size() == 1);
        FUZZ_CHECK(events.first().type == FrameDecoder::Event::Type::Frame);
        FUZZ_CHECK(events.first().frame == f);
        break;
    }
    case FrameDecoder::Event::Type::RawLine:
        FUZZ_CHECK(event.line.size() <= kMaxRawLine);
        FUZZ_CHECK(!event.line.contains(kLineFeed));
        for (char c : event.line)
            FUZZ_CHECK(!isStartMarker(c));
        break;
    case FrameDecoder::Event::Type::Damaged:
        FUZZ_CHECK(event.damage != FrameDecoder::Damage::None);
        break;
    }
}

// The same bytes read as a frame to send: whatever encodes must decode to itself.
void checkEncoding(const uint8_t* data, size_t size)
{
    if (size < 6)
        return;
    Frame f;
    f.kind = static_cast<FrameKind>(data[0] % 5);
    f.seq = static_cast<quint8>(data[1] % (kSeqModulo + 1)); // one past the range must be refused
    f.tag = qFromBigEndian<qint32>(data + 2);
    f.payload = QByteArray(reinterpret_cast<const char*>(data + 6), static_cast<qsizetype>(size - 6));
    const QByteArray wire = encodeFrame(f);
    if (wire.isEmpty())
        return;
    FUZZ_CHECK(wire.size() <= 2 + 1 + 4 + kMaxPayload + 2);
    // As the program reads: it takes no raw lines, so a whole frame leaves it waiting for nothing.
    FrameDecoder decoder;
    decoder.setLinesAllowed(false);
    const QList<FrameDecoder::Event> events = decoder.feed(wire);
    FUZZ_CHECK(events.size() == 1);
    FUZZ_CHECK(events.first().type == FrameDecoder::Event::Type::Frame);
    FUZZ_CHECK(events.first().frame == f);
    FUZZ_CHECK(!decoder.needsIdle());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t chunk = data[0] ? data[0] : size; // serial reads arrive in pieces of any size
    const uint8_t quietMarks = data[1];            // bit i: the line goes quiet after piece i % 8
    const QByteArray stream(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));

    FrameDecoder decoder;
    QList<FrameDecoder::Event> events;
    int piece = 0;
    for (qsizetype at = 0; at < stream.size(); at += static_cast<qsizetype>(chunk), ++piece) {
        events += decoder.feed(stream.mid(at, static_cast<qsizetype>(chunk)));
        if (quietMarks & (1u << (piece % 8)))
            events += decoder.lineIdle();
    }
    events += decoder.lineIdle();
    FUZZ_CHECK(!decoder.needsIdle());
    for (const FrameDecoder::Event& e : events)
        checkEvent(e);

    // Where the line never went quiet, how the bytes were cut into reads must not matter.
    if (quietMarks == 0) {
        FrameDecoder whole;
        QList<FrameDecoder::Event> wholeEvents = whole.feed(stream);
        wholeEvents += whole.lineIdle();
        FUZZ_CHECK(wholeEvents.size() == events.size());
        for (qsizetype i = 0; i < events.size(); ++i)
            FUZZ_CHECK(sameEvent(events.at(i), wholeEvents.at(i)));
    }

    checkEncoding(data, size);
    return 0;
}
