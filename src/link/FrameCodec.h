#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// The wire format of the instrument link, shared by the program (PexLink) and the virtual
// instrument (LinkServer). docs/link-protocol.md describes it byte by byte.
//
//   MARK  CTL  [LEN]  [TAG]  PAYLOAD  CRC-HI CRC-LO
//
//   MARK  the start marker, 0x01 + kind (0x01 .. 0x08). Text lines never contain these bytes, so raw
//         lines share the wire, and the decoder resynchronises on the next of them after damage.
//   CTL   1 s s e h t t t    (Command, Data, Reply, Block, Nak: one request in flight)
//         bit 7   always set, so a frame that lost its marker does not begin like a text line (one
//                 whose marker lost bit 5 or 6 does: raw lines are taken only after a quiet line)
//         s       sequence number (0 .. 3); an answer carries the number of its request
//         e       no LEN byte: the payload is empty (h = 0) or exactly 256 bytes (h = 1)
//         h       bit 8 of the payload length (e = 0), or the 256-byte case (e = 1)
//         t       the tag (block type, result code) 0 .. 6 itself; 7: TAG bytes follow
//   CTL   1 s s s s e h x    (the window kinds: several block requests in flight)
//         s       sequence number (0 .. 15) within the window's numbering
//         e, h    as above
//         x       0: tag 0; 1: the TAG byte follows
//   LEN   low 8 bits of the payload length, up to kMaxPayload (absent when e = 1)
//   TAG   Data, Block: the block type, 1 byte. Reply: the result code, 4 bytes big-endian signed.
//   CRC   CRC-16/CCITT-FALSE of MARK .. PAYLOAD, most significant byte first.
//
// The common frames are short: a 256-byte file block costs 4 bytes of framing, its acknowledgement
// (an empty Block of type 0) 4 bytes in all, as does the request for the next block of an answer.
// Raw lines travel unframed: printable text ending in a line feed (0x0A).

namespace orvalt::link {

enum class FrameKind : quint8
{
    Command = 0, // program -> instrument: a command text, answered by a Reply
    Data = 1,    // program -> instrument: a block (type in TAG), answered by a Block
    Reply = 2,   // instrument -> program: result code in TAG, reply text in the payload
    Block = 3,   // instrument -> program: block type in TAG (0 more, 7 last, 9 refused), data
    Nak = 4,     // either way: the last frame arrived damaged, send it again
    // Block requests and their answers while several are in flight (agreed when the link opens).
    WindowData = 5,  // program -> instrument: a block request numbered in the window
    WindowBlock = 6, // instrument -> program: the answer to the window request of the same number
    WindowNak = 7,   // instrument -> program: window requests from this number on must come again
};

struct Frame
{
    FrameKind kind = FrameKind::Command;
    quint8 seq = 0; // 0 .. kSeqModulo - 1, for the window kinds 0 .. kWindowSeqModulo - 1
    qint32 tag = 0; // block type (Data, Block) or result code (Reply)
    QByteArray payload;

    bool operator==(const Frame& other) const
    {
        return kind == other.kind && seq == other.seq && tag == other.tag && payload == other.payload;
    }
    bool operator!=(const Frame& other) const { return !(*this == other); }
};

constexpr char kFirstMarker = 0x01; // Command; 0x01 + kind for the others
constexpr char kLineFeed = 0x0A;
constexpr int kMaxPayload = 511;             // bounded by the 9 length bits
constexpr int kFullBlockWireBytes = 256 + 4; // a 256-byte block of tag 0 on the wire
constexpr int kMaxRawLine = 511;             // longer runs of text without a line feed are noise
constexpr int kSeqModulo = 4;
constexpr int kWindowSeqModulo = 16;
// Window requests in flight at most: half the numbering, so that a request repeated from
// behind the window is never taken for one from ahead of it.
constexpr int kMaxWindow = 8;
constexpr int kDefaultGapMs = 20; // silence that ends an unfinished frame

inline bool isStartMarker(char byte)
{
    return byte >= kFirstMarker && byte <= kFirstMarker + static_cast<char>(FrameKind::WindowNak);
}

inline bool isWindowKind(FrameKind kind)
{
    return kind >= FrameKind::WindowData;
}

quint16 crc16(const char* data, qsizetype size);
inline quint16 crc16(const QByteArray& bytes)
{
    return crc16(bytes.constData(), bytes.size());
}

// The frame on the wire, or an empty array when it cannot be framed (payload longer than
// kMaxPayload, block type outside 0 .. 255, sequence number out of range, a Nak with a payload).
QByteArray encodeFrame(const Frame& frame);

// Splits a received byte stream into frames and raw lines. A damaged frame is reported, never
// delivered; after damage the decoder looks for the next start marker from the byte after the failed
// one's, dropping what lies before it, or waits for a quiet line.
class FrameDecoder
{
public:
    enum class Damage
    {
        None,
        BadCrc,    // a whole frame arrived but its CRC is wrong: answer at once
        BadHeader, // kind or length out of range: the rest of the frame is still arriving
        Truncated, // the line went quiet inside a frame (a byte was lost)
        Junk,      // bytes that are neither a frame nor a text line
    };
    // What the damaged bytes were taken for, as far as their start marker tells.
    enum class DamagedKind
    {
        Unknown,
        Plain,  // Command, Data, Reply, Block, Nak
        Window, // a window kind
    };
    struct Event
    {
        enum class Type
        {
            Frame,
            RawLine,
            Damaged
        };
        Type type = Type::Frame;
        Frame frame;     // Type::Frame
        QByteArray line; // Type::RawLine, without its line feed
        Damage damage = Damage::None;
        DamagedKind damagedKind = DamagedKind::Unknown; // Type::Damaged
    };

    QList<Event> feed(const QByteArray& bytes);
    // The line has been quiet for the gap time: an unfinished frame is reported as Truncated, and
    // the decoder stops dropping bytes. A partial text line is kept (lines are sent whole).
    QList<Event> lineIdle();
    // Inside a frame or dropping bytes after damage, or waiting for the quiet line a raw line must
    // follow: the caller should watch for a quiet line.
    bool needsIdle() const
    {
        return m_state == State::Frame || m_state == State::Discard || (m_linesAllowed && !m_quiet);
    }
    // Whether a raw line may begin at all (the default). A raw line begins only where one may be
    // sent: its first byte follows a quiet line (lineIdle(), or a reset). Anywhere else text is
    // noise to resynchronise past: a frame whose start marker lost a bit to noise ('&' for a window
    // request's 0x06) would otherwise turn its data into lines.
    void setLinesAllowed(bool allowed) { m_linesAllowed = allowed; }
    void reset();

private:
    enum class State
    {
        Idle,
        Line,
        Frame,
        Discard
    };
    void feedByte(char byte, QList<Event>& events);
    void frameByte(char byte, QList<Event>& events);
    void damaged(Damage damage, QList<Event>& events);
    // The byte just fed is a start marker: a frame begins there.
    void startFrame();
    // Feeds what m_data holds from m_pos on.
    void run(QList<Event>& events);
    // The frame in hand failed: its bytes after the marker are looked at again.
    void lookAgainFromMarker();

    State m_state = State::Idle;
    QByteArray m_data;            // the frame in hand (from its marker) and what came after it
    qsizetype m_pos = 0;          // the next byte of m_data to feed
    qsizetype m_frameStart = 0;   // the frame in hand's marker in m_data
    qsizetype m_rescanEnd = 0;    // bytes of m_data before this are a failed frame's, looked at again
    QByteArray m_buffer;          // the text line so far
    qsizetype m_headerSize = 0;   // MARK, CTL, LEN and TAG, known once CTL is in
    qsizetype m_frameSize = 0;    // the whole frame, known once the header is in
    bool m_byteRescanned = false; // the byte being fed is one of a failed frame's
    bool m_candidate = false;     // the frame in hand started at such a byte
    bool m_linesAllowed = true;
    bool m_quiet = true; // nothing arrived since the line was last quiet for the gap time
};

QString damageText(FrameDecoder::Damage damage);

} // namespace orvalt::link
