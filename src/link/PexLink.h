#pragma once

#include "link/ByteTransport.h"
#include "link/FrameCodec.h"
#include "link/SerialTransport.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace orvalt::link {

// The record PexOpen takes: list positions of the serial settings dialog, as the program keeps them.
struct PexOpenRecord
{
    qint32 port = 0;        // port number minus 1
    qint32 baud = 0;        // 0..4 = 9600, 19200, 38400, 57600, 115200
    qint32 dataBits = 0;    // 0 = 8, 1 = 7
    qint32 parity = 0;      // 0 none, 1 even, 2 odd
    qint32 stopBits = 0;    // 0 = 1, 1 = 2
    qint32 flowControl = 0; // 0 none, 1 hardware
};

// Results of the Pex calls. 0 is success; the instrument's own codes (20 command format error,
// 60 busy, 160 medium not usable, ...) pass through PexSendCommand unchanged. Failures of the link
// itself lie above 900, where the instrument never answers.
namespace PexResult {
constexpr qint32 Done = 0;
constexpr qint32 NotOpen = 901;          // no port open (PexOpen failed or was never called)
constexpr qint32 OpenFailed = 902;       // the device could not be opened
constexpr qint32 TimeOut = 903;          // no answer within the time-out
constexpr qint32 RetriesExhausted = 904; // answers kept arriving damaged, or Nak after Nak
constexpr qint32 BufferTooSmall = 905;   // a received block is longer than the caller's buffer
constexpr qint32 BadArgument = 906;      // a length, block type or text the link cannot carry
constexpr qint32 WriteFailed = 907;      // the port refused the bytes
constexpr qint32 LinkLost = 908;         // the other end went away
constexpr qint32 UnexpectedAnswer = 909; // a block where a reply belongs, or the other way round
constexpr qint32 NoRequest = 910;        // PexReceiveData without a block sent before it
} // namespace PexResult

// The instrument link: the eight calls through which the program reaches the instrument.
// One request is in flight at a time; the instrument's answer to it is its acknowledgement.
//
// Retransmission: a request is sent again when the instrument answers it with a Nak or its answer
// arrives damaged, as soon as the line has been quiet for the gap time; these quick repeats cost
// one block and a gap each and are allowed up to kMaxQuickRepeats times per request, since line
// noise (one byte in 10,000) damages about one exchange in 40. Waiting for quiet lets go of what is
// still arriving (the rest of the damaged answer; after a stall, the answers to every repeat sent
// while the line was silent), so the answer to the repeat is read from its start. After
// kNaksBeforeSettling Naks in a row the line rests kSettleGaps gap times instead, so an instrument
// whose reader ran into a stray start marker in the data drops it. Silence is
// different: a request that got no answer at all is sent again after the time-out divided by
// (retries + 1), up to PexRetry times. The whole call never waits longer than the time-out. The
// instrument answers a repeated request from its cache, so nothing is done twice.
//
// Waiting: a call that waits for an answer calls the idle hook (when one is set) about every
// kIdleHookMs, so the window can repaint while the instrument is slow or gone for the whole
// time-out. The hook may close the link (the window was closed): the waiting call then fails with
// NotOpen. Any other call into the link from the hook is refused with BadArgument, since one
// request is in flight at a time.
class PexLink
{
public:
    using PortResolver = std::function<QString(int portIndex)>;
    using IdleHook = std::function<void()>;
    static constexpr int kMaxQuickRepeats = 8;
    static constexpr int kReplyBufferSize = 255;
    static constexpr int kIdleHookMs = 50;
    // Naks in a row after which the line rests kSettleGaps gap times before the next repeat.
    static constexpr int kNaksBeforeSettling = 3;
    static constexpr int kSettleGaps = 3;

    explicit PexLink(PortResolver resolver = {});
    ~PexLink();
    PexLink(const PexLink&) = delete;
    PexLink& operator=(const PexLink&) = delete;

    qint32 PexOpen(const PexOpenRecord& record);
    qint32 PexRetry(qint32 count);
    // Returns 0 when a port is open and usable, else NotOpen (or LinkLost).
    qint32 PexSetTimeOut(qint32 ms);
    // Writes the reply text into the caller's buffer (at most 255 bytes, never past its size;
    // the buffer is never resized) and returns the instrument's result code.
    qint32 PexSendCommand(const QByteArray& command, QByteArray& reply);
    // Sends the bytes as they are (the caller adds the line feed); a frame's start marker
    // (bytes 0x01 .. 0x05) among them would cut the line short and is refused.
    qint32 PexSendString(qint32& length, const char* first);
    // Sends a block: type 0 more follows, 1 last, 3 command answered in blocks, 4 next block.
    qint32 PexSendData(qint32& blockType, qint32& length, const char* first);
    // Waits for the answer to the block sent last. A block longer than bufferSize is refused:
    // BufferTooSmall, type 9, length the block's real length, nothing written to the buffer.
    qint32 PexReceiveData(qint32& blockType, qint32& length, char* buffer, qint32 bufferSize);
    qint32 PexClose();

    // Tests and tools hand over a transport directly instead of opening a port.
    void attach(std::unique_ptr<ByteTransport> transport);
    void attach(ByteTransport& transport);

    bool isOpen() const;
    // Records a request refused before it reached the link (a text the wire cannot carry) as the
    // last failure and returns PexResult::BadArgument.
    qint32 refuseRequest(const QString& why);
    // Why the last call failed, in words; empty when it did not fail in the link (an instrument's
    // own result code is no failure here). After PexOpen: the settings the port refused. Each call
    // clears it first, so it never tells of an earlier call.
    QString errorString() const { return m_error; }
    // The result of the last call when it failed in the link (above 900), else 0; cleared as the
    // text is. A caller whose own result hides the link's (the receiver's -1) can look here.
    qint32 lastFailure() const { return m_lastFailure; }
    // The device the last PexOpen tried ("/dev/ttyUSB0"); empty when the transport was attached.
    QString device() const { return m_device; }
    // Why the last PexOpen failed and what the system said. Kept until the next PexOpen or PexClose,
    // so the calls that then fail with NotOpen still tell why the port is not open.
    PortProblem portProblem() const { return m_portProblem; }
    QString portSystemReason() const { return m_portReason; }
    quint64 retransmissions() const { return m_retransmissions; }
    void setGapMs(int ms) { m_gapMs = qMax(1, ms); }
    // Called while a call waits for an answer; an empty hook turns it off.
    void setIdleHook(IdleHook hook) { m_idleHook = std::move(hook); }
    qint32 timeOutMs() const { return m_timeoutMs; }

private:
    enum class Failure
    {
        NotOpen,
        OpenFailed,
        TimeOut,
        RetriesExhausted,
        BufferTooSmall,
        BadArgument,
        WriteFailed,
        LinkLost,
        UnexpectedAnswer,
        NoRequest
    };
    qint32 fail(Failure failure, const QString& detail);

    qint32 checkOpen();
    qint32 refuseWhileWaiting();
    // Calls the idle hook when its time has come; false when the hook closed the link.
    bool idle(QDeadlineTimer& nextIdle, quint64 generation);
    void attachTransport(ByteTransport* transport);
    qint32 transmit(FrameKind kind, qint32 tag, const QByteArray& payload);
    qint32 retransmit();
    qint32 awaitAnswer(FrameKind expected, Frame& answer);

    PortResolver m_resolver;
    std::unique_ptr<ByteTransport> m_owned;
    ByteTransport* m_transport = nullptr;
    FrameDecoder m_decoder;
    qint32 m_timeoutMs = 6000;
    qint32 m_retries = 1;
    int m_gapMs = kDefaultGapMs;
    quint8 m_seq = 0;
    std::optional<QByteArray> m_pending; // the request on the wire, awaiting its answer
    quint8 m_pendingSeq = 0;
    QString m_error;
    qint32 m_lastFailure = 0;
    QString m_device;
    PortProblem m_portProblem = PortProblem::None;
    QString m_portReason;
    QString m_openFailure; // what the failed PexOpen said; the reason of every NotOpen until the next
    quint64 m_retransmissions = 0;
    IdleHook m_idleHook;
    bool m_waiting = false;   // inside awaitAnswer, so possibly inside the idle hook
    quint64 m_generation = 0; // counts opens and closes, so a wait notices the hook closed the link
};

} // namespace orvalt::link
