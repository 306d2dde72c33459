// The instrument's end of the link, driven frame by frame.

#include "LinkHarness.h"
#include "support/TestMain.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTest>

using namespace orvalt::link;
using namespace orvalt::test;

namespace {

Frame request(FrameKind kind, quint8 seq, qint32 tag, const QByteArray& payload)
{
    Frame f;
    f.kind = kind;
    f.seq = seq;
    f.tag = tag;
    f.payload = payload;
    return f;
}

// Reads frames from the instrument until `count` arrived or waitMs passed.
QList<Frame> answers(PipeTransport& end, int count, int waitMs = 1000)
{
    FrameDecoder decoder;
    QList<Frame> frames;
    const QDeadlineTimer deadline(waitMs);
    while (frames.size() < count && !deadline.hasExpired()) {
        for (const auto& event : decoder.feed(end.read(50))) {
            if (event.type == FrameDecoder::Event::Type::Frame)
                frames.append(event.frame);
        }
    }
    return frames;
}

// A script of requests for the window rules: "W<seq>:<type>:<payload>" a window request,
// "P<seq>:<type>:<payload>" a plain block, "C:<text>" a command, "L:<text>" a raw line; "w" and "p"
// for a window request or plain block whose start marker arrives with bit 5 flipped ("&" for a
// window request), as line noise makes it. A payload "ROWS" stands for two rows of a measurement
// file, which read like raw lines.
QList<QByteArray> scriptFrames(const QStringList& script)
{
    QList<QByteArray> wires;
    for (const QString& step : script) {
        const QStringList parts = step.mid(1).split(QLatin1Char(':'));
        if (step.startsWith(QLatin1Char('C'))) {
            wires << encodeFrame(request(FrameKind::Command, 0, 0, parts.at(1).toLatin1()));
            continue;
        }
        if (step.startsWith(QLatin1Char('L'))) {
            wires << parts.at(1).toLatin1() + '\n';
            continue;
        }
        const QChar how = step.at(0);
        const FrameKind kind = how.toUpper() == QLatin1Char('W') ? FrameKind::WindowData : FrameKind::Data;
        const QByteArray payload = parts.at(2) == QLatin1String("ROWS")
                                       ? QByteArray("2026/11/03,10:00:00.00,0.5012,21.5\r\n"
                                                    "2026/11/03,10:00:00.10,0.5013,21.5\r\n")
                                       : parts.at(2).toLatin1();
        QByteArray wire = encodeFrame(
            request(kind, static_cast<quint8>(parts.at(0).toInt()), parts.at(1).toInt(), payload));
        if (how.isLower())
            wire[0] = static_cast<char>(wire.at(0) ^ 0x20);
        wires << wire;
    }
    return wires;
}

// What came back, one word per frame: "A<seq>:<tag>" a window answer, "N<seq>" a window Nak,
// "B:<tag>" a plain block, "R:<code>:<text>" a reply, "n" a plain Nak.
QStringList describe(const QList<Frame>& frames)
{
    QStringList words;
    for (const Frame& f : frames) {
        switch (f.kind) {
        case FrameKind::WindowBlock:
            words << QStringLiteral("A%1:%2").arg(f.seq).arg(f.tag);
            break;
        case FrameKind::WindowNak:
            words << QStringLiteral("N%1").arg(f.seq);
            break;
        case FrameKind::Block:
            words << QStringLiteral("B:%1").arg(f.tag);
            break;
        case FrameKind::Reply:
            words << QStringLiteral("R:%1:%2").arg(f.tag).arg(QString::fromLatin1(f.payload));
            break;
        case FrameKind::Nak:
            words << QStringLiteral("n");
            break;
        default:
            words << QStringLiteral("?");
        }
    }
    return words;
}

} // namespace

class LinkServerTest : public QObject
{
    Q_OBJECT

private slots:
    void repeatedRequestAnsweredFromMemory()
    {
        LinkHarness h;
        h.start();
        const QByteArray wire = encodeFrame(request(FrameKind::Data, 2, 0, "BLOCK"));
        h.hostEnd->write(wire);
        h.hostEnd->write(wire);
        const QList<Frame> got = answers(*h.hostEnd, 2);
        QCOMPARE(got.size(), 2);
        QCOMPARE(got.at(0), got.at(1));
        QCOMPARE(got.at(0).seq, quint8(2));
        QCOMPARE(h.handler.requests().size(), 1);
        QCOMPARE(h.server->duplicatesAnswered(), quint64(1));

        // Same number, other contents: a new request (the program started a new session).
        h.hostEnd->write(encodeFrame(request(FrameKind::Data, 2, 0, "OTHER")));
        QCOMPARE(answers(*h.hostEnd, 1).size(), 1);
        QCOMPARE(h.handler.requests().size(), 2);
    }

    void rawLineEndsTheMemory()
    {
        LinkHarness h;
        h.start();
        const QByteArray wire = encodeFrame(request(FrameKind::Command, 1, 0, "STS?"));
        h.hostEnd->write(wire);
        QCOMPARE(answers(*h.hostEnd, 1).size(), 1);
        QTest::qWait(3 * kDefaultGapMs); // a raw line follows a quiet line
        h.hostEnd->write("UTILITY FILECOPY,ON\n");
        h.hostEnd->write(wire);
        QCOMPARE(answers(*h.hostEnd, 1).size(), 1);
        QCOMPARE(h.handler.requests().size(), 2);
        QCOMPARE(h.handler.lines(), QList<QByteArray>{"UTILITY FILECOPY,ON"});
    }

    void damageIsAnswered_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray badCheck = encodeFrame(request(FrameKind::Command, 0, 0, "STS?"));
        badCheck[badCheck.size() - 1] = static_cast<char>(badCheck.back() ^ 0x01);
        QTest::newRow("bad check") << badCheck;
        QTest::newRow("cut short")
            << encodeFrame(request(FrameKind::Data, 0, 0, QByteArray(256, 'x'))).left(100);
        QTest::newRow("noise") << QByteArray::fromHex("8081ff00");
        QTest::newRow("marker lost") << encodeFrame(request(FrameKind::Command, 0, 0, "STS?")).mid(1);
    }
    void damageIsAnswered()
    {
        QFETCH(QByteArray, bytes);
        LinkHarness h;
        h.start();
        h.hostEnd->write(bytes);
        const QList<Frame> got = answers(*h.hostEnd, 1);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got.first().kind, FrameKind::Nak);
        QCOMPARE(h.server->naksSent(), quint64(1));
        QVERIFY(h.handler.requests().isEmpty());
    }

    void noiseBeforeARequestIsNotNaked()
    {
        LinkHarness h;
        h.start();
        h.hostEnd->write(QByteArray::fromHex("ff00") +
                         encodeFrame(request(FrameKind::Command, 3, 0, "STS?")));
        const QList<Frame> got = answers(*h.hostEnd, 2);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got.first().kind, FrameKind::Reply);
        QCOMPARE(h.server->naksSent(), quint64(0));
    }

    // A handler's answer that cannot go on the wire, or of the wrong kind, reaches the program as a
    // refusal, never as a malformed frame.
    void unsendableAnswers_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("answerKind");
        QTest::addColumn<qint32>("code");
        QTest::addColumn<int>("size");
        QTest::addColumn<qint32>("tag");
        QTest::addColumn<int>("sentSize");
        QTest::newRow("block too long")
            << int(FrameKind::Data) << int(Answer::Kind::Block) << 0 << kMaxPayload + 1 << 9 << 0;
        QTest::newRow("block type 300")
            << int(FrameKind::Data) << int(Answer::Kind::Block) << 300 << 1 << 9 << 0;
        QTest::newRow("reply to a block")
            << int(FrameKind::Data) << int(Answer::Kind::Reply) << 0 << 3 << 9 << 0;
        QTest::newRow("block to a command")
            << int(FrameKind::Command) << int(Answer::Kind::Block) << 7 << 3 << 9 << 0;
        QTest::newRow("reply too long")
            << int(FrameKind::Command) << int(Answer::Kind::Reply) << 0 << 400 << 0 << 255;
    }
    void unsendableAnswers()
    {
        QFETCH(int, kind);
        QFETCH(int, answerKind);
        QFETCH(qint32, code);
        QFETCH(int, size);
        QFETCH(qint32, tag);
        QFETCH(int, sentSize);
        LinkHarness h;
        h.handler.respond = [=](const Request&) {
            Answer a;
            a.kind = static_cast<Answer::Kind>(answerKind);
            a.code = code;
            a.payload = QByteArray(size, 'a');
            return a;
        };
        h.start();
        h.hostEnd->write(encodeFrame(request(static_cast<FrameKind>(kind), 1, 0, "X")));
        const QList<Frame> got = answers(*h.hostEnd, 1);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got.first().kind, kind == int(FrameKind::Data) ? FrameKind::Block : FrameKind::Reply);
        QCOMPARE(got.first().tag, tag);
        QCOMPARE(got.first().payload.size(), sentSize);
    }

    // The window's rules at the instrument's end, request by request. The handler answers a type 3
    // request as a whole answer (type 7), refuses a block "BAD", and acknowledges everything else.
    void windowRules_data()
    {
        QTest::addColumn<int>("window");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("carriedOut");
        QTest::newRow("agreed: the smaller of the two")
            << 2 << QStringList{"C:WINDOW? 3"} << QStringList{"R:0:WINDOW:2"} << 0;
        QTest::newRow("from behind, at the window's edge: from memory, not again")
            << 2 << QStringList{"W0:0:a", "W1:0:b", "W0:0:a"} << QStringList{"A0:0", "A1:0", "A0:0"} << 2;
        QTest::newRow("from behind, other contents: nothing")
            << 2 << QStringList{"W0:0:a", "W1:0:b", "W0:0:x", "W2:0:c"} << QStringList{"A0:0", "A1:0", "A2:0"}
            << 3;
        QTest::newRow("from ahead: dropped, one Nak for the loss")
            << 8 << QStringList{"W0:0:a", "W2:0:c", "W3:0:d", "W1:0:b", "W2:0:c"}
            << QStringList{"A0:0", "N1", "A1:0", "A2:0"} << 3;
        QTest::newRow("from ahead, at the window's edge")
            << 2 << QStringList{"W0:0:a", "W1:0:b", "W15:0:z"} << QStringList{"A0:0", "A1:0", "N2"} << 2;
        QTest::newRow("after a refused block the rest of the file is refused")
            << 8 << QStringList{"W0:0:FWT", "W1:0:BAD", "W2:0:c", "W3:1:d"}
            << QStringList{"A0:0", "A1:9", "A2:9", "A3:9"} << 2;
        QTest::newRow("next-block requests past the end are refused")
            << 8 << QStringList{"W0:3:DIR?", "W1:4:", "W2:4:"} << QStringList{"A0:7", "A1:9", "A2:9"} << 1;
        QTest::newRow("a command starts the numbering again")
            << 8 << QStringList{"W0:0:a", "W1:0:b", "C:STS?", "W0:0:a"}
            << QStringList{"A0:0", "A1:0", "R:0:OK STS?", "A0:0"} << 4;
        // A file block whose marker lost to noise, inside a write: its rows are noise, never raw
        // lines that would start the numbering again. The block is asked for again, once.
        QTest::newRow("a flipped marker inside a window write")
            << 8 << QStringList{"W0:0:FWT",  "W1:0:ROWS", "W2:0:ROWS", "W3:0:ROWS",
                                "W4:0:ROWS", "w5:0:ROWS", "W5:0:ROWS", "W6:1:ROWS"}
            << QStringList{"A0:0", "A1:0", "A2:0", "A3:0", "A4:0", "N5", "A5:0", "A6:0"} << 7;
        QTest::newRow("a flipped marker inside a plain write")
            << 0 << QStringList{"P1:0:FWT", "P2:0:ROWS", "p3:0:ROWS", "P3:0:ROWS", "P0:1:ROWS"}
            << QStringList{"B:0", "B:0", "n", "B:0", "B:0"} << 4;
        // Between exchanges, a raw line is what it says.
        QTest::newRow("a raw line between exchanges")
            << 8 << QStringList{"W0:1:last", "L:UTILITY FILECOPY,ON", "W0:0:a"} << QStringList{"A0:0", "A0:0"}
            << 2;
        QTest::newRow("instrument of today: no window")
            << 0 << QStringList{"C:WINDOW? 3", "W0:0:a", "P1:0:a"} << QStringList{"R:20:20", "n", "B:0"} << 1;
    }
    void windowRules()
    {
        QFETCH(int, window);
        QFETCH(QStringList, script);
        QFETCH(QStringList, expected);
        QFETCH(int, carriedOut);
        LinkHarness h;
        h.server->setWindow(window);
        h.handler.respond = [](const Request& r) {
            Answer a;
            a.kind = r.kind == Request::Kind::Command ? Answer::Kind::Reply : Answer::Kind::Block;
            if (r.kind == Request::Kind::Command)
                a.payload = "OK " + r.payload;
            else if (r.blockType == 3)
                a.code = 7;
            else if (r.payload == "BAD")
                a.code = 9;
            return a;
        };
        h.start();
        QList<Frame> got;
        // One request at a time, each after the answer to the one before (or a moment's quiet for
        // one that gets none), so the order of the answers is the order of the script.
        const QList<QByteArray> wires = scriptFrames(script);
        for (qsizetype i = 0; i < wires.size(); ++i) {
            // A raw line comes after a quiet line, as the program sends one.
            if (script.at(i).startsWith(QLatin1Char('L')))
                QTest::qWait(3 * kDefaultGapMs);
            const QByteArray& wire = wires.at(i);
            h.hostEnd->write(wire);
            got += answers(*h.hostEnd, 1, 200);
        }
        QCOMPARE(describe(got), expected);
        QCOMPARE(h.handler.requests().size(), carriedOut);
        QCOMPARE(h.handler.lines().size(), script.filter(QRegularExpression(QStringLiteral("^L:"))).size());
    }

    void stopsWhenAskedAndWhenTheLineFails()
    {
        LinkHarness h;
        h.start();
        h.stopServer(); // returns: stop is looked at while the line is idle
        QVERIFY(!h.thread.joinable());

        LinkHarness gone;
        gone.start();
        gone.hostEnd->close();
        gone.thread.join(); // returns without stop: the transport failed
    }
};

ORVALT_TEST(LinkServerTest);
#include "LinkServerTest.moc"
