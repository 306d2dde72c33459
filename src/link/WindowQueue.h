#pragma once

#include "link/FrameCodec.h"

#include <QByteArray>
#include <QList>
#include <deque>
#include <optional>

// The window's requests in flight (docs/link-protocol.md, "The window"): their numbering, the state
// each is in, and what goes again when. Pure logic: it is told what the caller sent and what came
// back, with the time on the caller's clock, and says what to write. PexLink reads, writes and
// waits (PexLinkWindow.cpp).
//
// The program is the only end that decides when something is sent again; the instrument takes
// window requests strictly in the order of their numbers and answers each, in that order. So:
// - a window Nak naming request n says that everything before n was taken: what is still in
//   flight from n on goes again, in order (the instrument dropped it);
// - an answer that arrives while an older request, sent before it, still has none means that
//   older answer was lost: that request goes again, and the instrument, which has it behind its
//   numbering, answers it from memory without carrying it out again;
// - damage on the way back followed by a quiet line (an answer lost with nothing after it that
//   would tell) sends everything still unanswered again;
// - an answer that does not come within the repeat time (a lost Nak, a repeat damaged again, the
//   line gone) does the same, the wait doubling each time; the caller's time-out bounds these.
// Repeats after a Nak, a lost answer or damage, with no answer to the oldest request between them,
// are counted: more than kMaxRepeats in a row and the exchange has failed.

namespace orvalt::link {

class WindowQueue
{
public:
    static constexpr int kMaxRepeats = 8;

    enum class Stream
    {
        None,
        Upload, // file blocks (types 0 and 1)
        Answer, // an answer in blocks: "next block" requests (type 4) sent ahead
    };

    // The state of a request in flight. A file block is Claimed when written, then Told (the
    // caller's PexReceiveData came first: it was told acknowledged) or Answered (its answer came
    // first); a Told block leaves the queue when its answer comes, an Answered one when the caller
    // takes the answer. A read's "next block" request sent ahead is Ahead until a call of the
    // caller's stands for it (Claimed), and AheadAnswered if its answer comes first.
    enum class State
    {
        Ahead,
        AheadAnswered,
        Claimed,
        Answered,
        Told,
    };

    struct Request
    {
        quint8 seq = 0;
        qint32 type = 0;
        QByteArray wire;
        State state = State::Claimed;
        Frame answer;                // in the answered states
        qint64 sentMs = 0;           // when last written
        qint64 arrivesMs = 0;        // when it will have crossed the line, behind what went before it
        quint64 sendOrder = 0;       // when last written, counted in writes
        bool timesRoundTrip = false; // written once, while nothing else was in flight

        bool answered() const { return state == State::AheadAnswered || state == State::Answered; }
    };

    // What to write after an event, in this order; exhausted: the repeats ran out (the call fails).
    struct Writes
    {
        QList<QByteArray> wires;
        bool exhausted = false;
    };

    // The requests to ask the instrument for, and the line's speed (0: not known).
    void configure(int wanted, qint64 baud);
    int wanted() const { return m_wanted; }
    void setGapMs(int ms) { m_gapMs = ms; }
    // What the instrument agreed to (0: one request at a time); -1 before it was asked.
    void setAgreed(int agreed) { m_agreed = agreed; }
    int agreed() const { return m_agreed; }
    // Forgets what was agreed and where the numbering stands (after any failure of the link).
    void forget();
    void noteRoundTrip(qint64 ms);
    // The round trip of a command and its reply (the greeting's), which asked() covers.
    void noteCommandRoundTrip(qint64 ms);
    void clearTimings();
    // The window to ask the instrument for: what configure() was told, widened to cover the
    // quickest command's round trip (a line behind a network), at most kMaxWindow.
    int asked() const;
    // Requests in flight at most now: what was agreed, narrowed to what the measured round trip
    // needs, so that a repeat after damage costs few blocks.
    int inUse() const;

    // The instrument starts numbering window requests from 0 after every plain request it answered;
    // after a raw line, or a window request left unanswered, where it stands is not known.
    void restartNumbering();
    void loseStep() { m_inStep = false; }
    // A window request can be numbered: the instrument's numbering is known, or requests are in
    // flight to go on from.
    bool canNumber() const { return m_inStep || !m_requests.empty(); }

    void open(Stream stream) { m_stream = stream; }
    Stream stream() const { return m_stream; }
    // Ends the stream in hand, whatever is in flight.
    void end();
    // The answer in blocks goes on: more "next block" requests may be sent ahead.
    bool answerGoesOn() const { return m_stream == Stream::Answer && !m_answerEnded; }
    void markAnswerEnded() { m_answerEnded = true; }
    bool hasRoom() const { return m_requests.size() < static_cast<size_t>(inUse()); }
    bool wantsAhead() const { return answerGoesOn() && hasRoom(); }
    bool empty() const { return m_requests.empty(); }
    size_t size() const { return m_requests.size(); }
    size_t unanswered() const;
    bool allAnswered() const { return unanswered() == 0; }

    // Numbers and frames a new request, which is written now; its wire, empty when it cannot be
    // framed.
    QByteArray add(qint32 type, const QByteArray& payload, State state, qint64 nowMs);
    // The oldest request sent ahead becomes the caller's; false when none is.
    bool claimAhead();
    // The request the caller's call in hand stands for, if any.
    Request* claimed();
    // The caller was told its file block was acknowledged before the answer came.
    void tell(Request& request);
    // The caller takes the answer of its request (or gives up on it), which leaves the queue.
    Frame take(Request& request);

    // An answer to a block told acknowledged that said otherwise (a refusal): the file has failed.
    bool hasLaterAnswer() const { return m_laterAnswer.has_value(); }
    Frame takeLaterAnswer();

    Writes onAnswer(const Frame& answer, qint64 nowMs);
    // A window Nak naming the request to send again from, or a plain Nak (nullopt) naming none.
    Writes onNak(const std::optional<quint8>& from, qint64 nowMs);
    void onDamage() { m_damageOnWayBack = true; }
    // What falls due by now: the repeats of a quiet line after damage and of an overdue answer.
    Writes onTime(qint64 nowMs, qint64 lastByteMs);
    // How long until onTime has something to do; -1 when nothing is waited for.
    qint64 dueInMs(qint64 nowMs, qint64 lastByteMs) const;
    // The time an answer may take before the request goes again (without doublings).
    qint64 repeatAfterMs() const;

    const std::deque<Request>& requests() const { return m_requests; }

private:
    qint64 lineMs(qint64 bytes) const;
    qint64 framesCovering(qint64 roundTrip) const;
    qint64 answerSpacingMs() const;
    qint64 quietAfterDamageMs() const;
    size_t firstUnanswered() const;
    bool countRepeat();
    void sendAgainFrom(size_t first, qint64 nowMs, Writes& writes);
    Writes goBack(size_t first, qint64 nowMs);
    void written(Request& request, qint64 nowMs);
    void erase(const Request& request);
    static void noteTime(std::deque<qint64>& samples, qint64 ms);

    int m_wanted = 1;
    int m_agreed = -1;
    qint64 m_baud = 0;
    int m_gapMs = kDefaultGapMs;
    bool m_inStep = false; // the instrument expects m_nextSeq as the next window request
    quint8 m_nextSeq = 0;
    Stream m_stream = Stream::None;
    bool m_answerEnded = false; // the answer in blocks has had its last block (or a refusal)
    std::deque<Request> m_requests;
    quint64 m_sendCount = 0;
    std::optional<Frame> m_laterAnswer;
    std::deque<qint64> m_roundTrips;   // from a request sent alone to its answer, the last few, in ms
    std::deque<qint64> m_spacings;     // between answers that came one after the other
    std::deque<qint64> m_commandTrips; // from a command sent to its reply, when it was not repeated
    int m_repeatsInRow = 0;            // repeats without an answer to the oldest between
    int m_overdueRepeats = 0;          // repeats for an answer overdue, without an answer between
    qint64 m_lastAnswerMs = 0;
    qint64 m_lineFreeMs = 0;        // when what was written so far will have crossed the line
    bool m_damageOnWayBack = false; // since then, no answer that would tell what was lost
};

} // namespace orvalt::link
