#pragma once

#include "link/ByteTransport.h"
#include "link/FrameCodec.h"
#include "link/SerialTransport.h"
#include "link/WindowQueue.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace orvalt::link {

class PackedAnswer;
class PackedUpload;

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
constexpr qint32 UnexpectedAnswer = 909; // a block where a reply belongs, or the other way round; or
                                         // a compressed answer that does not decompress to its length
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
//
// The window (PexLinkWindow.cpp, docs/link-protocol.md): when the instrument takes it (asked once
// with "WINDOW? n" before the first file block or answer in blocks after opening, and again after a
// failure), the blocks of a file write and the requests for the next answer block of a read or a
// listing go several at a time, numbered in a window of their own, while the answers come back on
// the other wire. The calls keep their order and meaning: PexSendData of a file block returns once
// the block is sent, and PexReceiveData tells it acknowledged while its answer is still on the way;
// an answer that is not a plain acknowledgement (a refusal) is told by the next PexReceiveData of
// that file, at the latest that of its last block, which waits for every answer. A read's
// "next block" requests are sent ahead, and PexSendData of type 4 takes the next of them. Commands
// and every other request go one at a time, as before, and end a window exchange left unfinished.
//
// Compression (PexLinkPack.cpp, docs/link-protocol.md): when the instrument agreed (asked once with
// "PACK? DEFLATE15" beside the window), the length and data of a file write, and the answer of a
// file read or a listing, travel as one deflate stream per file. The calls do not see it: a write's
// blocks go into the compressor and its output goes on the line a full block at a time, so
// PexReceiveData of a file block tells what is known of the blocks sent so far; a read's answer is
// decompressed as it arrives and handed to the caller in the pieces the plain answer has (256
// bytes, the first starting with the length; 301 for a listing). The length a read announces is
// checked against what the stream held; a stream that breaks fails the call with UnexpectedAnswer.
// Any command, raw line, new exchange or failure drops the stream in hand on both ends.
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
    // A stop (Cancel) waits for the blocks in flight: at most about this long of line time.
    static constexpr int kWindowLineTimeMs = 1000;

    explicit PexLink(PortResolver resolver = {});
    ~PexLink();
    PexLink(const PexLink&) = delete;
    PexLink& operator=(const PexLink&) = delete;

    // Opens the device the resolver names for the record's port: a serial device, or a device on
    // the network ("rfc2217://HOST:PORT", "tcp://HOST:PORT"; NetworkTransport).
    qint32 PexOpen(const PexOpenRecord& record);
    qint32 PexRetry(qint32 count);
    // Returns 0 when a port is open and usable, else NotOpen (or LinkLost).
    qint32 PexSetTimeOut(qint32 ms);
    // Writes the reply text into the caller's buffer (at most 255 bytes, never past its size;
    // the buffer is never resized) and returns the instrument's result code.
    qint32 PexSendCommand(const QByteArray& command, QByteArray& reply);
    // Sends the bytes as they are (the caller adds the line feed); a frame's start marker
    // (bytes 0x01 .. 0x08) among them would cut the line short and is refused.
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
    // The device is one on the network (whether it opened or not).
    bool onNetwork() const;
    // Why the last PexOpen failed and what the system said. Kept until the next PexOpen or PexClose,
    // so the calls that then fail with NotOpen still tell why the port is not open.
    PortProblem portProblem() const { return m_portProblem; }
    QString portSystemReason() const { return m_portReason; }
    // Who holds the port, as its lock says, when it was in use ("orvalt-cli, process 1234").
    QString portHolder() const { return m_portHolder; }
    QString portLockFile() const { return m_portLockFile; }
    quint64 retransmissions() const { return m_retransmissions; }
    // The failure that found the instrument out of reach: TimeOut (it stopped answering) or LinkLost
    // (the port went away); 0 once it answers again or the link is opened anew, and before.
    qint32 lineLost() const { return m_lineLost; }
    // What the transport said when the line was lost ("the device server closed the connection to
    // ..."); empty when it was not lost.
    QString lostReason() const { return m_lineLost == PexResult::LinkLost ? m_lostReason : QString(); }
    // Silence inside a frame after which it counts as cut short. A device on the network takes at
    // least kNetworkGapMs: a device server and the network hand on a frame in pieces, with pauses
    // between them that a serial line never makes.
    void setGapMs(int ms)
    {
        m_lineGapMs = qMax(1, ms);
        useGap(m_lineGapMs);
    }
    static constexpr int kNetworkGapMs = 250;
    // Called while a call waits for an answer; an empty hook turns it off.
    void setIdleHook(IdleHook hook) { m_idleHook = std::move(hook); }
    qint32 timeOutMs() const { return m_timeoutMs; }

    // The window requests to ask the instrument for (1: never ask, one request at a time). PexOpen
    // sets it from the speed, about kWindowLineTimeMs of blocks (3 at 9600 baud); a transport
    // handed over with attach() asks for none unless told. The request covers the round trip the
    // commands before it took (a line behind a network adds its own), up to kMaxWindow. The speed, when
    // known, times the line for the window in use and the repeat time.
    void setWindow(int frames, qint64 baud = 0);
    int windowAsked() const { return m_window.asked(); }
    // What the instrument agreed to (0: one request at a time); -1 before it was asked.
    int windowAgreed() const { return m_window.agreed(); }
    // Window requests in flight at most now: the agreed window, narrowed to what the measured round
    // trip needs, so that a repeat after damage costs few blocks.
    int windowInUse() const;

    // The deflate window (as bits, 9 .. 15) this end decodes and asks the instrument to compress
    // with; 0: never ask, plain blocks. PexOpen sets 15; a transport handed over with attach() asks
    // for none unless told.
    void setPack(int windowBits);
    int packAsked() const { return m_packWanted; }
    // The window the instrument decodes, which this end compresses with (0: plain); -1 before asked.
    int packAgreed() const { return m_packAgreed; }

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
        NoRequest,
        BadStream
    };
    qint32 fail(Failure failure, const QString& detail);

    qint32 checkOpen();
    qint32 refuseWhileWaiting();
    // Calls the idle hook when its time has come; false when the hook closed the link.
    bool idle(quint64 generation);
    // Waits up to waitMs (less when the idle hook falls due sooner) and decodes what arrived; after
    // the gap time of silence since the last byte, a frame left unfinished is told cut short.
    QList<FrameDecoder::Event> readEvents(qint64 waitMs);
    void attachTransport(ByteTransport* transport);
    void useGap(int ms)
    {
        m_gapMs = ms;
        m_window.setGapMs(ms);
    }
    qint32 openFailed(PortProblem problem, const QString& reason, const QString& holder,
                      const QString& error);
    qint32 transmit(FrameKind kind, qint32 tag, const QByteArray& payload);
    qint32 retransmit();
    // Every write to the line: the time of the last one is kept for the quiet before a raw line.
    qint32 writeBytes(const QByteArray& bytes);
    qint32 exchange(FrameKind kind, qint32 tag, const QByteArray& payload, FrameKind expected, Frame& answer);

    // One request at a time: the wait for its answer and its repeats.
    struct AnswerWait;
    qint32 awaitAnswer(FrameKind expected, Frame& answer);
    qint32 takeAnswerEvents(AnswerWait& wait, const QList<FrameDecoder::Event>& events, Frame& answer);
    qint32 repeatQuickly(AnswerWait& wait);
    qint32 repeatWhenLineQuiet(AnswerWait& wait, qint64 quietMs);
    qint32 repeatSilently(AnswerWait& wait);
    qint32 failExchange(Failure failure, const QString& detail);

    // The window (PexLinkWindow.cpp); what is in flight is m_window's.
    qint32 sendBlock(qint32 type, const QByteArray& payload);
    qint32 receiveWindowed(Frame& told);
    qint32 receiveUploadAnswer(const QDeadlineTimer& deadline, Frame& told);
    // The answer to the block sent last, whether windowed or plain.
    qint32 receiveBlock(Frame& told);
    qint32 deliver(const Frame& told, qint32& blockType, qint32& length, char* buffer, qint32 bufferSize);
    qint32 agreeWindow();
    qint32 sendWindowed(qint32 type, const QByteArray& payload, WindowQueue::State state);
    qint32 writeAgain(const WindowQueue::Writes& writes);
    qint32 topUpAnswers();
    // Waits until done() holds, taking answers and Naks and sending again what needs it; fails at
    // the deadline. With poll, looks once at what has arrived and returns.
    qint32 awaitWindow(const QDeadlineTimer& deadline, const std::function<bool()>& done, bool poll = false);
    void endStream();
    void forgetWindow();

    // Compression (PexLinkPack.cpp): a layer above sendBlock and receiveBlock.
    // Takes the caller's block when it belongs to a compressed stream, or opens one.
    std::optional<qint32> sendPacked(qint32 type, const QByteArray& payload);
    qint32 agreePack();
    qint32 openPackedUpload(const QByteArray& line);
    qint32 writePacked(qint32 type, const QByteArray& data);
    qint32 sendPackedBlock(bool last, Frame& told);
    qint32 pacePackedUpload(bool mayWait, Frame& told);
    qint32 openPackedAnswer(const QByteArray& request);
    qint32 nextPiece(Frame& told);
    qint32 failStream(const QString& why);
    void endPack();

    PortResolver m_resolver;
    std::unique_ptr<ByteTransport> m_owned;
    ByteTransport* m_transport = nullptr;
    FrameDecoder m_decoder;
    qint32 m_timeoutMs = 6000;
    qint32 m_retries = 1;
    int m_lineGapMs = kDefaultGapMs; // as set; m_gapMs is what the open device takes
    int m_gapMs = kDefaultGapMs;
    quint8 m_seq = 0;
    std::optional<QByteArray> m_pending; // the request on the wire, awaiting its answer
    quint8 m_pendingSeq = 0;
    QString m_error;
    qint32 m_lastFailure = 0;
    QString m_device;
    PortProblem m_portProblem = PortProblem::None;
    QString m_portReason;
    QString m_portHolder;
    QString m_portLockFile;
    QString m_openFailure; // what the failed PexOpen said; the reason of every NotOpen until the next
    quint64 m_retransmissions = 0;
    qint32 m_lineLost = 0;
    QString m_lostReason;
    IdleHook m_idleHook;
    bool m_waiting = false;   // inside awaitAnswer, so possibly inside the idle hook
    quint64 m_generation = 0; // counts opens and closes, so a wait notices the hook closed the link

    QElapsedTimer m_clock;
    QDeadlineTimer m_nextIdle; // when the idle hook is due
    qint64 m_lastByteMs = 0;
    qint64 m_lastWriteMs = 0;
    WindowQueue m_window;
    bool m_callerWindowed = false; // the caller's next PexReceiveData reads from the window

    int m_packWanted = 0;
    int m_packAgreed = -1;
    std::unique_ptr<PackedUpload> m_packUpload; // a file write in hand, compressed
    std::unique_ptr<PackedAnswer> m_packAnswer; // an answer in hand, decompressed
    std::optional<Frame> m_packTold;            // the answer the caller's next PexReceiveData gets
    std::optional<Frame> m_packRefusal;         // a block of the stream was refused: so is the rest
    bool m_packPieceAsked = false;              // the caller asked for the next piece of the answer
    bool m_packRequestOut = false;              // a request of the stream awaits its answer
};

} // namespace orvalt::link
