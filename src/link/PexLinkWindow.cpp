// PexLink's window: several block requests in flight (docs/link-protocol.md, "The window"). What is
// in flight, its numbering and what goes again when is WindowQueue's; here are the reading, writing
// and waiting, and the calls' meaning on top of it.

#include "link/BlockKinds.h"
#include "link/LinkWindow.h"
#include "link/PexLink.h"

#include <QScopeGuard>

namespace orvalt::link {

using State = WindowQueue::State;
using WindowStream = WindowQueue::Stream;

void PexLink::setWindow(int frames, qint64 baud)
{
    m_window.configure(frames, baud);
    forgetWindow();
}

int PexLink::windowInUse() const
{
    return m_window.inUse();
}

void PexLink::endStream()
{
    m_window.end();
    m_callerWindowed = false;
}

void PexLink::forgetWindow()
{
    // A compressed stream cannot go on past a failure either, nor is it known whether the
    // instrument on the line still decompresses: asked again, with the window.
    endPack();
    m_packAgreed = -1;
    m_window.forget();
    m_callerWindowed = false;
}

qint32 PexLink::agreeWindow()
{
    const int asked = m_window.asked();
    const QByteArray request = windowRequest(asked);
    const quint64 repeatsBefore = m_retransmissions;
    const qint64 sentMs = m_clock.elapsed();
    Frame answer;
    if (const qint32 result = exchange(FrameKind::Command, 0, request, FrameKind::Reply, answer))
        return result;
    const std::optional<int> taken = answer.tag == 0 ? parseWindowReply(answer.payload) : std::nullopt;
    m_window.setAgreed(taken && *taken >= 2 ? qMin(*taken, asked) : 0);
    if (m_retransmissions == repeatsBefore)
        m_window.noteRoundTrip(m_clock.elapsed() - sentMs);
    return PexResult::Done;
}

qint32 PexLink::sendBlock(qint32 type, const QByteArray& payload)
{
    const bool fileBlock = type == kBlockMore || type == kBlockFinal;
    if (type == kBlockNext && m_window.stream() == WindowStream::Answer) {
        // The oldest request sent ahead that no call stands for yet is this one.
        if (m_window.claimAhead()) {
            m_pending.reset();
            m_callerWindowed = true;
            return PexResult::Done;
        }
        return sendWindowed(type, payload, State::Claimed);
    }
    if (fileBlock && m_window.stream() == WindowStream::Upload)
        return sendWindowed(type, payload, State::Claimed);

    endStream();
    const bool answers = type == kBlockCommand || type == kBlockPackedCommand;
    const bool opens = answers || type == kBlockMore || type == kBlockPackedWrite;
    if (opens && m_window.wanted() > 1) {
        if (m_window.agreed() < 0) {
            if (const qint32 result = agreeWindow())
                return result;
        }
        if (m_window.agreed() > 1) {
            m_window.open(answers ? WindowStream::Answer : WindowStream::Upload);
            return sendWindowed(type, payload, State::Claimed);
        }
    }
    return transmit(FrameKind::Data, type, payload);
}

qint32 PexLink::sendWindowed(qint32 type, const QByteArray& payload, State state)
{
    if (!m_window.canNumber()) {
        // The instrument's numbering is not known (after a raw line, or a window exchange left
        // unanswered): this request goes plain, which starts the numbering afresh for both ends.
        return transmit(FrameKind::Data, type, payload);
    }
    const QDeadlineTimer deadline(m_timeoutMs);
    const bool upload = m_window.stream() == WindowStream::Upload;
    if (const qint32 result = awaitWindow(
            deadline, [this, upload] { return m_window.hasRoom() || (upload && m_window.hasLaterAnswer()); }))
        return result;
    if (upload && m_window.hasLaterAnswer()) {
        // A block was refused, and so is the rest of the file: the refusal is this block's answer.
        m_pending.reset();
        m_callerWindowed = true;
        return PexResult::Done;
    }
    const QByteArray wire = m_window.add(type, payload, state, m_clock.elapsed());
    if (wire.isEmpty())
        return fail(Failure::BadArgument, QStringLiteral("cannot frame the request"));
    if (const qint32 result = writeBytes(wire))
        return result;
    if (state == State::Claimed) {
        m_pending.reset();
        m_callerWindowed = true;
    }
    return topUpAnswers();
}

qint32 PexLink::writeAgain(const WindowQueue::Writes& writes)
{
    if (writes.exhausted) {
        return fail(Failure::RetriesExhausted,
                    QStringLiteral("sent %1 times, the exchange was damaged every time")
                        .arg(WindowQueue::kMaxRepeats + 1));
    }
    for (const QByteArray& wire : writes.wires) {
        ++m_retransmissions;
        if (const qint32 result = writeBytes(wire))
            return result;
    }
    return PexResult::Done;
}

// Keeps the window full of "next block" requests while the answer goes on.
qint32 PexLink::topUpAnswers()
{
    while (m_window.wantsAhead()) {
        const QByteArray wire = m_window.add(kBlockNext, {}, State::Ahead, m_clock.elapsed());
        if (const qint32 result = writeBytes(wire))
            return result;
    }
    return PexResult::Done;
}

qint32 PexLink::receiveWindowed(Frame& told)
{
    m_callerWindowed = false;
    const QDeadlineTimer deadline(m_timeoutMs);
    // Looks at what has arrived meanwhile, so that a refusal is told as early as it can be.
    if (const qint32 result = awaitWindow(
            deadline, [] { return false; }, true))
        return result;
    if (m_window.stream() == WindowStream::Upload)
        return receiveUploadAnswer(deadline, told);

    WindowQueue::Request* mine = m_window.claimed();
    if (!mine)
        return fail(Failure::NoRequest, QString());
    const quint8 seq = mine->seq;
    if (const qint32 result = awaitWindow(deadline, [this] {
            const WindowQueue::Request* claimed = m_window.claimed();
            return !claimed || claimed->answered();
        }))
        return result;
    mine = m_window.claimed();
    if (!mine || mine->seq != seq)
        return fail(Failure::NoRequest, QStringLiteral("the request sent ahead is gone"));
    told = m_window.take(*mine);
    if (told.tag != kBlockMore)
        m_window.markAnswerEnded();
    return topUpAnswers();
}

qint32 PexLink::receiveUploadAnswer(const QDeadlineTimer& deadline, Frame& told)
{
    WindowQueue::Request* mine = m_window.claimed();
    const bool last = mine && mine->type == kBlockFinal;
    if (last) {
        // The last block of the file waits for every answer.
        if (const qint32 result = awaitWindow(deadline, [this] { return m_window.allAnswered(); }))
            return result;
        mine = m_window.claimed();
    }
    if (m_window.hasLaterAnswer()) {
        told = m_window.takeLaterAnswer();
        if (mine)
            m_window.take(*mine);
    } else if (mine && mine->answered()) {
        told = m_window.take(*mine);
    } else if (mine) {
        // On its way: told acknowledged now; an answer that says otherwise is told later.
        m_window.tell(*mine);
        told = Frame{FrameKind::Block, 0, kBlockMore, {}};
        return PexResult::Done;
    } else {
        return fail(Failure::NoRequest, QString());
    }
    if (last)
        endStream(); // every answer is in: the instrument expects the next number
    return PexResult::Done;
}

qint32 PexLink::awaitWindow(const QDeadlineTimer& deadline, const std::function<bool()>& done, bool poll)
{
    m_waiting = true;
    const auto doneWaiting = qScopeGuard([this] { m_waiting = false; });
    const quint64 generation = m_generation;
    for (;;) {
        if (done())
            return PexResult::Done;
        const qint64 now = m_clock.elapsed();
        const WindowQueue::Writes due = m_window.onTime(now, m_lastByteMs);
        if (due.exhausted || !due.wires.isEmpty()) {
            if (const qint32 result = writeAgain(due))
                return result;
            continue;
        }
        if (deadline.hasExpired())
            return fail(Failure::TimeOut, QStringLiteral("%1 ms").arg(m_timeoutMs));
        qint64 wait = poll ? 0 : deadline.remainingTime();
        const qint64 dueIn = m_window.dueInMs(now, m_lastByteMs);
        if (dueIn >= 0)
            wait = qMin(wait, qMax<qint64>(1, dueIn));
        // A frame cut short is one the line stayed silent in for the gap time, counted from its last
        // byte: a read that came back empty sooner (a poll, a repeat falling due) tells nothing.
        if (m_decoder.needsIdle())
            wait = qMin(wait, qMax<qint64>(1, m_lastByteMs + m_gapMs - now));
        const QList<FrameDecoder::Event> events = readEvents(wait);
        if (!m_transport->isOpen())
            return fail(Failure::LinkLost, m_transport->errorString());
        for (const FrameDecoder::Event& event : events) {
            if (event.type == FrameDecoder::Event::Type::Damaged)
                m_window.onDamage();
            if (event.type != FrameDecoder::Event::Type::Frame)
                continue;
            WindowQueue::Writes again;
            if (event.frame.kind == FrameKind::WindowBlock)
                again = m_window.onAnswer(event.frame, m_clock.elapsed());
            else if (event.frame.kind == FrameKind::WindowNak)
                again = m_window.onNak(event.frame.seq, m_clock.elapsed());
            else if (event.frame.kind == FrameKind::Nak)
                again = m_window.onNak(std::nullopt, m_clock.elapsed());
            // Plain answers are late ones, to requests before the window: dropped.
            if (const qint32 result = writeAgain(again))
                return result;
        }
        if (poll)
            return PexResult::Done;
        if (!idle(generation))
            return fail(Failure::NotOpen, QStringLiteral("the link was closed while waiting for an answer"));
    }
}

} // namespace orvalt::link
