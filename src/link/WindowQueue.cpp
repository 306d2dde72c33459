#include "link/WindowQueue.h"

#include "link/BlockKinds.h"

#include <algorithm>

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

void WindowQueue::configure(int wanted, qint64 baud)
{
    m_wanted = qBound(1, wanted, kMaxWindow);
    m_baud = qMax<qint64>(0, baud);
    forget();
}

void WindowQueue::forget()
{
    end();
    m_agreed = -1;
    m_inStep = false;
}

void WindowQueue::clearTimings()
{
    m_roundTrips.clear();
    m_spacings.clear();
    m_commandTrips.clear();
}

void WindowQueue::noteTime(std::deque<qint64>& samples, qint64 ms)
{
    samples.push_back(qBound<qint64>(0, ms, kMaxRoundTripMs));
    while (samples.size() > kTimingSamples)
        samples.pop_front();
}

void WindowQueue::noteRoundTrip(qint64 ms)
{
    noteTime(m_roundTrips, ms);
}

qint64 WindowQueue::lineMs(qint64 bytes) const
{
    return m_baud > 0 ? (bytes * 10 * 1000 + m_baud - 1) / m_baud : 0;
}

// Enough blocks to cover one block's own line time and the round trip of its answer, so the line
// never waits.
qint64 WindowQueue::framesCovering(qint64 roundTrip) const
{
    const qint64 blockMs = qMax<qint64>(1, lineMs(kFullBlockWireBytes));
    const qint64 covered = roundTrip + roundTrip / 4 + kRoundTripSlackMs;
    return 1 + (covered + blockMs - 1) / blockMs;
}

void WindowQueue::noteCommandRoundTrip(qint64 ms)
{
    noteTime(m_commandTrips, ms);
}

int WindowQueue::asked() const
{
    if (m_wanted <= 1 || m_baud <= 0 || m_commandTrips.empty())
        return m_wanted;
    // A line behind a network: its round trip may need more blocks in flight than the line time
    // alone asks for. The quickest command tells it: one the instrument was slow to answer (busy,
    // or stopped a moment) would widen the window for the whole connection, and on a noisy line
    // every damage would then cost more blocks sent again.
    const qint64 roundTrip = *std::min_element(m_commandTrips.begin(), m_commandTrips.end());
    return static_cast<int>(qBound<qint64>(qint64(m_wanted), framesCovering(roundTrip), qint64(kMaxWindow)));
}

int WindowQueue::inUse() const
{
    if (m_agreed < 2)
        return 1;
    if (m_baud <= 0 || m_roundTrips.empty())
        return m_agreed;
    // More would only be sent again after damage, and make a stop wait longer.
    const qint64 roundTrip = *std::max_element(m_roundTrips.begin(), m_roundTrips.end());
    return static_cast<int>(qBound<qint64>(2, framesCovering(roundTrip), qint64(m_agreed)));
}

qint64 WindowQueue::answerSpacingMs() const
{
    // Never less than the longest frame takes on the line, whichever way it goes (a file block to
    // the instrument, a listing block from it): answers to short frames (a write's length, the
    // request that opens it) come close together and would make a block's answer look overdue
    // before the block has even crossed the line.
    const qint64 longest = m_baud > 0 ? lineMs(kLongestAnswerBytes) : 0;
    if (!m_spacings.empty())
        return qMax(longest, *std::max_element(m_spacings.begin(), m_spacings.end()));
    return m_baud > 0 ? longest : m_gapMs;
}

qint64 WindowQueue::repeatAfterMs() const
{
    const qint64 roundTrip =
        m_roundTrips.empty() ? 0 : *std::max_element(m_roundTrips.begin(), m_roundTrips.end());
    return 2 * qint64(m_gapMs) + 2 * roundTrip + 2 * answerSpacingMs();
}

// Quiet for longer than the next answer takes to come.
qint64 WindowQueue::quietAfterDamageMs() const
{
    return m_gapMs + 2 * answerSpacingMs();
}

void WindowQueue::restartNumbering()
{
    m_inStep = true;
    m_nextSeq = 0;
}

void WindowQueue::end()
{
    // A request left unanswered: whether the instrument took it is not known, nor so its numbering.
    if (unanswered() > 0)
        m_inStep = false;
    m_requests.clear();
    m_stream = Stream::None;
    m_answerEnded = false;
    m_laterAnswer.reset();
    m_repeatsInRow = 0;
    m_overdueRepeats = 0;
    m_damageOnWayBack = false;
}

size_t WindowQueue::unanswered() const
{
    return static_cast<size_t>(std::count_if(m_requests.begin(), m_requests.end(),
                                             [](const Request& request) { return !request.answered(); }));
}

size_t WindowQueue::firstUnanswered() const
{
    const auto found = std::find_if(m_requests.begin(), m_requests.end(),
                                    [](const Request& request) { return !request.answered(); });
    return static_cast<size_t>(found - m_requests.begin());
}

void WindowQueue::written(Request& request, qint64 nowMs)
{
    request.sentMs = nowMs;
    request.sendOrder = ++m_sendCount;
    // The line carries what was written in order: a request written behind others (a window's worth
    // sent again after damage) crosses it only after them.
    m_lineFreeMs = qMax(m_lineFreeMs, nowMs) + lineMs(request.wire.size());
    request.arrivesMs = m_lineFreeMs;
}

QByteArray WindowQueue::add(qint32 type, const QByteArray& payload, State state, qint64 nowMs)
{
    Request request;
    request.seq = m_nextSeq;
    request.type = type;
    request.state = state;
    request.wire = encodeFrame(Frame{FrameKind::WindowData, m_nextSeq, type, payload});
    if (request.wire.isEmpty())
        return {};
    request.timesRoundTrip = m_requests.empty();
    written(request, nowMs);
    m_nextSeq = static_cast<quint8>((m_nextSeq + 1) % kWindowSeqModulo);
    m_requests.push_back(request);
    return m_requests.back().wire;
}

bool WindowQueue::claimAhead()
{
    for (Request& request : m_requests) {
        if (request.state == State::Ahead || request.state == State::AheadAnswered) {
            request.state = request.state == State::Ahead ? State::Claimed : State::Answered;
            return true;
        }
    }
    return false;
}

WindowQueue::Request* WindowQueue::claimed()
{
    for (Request& request : m_requests) {
        if (request.state == State::Claimed || request.state == State::Answered)
            return &request;
    }
    return nullptr;
}

void WindowQueue::tell(Request& request)
{
    request.state = State::Told;
}

Frame WindowQueue::take(Request& request)
{
    const Frame answer = request.answer;
    erase(request);
    return answer;
}

void WindowQueue::erase(const Request& request)
{
    const auto at = std::find_if(m_requests.begin(), m_requests.end(),
                                 [&request](const Request& candidate) { return &candidate == &request; });
    if (at != m_requests.end())
        m_requests.erase(at);
}

Frame WindowQueue::takeLaterAnswer()
{
    const Frame answer = m_laterAnswer.value_or(Frame{});
    m_laterAnswer.reset();
    return answer;
}

bool WindowQueue::countRepeat()
{
    return ++m_repeatsInRow <= kMaxRepeats;
}

void WindowQueue::sendAgainFrom(size_t first, qint64 nowMs, Writes& writes)
{
    for (size_t i = first; i < m_requests.size(); ++i) {
        Request& request = m_requests[i];
        if (request.answered())
            continue;
        request.timesRoundTrip = false;
        written(request, nowMs);
        writes.wires.append(request.wire);
    }
}

WindowQueue::Writes WindowQueue::goBack(size_t first, qint64 nowMs)
{
    Writes writes;
    if (!countRepeat()) {
        writes.exhausted = true;
        return writes;
    }
    sendAgainFrom(first, nowMs, writes);
    return writes;
}

WindowQueue::Writes WindowQueue::onAnswer(const Frame& answer, qint64 nowMs)
{
    Writes writes;
    const auto found = std::find_if(m_requests.begin(), m_requests.end(), [&answer](const Request& request) {
        return request.seq == answer.seq && !request.answered();
    });
    if (found == m_requests.end())
        return writes; // a repeated answer, or one to a request given up
    const size_t index = static_cast<size_t>(found - m_requests.begin());
    const bool wasOldest = index == firstUnanswered();
    Request& request = *found;
    // Answers one after the other, while this one was on its way: how fast the line (or the
    // instrument) delivers them.
    if (request.sentMs <= m_lastAnswerMs)
        noteTime(m_spacings, nowMs - m_lastAnswerMs);
    m_lastAnswerMs = nowMs;
    m_damageOnWayBack = false; // what it broke is missed by this answer, or was this answer
    if (request.timesRoundTrip)
        noteTime(m_roundTrips, nowMs - request.sentMs);
    if (wasOldest) {
        m_repeatsInRow = 0;
        m_overdueRepeats = 0;
    }
    if (m_stream == Stream::Answer && answer.tag != kBlockMore)
        m_answerEnded = true; // later requests sent ahead are past the end

    // The instrument answers in the order it takes requests: an older request sent before this one
    // and still without an answer has lost its answer.
    const quint64 order = request.sendOrder;
    for (size_t i = 0; i < index; ++i) {
        Request& older = m_requests[i];
        if (older.answered() || older.sendOrder >= order)
            continue;
        if (!countRepeat()) {
            writes.exhausted = true;
            return writes;
        }
        older.timesRoundTrip = false;
        written(older, nowMs);
        writes.wires.append(older.wire);
    }

    Request& taken = m_requests[index];
    if (taken.state == State::Told) {
        if (!isPlainAcknowledgement(answer) && !m_laterAnswer)
            m_laterAnswer = answer;
        erase(taken);
        return writes;
    }
    taken.state = taken.state == State::Ahead ? State::AheadAnswered : State::Answered;
    taken.answer = answer;
    return writes;
}

WindowQueue::Writes WindowQueue::onNak(const std::optional<quint8>& from, qint64 nowMs)
{
    // A plain Nak (an instrument that took the damaged frame for a plain one) names nothing: the
    // oldest request without an answer goes again, with what follows it.
    size_t first = m_requests.size();
    for (size_t i = 0; i < m_requests.size(); ++i) {
        if (from ? m_requests[i].seq == *from : !m_requests[i].answered()) {
            first = i;
            break;
        }
    }
    if (from && first == m_requests.size() && *from != m_nextSeq) {
        // Names nothing in flight: a Nak for a window given up, or an instrument out of step that
        // will answer nothing of this window. Nak after Nak of these is a line too noisy to go on.
        Writes writes;
        writes.exhausted = !countRepeat();
        return writes;
    }
    // Everything before `first` was taken; an answer still missing there was lost on the way.
    first = std::min(first, firstUnanswered());
    if (first == m_requests.size())
        return {};
    return goBack(first, nowMs);
}

WindowQueue::Writes WindowQueue::onTime(qint64 nowMs, qint64 lastByteMs)
{
    const size_t oldest = firstUnanswered();
    if (oldest == m_requests.size())
        return {};
    if (m_damageOnWayBack && nowMs - lastByteMs >= quietAfterDamageMs()) {
        m_damageOnWayBack = false;
        return goBack(oldest, nowMs);
    }
    const Request& request = m_requests[oldest];
    const qint64 since = qMax(request.arrivesMs, m_lastAnswerMs);
    if (nowMs < since + (repeatAfterMs() << qMin(m_overdueRepeats, kMaxOverdueDoublings)))
        return {};
    // Silence, not damage: bounded by the caller's time-out, not by the count of repeats.
    ++m_overdueRepeats;
    Writes writes;
    sendAgainFrom(oldest, nowMs, writes);
    return writes;
}

qint64 WindowQueue::dueInMs(qint64 nowMs, qint64 lastByteMs) const
{
    const size_t oldest = firstUnanswered();
    if (oldest == m_requests.size())
        return -1;
    const Request& request = m_requests[oldest];
    const qint64 since = qMax(request.arrivesMs, m_lastAnswerMs);
    qint64 due = since + (repeatAfterMs() << qMin(m_overdueRepeats, kMaxOverdueDoublings)) - nowMs;
    if (m_damageOnWayBack)
        due = qMin(due, lastByteMs + quietAfterDamageMs() - nowMs);
    return qMax<qint64>(0, due);
}

} // namespace orvalt::link
