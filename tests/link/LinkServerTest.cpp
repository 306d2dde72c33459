// The instrument's end of the link, driven frame by frame.

#include "LinkHarness.h"
#include "support/TestMain.h"

#include <QDeadlineTimer>
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

// Reads frames from the instrument until `count` arrived or a second passed.
QList<Frame> answers(PipeTransport& end, int count)
{
    FrameDecoder decoder;
    QList<Frame> frames;
    const QDeadlineTimer deadline(1000);
    while (frames.size() < count && !deadline.hasExpired()) {
        for (const auto& event : decoder.feed(end.read(50))) {
            if (event.type == FrameDecoder::Event::Type::Frame)
                frames.append(event.frame);
        }
    }
    return frames;
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
