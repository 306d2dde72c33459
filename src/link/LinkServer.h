#pragma once

#include "link/ByteTransport.h"
#include "link/FrameCodec.h"

#include <QByteArray>
#include <QtGlobal>
#include <atomic>
#include <optional>

namespace orvalt::link {

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
};

// The instrument's end of the link: decodes frames, answers a damaged frame with a Nak, answers a
// repeated request (same sequence number and contents) with the cached answer without calling the
// handler again, and passes raw lines through.
class LinkServer
{
public:
    LinkServer(ByteTransport& transport, RequestHandler& handler);

    // Serves until stop becomes true (looked at least every 100 ms) or the transport fails.
    void serve(const std::atomic<bool>& stop);

    // Silence inside a frame after which the frame counts as cut short (default kDefaultGapMs).
    void setGapMs(int ms) { m_gapMs = qMax(1, ms); }

    // Counters for tests and benchmarks.
    quint64 framesReceived() const { return m_framesReceived; }
    quint64 naksSent() const { return m_naksSent; }
    quint64 duplicatesAnswered() const { return m_duplicates; }
    quint64 damagedFrames() const { return m_damaged; }
    quint64 rawLinesReceived() const { return m_rawLines; }

private:
    static constexpr int kPollMs = 100;

    void process(const QList<FrameDecoder::Event>& events);
    void answer(const Frame& request);
    bool send(const QByteArray& bytes);
    void sendNak();

    ByteTransport& m_transport;
    RequestHandler& m_handler;
    FrameDecoder m_decoder;
    int m_gapMs = kDefaultGapMs;
    bool m_nakWhenQuiet = false;
    bool m_failed = false;
    std::optional<Frame> m_lastRequest;
    QByteArray m_lastAnswer;

    quint64 m_framesReceived = 0;
    quint64 m_naksSent = 0;
    quint64 m_duplicates = 0;
    quint64 m_damaged = 0;
    quint64 m_rawLines = 0;
};

} // namespace orvalt::link
