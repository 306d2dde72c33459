// The window's queue alone: no line, no threads, a clock the test moves. What goes again after
// each event decides how many blocks damage costs, and whether a call ends as noise or as silence.

#include "link/WindowQueue.h"

#include "link/BlockKinds.h"
#include "support/TestMain.h"

#include <QTest>

using namespace orvalt;
using namespace orvalt::link;

namespace {

// Runs a script against a queue of `window` agreed requests, on a line of unknown speed (so all
// of them are in use), 20 ms gap:
//   "send"    a file block, told acknowledged at once (as the caller's PexReceiveData does)
//   "ack N"   the answer to request N arrives
//   "nak N"   a window Nak naming N; "nak" a plain Nak
//   "damage"  damaged bytes arrive
//   "wait MS" the clock moves on with the line silent, and what fell due is done
// and tells, per step, the numbers written again ("-" none), "X" once the repeats ran out.
// A file write with this window agreed, the instrument's numbering known.
void startWrite(WindowQueue& queue, int window, qint64 baud, qint64 roundTrip = 0)
{
    queue.configure(window, baud);
    queue.setGapMs(20);
    queue.setAgreed(window);
    if (roundTrip > 0)
        queue.noteRoundTrip(roundTrip);
    queue.restartNumbering();
    queue.open(WindowQueue::Stream::Upload);
}

QStringList run(int window, const QStringList& script)
{
    WindowQueue queue;
    startWrite(queue, window, 0);
    qint64 now = 1000;
    qint64 lastByte = now;
    QStringList told;
    auto tell = [&told, &queue](const WindowQueue::Writes& writes) {
        if (writes.exhausted) {
            told << QStringLiteral("X");
            return;
        }
        QStringList seqs;
        for (const QByteArray& wire : writes.wires) {
            FrameDecoder decoder;
            const auto events = decoder.feed(wire);
            seqs << QString::number(events.isEmpty() ? -1 : events.first().frame.seq);
        }
        told << (seqs.isEmpty() ? QStringLiteral("-") : seqs.join(QLatin1Char(',')));
        Q_UNUSED(queue);
    };
    for (const QString& step : script) {
        const QStringList words = step.split(QLatin1Char(' '));
        const QString verb = words.first();
        const int n = words.size() > 1 ? words.at(1).toInt() : -1;
        if (verb == QLatin1String("send")) {
            if (!queue.hasRoom()) {
                told << QStringLiteral("full");
                continue;
            }
            queue.add(kBlockMore, QByteArray(256, 'd'), WindowQueue::State::Claimed, now);
            queue.tell(*queue.claimed());
            told << QStringLiteral("sent");
        } else if (verb == QLatin1String("ack")) {
            lastByte = now;
            tell(queue.onAnswer(Frame{FrameKind::WindowBlock, static_cast<quint8>(n), kBlockMore, {}}, now));
        } else if (verb == QLatin1String("nak")) {
            lastByte = now;
            tell(queue.onNak(n < 0 ? std::nullopt : std::optional<quint8>(static_cast<quint8>(n)), now));
        } else if (verb == QLatin1String("damage")) {
            lastByte = now;
            queue.onDamage();
            told << QStringLiteral("-");
        } else if (verb == QLatin1String("wait")) {
            now += n;
            tell(queue.onTime(now, lastByte));
        }
    }
    return told;
}

QStringList repeated(const QString& step, int times)
{
    QStringList steps;
    for (int i = 0; i < times; ++i)
        steps << step;
    return steps;
}

} // namespace

class WindowQueueTest : public QObject
{
    Q_OBJECT

private slots:
    void script_data()
    {
        QTest::addColumn<int>("window");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("expected");
        const QStringList eight = repeated(QStringLiteral("send"), 8);
        QTest::newRow("the window's edge: eight in flight, the ninth waits")
            << 8 << eight + QStringList{"send", "ack 0", "send"}
            << repeated("sent", 8) + QStringList{"full", "-", "sent"};
        // The answer to 2 is lost: 3's answer tells, and 2 goes again once; the answers after it
        // came for requests sent before 2 went again, and tell nothing more.
        QTest::newRow("one answer lost in a full window")
            << 8
            << eight + QStringList{"ack 0", "ack 1", "ack 3", "ack 4", "ack 5", "ack 6", "ack 7", "ack 2"}
            << repeated("sent", 8) + QStringList{"-", "-", "2", "-", "-", "-", "-", "-"};
        QTest::newRow("a Nak names where to go on from")
            << 4 << QStringList{"send", "send", "send", "send", "ack 0", "ack 1", "nak 2"}
            << QStringList{"sent", "sent", "sent", "sent", "-", "-", "2,3"};
        QTest::newRow("a Nak past a lost answer goes back to it")
            << 4 << QStringList{"send", "send", "send", "nak 2"}
            << QStringList{"sent", "sent", "sent", "0,1,2"};
        QTest::newRow("a plain Nak: from the oldest unanswered")
            << 4 << QStringList{"send", "send", "send", "ack 0", "nak"}
            << QStringList{"sent", "sent", "sent", "-", "1,2"};
        QTest::newRow("a Nak for a window given up")
            << 4 << QStringList{"send", "ack 0", "nak 9"} << QStringList{"sent", "-", "-"};
        QTest::newRow("damage, then a quiet line: everything unanswered")
            << 4 << QStringList{"send", "send", "ack 0", "damage", "wait 59", "wait 1"}
            << QStringList{"sent", "sent", "-", "-", "-", "1"};
        // Twice the gap and twice the answer spacing (the gap, on a line of unknown speed): 80 ms,
        // then 160 ms from the repeat.
        QTest::newRow("an overdue answer: the wait doubles")
            << 2 << QStringList{"send", "send", "wait 79", "wait 1", "wait 159", "wait 1"}
            << QStringList{"sent", "sent", "-", "0,1", "-", "0,1"};
        QTest::newRow("Nak upon Nak: the ninth repeat fails the exchange")
            << 2 << QStringList{"send"} + repeated("nak 0", 9)
            << QStringList{"sent"} + repeated("0", 8) + QStringList{"X"};
        // An instrument whose numbering is not the program's answers every repeat with a Nak for
        // a number it expects: that is a line too noisy (904), not silence (903).
        QTest::newRow("Naks for nothing in flight: the ninth fails the exchange")
            << 2 << QStringList{"send"} + repeated("nak 9", 9)
            << QStringList{"sent"} + repeated("-", 8) + QStringList{"X"};
        QTest::newRow("an answer to the oldest starts the count again")
            << 2 << QStringList{"send", "send"} + repeated("nak 0", 8) + QStringList{"ack 0", "nak 1"}
            << QStringList{"sent", "sent"} + repeated("0,1", 8) + QStringList{"-", "1"};
        // Silence is no noise: repeats for an overdue answer end with the caller's time-out (903).
        QTest::newRow("overdue repeats never run out") << 2 << QStringList{"send"} + repeated("wait 3000", 12)
                                                       << QStringList{"sent"} + repeated("0", 12);
    }
    void script()
    {
        QFETCH(int, window);
        QFETCH(QStringList, script);
        QFETCH(QStringList, expected);
        QCOMPARE(run(window, script), expected);
    }

    // The window in use covers the round trip measured and one block's line time, within what was
    // agreed: 2 at 115200 baud without delay, 3 with a 16 ms round trip, all 8 at 9600 baud when a
    // block takes longer than that.
    void inUse_data()
    {
        QTest::addColumn<qint64>("baud");
        QTest::addColumn<int>("roundTrip");
        QTest::addColumn<int>("expected");
        QTest::newRow("115200, no delay") << qint64(115200) << 1 << 2;
        QTest::newRow("115200, 16 ms") << qint64(115200) << 16 << 3;
        QTest::newRow("9600, 300 ms") << qint64(9600) << 300 << 3;
        QTest::newRow("speed not known") << qint64(0) << 16 << 8;
    }
    void inUse()
    {
        QFETCH(qint64, baud);
        QFETCH(int, roundTrip);
        QFETCH(int, expected);
        WindowQueue queue;
        queue.configure(8, baud);
        queue.setAgreed(8);
        queue.noteRoundTrip(roundTrip);
        QCOMPARE(queue.inUse(), expected);
    }

    // The window asked for covers the round trip the greeting's commands took, beyond the line
    // time the speed alone asks for, up to the most the protocol has; a line of unknown speed, or
    // no command timed, keeps what the speed asked. The quickest command tells the line: one the
    // instrument was slow to answer (busy, or stopped a moment) says nothing of the network.
    void asked_data()
    {
        QTest::addColumn<int>("wanted");
        QTest::addColumn<qint64>("baud");
        QTest::addColumn<QList<int>>("commandTrips");
        QTest::addColumn<int>("expected");
        QTest::newRow("no command timed") << 3 << qint64(9600) << QList<int>{} << 3;
        QTest::newRow("cable: covered already") << 3 << qint64(9600) << QList<int>{40} << 3;
        QTest::newRow("network: 700 ms") << 3 << qint64(9600) << QList<int>{700, 720} << 5;
        QTest::newRow("network: 3 s, at most 8") << 3 << qint64(9600) << QList<int>{3000} << 8;
        QTest::newRow("cable, one answer slow") << 3 << qint64(9600) << QList<int>{1000, 40} << 3;
        QTest::newRow("speed not known") << 3 << qint64(0) << QList<int>{700} << 3;
        QTest::newRow("never ask") << 1 << qint64(9600) << QList<int>{700} << 1;
    }
    void asked()
    {
        QFETCH(int, wanted);
        QFETCH(qint64, baud);
        QFETCH(QList<int>, commandTrips);
        QFETCH(int, expected);
        WindowQueue queue;
        queue.configure(wanted, baud);
        for (const int trip : commandTrips)
            queue.noteCommandRoundTrip(trip);
        QCOMPARE(queue.asked(), expected);
        // The commands' timing says nothing of the blocks in use.
        queue.setAgreed(expected);
        if (expected > 1 && baud > 0)
            QVERIFY(queue.inUse() <= expected);
    }

    // At 9600 baud a file block takes 271 ms to cross the line. Two short frames answered close
    // together (the "FWT " line and the length) say nothing of how soon a block's answer comes: a
    // block sent behind another is not overdue before both have crossed.
    void blockNotOverdueWhileOnTheLine()
    {
        WindowQueue queue;
        startWrite(queue, 3, 9600, 30);
        qint64 now = 1000;
        queue.add(kBlockMore, "FWT 0,/A.DAT,", WindowQueue::State::Told, now);
        queue.add(kBlockMore, QByteArray(10, 'p'), WindowQueue::State::Told, now);
        queue.onAnswer(Frame{FrameKind::WindowBlock, 0, kBlockMore, {}}, now += 40);
        queue.onAnswer(Frame{FrameKind::WindowBlock, 1, kBlockMore, {}}, now += 15);
        queue.add(kBlockMore, QByteArray(256, 'd'), WindowQueue::State::Told, now);
        queue.add(kBlockMore, QByteArray(256, 'e'), WindowQueue::State::Told, now);
        now += 2 * 271 + 60;
        QCOMPARE(queue.onTime(now, now).wires.size(), 0);
        QVERIFY(queue.repeatAfterMs() >= 2 * 271);
    }

    // Requests sent again go on the line behind what was written before them: at 9600 baud the
    // repeat of three blocks after a Nak crosses only once the three first sent have. Taking its
    // answer for overdue before would send the window a third time into a line still full.
    void repeatsWaitBehindWhatWasWritten()
    {
        WindowQueue queue;
        startWrite(queue, 3, 9600, 30);
        for (int i = 0; i < 3; ++i)
            queue.add(kBlockMore, QByteArray(256, 'd'), WindowQueue::State::Told, 1000);
        QCOMPARE(queue.onNak(0, 1300).wires.size(), 3);
        QCOMPARE(queue.onTime(2500, 2500).wires.size(), 0);
        QCOMPARE(queue.onTime(2900, 2900).wires.size(), 3);
    }

    // A read's requests sent ahead: the caller's calls take them oldest first, and an answer that
    // came before its call is handed at once.
    void readAhead()
    {
        WindowQueue queue;
        queue.configure(3, 0);
        queue.setAgreed(3);
        queue.restartNumbering();
        queue.open(WindowQueue::Stream::Answer);
        queue.add(kBlockCommand, "FRD? A", WindowQueue::State::Claimed, 0);
        while (queue.wantsAhead())
            queue.add(kBlockNext, {}, WindowQueue::State::Ahead, 0);
        QCOMPARE(queue.size(), size_t(3));
        for (quint8 seq = 0; seq < 2; ++seq)
            QVERIFY(queue
                        .onAnswer(
                            Frame{FrameKind::WindowBlock, seq, kBlockMore, QByteArray(1, char('a' + seq))}, 1)
                        .wires.isEmpty());
        QCOMPARE(queue.take(*queue.claimed()).payload, QByteArray("a"));
        QVERIFY(!queue.claimed());
        QVERIFY(queue.claimAhead());
        QVERIFY(queue.claimed()->answered()); // its answer came before the call
        QCOMPARE(queue.take(*queue.claimed()).payload, QByteArray("b"));
        QVERIFY(queue.claimAhead());
        QVERIFY(!queue.claimed()->answered());
        queue.onAnswer(Frame{FrameKind::WindowBlock, 2, kBlockLast, "end"}, 2);
        QVERIFY(!queue.answerGoesOn()); // what was sent ahead past the end is never asked for
        QVERIFY(!queue.wantsAhead());
        QCOMPARE(queue.take(*queue.claimed()).tag, kBlockLast);
        QVERIFY(!queue.claimAhead());
    }
};

ORVALT_TEST(WindowQueueTest);
#include "WindowQueueTest.moc"
