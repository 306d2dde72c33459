#include "LinkHarness.h"
#include "support/TestMain.h"

#include <QElapsedTimer>
#include <QTest>
#include <chrono>
#include <thread>

using namespace orvalt::link;
using orvalt::test::LinkHarness;
using namespace orvalt::test;

namespace {

// File data full of what looks like short frames (a Reply marker, the control byte of an empty one,
// two bytes that are not its check): a reader that starts inside it runs into one within 4 bytes.
// The last byte tells the blocks apart.
QByteArray falseFrames(int salt)
{
    QByteArray bytes = QByteArray("\x03\x90\x00\x00", 4).repeated(64);
    bytes[255] = static_cast<char>(salt);
    return bytes;
}

QByteArray pattern(int size, int salt = 0)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 13 + salt) & 0xFF);
    return bytes;
}

qint32 sendCommand(PexLink& link, const QByteArray& command, QByteArray& reply)
{
    reply = QByteArray(255, ' ');
    return link.PexSendCommand(command, reply);
}

// Sends one block and reads its answer into a buffer with guard bytes behind it.
struct BlockResult
{
    qint32 sendResult = -1;
    qint32 receiveResult = -1;
    qint32 type = -1;
    qint32 length = -1;
    QByteArray data;
    bool guardIntact = true;
};

BlockResult exchangeBlock(PexLink& link, qint32 type, const QByteArray& block, int bufferSize)
{
    BlockResult r;
    qint32 length = static_cast<qint32>(block.size());
    r.sendResult = link.PexSendData(type, length, block.constData());
    if (r.sendResult != 0)
        return r;
    QByteArray buffer(bufferSize + 16, '\xAA');
    r.receiveResult = link.PexReceiveData(r.type, r.length, buffer.data(), bufferSize);
    r.guardIntact = buffer.mid(bufferSize) == QByteArray(16, '\xAA');
    if (r.receiveResult == 0)
        r.data = buffer.left(r.length);
    return r;
}

} // namespace

class PexLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void commandReplyFillsBuffer()
    {
        LinkHarness h;
        h.start();
        QByteArray reply;
        QCOMPARE(sendCommand(h.link, "STS?", reply), 0);
        QCOMPARE(reply.size(), 255);
        QCOMPARE(reply.left(7), QByteArray("OK STS?"));
        QCOMPARE(reply.mid(7), QByteArray(248, ' '));
        QCOMPARE(h.handler.requests().size(), 1);
        QCOMPARE(h.handler.requests().first().payload, QByteArray("STS?"));
    }

    void resultCodesPassThrough_data()
    {
        QTest::addColumn<qint32>("code");
        for (qint32 code : {0, 20, 60, 160, 7, -3})
            QTest::addRow("%d", code) << code;
    }
    void resultCodesPassThrough()
    {
        QFETCH(qint32, code);
        LinkHarness h;
        h.handler.respond = [code](const Request&) {
            Answer a;
            a.code = code;
            return a;
        };
        h.start();
        QByteArray reply;
        QCOMPARE(sendCommand(h.link, "CPY 0,/A,1,/B", reply), code);
        QCOMPARE(reply, QByteArray(255, ' ')); // no reply text: the buffer keeps its spaces
    }

    void replyNeverOverrunsBuffer_data()
    {
        QTest::addColumn<int>("replySize");
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<int>("written");
        QTest::newRow("254 into 255") << 254 << 255 << 254;
        QTest::newRow("255 into 255") << 255 << 255 << 255;
        QTest::newRow("400 into 255") << 400 << 255 << 255;
        QTest::newRow("200 into 128") << 200 << 128 << 128;
        QTest::newRow("300 into 300") << 300 << 300 << 255;
    }
    void replyNeverOverrunsBuffer()
    {
        QFETCH(int, replySize);
        QFETCH(int, bufferSize);
        QFETCH(int, written);
        LinkHarness h;
        h.handler.respond = [replySize](const Request&) {
            Answer a;
            a.payload = QByteArray(replySize, 'R');
            return a;
        };
        h.start();
        QByteArray reply(bufferSize, ' ');
        QCOMPARE(h.link.PexSendCommand("PRODUCT?", reply), 0);
        QCOMPARE(reply.size(), bufferSize);
        QCOMPARE(reply.count('R'), written);
        QCOMPARE(reply.left(written), QByteArray(written, 'R'));
    }

    void blockSizesToInstrument_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {0, 1, 255, 256, 257, 301})
            QTest::addRow("%d", size) << size;
    }
    void blockSizesToInstrument()
    {
        QFETCH(int, size);
        LinkHarness h;
        h.start();
        const BlockResult r = exchangeBlock(h.link, 1, pattern(size), 256);
        QCOMPARE(r.sendResult, 0);
        QCOMPARE(r.receiveResult, 0);
        QCOMPARE(r.type, 0);
        QCOMPARE(r.length, 0);
        const auto requests = h.handler.requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().kind, Request::Kind::Data);
        QCOMPARE(requests.first().blockType, 1);
        QCOMPARE(requests.first().payload, pattern(size));
    }

    // The caller's buffer is never written past its size: a longer block is refused whole.
    void blockSizesFromInstrument_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<qint32>("result");
        for (int size : {0, 1, 255, 256, 257, 301}) {
            QTest::addRow("%d into 301", size) << size << 301 << qint32(0);
            QTest::addRow("%d into 256", size) << size << 256 << (size > 256 ? PexResult::BufferTooSmall : 0);
        }
        QTest::addRow("1 into 0") << 1 << 0 << PexResult::BufferTooSmall;
    }
    void blockSizesFromInstrument()
    {
        QFETCH(int, size);
        QFETCH(int, bufferSize);
        QFETCH(qint32, result);
        LinkHarness h;
        h.handler.respond = [size](const Request&) {
            Answer a;
            a.kind = Answer::Kind::Block;
            a.code = 7;
            a.payload = pattern(size, 5);
            return a;
        };
        h.start();
        const BlockResult r = exchangeBlock(h.link, 3, "FRD? A.DAT", bufferSize);
        QCOMPARE(r.receiveResult, result);
        QVERIFY(r.guardIntact);
        if (result == 0) {
            QCOMPARE(r.type, 7);
            QCOMPARE(r.data, pattern(size, 5));
        } else {
            QCOMPARE(r.type, 9);
            QCOMPARE(r.length, size);
            QVERIFY(!h.link.errorString().isEmpty());
        }
    }

    // One damaged byte in a request, anywhere in its frame: the right data arrive, once.
    void damagedRequest_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("lost");
        const int size = kFullBlockFrame;
        for (int offset : {0, 1, 2, 3, 4, 100, size - 2, size - 1}) {
            QTest::addRow("flip %d", offset) << offset << false;
            QTest::addRow("lose %d", offset) << offset << true;
        }
    }
    void damagedRequest()
    {
        QFETCH(int, offset);
        QFETCH(bool, lost);
        LinkHarness h;
        if (lost)
            h.hostEnd->dropByteAt(offset);
        else
            h.hostEnd->flipByteAt(offset, 0x10);
        h.start();
        const BlockResult r = exchangeBlock(h.link, 0, pattern(256), 256);
        QCOMPARE(r.receiveResult, 0);
        const auto requests = h.handler.requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().payload, pattern(256));
        QVERIFY(h.link.retransmissions() >= 1);
        QVERIFY(h.server->naksSent() >= 1);
    }

    // One damaged byte in an answer: the request goes again, the instrument answers from its cache.
    void damagedAnswer_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("lost");
        const int size = kFullBlockFrame;
        for (int offset : {0, 1, 2, 3, 100, size - 2, size - 1}) {
            QTest::addRow("flip %d", offset) << offset << false;
            QTest::addRow("lose %d", offset) << offset << true;
        }
    }
    void damagedAnswer()
    {
        QFETCH(int, offset);
        QFETCH(bool, lost);
        LinkHarness h;
        h.handler.respond = [](const Request&) {
            Answer a;
            a.kind = Answer::Kind::Block;
            a.payload = pattern(256, 9);
            return a;
        };
        if (lost)
            h.instrumentEnd->dropByteAt(offset);
        else
            h.instrumentEnd->flipByteAt(offset, 0x04);
        h.start();
        const BlockResult r = exchangeBlock(h.link, 4, {}, 256);
        QCOMPARE(r.receiveResult, 0);
        QCOMPARE(r.data, pattern(256, 9));
        QCOMPARE(h.handler.requests().size(), 1);
        QCOMPARE(h.server->duplicatesAnswered(), quint64(1));
    }

    void lostFrames_data()
    {
        QTest::addColumn<bool>("requestLost");
        QTest::newRow("request") << true;
        QTest::newRow("answer") << false;
    }
    void lostFrames()
    {
        QFETCH(bool, requestLost);
        LinkHarness h;
        h.link.PexSetTimeOut(1000);
        if (requestLost)
            h.hostEnd->dropWriteAt(0);
        else
            h.instrumentEnd->dropWriteAt(0);
        h.start();
        QByteArray reply;
        QCOMPARE(sendCommand(h.link, "MKDR /NEW", reply), 0);
        QCOMPARE(reply.left(12), QByteArray("OK MKDR /NEW"));
        QCOMPARE(h.handler.requests().size(), 1);
        QCOMPARE(h.link.retransmissions(), quint64(1));
    }

    void lostTwiceWithOneRetryFails()
    {
        LinkHarness h;
        h.link.PexSetTimeOut(600);
        const int size = 4 + kCommandOverhead;
        h.hostEnd->dropWriteAt(0);
        h.hostEnd->dropWriteAt(size);
        h.start();
        QByteArray reply;
        QCOMPARE(sendCommand(h.link, "STS?", reply), PexResult::TimeOut);
        QVERIFY(h.handler.requests().isEmpty());
        QVERIFY(!h.link.errorString().isEmpty());
        // The link is usable again afterwards.
        QCOMPARE(sendCommand(h.link, "STS?", reply), 0);
        QCOMPARE(h.handler.requests().size(), 1);
    }

    // Quick repeats up to the limit get the answer; one damaged exchange more fails the call.
    void quickRepeatLimit_data()
    {
        QTest::addColumn<bool>("answers");
        QTest::addColumn<int>("damaged");
        QTest::addColumn<qint32>("result");
        const int limit = PexLink::kMaxQuickRepeats;
        QTest::addRow("answers damaged %d times", limit) << true << limit << qint32(0);
        QTest::addRow("answers damaged %d times", limit + 1)
            << true << limit + 1 << PexResult::RetriesExhausted;
        QTest::addRow("requests damaged %d times", limit) << false << limit << qint32(0);
        QTest::addRow("requests damaged %d times", limit + 1)
            << false << limit + 1 << PexResult::RetriesExhausted;
    }
    void quickRepeatLimit()
    {
        QFETCH(bool, answers);
        QFETCH(int, damaged);
        QFETCH(qint32, result);
        LinkHarness h;
        // "STS?" goes in 9 bytes, its answer "OK STS?" in 12; one byte of the text flipped each time.
        const int size = (answers ? 7 : 4) + kCommandOverhead;
        for (int i = 0; i < damaged; ++i)
            (answers ? h.instrumentEnd : h.hostEnd)->flipByteAt(i * size + 5, 0x01);
        h.start();
        QByteArray reply;
        QCOMPARE(sendCommand(h.link, "STS?", reply), result);
        if (result == 0)
            QCOMPARE(reply.left(7), QByteArray("OK STS?"));
        QCOMPARE(h.handler.requests().size(), answers || result == 0 ? 1 : 0);
    }

    // The line stalls for 3 s, less than the 6 s time-out, in the middle of an answer; then it
    // delivers at line speed what it held back: the rest of that answer and the answers to the
    // repeats sent meanwhile. A reader that repeats while that backlog still arrives starts each
    // time inside an earlier answer; the call must get its block, at the cost of one more repeat.
    void stallShorterThanTheTimeOut()
    {
        LinkHarness h;
        h.link.PexSetTimeOut(6000);
        int served = 0;
        h.handler.respond = [&served](const Request&) {
            Answer a;
            a.kind = Answer::Kind::Block;
            a.payload = falseFrames(served++);
            return a;
        };
        h.instrumentEnd->holdAt(3 * kFullBlockFrame + 100, 3000, 11520);
        h.start();
        for (int i = 0; i < 6; ++i) {
            const BlockResult r = exchangeBlock(h.link, 4, {}, 256);
            QCOMPARE(r.receiveResult, 0);
            QCOMPARE(r.data, falseFrames(i));
        }
        // The repeat when the answer broke off, perhaps the silent one, one after the backlog.
        QVERIFY2(h.link.retransmissions() <= 3, qPrintable(QString::number(h.link.retransmissions())));
    }

    void peerNeverAnswers()
    {
        LinkHarness h;
        h.link.PexSetTimeOut(300);
        h.instrumentEnd->setMute(true);
        h.start();
        QByteArray reply;
        QCOMPARE(sendCommand(h.link, "STS?", reply), PexResult::TimeOut);
        QCOMPARE(reply, QByteArray(255, ' '));
        const BlockResult r = exchangeBlock(h.link, 3, "DIR?", 301);
        QCOMPARE(r.receiveResult, PexResult::TimeOut);
    }

    void peerGoesAwayMidAnswer()
    {
        LinkHarness h;
        h.handler.respond = [](const Request&) {
            Answer a;
            a.kind = Answer::Kind::Block;
            a.payload = pattern(256);
            return a;
        };
        h.instrumentEnd->goAwayAt(100);
        h.start();
        const BlockResult r = exchangeBlock(h.link, 4, {}, 256);
        QCOMPARE(r.receiveResult, PexResult::LinkLost);
        QVERIFY(!h.link.errorString().isEmpty());
        QByteArray reply;
        QCOMPARE(sendCommand(h.link, "STS?", reply), PexResult::LinkLost);
    }

    // A peer that answers a command with a block (not our instrument, or a confused one).
    void answerOfTheWrongKind()
    {
        auto [host, peer] = PipeTransport::createPair();
        PexLink link;
        link.attach(*host);
        link.PexSetTimeOut(2000);
        std::thread responder([&peer = *peer] {
            FrameDecoder decoder;
            for (int i = 0; i < 20; ++i) {
                for (const auto& event : decoder.feed(peer.read(100))) {
                    if (event.type == FrameDecoder::Event::Type::Frame) {
                        Frame answer;
                        answer.kind = FrameKind::Block;
                        answer.seq = event.frame.seq;
                        peer.write(encodeFrame(answer));
                        return;
                    }
                }
            }
        });
        QByteArray reply(255, ' ');
        const qint32 result = link.PexSendCommand("STS?", reply);
        responder.join();
        QCOMPARE(result, PexResult::UnexpectedAnswer);
        QCOMPARE(reply, QByteArray(255, ' '));
    }

    void rawLinePassesThrough()
    {
        LinkHarness h;
        h.start();
        QByteArray line("UTILITY FILECOPY,ON\n");
        qint32 length = static_cast<qint32>(line.size());
        QCOMPARE(h.link.PexSendString(length, line.constData()), 0);
        QByteArray reply;
        QCOMPARE(sendCommand(h.link, "STS?", reply), 0); // the line went before the command
        QCOMPARE(h.handler.lines(), QList<QByteArray>{"UTILITY FILECOPY,ON"});
    }

    void refusedArguments()
    {
        LinkHarness h;
        h.start();
        QByteArray marker("A\x01"
                          "B\n");
        qint32 length = static_cast<qint32>(marker.size());
        QCOMPARE(h.link.PexSendString(length, marker.constData()), PexResult::BadArgument);
        qint32 type = 0;
        qint32 tooLong = kMaxPayload + 1;
        const QByteArray big(tooLong, 'x');
        QCOMPARE(h.link.PexSendData(type, tooLong, big.constData()), PexResult::BadArgument);
        qint32 negative = -1;
        QCOMPARE(h.link.PexSendData(type, negative, big.constData()), PexResult::BadArgument);
        qint32 badType = 300;
        qint32 one = 1;
        QCOMPARE(h.link.PexSendData(badType, one, big.constData()), PexResult::BadArgument);
        qint32 length2 = 0;
        char buffer[4];
        QCOMPARE(h.link.PexReceiveData(type, length2, buffer, 4), PexResult::NoRequest);
        QByteArray reply(255, ' ');
        QCOMPARE(h.link.PexSendCommand(QByteArray(kMaxPayload + 1, 'C'), reply), PexResult::BadArgument);
        h.stopServer();
        QCOMPARE(h.hostEnd->bytesWritten(), qint64(0)); // nothing refused reached the line
        QVERIFY(h.handler.requests().isEmpty());
    }

    void notOpen()
    {
        PexLink link;
        QByteArray reply(255, ' ');
        QCOMPARE(link.PexSendCommand("STS?", reply), PexResult::NotOpen);
        QCOMPARE(link.PexSetTimeOut(6000), PexResult::NotOpen);
        PexOpenRecord record;
        QVERIFY(link.PexOpen(record) != 0); // no device for the port
        QVERIFY(!link.errorString().isEmpty());
        PexLink resolved([](int) { return QStringLiteral("/nonexistent/tty"); });
        QCOMPARE(resolved.PexOpen(record), PexResult::OpenFailed);
        QVERIFY(resolved.errorString().contains(QStringLiteral("/nonexistent/tty")));
        QCOMPARE(resolved.PexSetTimeOut(6000), PexResult::NotOpen);
    }

    // A read with its next-block requests sent ahead, against an instrument that takes a window and
    // one that says nothing of it, on a clean line that delivers the answers byte by byte at 115200
    // baud: a frame the reader holds half of when it looks in between is no damage, so nothing
    // goes twice, and the requests read ahead past the last block never reach the instrument.
    void windowedReadOnAPacedLine_data()
    {
        QTest::addColumn<int>("serverWindow");
        QTest::addColumn<int>("expectedWindow");
        QTest::newRow("window") << 8 << 8;
        QTest::newRow("instrument of today") << 0 << 0;
    }
    void windowedReadOnAPacedLine()
    {
        QFETCH(int, serverWindow);
        QFETCH(int, expectedWindow);
        constexpr int kBlocks = 12;
        LinkHarness h;
        h.server->setWindow(serverWindow);
        h.link.setWindow(8, 115200);
        int served = 0;
        h.handler.respond = [&served](const Request&) {
            Answer a;
            a.kind = Answer::Kind::Block;
            a.code = ++served == kBlocks ? 7 : 0;
            a.payload = pattern(256, served);
            return a;
        };
        h.instrumentEnd->holdAt(0, 0, 11520);
        h.start();
        for (int i = 1; i <= kBlocks; ++i) {
            const BlockResult r = exchangeBlock(h.link, i == 1 ? 3 : 4, i == 1 ? "FRD? A" : "", 256);
            QCOMPARE(r.receiveResult, 0);
            QCOMPARE(r.type, i == kBlocks ? 7 : 0);
            QCOMPARE(r.data, pattern(256, i));
        }
        QCOMPARE(h.link.windowAgreed(), expectedWindow);
        QCOMPARE(h.link.retransmissions(), 0u);
        QCOMPARE(h.server->naksSent(), 0u);
        QCOMPARE(h.handler.requests().size(), kBlocks);
    }

    // A line behind a network: the greeting's command took 700 ms to come back, so the window asked
    // for covers that round trip (5 blocks at 9600 baud, where the line alone asks for 3), and the
    // instrument, which takes up to 8, grants it.
    void windowCoversTheGreetingsRoundTrip()
    {
        LinkHarness h;
        h.server->setWindow(8);
        h.link.setWindow(3, 9600);
        h.instrumentEnd->holdAt(0, 700, 1000000);
        h.start();
        QByteArray reply(PexLink::kReplyBufferSize, ' ');
        QCOMPARE(h.link.PexSendCommand("STS?", reply), 0);
        QVERIFY2(h.link.windowAsked() >= 5, qPrintable(QString::number(h.link.windowAsked())));
        const BlockResult r = exchangeBlock(h.link, 0, "FWT 0,/A.DAT,", 256);
        QCOMPARE(r.receiveResult, 0);
        QCOMPARE(h.link.windowAgreed(), h.link.windowAsked());
        QVERIFY(h.handler.requests().constFirst().payload == "STS?");
    }

    // All eight requests of the window in flight (the line's speed is not known, so none is held
    // back) and the answer to the sixth lost on its way: the seventh's answer tells, the sixth goes
    // again once and is answered from memory. One request more in flight than agreed, or the lost
    // one sent again on every later answer, costs repeats and Naks here.
    void fullWindowOneAnswerLost_data()
    {
        QTest::addColumn<bool>("upload");
        QTest::newRow("write") << true;
        QTest::newRow("read") << false;
    }
    void fullWindowOneAnswerLost()
    {
        QFETCH(bool, upload);
        constexpr int kBlocks = 24;
        constexpr int kLost = 5;
        LinkHarness h;
        h.link.setWindow(8, 0);
        // A generous gap: the repeat for an overdue answer waits two of them, so a busy machine never
        // sends one here.
        h.link.setGapMs(200);
        int served = 0;
        h.handler.respond = [&served, upload](const Request&) {
            Answer a;
            a.kind = Answer::Kind::Block;
            ++served;
            if (!upload) {
                a.code = served == kBlocks ? 7 : 0;
                a.payload = pattern(256, served);
            }
            return a;
        };
        // "WINDOW:8" comes back in 13 bytes; then a write's answers take 4 bytes each, a read's 260.
        h.instrumentEnd->dropWriteAt(13 + kLost * (upload ? kEmptyBlockFrame : kFullBlockFrame));
        // Both ways at 115200 baud, so that requests wait on the line as on a serial one.
        h.hostEnd->holdAt(0, 0, 11520);
        h.instrumentEnd->holdAt(0, 0, 11520);
        h.start();
        for (int i = 0; i < kBlocks; ++i) {
            const qint32 type = upload ? (i == kBlocks - 1 ? 1 : 0) : (i == 0 ? 3 : 4);
            const BlockResult r = exchangeBlock(
                h.link, type, upload ? pattern(256, i) : QByteArray(i == 0 ? "FRD? A" : ""), 256);
            QCOMPARE(r.receiveResult, 0);
            if (!upload)
                QCOMPARE(r.data, pattern(256, i + 1));
        }
        QCOMPARE(h.link.windowInUse(), 8);
        QCOMPARE(h.link.retransmissions(), 1u);
        QCOMPARE(h.server->naksSent(), 0u);
        QCOMPARE(h.server->duplicatesAnswered(), 1u);
        QCOMPARE(h.handler.requests().size(), kBlocks);
    }

    // One bit of a file block's start marker flipped on the way (0x06 arrives as "&" or "F"), the
    // block holding rows of a measurement file: the rows read like raw lines, but inside a write
    // they are noise. The block is asked for again and the write goes on; nothing is taken twice.
    void flippedStartMarker_data()
    {
        QTest::addColumn<int>("mask");
        QTest::newRow("bit 5: &") << 0x20;
        QTest::newRow("bit 6: F") << 0x40;
    }
    void flippedStartMarker()
    {
        QFETCH(int, mask);
        constexpr int kBlocks = 12;
        LinkHarness h;
        h.link.setWindow(8, 115200);
        // A generous gap: the repeat for an overdue answer waits two of them, so a busy machine never
        // sends one here, and what goes again is what the Nak asked for.
        h.link.setGapMs(200);
        QList<QByteArray> blocks;
        QByteArray rows;
        for (int i = 0; rows.size() < kBlocks * 256; ++i)
            rows += QByteArray("2026/11/03,10:00:") + QByteArray::number(10 + i % 50) + ".00,0.5" +
                    QByteArray::number(100 + i) + ",21.5\r\n";
        for (int i = 0; i < kBlocks; ++i)
            blocks << rows.mid(i * 256, 256);
        // "WINDOW? 8" goes in 14 bytes, each block in 260; the sixth is request 5 (CTL 0xae, text).
        h.hostEnd->flipByteAt(14 + 5 * kFullBlockFrame, static_cast<quint8>(mask));
        h.hostEnd->holdAt(0, 0, 11520);
        h.instrumentEnd->holdAt(0, 0, 11520);
        h.start();
        for (int i = 0; i < kBlocks; ++i)
            QCOMPARE(exchangeBlock(h.link, i == kBlocks - 1 ? 1 : 0, blocks.at(i), 256).receiveResult, 0);
        QList<QByteArray> received;
        for (const Request& request : h.handler.requests())
            received << request.payload;
        QCOMPARE(received, blocks);
        QCOMPARE(h.server->rawLinesReceived(), 0u);
        QVERIFY(h.server->naksSent() >= 1);
        // The damaged block and those behind it in flight: what one damaged block costs anywhere.
        QVERIFY2(h.link.retransmissions() <= quint64(h.link.windowInUse()),
                 qPrintable(QString::number(h.link.retransmissions())));
    }

    // The idle hook (the window's repaint, its Cancel) runs by the time the calls have waited, not
    // afresh in each wait: a read whose blocks each come in well under the hook's time still lets
    // the window repaint about every kIdleHookMs.
    void idleHookRunsAcrossShortWaits()
    {
        constexpr int kBlocks = 60;
        LinkHarness h;
        int served = 0;
        h.handler.respond = [&served](const Request&) {
            Answer a;
            a.kind = Answer::Kind::Block;
            a.code = ++served == kBlocks ? 7 : 0;
            a.payload = pattern(256, served);
            return a;
        };
        h.instrumentEnd->holdAt(0, 0, 11520); // 22 ms a block
        int hooks = 0;
        h.link.setIdleHook([&hooks] { ++hooks; });
        h.start();
        QElapsedTimer clock;
        clock.start();
        for (int i = 1; i <= kBlocks; ++i)
            QCOMPARE(exchangeBlock(h.link, i == 1 ? 3 : 4, i == 1 ? "FRD? A" : "", 256).receiveResult, 0);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(hooks >= elapsed / (4 * PexLink::kIdleHookMs),
                 qPrintable(QStringLiteral("%1 in %2 ms").arg(hooks).arg(elapsed)));
    }

    // A file block refused in the middle of a write, with blocks in flight and without: the caller
    // learns of it by the last block's answer at the latest (the last block waits for every
    // answer), and the instrument is handed no block after the refused one.
    void refusedBlockFailsTheFile_data()
    {
        QTest::addColumn<int>("serverWindow");
        QTest::addColumn<int>("refused"); // index among the blocks, the "FWT " line being 0
        QTest::newRow("window, first file block") << 8 << 2;
        QTest::newRow("window, the one before the last") << 8 << 6;
        QTest::newRow("instrument of today") << 0 << 4;
    }
    void refusedBlockFailsTheFile()
    {
        QFETCH(int, serverWindow);
        QFETCH(int, refused);
        constexpr int kBlocks = 8;
        QList<QByteArray> blocks{"FWT 0,/A.DAT,", QByteArray::fromHex("00000600")};
        for (int i = 2; i < kBlocks; ++i)
            blocks << pattern(256, i);
        LinkHarness h;
        h.server->setWindow(serverWindow);
        h.link.setWindow(8, 115200);
        const QByteArray bad = blocks.at(refused);
        h.handler.respond = [&bad](const Request& r) {
            Answer a;
            a.kind = Answer::Kind::Block;
            a.code = r.payload == bad ? 9 : 0;
            // A slow refusal: the blocks after it are on their way before it is known.
            if (a.code == 9)
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            return a;
        };
        h.start();
        int toldAt = -1;
        for (int i = 0; i < kBlocks && toldAt < 0; ++i) {
            const BlockResult r = exchangeBlock(h.link, i == kBlocks - 1 ? 1 : 0, blocks.at(i), 256);
            QCOMPARE(r.receiveResult, 0);
            if (r.type == 9)
                toldAt = i;
        }
        QVERIFY2(toldAt >= refused, qPrintable(QString::number(toldAt)));
        if (serverWindow == 0)
            QCOMPARE(toldAt, refused);
        const QList<Request> handed = h.handler.requests();
        QCOMPARE(handed.size(), refused + 1);
        QCOMPARE(handed.last().payload, bad);
    }

    // A whole file's worth of blocks both ways, with a fault in every fifth exchange.
    void manyBlocksWithFaults()
    {
        LinkHarness h;
        QByteArray received;
        h.handler.respond = [&received](const Request& request) {
            Answer a;
            a.kind = Answer::Kind::Block;
            if (request.blockType == 4) {
                a.payload = pattern(256, 3);
            } else {
                received += request.payload;
            }
            return a;
        };
        const int frame = kFullBlockFrame;
        for (int i = 0; i < 40; i += 5)
            h.hostEnd->flipByteAt(static_cast<qint64>(i) * frame + 7 + i, 0x20);
        const int answer = kFullBlockFrame;
        for (int i = 42; i < 80; i += 5)
            h.instrumentEnd->dropByteAt(40 * kEmptyBlockFrame + static_cast<qint64>(i - 40) * answer + i);
        h.start();
        QByteArray sent;
        for (int i = 0; i < 40; ++i) {
            const QByteArray block = pattern(256, i);
            sent += block;
            QCOMPARE(exchangeBlock(h.link, i == 39 ? 1 : 0, block, 256).receiveResult, 0);
        }
        for (int i = 40; i < 80; ++i) {
            const BlockResult r = exchangeBlock(h.link, 4, {}, 256);
            QCOMPARE(r.receiveResult, 0);
            QCOMPARE(r.data, pattern(256, 3));
        }
        QCOMPARE(received, sent);
        QVERIFY(h.link.retransmissions() >= 8);
        QCOMPARE(h.handler.requests().size(), 80);
    }
};

ORVALT_TEST(PexLinkTest);
#include "PexLinkTest.moc"
