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
constexpr int kKindShift = 4;
constexpr int kSeqShift = 1;
constexpr int kLastKind = static_cast<int>(FrameKind::Nak);

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

int tagSize(FrameKind kind)
{
    switch (kind) {
    case FrameKind::Data:
    case FrameKind::Block:
        return 1;
    case FrameKind::Reply:
        return 4;
    case FrameKind::Command:
    case FrameKind::Nak:
        break;
    }
    return 0;
}

QByteArray encodeFrame(const Frame& frame)
{
    const qsizetype length = frame.payload.size();
    const int kind = static_cast<int>(frame.kind);
    if (length > kMaxPayload || kind > kLastKind || frame.seq >= kSeqModulo)
        return {};
    if (frame.kind == FrameKind::Nak && length != 0)
        return {};
    if (tagSize(frame.kind) == 1 && (frame.tag < 0 || frame.tag > 255))
        return {};

    QByteArray out;
    out.reserve(1 + 2 + tagSize(frame.kind) + length + 2);
    out.append(kStartMarker);
    out.append(static_cast<char>(kCtlFrameBit | (kind << kKindShift) | (frame.seq << kSeqShift) |
                                 ((length >> 8) & 0x01)));
    out.append(static_cast<char>(length & 0xFF));
    if (tagSize(frame.kind) == 1) {
        out.append(static_cast<char>(frame.tag));
    } else if (tagSize(frame.kind) == 4) {
        char tag[4];
        qToBigEndian(frame.tag, tag);
        out.append(tag, 4);
    }
    out.append(frame.payload);
    const quint16 crc = crc16(out.constData() + 1, out.size() - 1);
    out.append(static_cast<char>(crc >> 8));
    out.append(static_cast<char>(crc & 0xFF));
    return out;
}

QList<FrameDecoder::Event> FrameDecoder::feed(const QByteArray& bytes)
{
    QList<Event> events;
    for (char byte : bytes)
        feedByte(byte, events);
    return events;
}

QList<FrameDecoder::Event> FrameDecoder::lineIdle()
{
    QList<Event> events;
    if (m_state == State::Frame) {
        damaged(Damage::Truncated, events);
    }
    if (m_state == State::Discard) {
        m_state = State::Idle;
        m_buffer.clear();
    }
    return events;
}

void FrameDecoder::reset()
{
    m_state = State::Idle;
    m_buffer.clear();
    m_frameSize = 0;
}

void FrameDecoder::damaged(Damage damage, QList<Event>& events)
{
    Event event;
    event.type = Event::Type::Damaged;
    event.damage = damage;
    events.append(event);
    m_buffer.clear();
    m_frameSize = 0;
    // After a truncation the line is already quiet; otherwise the rest of the damaged frame (or of
    // the noise) may still be arriving and is dropped up to the next start marker.
    m_state = damage == Damage::Truncated ? State::Idle : State::Discard;
}

void FrameDecoder::feedByte(char byte, QList<Event>& events)
{
    const quint8 b = byteOf(byte);
    switch (m_state) {
    case State::Frame:
        frameByte(byte, events);
        return;
    case State::Discard:
        if (byte == kStartMarker) {
            m_state = State::Frame;
            m_buffer.clear();
            m_frameSize = 0;
        }
        return;
    case State::Idle:
        if (byte == kStartMarker) {
            m_state = State::Frame;
            m_buffer.clear();
            m_frameSize = 0;
        } else if (byte == kLineFeed) {
            Event event;
            event.type = Event::Type::RawLine;
            events.append(event);
        } else if (isLineStart(b)) {
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
        } else if (byte == kStartMarker) {
            // A frame cuts off an unfinished line: the line was noise.
            damaged(Damage::Junk, events);
            m_state = State::Frame;
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
    m_buffer.append(byte);
    if (m_buffer.size() == 1) {
        const quint8 ctl = byteOf(byte);
        if (!(ctl & kCtlFrameBit) || ((ctl >> kKindShift) & 0x07) > kLastKind)
            damaged(Damage::BadHeader, events);
        return;
    }
    if (m_buffer.size() == 2) {
        const quint8 ctl = byteOf(m_buffer.at(0));
        const auto kind = static_cast<FrameKind>((ctl >> kKindShift) & 0x07);
        const int length = ((ctl & 0x01) << 8) | byteOf(byte);
        if (length > kMaxPayload || (kind == FrameKind::Nak && length != 0)) {
            damaged(Damage::BadHeader, events);
            return;
        }
        m_frameSize = 2 + tagSize(kind) + length + 2;
        return;
    }
    if (m_buffer.size() < m_frameSize)
        return;

    const qsizetype body = m_buffer.size() - 2;
    const quint16 crc =
        static_cast<quint16>((byteOf(m_buffer.at(body)) << 8) | byteOf(m_buffer.at(body + 1)));
    if (crc != crc16(m_buffer.constData(), body)) {
        damaged(Damage::BadCrc, events);
        return;
    }
    const quint8 ctl = byteOf(m_buffer.at(0));
    Event event;
    event.type = Event::Type::Frame;
    event.frame.kind = static_cast<FrameKind>((ctl >> kKindShift) & 0x07);
    event.frame.seq = static_cast<quint8>((ctl >> kSeqShift) & 0x07);
    const int tagBytes = tagSize(event.frame.kind);
    if (tagBytes == 1)
        event.frame.tag = byteOf(m_buffer.at(2));
    else if (tagBytes == 4)
        event.frame.tag = qFromBigEndian<qint32>(m_buffer.constData() + 2);
    event.frame.payload = m_buffer.mid(2 + tagBytes, body - 2 - tagBytes);
    events.append(event);
    m_buffer.clear();
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
