// PexLink's window: several block requests in flight (docs/link-protocol.md, "The window").
//
// The program is the only end that decides when something is sent again; the instrument takes
// window requests strictly in the order of their numbers and answers each, in that order. So:
// - a window Nak naming request n says that everything before n was taken: what is still in
//   flight from n on is sent again, in order (the instrument dropped it);
// - an answer that arrives while an older request still has none means that older answer was lost
//   (the instrument answers in order): that request is sent again, and the instrument, which has it
//   behind its numbering, answers it from memory without carrying it out again;
// - damage on the way back followed by a quiet line (an answer lost with nothing after it that
//   would tell) sends everything still unanswered again;
// - an answer that does not come within the repeat time (a lost Nak, a repeat damaged again, the
//   line gone) does the same, the wait doubling each time, until the call's time-out.

#include "link/BlockKinds.h"
#include "link/LinkWindow.h"
#include "link/PexLink.h"

#include <QScopeGuard>
#include <algorithm>
#include <cstring>

namespace orvalt::link {

namespace {

constexpr size_t kTimingSamples = 8;
constexpr qint64 kMaxRoundTripMs = 10000;
// Margin on the measured round trip when the window is narrowed to it: a quarter, and 5 ms for the
// wake-ups of both ends.
constexpr qint64 kRoundTripSlackMs = 5;
// The longest answer a window request gets: a listing block of 301 bytes, framed.
constexpr qint64 kLongestAnswerBytes = 301 + 6;
constexpr int kMaxOverdueDoublings = 5;

bool isPlainAcknowledgement(const Frame& answer)
{
    return answer.tag == kBlockMore && answer.payload.isEmpty();
}

} // namespace

void PexLink::setWindow(int frames, qint64 baud)
{
    m_windowWanted = qBound(1, frames, kMaxWindow);
    m_baud = qMax<qint64>(0, baud);
    forgetWindow();
}

qint64 PexLink::lineMs(qint64 bytes) const
{
    return m_baud > 0 ? (bytes * 10 * 1000 + m_baud - 1) / m_baud : 0;
}

int PexLink::windowInUse() const
{
    if (m_windowAgreed < 2)
        return 1;
    if (m_baud <= 0 || m_roundTrips.empty())
        return m_windowAgreed;
    // Enough blocks to cover one block's own line time and the round trip of its answer, so the
    // line never waits; more would only be sent again after damage, and make a stop wait longer.
    const qint64 roundTrip = *std::max_element(m_roundTrips.begin(), m_roundTrips.end());
    const qint64 blockMs = qMax<qint64>(1, lineMs(kFullBlockWireBytes));
    const qint64 covered = roundTrip + roundTrip / 4 + kRoundTripSlackMs;
    const qint64 frames = 1 + (covered + blockMs - 1) / blockMs;
    return static_cast<int>(qBound<qint64>(2, frames, qint64(m_windowAgreed)));
}

qint64 PexLink::answerSpacingMs() const
{
    if (!m_spacings.empty())
        return *std::max_element(m_spacings.begin(), m_spacings.end());
    return m_baud > 0 ? lineMs(kLongestAnswerBytes) : m_gapMs;
}

qint64 PexLink::repeatAfterMs() const
{
    const qint64 roundTrip =
        m_roundTrips.empty() ? 0 : *std::max_element(m_roundTrips.begin(), m_roundTrips.end());
    return 2 * qint64(m_gapMs) + 2 * roundTrip + 2 * answerSpacingMs();
}

void PexLink::noteTime(std::deque<qint64>& samples, qint64 ms)
{
    samples.push_back(qBound<qint64>(0, ms, kMaxRoundTripMs));
    while (samples.size() > kTimingSamples)
        samples.pop_front();
}

void PexLink::endStream()
{
    for (const InFlight& entry : m_inFlight) {
        if (!entry.answered) {
            // Left unanswered: whether the instrument took it is not known, nor so its numbering.
            m_inStep = false;
            break;
        }
    }
    m_inFlight.clear();
    m_stream = Stream::None;
    m_streamEnded = false;
    m_callerWindowed = false;
    m_laterAnswer.reset();
    m_repeatsInRow = 0;
    m_overdueRepeats = 0;
    m_damageOnWayBack = false;
}

void PexLink::forgetWindow()
{
    // A compressed stream cannot go on past a failure either, nor is it known whether the
    // instrument on the line still decompresses: asked again, with the window.
    endPack();
    m_packAgreed = -1;
    endStream();
    m_windowAgreed = -1;
    m_inStep = false;
}

bool PexLink::streamLive() const
{
    return m_stream == Stream::Answer && !m_streamEnded;
}

void PexLink::eraseEntry(const InFlight* entry)
{
    const auto at = std::find_if(m_inFlight.begin(), m_inFlight.end(),
                                 [entry](const InFlight& candidate) { return &candidate == entry; });
    if (at != m_inFlight.end())
        m_inFlight.erase(at);
}

PexLink::InFlight* PexLink::claimedEntry()
{
    for (InFlight& entry : m_inFlight) {
        if (entry.claimed)
            return &entry;
    }
    return nullptr;
}

qint32 PexLink::agreeWindow()
{
    const QByteArray request = windowRequest(m_windowWanted);
    const quint64 repeatsBefore = m_retransmissions;
    const qint64 sentMs = m_clock.elapsed();
    Frame answer;
    if (const qint32 result = exchange(FrameKind::Command, 0, request, FrameKind::Reply, answer))
        return result;
    const std::optional<int> taken = answer.tag == 0 ? parseWindowReply(answer.payload) : std::nullopt;
    m_windowAgreed = taken && *taken >= 2 ? qMin(*taken, m_windowWanted) : 0;
    if (m_retransmissions == repeatsBefore)
        noteTime(m_roundTrips, m_clock.elapsed() - sentMs);
    return PexResult::Done;
}

qint32 PexLink::sendBlock(qint32 type, const QByteArray& payload)
{
    const bool fileBlock = type == kBlockMore || type == kBlockFinal;
    if (type == kBlockNext && m_stream == Stream::Answer) {
        // The oldest request sent ahead that no call stands for yet is this one.
        for (InFlight& entry : m_inFlight) {
            if (!entry.claimed) {
                entry.claimed = true;
                m_pending.reset();
                m_callerWindowed = true;
                return PexResult::Done;
            }
        }
        return sendWindowed(type, payload, true);
    }
    if (fileBlock && m_stream == Stream::Upload)
        return sendWindowed(type, payload, true);

    endStream();
    const bool answers = type == kBlockCommand || type == kBlockPackedCommand;
    const bool opens = answers || type == kBlockMore || type == kBlockPackedWrite;
    if (opens && m_windowWanted > 1) {
        if (m_windowAgreed < 0) {
            if (const qint32 result = agreeWindow())
                return result;
        }
        if (m_windowAgreed > 1) {
            m_stream = answers ? Stream::Answer : Stream::Upload;
            return sendWindowed(type, payload, true);
        }
    }
    return transmit(FrameKind::Data, type, payload);
}

qint32 PexLink::sendWindowed(qint32 type, const QByteArray& payload, bool claim)
{
    if (!m_inStep && m_inFlight.empty()) {
        // The instrument's numbering is not known (after a raw line, or a window exchange left
        // unanswered): this request goes plain, which starts the numbering afresh for both ends.
        return transmit(FrameKind::Data, type, payload);
    }
    const QDeadlineTimer deadline(m_timeoutMs);
    const bool upload = m_stream == Stream::Upload;
    if (const qint32 result = awaitWindow(deadline, [this, upload] {
            return m_inFlight.size() < static_cast<size_t>(windowInUse()) || (upload && m_laterAnswer);
        }))
        return result;
    if (upload && m_laterAnswer) {
        // A block was refused, and so is the rest of the file: the refusal is this block's answer.
        m_pending.reset();
        m_callerWindowed = true;
        return PexResult::Done;
    }

    InFlight entry;
    entry.seq = m_nextSeq;
    entry.type = type;
    entry.wire = encodeFrame(Frame{FrameKind::WindowData, m_nextSeq, type, payload});
    if (entry.wire.isEmpty())
        return fail(Failure::BadArgument, QStringLiteral("cannot frame the request"));
    entry.timesRoundTrip = m_inFlight.empty();
    entry.claimed = claim;
    m_nextSeq = static_cast<quint8>((m_nextSeq + 1) % kWindowSeqModulo);
    m_inFlight.push_back(entry);
    if (const qint32 result = writeWindowed(m_inFlight.back()))
        return result;
    if (claim) {
        m_pending.reset();
        m_callerWindowed = true;
    }
    if (m_stream == Stream::Answer)
        return topUpAnswers();
    return PexResult::Done;
}

qint32 PexLink::writeWindowed(InFlight& entry)
{
    entry.sentMs = m_clock.elapsed();
    entry.sendOrder = ++m_sendCount;
    if (!m_transport->write(entry.wire))
        return fail(m_transport->isOpen() ? Failure::WriteFailed : Failure::LinkLost,
                    m_transport->errorString());
    return PexResult::Done;
}

// Keeps the window full of "next block" requests while the answer goes on.
qint32 PexLink::topUpAnswers()
{
    while (streamLive() && m_inFlight.size() < static_cast<size_t>(windowInUse())) {
        InFlight entry;
        entry.seq = m_nextSeq;
        entry.type = kBlockNext;
        entry.wire = encodeFrame(Frame{FrameKind::WindowData, m_nextSeq, kBlockNext, {}});
        entry.timesRoundTrip = m_inFlight.empty();
        m_nextSeq = static_cast<quint8>((m_nextSeq + 1) % kWindowSeqModulo);
        m_inFlight.push_back(entry);
        if (const qint32 result = writeWindowed(m_inFlight.back()))
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

    InFlight* mine = claimedEntry();
    std::optional<Frame> answer;
    if (m_stream == Stream::Upload) {
        const bool last = mine && mine->type == kBlockFinal;
        if (last) {
            // The last block of the file waits for every answer.
            const qint32 result = awaitWindow(deadline, [this] {
                return std::all_of(m_inFlight.begin(), m_inFlight.end(),
                                   [](const InFlight& entry) { return entry.answered; });
            });
            if (result)
                return result;
            mine = claimedEntry();
        }
        if (m_laterAnswer) {
            answer = m_laterAnswer;
            m_laterAnswer.reset();
        } else if (mine && mine->answered) {
            answer = mine->answer;
        } else if (mine) {
            // On its way: told acknowledged now; an answer that says otherwise is told later.
            mine->claimed = false;
            mine->acknowledged = true;
            told = Frame{FrameKind::Block, 0, kBlockMore, {}};
            return PexResult::Done;
        }
        if (last)
            endStream(); // every answer is in: the instrument expects the next number
        else if (mine)
            eraseEntry(mine);
    } else if (mine) {
        const quint8 seq = mine->seq;
        const qint32 result = awaitWindow(deadline, [this, seq] {
            for (const InFlight& entry : m_inFlight) {
                if (entry.seq == seq)
                    return entry.answered;
            }
            return true;
        });
        if (result)
            return result;
        mine = claimedEntry();
        if (!mine || mine->seq != seq)
            return fail(Failure::NoRequest, QStringLiteral("the request sent ahead is gone"));
        answer = mine->answer;
        eraseEntry(mine);
        if (answer->tag != kBlockMore)
            m_streamEnded = true;
        else if (const qint32 sent = topUpAnswers())
            return sent;
    }
    if (!answer)
        return fail(Failure::NoRequest, QString());
    told = *answer;
    return PexResult::Done;
}

qint32 PexLink::awaitWindow(const QDeadlineTimer& deadline, const std::function<bool()>& done, bool poll)
{
    m_waiting = true;
    const auto doneWaiting = qScopeGuard([this] { m_waiting = false; });
    const quint64 generation = m_generation;
    QDeadlineTimer nextIdle(kIdleHookMs);
    for (;;) {
        if (done())
            return PexResult::Done;
        const qint64 now = m_clock.elapsed();
        const bool missing = std::any_of(m_inFlight.begin(), m_inFlight.end(),
                                         [](const InFlight& entry) { return !entry.answered; });
        const auto firstMissing = std::find_if(m_inFlight.begin(), m_inFlight.end(),
                                               [](const InFlight& entry) { return !entry.answered; });
        const size_t firstIndex = static_cast<size_t>(firstMissing - m_inFlight.begin());
        // Quiet for longer than the next answer takes to come.
        const qint64 quietMs = m_gapMs + 2 * answerSpacingMs();
        if (m_damageOnWayBack && now - m_lastByteMs >= quietMs && missing) {
            m_damageOnWayBack = false;
            if (const qint32 result = goBack(firstIndex))
                return result;
            continue;
        }
        // The oldest request without an answer, and when its answer is overdue.
        const auto oldest = std::find_if(m_inFlight.begin(), m_inFlight.end(),
                                         [](const InFlight& entry) { return !entry.answered; });
        qint64 dueIn = -1;
        if (oldest != m_inFlight.end()) {
            const qint64 since = qMax(oldest->sentMs, m_lastAnswerMs);
            dueIn = since + (repeatAfterMs() << qMin(m_overdueRepeats, kMaxOverdueDoublings)) - now;
            if (dueIn <= 0) {
                ++m_overdueRepeats;
                if (const qint32 result = sendAgainFrom(static_cast<size_t>(oldest - m_inFlight.begin())))
                    return result;
                continue;
            }
        }
        if (deadline.hasExpired())
            return fail(Failure::TimeOut, QStringLiteral("%1 ms").arg(m_timeoutMs));
        qint64 wait = poll ? 0 : deadline.remainingTime();
        if (dueIn > 0)
            wait = qMin(wait, dueIn);
        // A frame cut short is one the line stayed silent in for the gap time, counted from its last
        // byte: a read that came back empty sooner (a poll, a repeat falling due) tells nothing.
        if (m_decoder.needsIdle())
            wait = qMin(wait, qMax<qint64>(1, m_lastByteMs + m_gapMs - now));
        if (m_damageOnWayBack)
            wait = qMin(wait, qMax<qint64>(1, m_lastByteMs + quietMs - now));
        if (m_idleHook)
            wait = qMin(wait, nextIdle.remainingTime());
        const QByteArray bytes = m_transport->read(static_cast<int>(qMax<qint64>(0, wait)));
        QList<FrameDecoder::Event> events;
        if (!bytes.isEmpty()) {
            m_lastByteMs = m_clock.elapsed();
            events = m_decoder.feed(bytes);
        } else if (!m_transport->isOpen()) {
            return fail(Failure::LinkLost, m_transport->errorString());
        } else if (m_decoder.needsIdle() && m_clock.elapsed() - m_lastByteMs >= m_gapMs) {
            events = m_decoder.lineIdle();
        }
        for (const FrameDecoder::Event& event : events) {
            if (event.type == FrameDecoder::Event::Type::Damaged)
                m_damageOnWayBack = true;
            if (event.type != FrameDecoder::Event::Type::Frame)
                continue;
            qint32 result = PexResult::Done;
            if (event.frame.kind == FrameKind::WindowBlock)
                result = takeWindowAnswer(event.frame);
            else if (event.frame.kind == FrameKind::WindowNak)
                result = takeWindowNak(event.frame.seq);
            else if (event.frame.kind == FrameKind::Nak)
                result = takeWindowNak(std::nullopt);
            // Plain answers are late ones, to requests before the window: dropped.
            if (result)
                return result;
        }
        if (poll)
            return PexResult::Done;
        if (!idle(nextIdle, generation))
            return fail(Failure::NotOpen, QStringLiteral("the link was closed while waiting for an answer"));
    }
}

qint32 PexLink::takeWindowAnswer(const Frame& frame)
{
    const auto found = std::find_if(m_inFlight.begin(), m_inFlight.end(), [&frame](const InFlight& entry) {
        return entry.seq == frame.seq && !entry.answered;
    });
    if (found == m_inFlight.end())
        return PexResult::Done; // a repeated answer, or one to a request given up
    const qint64 now = m_clock.elapsed();
    const bool wasOldest =
        std::none_of(m_inFlight.begin(), found, [](const InFlight& entry) { return !entry.answered; });
    InFlight& entry = *found;
    entry.answered = true;
    entry.answer = frame;
    // Answers one after the other, while this one was on its way: how fast the line (or the
    // instrument) delivers them.
    if (entry.sentMs <= m_lastAnswerMs)
        noteTime(m_spacings, now - m_lastAnswerMs);
    m_lastAnswerMs = now;
    m_damageOnWayBack = false; // what it broke is missed by this answer, or was this answer
    if (entry.timesRoundTrip)
        noteTime(m_roundTrips, now - entry.sentMs);
    if (wasOldest) {
        m_repeatsInRow = 0;
        m_overdueRepeats = 0;
    }
    if (m_stream == Stream::Answer && frame.tag != kBlockMore)
        m_streamEnded = true; // later requests sent ahead are past the end

    // The instrument answers in the order it takes requests: an older request sent before this one
    // and still without an answer has lost its answer.
    const quint64 order = entry.sendOrder;
    const size_t index = static_cast<size_t>(found - m_inFlight.begin());
    for (size_t i = 0; i < index; ++i) {
        InFlight& older = m_inFlight[i];
        if (!older.answered && older.sendOrder < order) {
            if (const qint32 result = countRepeat())
                return result;
            ++m_retransmissions;
            older.timesRoundTrip = false;
            if (const qint32 result = writeWindowed(older))
                return result;
        }
    }
    if (m_stream == Stream::Upload && m_inFlight[index].acknowledged) {
        if (!isPlainAcknowledgement(frame) && !m_laterAnswer)
            m_laterAnswer = frame;
        m_inFlight.erase(m_inFlight.begin() + static_cast<qsizetype>(index));
    }
    return PexResult::Done;
}

qint32 PexLink::takeWindowNak(const std::optional<quint8>& from)
{
    // A plain Nak (an instrument that took the damaged frame for a plain one) names nothing: the
    // oldest request without an answer goes again, with what follows it.
    size_t first = m_inFlight.size();
    for (size_t i = 0; i < m_inFlight.size(); ++i) {
        if (from ? m_inFlight[i].seq == *from : !m_inFlight[i].answered) {
            first = i;
            break;
        }
    }
    if (from && first == m_inFlight.size() && *from != m_nextSeq)
        return PexResult::Done; // names nothing in flight: a Nak for a window given up
    // Everything before `first` was taken; an answer still missing there was lost on the way.
    for (size_t i = 0; i < first; ++i) {
        if (!m_inFlight[i].answered) {
            first = i;
            break;
        }
    }
    if (first == m_inFlight.size())
        return PexResult::Done;
    return goBack(first);
}

qint32 PexLink::goBack(size_t first)
{
    if (const qint32 result = countRepeat())
        return result;
    return sendAgainFrom(first);
}

qint32 PexLink::countRepeat()
{
    if (++m_repeatsInRow > kMaxQuickRepeats) {
        return fail(Failure::RetriesExhausted,
                    QStringLiteral("sent %1 times, the exchange was damaged every time").arg(m_repeatsInRow));
    }
    return PexResult::Done;
}

qint32 PexLink::sendAgainFrom(size_t first)
{
    for (size_t i = first; i < m_inFlight.size(); ++i) {
        InFlight& entry = m_inFlight[i];
        if (entry.answered)
            continue;
        ++m_retransmissions;
        entry.timesRoundTrip = false;
        if (const qint32 result = writeWindowed(entry))
            return result;
    }
    return PexResult::Done;
}

} // namespace orvalt::link
