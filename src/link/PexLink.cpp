#include "link/PexLink.h"

#include "link/NetworkTransport.h"
#include "link/PackedStreams.h"
#include "link/SerialTransport.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStringList>
#include <QThread>
#include <array>
#include <cstring>

namespace orvalt::link {

namespace {

constexpr std::array<qint32, 5> kBauds = {9600, 19200, 38400, 57600, 115200};

// Turns the dialog's list positions into line settings; a position outside its list keeps the
// default and is noted, so a damaged settings store cannot stop the port from opening.
SerialSettings settingsOf(const PexOpenRecord& record, QStringList& notes)
{
    SerialSettings s;
    auto outOfRange = [&notes](const char* what, qint32 position) {
        notes.append(QStringLiteral("%1 position %2 unknown; using the default")
                         .arg(QLatin1String(what))
                         .arg(position));
    };
    if (record.baud >= 0 && record.baud < static_cast<qint32>(kBauds.size()))
        s.baud = kBauds[static_cast<size_t>(record.baud)];
    else
        outOfRange("speed", record.baud);
    if (record.dataBits == 1)
        s.dataBits = QSerialPort::Data7;
    else if (record.dataBits != 0)
        outOfRange("data bits", record.dataBits);
    if (record.parity == 1)
        s.parity = QSerialPort::EvenParity;
    else if (record.parity == 2)
        s.parity = QSerialPort::OddParity;
    else if (record.parity != 0)
        outOfRange("parity", record.parity);
    if (record.stopBits == 1)
        s.stopBits = QSerialPort::TwoStop;
    else if (record.stopBits != 0)
        outOfRange("stop bits", record.stopBits);
    if (record.flowControl == 1)
        s.flowControl = QSerialPort::HardwareControl;
    else if (record.flowControl != 0)
        outOfRange("flow control", record.flowControl);
    return s;
}

} // namespace

PexLink::PexLink(PortResolver resolver)
    : m_resolver(std::move(resolver))
{
    m_clock.start();
}

PexLink::~PexLink()
{
    PexClose();
}

// The one place where a failure of the link becomes a result code and a text.
qint32 PexLink::fail(Failure failure, const QString& detail)
{
    qint32 code = PexResult::NotOpen;
    QString what;
    switch (failure) {
    case Failure::NotOpen:
        code = PexResult::NotOpen;
        what = QStringLiteral("The instrument link is not open");
        break;
    case Failure::OpenFailed:
        code = PexResult::OpenFailed;
        what = QStringLiteral("The serial port could not be opened");
        break;
    case Failure::TimeOut:
        code = PexResult::TimeOut;
        what = QStringLiteral("The instrument did not answer in time");
        break;
    case Failure::RetriesExhausted:
        code = PexResult::RetriesExhausted;
        what = QStringLiteral("The line is too noisy: the exchange kept failing");
        break;
    case Failure::BufferTooSmall:
        code = PexResult::BufferTooSmall;
        what = QStringLiteral("The instrument sent a block longer than the buffer");
        break;
    case Failure::BadArgument:
        code = PexResult::BadArgument;
        what = QStringLiteral("The link cannot carry this request");
        break;
    case Failure::WriteFailed:
        code = PexResult::WriteFailed;
        what = QStringLiteral("Sending to the instrument failed");
        break;
    case Failure::LinkLost:
        code = PexResult::LinkLost;
        what = QStringLiteral("The connection to the instrument was lost");
        break;
    case Failure::UnexpectedAnswer:
        code = PexResult::UnexpectedAnswer;
        what = QStringLiteral("The instrument answered out of turn");
        break;
    case Failure::NoRequest:
        code = PexResult::NoRequest;
        what = QStringLiteral("Nothing was sent that could be answered");
        break;
    case Failure::BadStream:
        code = PexResult::UnexpectedAnswer;
        what = QStringLiteral("The instrument's compressed data could not be read");
        break;
    }
    m_error = detail.isEmpty() ? what : QStringLiteral("%1 (%2)").arg(what, detail);
    m_lastFailure = code;
    if (failure == Failure::TimeOut || failure == Failure::LinkLost)
        m_lineLost = code;
    if (failure == Failure::LinkLost)
        m_lostReason = detail;
    // After an exchange that broke, nothing is known of the instrument's state (it may have been
    // restarted, or replaced by one of another kind): the window is asked for again.
    if (failure != Failure::BadArgument && failure != Failure::BufferTooSmall &&
        failure != Failure::NoRequest)
        forgetWindow();
    return code;
}

bool PexLink::isOpen() const
{
    return m_transport && m_transport->isOpen();
}

qint32 PexLink::refuseRequest(const QString& why)
{
    return fail(Failure::BadArgument, why);
}

void PexLink::attach(std::unique_ptr<ByteTransport> transport)
{
    PexClose();
    m_owned = std::move(transport);
    attachTransport(m_owned.get());
}

void PexLink::attach(ByteTransport& transport)
{
    PexClose();
    attachTransport(&transport);
}

void PexLink::attachTransport(ByteTransport* transport)
{
    ++m_generation;
    useGap(m_lineGapMs);
    const bool opened =
        dynamic_cast<SerialTransport*>(transport) || dynamic_cast<NetworkTransport*>(transport);
    if (transport != m_owned.get() || !opened)
        m_device.clear();
    m_transport = transport;
    m_lineLost = 0;
    m_decoder.reset();
    // The program never takes a raw line from the instrument: text there is noise.
    m_decoder.setLinesAllowed(false);
    m_pending.reset();
    forgetWindow();
    m_window.clearTimings();
    // The instrument remembers the last request to spot repeats; starting anywhere in the
    // sequence makes a first request after reopening unlikely to look like that one.
    m_seq = static_cast<quint8>(QRandomGenerator::global()->bounded(kSeqModulo));
}

qint32 PexLink::refuseWhileWaiting()
{
    return fail(Failure::BadArgument, QStringLiteral("another request is still waiting for its answer"));
}

qint32 PexLink::checkOpen()
{
    // Every call starts with a clean text: a note PexOpen left or an earlier call's failure must not
    // be shown as the reason this one failed.
    m_error.clear();
    m_lastFailure = 0;
    if (m_waiting)
        return refuseWhileWaiting();
    if (!m_transport)
        return fail(Failure::NotOpen, m_openFailure);
    if (!m_transport->isOpen())
        return fail(Failure::LinkLost, m_transport->errorString());
    return PexResult::Done;
}

qint32 PexLink::PexOpen(const PexOpenRecord& record)
{
    if (m_waiting)
        return refuseWhileWaiting();
    PexClose();
    m_error.clear();
    m_lastFailure = 0;
    const QString device = m_resolver ? m_resolver(record.port) : QString();
    m_device = device;
    if (device.isEmpty()) {
        m_portProblem = PortProblem::NoSuchDevice;
        m_openFailure = QStringLiteral("no device for port %1").arg(record.port + 1);
        return fail(Failure::OpenFailed, m_openFailure);
    }

    QStringList notes;
    const SerialSettings settings = settingsOf(record, notes);
    if (isNetworkDevice(device)) {
        auto network = std::make_unique<NetworkTransport>();
        network->setWriteTimeoutMs(m_timeoutMs);
        if (!network->open(device, settings))
            return openFailed(network->openProblem(), network->systemReason(), network->lockHolder(),
                              network->errorString());
        m_owned = std::move(network);
    } else {
        auto serial = std::make_unique<SerialTransport>();
        serial->setWriteTimeoutMs(m_timeoutMs);
        if (!serial->open(device, settings)) {
            m_portLockFile = serial->lockFile();
            return openFailed(serial->openProblem(), serial->systemReason(), serial->lockHolder(),
                              serial->errorString());
        }
        notes += serial->settingNotes();
        m_owned = std::move(serial);
    }
    attachTransport(m_owned.get());
    useGap(isNetworkDevice(device) ? qMax(m_lineGapMs, kNetworkGapMs) : m_lineGapMs);
    // As many blocks as the line carries in about kWindowLineTimeMs, so that a stop never waits
    // much longer for the blocks in flight: 3 at 9600 baud.
    const double blockMs = kFullBlockWireBytes * 10 * 1000.0 / qMax<qint64>(1, settings.baud);
    setWindow(static_cast<int>(kWindowLineTimeMs / blockMs), settings.baud);
    setPack(kMaxPackWindowBits);
    m_error = notes.join(QStringLiteral("; "));
    return PexResult::Done;
}

qint32 PexLink::openFailed(PortProblem problem, const QString& reason, const QString& holder,
                           const QString& error)
{
    m_portProblem = problem;
    m_portReason = reason;
    m_portHolder = holder;
    m_openFailure = error;
    return fail(Failure::OpenFailed, m_openFailure);
}

bool PexLink::onNetwork() const
{
    return isNetworkDevice(m_device);
}

qint32 PexLink::PexRetry(qint32 count)
{
    m_error.clear();
    m_lastFailure = 0;
    if (count < 0 || count > 100)
        return fail(Failure::BadArgument, QStringLiteral("retry count %1").arg(count));
    m_retries = count;
    return PexResult::Done;
}

qint32 PexLink::PexSetTimeOut(qint32 ms)
{
    if (ms <= 0)
        return fail(Failure::BadArgument, QStringLiteral("time-out %1 ms").arg(ms));
    m_timeoutMs = ms;
    if (auto* serial = dynamic_cast<SerialTransport*>(m_transport))
        serial->setWriteTimeoutMs(ms);
    else if (auto* network = dynamic_cast<NetworkTransport*>(m_transport))
        network->setWriteTimeoutMs(ms);
    if (const qint32 result = checkOpen())
        return result;
    return PexResult::Done;
}

qint32 PexLink::PexClose()
{
    // Also allowed from the idle hook: the waiting call sees the new generation and fails.
    ++m_generation;
    m_pending.reset();
    forgetWindow();
    m_transport = nullptr;
    m_owned.reset();
    m_portProblem = PortProblem::None;
    m_portReason.clear();
    m_portHolder.clear();
    m_portLockFile.clear();
    m_openFailure.clear();
    m_lineLost = 0;
    return PexResult::Done;
}

qint32 PexLink::PexSendCommand(const QByteArray& command, QByteArray& reply)
{
    if (const qint32 result = checkOpen())
        return result;
    if (command.size() > kMaxPayload) {
        return fail(Failure::BadArgument,
                    QStringLiteral("command of %1 bytes, at most %2").arg(command.size()).arg(kMaxPayload));
    }
    endPack();
    endStream();
    Frame answer;
    const quint64 repeatsBefore = m_retransmissions;
    const qint64 sentMs = m_clock.elapsed();
    if (const qint32 result = exchange(FrameKind::Command, 0, command, FrameKind::Reply, answer))
        return result;
    // The greeting's commands time the round trip that the window, asked for later, must cover.
    if (m_retransmissions == repeatsBefore && m_window.agreed() < 0)
        m_window.noteCommandRoundTrip(m_clock.elapsed() - sentMs);
    const qsizetype n =
        qMin<qsizetype>(qMin<qsizetype>(answer.payload.size(), reply.size()), kReplyBufferSize);
    if (n > 0)
        std::memcpy(reply.data(), answer.payload.constData(), static_cast<size_t>(n));
    return answer.tag;
}

qint32 PexLink::PexSendString(qint32& length, const char* first)
{
    if (const qint32 result = checkOpen())
        return result;
    if (length < 0 || length > kMaxRawLine + 1 || (length > 0 && !first))
        return fail(Failure::BadArgument, QStringLiteral("line of %1 bytes").arg(length));
    const QByteArray line(first, length);
    for (char byte : line) {
        if (isStartMarker(byte)) {
            return fail(Failure::BadArgument, QStringLiteral("a raw line cannot hold the control byte 0x%1")
                                                  .arg(static_cast<int>(byte), 2, 16, QLatin1Char('0')));
        }
    }
    // The instrument starts its window numbering afresh at a raw line; one that is lost on the way
    // does not, so the next window exchange starts with a plain request.
    endPack();
    endStream();
    m_window.loseStep();
    // The instrument takes text for a raw line only after a quiet line (elsewhere it is a frame whose
    // marker noise changed): nothing of ours may have been on it for the gap time. The last answer
    // came after our last request had crossed the line; two gaps after the later of the two leave
    // the instrument time to notice the quiet however it reads.
    const qint64 quietFor = qMax(m_lastWriteMs, m_lastByteMs) + 2 * m_gapMs - m_clock.elapsed();
    if (quietFor > 0)
        QThread::msleep(static_cast<unsigned long>(quietFor));
    if (const qint32 result = writeBytes(line))
        return result;
    return PexResult::Done;
}

qint32 PexLink::PexSendData(qint32& blockType, qint32& length, const char* first)
{
    if (const qint32 result = checkOpen())
        return result;
    if (blockType < 0 || blockType > 255)
        return fail(Failure::BadArgument, QStringLiteral("block type %1").arg(blockType));
    if (length < 0 || length > kMaxPayload || (length > 0 && !first)) {
        return fail(Failure::BadArgument,
                    QStringLiteral("block of %1 bytes, at most %2").arg(length).arg(kMaxPayload));
    }
    const QByteArray payload(first, length);
    if (const std::optional<qint32> packed = sendPacked(blockType, payload))
        return *packed;
    return sendBlock(blockType, payload);
}

qint32 PexLink::PexReceiveData(qint32& blockType, qint32& length, char* buffer, qint32 bufferSize)
{
    if (const qint32 result = checkOpen())
        return result;
    const bool piece = m_packAnswer && m_packPieceAsked;
    if (!m_packTold && !piece && !m_pending && !m_callerWindowed)
        return fail(Failure::NoRequest, QString());
    if (bufferSize < 0 || (bufferSize > 0 && !buffer))
        return fail(Failure::BadArgument, QStringLiteral("buffer of %1 bytes").arg(bufferSize));
    Frame told;
    if (m_packTold) {
        told = *m_packTold;
        m_packTold.reset();
    } else if (piece) {
        if (const qint32 result = nextPiece(told))
            return result;
    } else if (const qint32 result = receiveBlock(told)) {
        return result;
    }
    return deliver(told, blockType, length, buffer, bufferSize);
}

qint32 PexLink::receiveBlock(Frame& told)
{
    if (m_callerWindowed)
        return receiveWindowed(told);
    if (!m_pending)
        return fail(Failure::NoRequest, QString());
    if (const qint32 result = awaitAnswer(FrameKind::Block, told))
        return result;
    // A plain request that opened an answer in blocks: a last or refused block ends it.
    if (m_window.stream() == WindowQueue::Stream::Answer && told.tag != 0)
        m_window.markAnswerEnded();
    return PexResult::Done;
}

qint32 PexLink::deliver(const Frame& told, qint32& blockType, qint32& length, char* buffer, qint32 bufferSize)
{
    if (told.payload.size() > bufferSize) {
        blockType = 9;
        length = static_cast<qint32>(told.payload.size());
        return fail(
            Failure::BufferTooSmall,
            QStringLiteral("block of %1 bytes, buffer of %2").arg(told.payload.size()).arg(bufferSize));
    }
    if (!told.payload.isEmpty())
        std::memcpy(buffer, told.payload.constData(), static_cast<size_t>(told.payload.size()));
    blockType = told.tag;
    length = static_cast<qint32>(told.payload.size());
    return PexResult::Done;
}

qint32 PexLink::exchange(FrameKind kind, qint32 tag, const QByteArray& payload, FrameKind expected,
                         Frame& answer)
{
    if (const qint32 result = transmit(kind, tag, payload))
        return result;
    return awaitAnswer(expected, answer);
}

qint32 PexLink::transmit(FrameKind kind, qint32 tag, const QByteArray& payload)
{
    m_pending.reset();
    m_callerWindowed = false;
    // Whatever is still waiting (a late answer to a request that timed out, a repeated answer)
    // belongs to an exchange that is over.
    m_transport->read(0);
    m_decoder.reset();
    if (!m_transport->isOpen())
        return fail(Failure::LinkLost, m_transport->errorString());

    m_seq = static_cast<quint8>((m_seq + 1) % kSeqModulo);
    Frame frame;
    frame.kind = kind;
    frame.seq = m_seq;
    frame.tag = tag;
    frame.payload = payload;
    const QByteArray wire = encodeFrame(frame);
    if (wire.isEmpty())
        return fail(Failure::BadArgument, QStringLiteral("cannot frame the request"));
    if (const qint32 result = writeBytes(wire))
        return result;
    m_pending = wire;
    m_pendingSeq = m_seq;
    return PexResult::Done;
}

qint32 PexLink::retransmit()
{
    ++m_retransmissions;
    const QByteArray wire = *m_pending;
    if (const qint32 result = writeBytes(wire)) {
        m_pending.reset();
        return result;
    }
    return PexResult::Done;
}

qint32 PexLink::writeBytes(const QByteArray& bytes)
{
    m_lastWriteMs = m_clock.elapsed();
    if (!m_transport->write(bytes))
        return fail(m_transport->isOpen() ? Failure::WriteFailed : Failure::LinkLost,
                    m_transport->errorString());
    m_lastWriteMs = m_clock.elapsed();
    return PexResult::Done;
}

bool PexLink::idle(quint64 generation)
{
    if (!m_idleHook || !m_nextIdle.hasExpired())
        return true;
    // Due again that long after it ran, however the waits between are cut: each call may wait only
    // a little (a block of a fast answer) and the calls follow one another without end.
    m_nextIdle.setRemainingTime(kIdleHookMs);
    m_idleHook();
    return m_generation == generation && m_transport;
}

QList<FrameDecoder::Event> PexLink::readEvents(qint64 waitMs)
{
    if (m_idleHook)
        waitMs = qMin(waitMs, m_nextIdle.remainingTime());
    const QByteArray bytes = m_transport->read(static_cast<int>(qMax<qint64>(0, waitMs)));
    if (!bytes.isEmpty()) {
        m_lastByteMs = m_clock.elapsed();
        QList<FrameDecoder::Event> events = m_decoder.feed(bytes);
        // A whole frame from the instrument: it is there again, whatever the frame says.
        for (const FrameDecoder::Event& event : events) {
            if (event.type == FrameDecoder::Event::Type::Frame)
                m_lineLost = 0;
        }
        return events;
    }
    // Silent for the gap time since the last byte, not merely for a wait the idle hook cut short.
    if (m_transport->isOpen() && m_decoder.needsIdle() && m_clock.elapsed() - m_lastByteMs >= m_gapMs)
        return m_decoder.lineIdle();
    return {};
}

// One call's wait for the answer to its request: the time-out of the whole call, the attempt after
// which silence sends the request again, and the repeats so far.
struct PexLink::AnswerWait
{
    FrameKind expected = FrameKind::Reply;
    QDeadlineTimer deadline;
    qint64 attemptMs = 1;
    QDeadlineTimer attempt;
    quint64 generation = 0;
    int silentRepeats = 0;
    int quickRepeats = 0;
    int naksInRow = 0;
    // Damage other than a whole frame with a bad check: the rest of it may still be on its way, and
    // the request goes again once the line has been quiet for the gap time.
    bool repeatWhenQuiet = false;
};

qint32 PexLink::failExchange(Failure failure, const QString& detail)
{
    m_pending.reset();
    return fail(failure, detail);
}

qint32 PexLink::awaitAnswer(FrameKind expected, Frame& answer)
{
    m_waiting = true;
    const auto doneWaiting = qScopeGuard([this] { m_waiting = false; });
    AnswerWait wait;
    wait.expected = expected;
    wait.generation = m_generation;
    wait.deadline.setRemainingTime(m_timeoutMs);
    wait.attemptMs = qMax<qint64>(1, m_timeoutMs / (m_retries + 1));
    wait.attempt.setRemainingTime(wait.attemptMs);

    for (;;) {
        if (wait.deadline.hasExpired())
            return failExchange(Failure::TimeOut, QStringLiteral("%1 ms").arg(m_timeoutMs));
        if (wait.attempt.hasExpired()) {
            if (const qint32 result = repeatSilently(wait))
                return result;
            continue;
        }
        const bool watchGap = m_decoder.needsIdle() || wait.repeatWhenQuiet;
        qint64 waitMs = qMin(wait.deadline.remainingTime(), wait.attempt.remainingTime());
        if (watchGap)
            waitMs = qMin<qint64>(waitMs, qMax<qint64>(1, m_lastByteMs + m_gapMs - m_clock.elapsed()));
        const QList<FrameDecoder::Event> events = readEvents(waitMs);
        if (!m_transport->isOpen())
            return failExchange(Failure::LinkLost, m_transport->errorString());
        qint32 result = takeAnswerEvents(wait, events, answer);
        if (result < 0 && wait.repeatWhenQuiet && m_clock.elapsed() - m_lastByteMs >= m_gapMs) {
            if (const qint32 failed = repeatQuickly(wait))
                return failed;
        }
        if (result >= 0)
            return result;
        if (!idle(wait.generation))
            return failExchange(Failure::NotOpen,
                                QStringLiteral("the link was closed while waiting for an answer"));
    }
}

// Returns -1 while the exchange goes on, else the call's result.
qint32 PexLink::takeAnswerEvents(AnswerWait& wait, const QList<FrameDecoder::Event>& events, Frame& answer)
{
    for (const FrameDecoder::Event& event : events) {
        if (event.type == FrameDecoder::Event::Type::Damaged) {
            // A whole frame failed its check: ask again as soon as the line is quiet. The events
            // after it come from bytes the wait for quiet lets go.
            if (event.damage == FrameDecoder::Damage::BadCrc) {
                const qint32 result = repeatWhenLineQuiet(wait, m_gapMs);
                return result ? result : -1;
            }
            wait.repeatWhenQuiet = true;
            continue;
        }
        if (event.type != FrameDecoder::Event::Type::Frame)
            continue; // raw lines from the instrument mean nothing to the program
        const Frame& frame = event.frame;
        // A window Nak here comes from an instrument that took a damaged plain request for a window
        // one (the last whole request was one): it asks for this request too.
        if (frame.kind == FrameKind::Nak || frame.kind == FrameKind::WindowNak) {
            const bool settle = ++wait.naksInRow >= kNaksBeforeSettling;
            if (settle)
                wait.naksInRow = 0;
            const qint32 result = repeatWhenLineQuiet(wait, (settle ? kSettleGaps : 1) * qint64(m_gapMs));
            return result ? result : -1;
        }
        const bool answers = frame.kind == FrameKind::Reply || frame.kind == FrameKind::Block;
        if (!answers || frame.seq != m_pendingSeq)
            continue; // an answer to an earlier request, repeated by the instrument
        m_pending.reset();
        if (frame.kind != wait.expected) {
            return fail(Failure::UnexpectedAnswer, frame.kind == FrameKind::Reply
                                                       ? QStringLiteral("a reply to a block")
                                                       : QStringLiteral("a block to a command"));
        }
        answer = frame;
        // The instrument numbers window requests from 0 after every plain request.
        m_window.restartNumbering();
        return PexResult::Done;
    }
    return -1;
}

// Sends the request again. The caller has made sure the line is quiet: what is still on it
// belongs to a damaged answer, and a stray start marker in it would open a frame that swallows the
// start of the answer to the repeat.
qint32 PexLink::repeatQuickly(AnswerWait& wait)
{
    if (++wait.quickRepeats > kMaxQuickRepeats) {
        return failExchange(
            Failure::RetriesExhausted,
            QStringLiteral("sent %1 times, the exchange was damaged every time").arg(wait.quickRepeats));
    }
    wait.repeatWhenQuiet = false;
    wait.attempt.setRemainingTime(wait.attemptMs);
    m_transport->read(0);
    m_decoder.reset();
    return retransmit();
}

// Before a repeat the line must have gone quiet for quietMs; what arrives meanwhile is let go.
// After a stall the line delivers a backlog (the rest of an answer, the answers to the repeats sent
// while it was silent): a repeat sent into it would be read from somewhere inside the backlog, find
// damage there, be repeated again and add one more answer to the backlog, until the repeats ran
// out. After Nak upon Nak the instrument's reader may hold a stray partial frame (a start marker
// inside the damaged request's data) that each repeat runs into; a longer rest lets it drop that
// frame. Returns 0 without a repeat when the time-out ran out meanwhile.
qint32 PexLink::repeatWhenLineQuiet(AnswerWait& wait, qint64 quietMs)
{
    if (wait.quickRepeats >= kMaxQuickRepeats)
        return repeatQuickly(wait); // fails at once: no reason to wait for it
    QDeadlineTimer quiet(quietMs);
    while (!quiet.hasExpired() && !wait.deadline.hasExpired()) {
        qint64 waitMs = qMin(quiet.remainingTime(), wait.deadline.remainingTime());
        if (m_idleHook)
            waitMs = qMin(waitMs, m_nextIdle.remainingTime());
        if (!m_transport->read(static_cast<int>(waitMs)).isEmpty())
            quiet.setRemainingTime(quietMs);
        else if (!m_transport->isOpen())
            return failExchange(Failure::LinkLost, m_transport->errorString());
        if (!idle(wait.generation))
            return failExchange(Failure::NotOpen,
                                QStringLiteral("the link was closed while waiting for an answer"));
    }
    if (!quiet.hasExpired())
        return PexResult::Done;
    return repeatQuickly(wait);
}

// Nothing at all came back within the attempt: the request (or the whole answer) was lost.
qint32 PexLink::repeatSilently(AnswerWait& wait)
{
    if (wait.silentRepeats >= m_retries) {
        return failExchange(
            Failure::TimeOut,
            QStringLiteral("%1 ms, sent %2 times").arg(m_timeoutMs).arg(wait.silentRepeats + 1));
    }
    ++wait.silentRepeats;
    wait.attempt.setRemainingTime(wait.attemptMs);
    return retransmit();
}

} // namespace orvalt::link
