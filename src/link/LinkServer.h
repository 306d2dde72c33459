#pragma once

#include "link/ByteTransport.h"
#include "link/FrameCodec.h"

#include <QByteArray>
#include <QtGlobal>
#include <atomic>
#include <deque>
#include <memory>
#include <optional>

namespace orvalt::link {

class PackReader;
class PackWriter;

// What the program asks: a command (PexSendCommand) or a block (PexSendData, block type 0, 1, 3, 4).
struct Request
{
    enum class Kind
    {
        Command,
        Data
    };
    Kind kind = Kind::Command;
    qint32 blockType = 0;
    QByteArray payload;
};

// What the instrument answers: a reply (result code 0, 20, 60, 160 ... and reply text) or a block
// (block type 0 more follows / 7 last / 9 refused, and data).
struct Answer
{
    enum class Kind
    {
        Reply,
        Block
    };
    Kind kind = Kind::Reply;
    qint32 code = 0;
    QByteArray payload;
};

class RequestHandler
{
public:
    virtual ~RequestHandler() = default;
    // Called once per request, however often the program had to send it. A Command must be
    // answered with a Reply (text at most 255 bytes reaches the program), a Data request with a
    // Block (at most kMaxPayload bytes, type 0 .. 255); anything else is answered as refused.
    virtual Answer handle(const Request& request) = 0;
    // A PexSendString line, without its line feed.
    virtual void handleRawLine(const QByteArray& line) = 0;
    // A command the link answered itself (the window or compression request) still ends, as every
    // command does, a block exchange left unfinished: a file write broken off by a failure must not
    // take the next file's blocks. So does a compressed file write whose stream broke: its
    // "DUMMY" then tells the failure.
    virtual void commandAnsweredByLink() {}
    // A block of a compressed stream as it came on the line: a write's data (type 0 or 1) or a
    // request for the next block of a compressed answer (type 4). The handler sees the stream's
    // contents as plain blocks besides; this tells what the line carried.
    virtual void packedBlock(qint32 type, const QByteArray& packed)
    {
        Q_UNUSED(type);
        Q_UNUSED(packed);
    }
};

// The instrument's end of the link: decodes frames, answers a damaged frame with a Nak, answers a
// repeated request (same sequence number and contents) with the cached answer without calling the
// handler again, and passes raw lines through.
//
// The window (docs/link-protocol.md): the server answers the program's "WINDOW? n" itself, and
// takes window requests strictly in the order of their numbers. The numbering starts at 0 after
// every plain request and raw line. A request from ahead of the next number is dropped and the next
// number asked for with a window Nak; one from behind it is a repetition and gets its remembered
// answer. Once a window answer ends a block exchange (the last or
// a refused answer block, a refused file block), the later window requests of that exchange are
// refused here, without the handler: the answers the program read ahead past the end, and the rest
// of a file after a hole, are never carried out.
//
// Compression (LinkServerPack.cpp, docs/link-protocol.md): the server answers "PACK? ..." itself and
// translates the compressed exchanges (block types 5 and 6), so the handler sees the plain
// exchanges only: the blocks of a compressed file write are decompressed and handed on as the
// length and 256-byte blocks, and the blocks of a plain answer are compressed into one stream. A
// command, a raw line or a new exchange drops a stream left unfinished.
class LinkServer
{
public:
    LinkServer(ByteTransport& transport, RequestHandler& handler);
    ~LinkServer();

    // Serves until stop becomes true (looked at least every 100 ms) or the transport fails.
    void serve(const std::atomic<bool>& stop);

    // Silence inside a frame after which the frame counts as cut short (default kDefaultGapMs).
    void setGapMs(int ms) { m_gapMs = qMax(1, ms); }
    // The window requests this instrument takes at most (1 .. kMaxWindow, default kMaxWindow); 0:
    // none, and it says nothing about them, as an instrument of today: "WINDOW? n" is answered as
    // an unknown command (20) and the window kinds are noise.
    void setWindow(int frames) { m_window = qBound(0, frames, kMaxWindow); }
    int window() const { return m_window; }
    // The deflate window (bits, 9 .. 15) this instrument decodes (default 15, 32 KiB); 0: it does not
    // compress and says nothing of it, as an instrument of today: "PACK? ..." is answered 20.
    void setPack(int windowBits);
    int pack() const { return m_packBits; }

    // Counters for tests and benchmarks.
    quint64 framesReceived() const { return m_framesReceived; }
    quint64 naksSent() const { return m_naksSent; }
    quint64 duplicatesAnswered() const { return m_duplicates; }
    quint64 damagedFrames() const { return m_damaged; }
    quint64 rawLinesReceived() const { return m_rawLines; }
    // Window requests answered by the server itself because their exchange had ended.
    quint64 refusedAfterEnd() const { return m_refusedAfterEnd; }

private:
    static constexpr int kPollMs = 100;
    // A line silent this long ends an exchange left open, as far as raw lines go: a program that
    // was ended in the middle of a file must still be able to greet with one.
    static constexpr int kExchangeQuietMs = 1000;
    enum class Ended
    {
        None,
        Answer, // an answer in blocks ended: its "next block" requests are refused
        Upload, // a file block was refused: the rest of the file is refused
    };
    struct Served
    {
        Frame request;
        QByteArray answer;
    };

    void process(const QList<FrameDecoder::Event>& events);
    // Whether a block exchange is open after this request got this answer: until its last block,
    // a refusal or a command. Raw lines are taken only between exchanges.
    void noteExchange(qint32 requestType, qint32 answerType);
    void setExchangeOpen(bool open);
    void damageSeen(const FrameDecoder::Event& event);
    void answer(const Frame& request);
    void answerWindow(const Frame& request);
    Frame answerOf(const Frame& request);
    void restartWindow();
    bool send(const QByteArray& bytes);
    void sendNak();
    void sendWindowNak();

    // Compression (LinkServerPack.cpp).
    std::optional<Answer> answerPacked(qint32 type, const QByteArray& payload);
    Answer startPackedAnswer(const QByteArray& request);
    Answer nextPackedBlock();
    Answer startPackedUpload(const QByteArray& line);
    Answer takePackedBlock(bool last, const QByteArray& packed);
    Answer handOn(qint32 type, const QByteArray& data);
    Answer streamBroken();
    void endPack();

    ByteTransport& m_transport;
    RequestHandler& m_handler;
    FrameDecoder m_decoder;
    int m_gapMs = kDefaultGapMs;
    bool m_nakWhenQuiet = false;
    bool m_failed = false;
    bool m_exchangeOpen = false;
    std::optional<Frame> m_lastRequest;
    QByteArray m_lastAnswer;

    int m_window = kMaxWindow;
    quint8 m_expected = 0;        // the number of the next window request
    bool m_windowNakSent = false; // for m_expected, and nothing since tells that it was lost again
    int m_furthestAhead = 0;      // of the requests from ahead seen since that Nak
    bool m_damageSinceNak = false;
    bool m_inWindow = false; // the last whole request was a window request
    bool m_quietNakInWindow = false;
    Ended m_ended = Ended::None;
    std::deque<Served> m_served; // the last m_window window requests answered

    int m_packBits = 15;
    int m_peerPackBits = 0;                   // what the program said it decodes; 0 until it asked
    std::unique_ptr<PackWriter> m_packWriter; // an answer in hand, compressed
    std::unique_ptr<PackReader> m_packReader; // a file write in hand, decompressed
    bool m_packAnswerEnded = false;           // the handler gave the answer's last block
    bool m_packLengthGiven = false;
    QByteArray m_unpacked; // decompressed, not yet handed to the handler

    quint64 m_framesReceived = 0;
    quint64 m_naksSent = 0;
    quint64 m_duplicates = 0;
    quint64 m_damaged = 0;
    quint64 m_rawLines = 0;
    quint64 m_refusedAfterEnd = 0;
};

} // namespace orvalt::link
