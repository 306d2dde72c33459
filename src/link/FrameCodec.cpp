#include "link/FrameCodec.h"

#include <QtEndian>
#include <array>

namespace orvalt::link {

namespace {

// CRC-16/CCITT-FALSE: polynomial 0x1021, initial value 0xFFFF, no reflection, no final XOR.
constexpr std::array<quint16, 256> makeCrcTable()
{
    std::array<quint16, 256> table{};
    for (int i = 0; i < 256; ++i) {
        quint16 crc = static_cast<quint16>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<quint16>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        table[static_cast<size_t>(i)] = crc;
    }
    return table;
}
constexpr std::array<quint16, 256> kCrcTable = makeCrcTable();

constexpr quint8 kCtlFrameBit = 0x80;
constexpr int kShortBlock = 256;
constexpr int kLastKind = static_cast<int>(FrameKind::WindowNak);

// Where CTL keeps its fields: the plain kinds have 2 sequence bits and a 3-bit tag (0 .. 6 inline,
// 7: TAG bytes follow); the window kinds 4 sequence bits and a 1-bit tag (0 inline, 1: TAG byte).
struct CtlLayout
{
    int seqShift;
    quint8 seqMask;
    quint8 shortLength; // no LEN byte: length 0, or 256 with lengthBit
    quint8 lengthBit;
    quint8 tagMask; // the tag field; all its bits set: TAG bytes follow
};
constexpr CtlLayout kPlainLayout{5, 0x03, 0x10, 0x08, 0x07};
constexpr CtlLayout kWindowLayout{3, 0x0F, 0x04, 0x02, 0x01};

const CtlLayout& layoutOf(FrameKind kind)
{
    return isWindowKind(kind) ? kWindowLayout : kPlainLayout;
}

bool hasTag(FrameKind kind)
{
    return kind == FrameKind::Data || kind == FrameKind::Block || kind == FrameKind::Reply ||
           kind == FrameKind::WindowData || kind == FrameKind::WindowBlock;
}

bool isNak(FrameKind kind)
{
    return kind == FrameKind::Nak || kind == FrameKind::WindowNak;
}

bool isBlockKind(FrameKind kind)
{
    return kind == FrameKind::Data || kind == FrameKind::Block || kind == FrameKind::WindowData ||
           kind == FrameKind::WindowBlock;
}

int tagBytes(FrameKind kind)
{
    return kind == FrameKind::Reply ? 4 : 1;
}

quint8 byteOf(char c)
{
    return static_cast<quint8>(c);
}

// A raw line starts with printable ASCII (a frame's CTL byte never does) and goes on with
// printable Latin-1; tab and carriage return are allowed anywhere.
bool isLineStart(quint8 b)
{
    return (b >= 0x20 && b <= 0x7E) || b == '\t' || b == '\r';
}
bool isLineByte(quint8 b)
{
    return isLineStart(b) || b >= 0xA0;
}

} // namespace

quint16 crc16(const char* data, qsizetype size)
{
    quint16 crc = 0xFFFF;
    for (qsizetype i = 0; i < size; ++i)
        crc = static_cast<quint16>((crc << 8) ^ kCrcTable[((crc >> 8) ^ byteOf(data[i])) & 0xFF]);
    return crc;
}

QByteArray encodeFrame(const Frame& frame)
{
    const qsizetype length = frame.payload.size();
    const int kind = static_cast<int>(frame.kind);
    if (length > kMaxPayload || kind > kLastKind)
        return {};
    const CtlLayout& layout = layoutOf(frame.kind);
    if (frame.seq > layout.seqMask)
        return {};
    if (isNak(frame.kind) && length != 0)
        return {};
    if (!hasTag(frame.kind) && frame.tag != 0)
        return {};
    if (isBlockKind(frame.kind) && (frame.tag < 0 || frame.tag > 255))
        return {};

    const bool shortLength = length == 0 || length == kShortBlock;
    const bool inlineTag = frame.tag >= 0 && frame.tag < layout.tagMask;
    quint8 ctl = static_cast<quint8>(kCtlFrameBit | (frame.seq << layout.seqShift));
    if (shortLength)
        ctl |= layout.shortLength | (length == kShortBlock ? layout.lengthBit : 0);
    else if (length & 0x100)
        ctl |= layout.lengthBit;
    ctl |= inlineTag ? static_cast<quint8>(frame.tag) : layout.tagMask;

    QByteArray out;
    out.reserve(2 + 1 + 4 + length + 2);
    out.append(static_cast<char>(kFirstMarker + kind));
    out.append(static_cast<char>(ctl));
    if (!shortLength)
        out.append(static_cast<char>(length & 0xFF));
    if (!inlineTag) {
        if (tagBytes(frame.kind) == 1) {
            out.append(static_cast<char>(frame.tag));
        } else {
            char tag[4];
            qToBigEndian(frame.tag, tag);
            out.append(tag, 4);
        }
    }
    out.append(frame.payload);
    const quint16 crc = crc16(out);
    out.append(static_cast<char>(crc >> 8));
    out.append(static_cast<char>(crc & 0xFF));
    return out;
}

QList<FrameDecoder::Event> FrameDecoder::feed(const QByteArray& bytes)
{
    QList<Event> events;
    // What lies before the frame in hand (or before the next byte) is never looked at again.
    const qsizetype keep = m_state == State::Frame ? m_frameStart : m_pos;
    if (keep > 0) {
        m_data.remove(0, keep);
        m_pos -= keep;
        m_frameStart -= keep;
        m_rescanEnd = qMax<qsizetype>(0, m_rescanEnd - keep);
    }
    m_data.append(bytes);
    run(events);
    return events;
}

void FrameDecoder::run(QList<Event>& events)
{
    // One buffer and a read position: a failed frame sends the position back to the byte after its
    // marker, so each pass looks at what it must without copying what follows.
    while (m_pos < m_data.size()) {
        m_byteRescanned = m_pos < m_rescanEnd;
        const char byte = m_data.at(m_pos++);
        feedByte(byte, events);
    }
    m_byteRescanned = false;
}

void FrameDecoder::lookAgainFromMarker()
{
    m_rescanEnd = qMax(m_rescanEnd, m_pos);
    m_pos = m_frameStart + 1;
}

QList<FrameDecoder::Event> FrameDecoder::lineIdle()
{
    QList<Event> events;
    while (m_state == State::Frame) {
        // A frame that lost a byte at its end is cut short by the quiet line; one whose header was
        // damaged may hold whole frames after its marker (a length made longer swallows the short
        // requests behind it). Each pass looks at fewer bytes.
        damaged(Damage::Truncated, events);
        m_rescanEnd = m_data.size();
        m_pos = m_frameStart + 1;
        m_state = State::Discard;
        run(events);
    }
    if (m_state == State::Discard) {
        m_state = State::Idle;
        m_buffer.clear();
    }
    m_quiet = true;
    return events;
}

void FrameDecoder::reset()
{
    m_state = State::Idle;
    m_buffer.clear();
    m_data.clear();
    m_pos = 0;
    m_frameStart = 0;
    m_rescanEnd = 0;
    m_byteRescanned = false;
    m_candidate = false;
    m_headerSize = 0;
    m_frameSize = 0;
    m_quiet = true;
}

void FrameDecoder::startFrame()
{
    m_state = State::Frame;
    m_candidate = m_byteRescanned;
    m_frameStart = m_pos - 1;
    m_headerSize = 0;
    m_frameSize = 0;
}

void FrameDecoder::damaged(Damage damage, QList<Event>& events)
{
    // A marker found inside the bytes of a frame already told damaged opens only a candidate: its
    // failure is the same damage, and telling it again would make the other end ask twice.
    const bool inFrame = m_state == State::Frame;
    const bool told = inFrame && m_candidate;
    Event event;
    event.type = Event::Type::Damaged;
    event.damage = damage;
    if (inFrame) {
        const auto kind = static_cast<FrameKind>(byteOf(m_data.at(m_frameStart)) - kFirstMarker);
        event.damagedKind = isWindowKind(kind) ? DamagedKind::Window : DamagedKind::Plain;
    }
    if (!told)
        events.append(event);
    // A frame that lost a byte has taken the start marker of the frame behind it as its last byte,
    // and a start marker inside damaged data may open a frame that takes the real one's marker: the
    // bytes after the failed marker are looked through again, so the next whole frame still arrives.
    // Every frame found there passes the same check as any other.
    if (inFrame && (damage == Damage::BadCrc || damage == Damage::BadHeader))
        lookAgainFromMarker();
    m_buffer.clear();
    m_headerSize = 0;
    m_frameSize = 0;
    // After a truncation the line is already quiet; otherwise the rest of the damaged frame (or of
    // the noise) may still be arriving and is dropped up to the next start marker.
    m_state = damage == Damage::Truncated ? State::Idle : State::Discard;
}

void FrameDecoder::feedByte(char byte, QList<Event>& events)
{
    const quint8 b = byteOf(byte);
    const bool afterQuiet = m_quiet;
    m_quiet = false;
    switch (m_state) {
    case State::Frame:
        frameByte(byte, events);
        return;
    case State::Discard:
        if (isStartMarker(byte))
            startFrame();
        return;
    case State::Idle:
        if (isStartMarker(byte)) {
            startFrame();
        } else if (byte == kLineFeed) {
            // A raw line starts with a printable character; a line feed alone is a damaged start
            // marker (0x02 with one bit flipped), and taking it for a line would make the
            // instrument forget the request it must not run twice.
            damaged(Damage::Junk, events);
        } else if (isLineStart(b) && m_linesAllowed && afterQuiet) {
            m_state = State::Line;
            m_buffer = QByteArray(1, byte);
        } else {
            damaged(Damage::Junk, events);
        }
        return;
    case State::Line:
        if (byte == kLineFeed) {
            Event event;
            event.type = Event::Type::RawLine;
            event.line = m_buffer;
            events.append(event);
            m_buffer.clear();
            m_state = State::Idle;
        } else if (isStartMarker(byte)) {
            // A frame cuts off an unfinished line: the line was noise.
            damaged(Damage::Junk, events);
            startFrame();
        } else if (!isLineByte(b) || m_buffer.size() >= kMaxRawLine) {
            damaged(Damage::Junk, events);
        } else {
            m_buffer.append(byte);
        }
        return;
    }
}

void FrameDecoder::frameByte(char byte, QList<Event>& events)
{
    const char* frame = m_data.constData() + m_frameStart;
    const qsizetype size = m_pos - m_frameStart; // this byte included
    const auto kind = static_cast<FrameKind>(byteOf(frame[0]) - kFirstMarker);
    const CtlLayout& layout = layoutOf(kind);
    if (size == 2) {
        const quint8 ctl = byteOf(byte);
        const bool tagFollows = (ctl & layout.tagMask) == layout.tagMask;
        if (!(ctl & kCtlFrameBit) || (!hasTag(kind) && (ctl & layout.tagMask) != 0) ||
            (isNak(kind) && (ctl & (layout.shortLength | layout.lengthBit)) != layout.shortLength)) {
            // A stray marker byte just before a real frame must not swallow that frame's marker:
            // the looking through again starts at this byte.
            damaged(Damage::BadHeader, events);
            return;
        }
        m_headerSize = 2 + ((ctl & layout.shortLength) ? 0 : 1) + (tagFollows ? tagBytes(kind) : 0);
        if (ctl & layout.shortLength)
            m_frameSize = m_headerSize + ((ctl & layout.lengthBit) ? kShortBlock : 0) + 2;
        return;
    }
    if (size == 3 && m_frameSize == 0) {
        const quint8 ctl = byteOf(frame[1]);
        const int length = ((ctl & layout.lengthBit) ? 0x100 : 0) | byteOf(byte);
        if (length > kMaxPayload) {
            damaged(Damage::BadHeader, events);
            return;
        }
        m_frameSize = m_headerSize + length + 2;
        return;
    }
    if (m_frameSize == 0 || size < m_frameSize)
        return;

    const qsizetype body = size - 2;
    const quint16 crc = static_cast<quint16>((byteOf(frame[body]) << 8) | byteOf(frame[body + 1]));
    if (crc != crc16(frame, body)) {
        damaged(Damage::BadCrc, events);
        return;
    }
    const quint8 ctl = byteOf(frame[1]);
    Event event;
    event.type = Event::Type::Frame;
    event.frame.kind = kind;
    event.frame.seq = static_cast<quint8>((ctl >> layout.seqShift) & layout.seqMask);
    if ((ctl & layout.tagMask) != layout.tagMask) {
        event.frame.tag = ctl & layout.tagMask;
    } else if (tagBytes(kind) == 1) {
        event.frame.tag = byteOf(frame[m_headerSize - 1]);
    } else {
        event.frame.tag = qFromBigEndian<qint32>(frame + m_headerSize - 4);
    }
    event.frame.payload = QByteArray(frame + m_headerSize, body - m_headerSize);
    events.append(event);
    m_headerSize = 0;
    m_frameSize = 0;
    m_state = State::Idle;
}

QString damageText(FrameDecoder::Damage damage)
{
    switch (damage) {
    case FrameDecoder::Damage::None:
        return QStringLiteral("no damage");
    case FrameDecoder::Damage::BadCrc:
        return QStringLiteral("frame check failed");
    case FrameDecoder::Damage::BadHeader:
        return QStringLiteral("frame header out of range");
    case FrameDecoder::Damage::Truncated:
        return QStringLiteral("frame cut short");
    case FrameDecoder::Damage::Junk:
        return QStringLiteral("noise on the line");
    }
    return {};
}

} // namespace orvalt::link
