// Compressed block streams: the calls see the plain exchanges, the line carries one deflate stream
// per file, and a stream that does not decompress to what it announced is a failure, never data.

#include "LinkHarness.h"
#include "link/BlockKinds.h"
#include "link/LinkPack.h"
#include "support/TestMain.h"

#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

using namespace orvalt;
using namespace orvalt::link;
using namespace orvalt::test;

Q_DECLARE_METATYPE(orvalt::link::Answer)

namespace {

QByteArray lengthThen(quint32 announced, const QByteArray& data)
{
    char length[4];
    qToBigEndian(announced, length);
    return QByteArray(length, 4) + data;
}

QByteArray deflated(const QByteArray& data, int windowBits = kMaxPackWindowBits)
{
    PackWriter writer(windowBits, 8, 6);
    writer.write(data);
    writer.finish();
    return writer.take(writer.pending());
}

// Rows of readings: compresses several times over, as the files users move do.
QByteArray readings(int rows)
{
    QByteArray text;
    for (int i = 0; i < rows; ++i)
        text += QByteArray("2026/11/03,10:") + QByteArray::number(10000 + i * 7).right(4) + ",0.5" +
                QByteArray::number(i % 97) + ",21.5\r\n";
    return text;
}

// Random bytes repeated after `period` bytes: only a window larger than period finds the repeats.
QByteArray farRepeats(int period, int size)
{
    QByteArray chunk(period, '\0');
    QRandomGenerator random(period);
    for (char& c : chunk)
        c = static_cast<char>(random.bounded(256));
    return chunk.repeated(size / period + 1).left(size);
}

// A stream cut into blocks of 256 bytes, the last one of type last.
QList<QPair<qint32, QByteArray>> blocksOf(const QByteArray& stream, qint32 last)
{
    QList<QPair<qint32, QByteArray>> blocks;
    for (qsizetype at = 0; at == 0 || at < stream.size(); at += kPackBlock)
        blocks.append({stream.size() - at <= kPackBlock ? last : kBlockMore, stream.mid(at, kPackBlock)});
    return blocks;
}

QList<Answer> answersOf(const QByteArray& stream)
{
    QList<Answer> answers;
    for (const auto& [type, data] : blocksOf(stream, kBlockLast))
        answers.append({Answer::Kind::Block, type, data});
    return answers;
}

// The plain answer of an instrument to "FRD? ": the length and the first 252 bytes, then 256 at a
// time, the last block type 7.
struct PlainFile
{
    QByteArray stream;
    qsizetype at = 0;
    Answer next()
    {
        const QByteArray piece = stream.mid(at, 256);
        at += piece.size();
        return {Answer::Kind::Block, at >= stream.size() ? kBlockLast : kBlockMore, piece};
    }
};

struct ReadResult
{
    qint32 status = 0;
    qint32 lastType = -1;
    QByteArray data;
    QList<int> sizes;
};

ReadResult readAll(PexLink& link, const QByteArray& request, int bufferSize)
{
    ReadResult r;
    qint32 type = kBlockCommand;
    QByteArray block = request;
    for (int blocks = 0; blocks < 100000; ++blocks) {
        qint32 length = static_cast<qint32>(block.size());
        if ((r.status = link.PexSendData(type, length, block.constData())))
            return r;
        QByteArray buffer(bufferSize, '\0');
        qint32 got = 0;
        if ((r.status = link.PexReceiveData(r.lastType, got, buffer.data(), bufferSize)))
            return r;
        r.data += buffer.left(got);
        r.sizes << got;
        if (r.lastType != kBlockMore)
            return r;
        type = kBlockNext;
        block.clear();
    }
    return r;
}

// "FWT ", the length, the file in 256-byte blocks as the sender sends them; the last answer's type.
qint32 writeAll(PexLink& link, const QByteArray& content, qint32* lastType)
{
    QList<QPair<qint32, QByteArray>> blocks{{kBlockMore, "FWT 0,/A.DAT,"},
                                            {kBlockMore, lengthThen(content.size(), {})}};
    for (qsizetype at = 0; at == 0 || at < content.size(); at += 256)
        blocks.append({content.size() - at <= 256 ? kBlockFinal : kBlockMore, content.mid(at, 256)});
    for (const auto& [blockType, block] : std::as_const(blocks)) {
        qint32 type = blockType;
        qint32 length = static_cast<qint32>(block.size());
        if (const qint32 sent = link.PexSendData(type, length, block.constData()))
            return sent;
        char buffer[256];
        qint32 got = 0;
        if (const qint32 received = link.PexReceiveData(*lastType, got, buffer, 256))
            return received;
        if (*lastType == kBlockRefused)
            return 0;
    }
    return 0;
}

} // namespace

class PackedStreamTest : public QObject
{
    Q_OBJECT

private slots:
    void agreement_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("window");
        QTest::newRow("reply") << QByteArray("PACK:DEFLATE15") << 15;
        QTest::newRow("smallest") << QByteArray("PACK:DEFLATE9") << 9;
        QTest::newRow("below the smallest") << QByteArray("PACK:DEFLATE8") << 0;
        QTest::newRow("above the largest") << QByteArray("PACK:DEFLATE16") << 0;
        QTest::newRow("unknown codec first") << QByteArray("PACK:ZSTD15,DEFLATE12") << 12;
        QTest::newRow("padded") << QByteArray("PACK:DEFLATE10   ") << 10;
        QTest::newRow("no digits") << QByteArray("PACK:DEFLATE") << 0;
        QTest::newRow("three digits") << QByteArray("PACK:DEFLATE015") << 0;
        QTest::newRow("not a number") << QByteArray("PACK:DEFLATE1x") << 0;
        QTest::newRow("another reply") << QByteArray("WINDOW:3") << 0;
    }
    void agreement()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, window);
        QCOMPARE(packWindowOfReply(text), window);
        QCOMPARE(packWindowOfRequest("PACK? " + text.mid(5)), window);
    }

    // Data that does not shrink, compressed as the program compresses with each window an instrument
    // may name: deflate stores it block by block, and a block holds what its symbol buffer does. The
    // figures are worked out by hand, so a memory level one too large (which cannot store at all)
    // or one too small (twice the blocks) shows here.
    void dataThatDoesNotShrink_data()
    {
        QTest::addColumn<int>("windowBits");
        QTest::addColumn<int>("memLevel");
        QTest::addColumn<int>("storedBlock"); // bytes a stored block holds at most
        QTest::newRow("512 bytes") << 9 << 1 << 127;
        QTest::newRow("1 KiB") << 10 << 3 << 511;
        QTest::newRow("2 KiB") << 11 << 4 << 1023;
        QTest::newRow("4 KiB") << 12 << 5 << 2047;
        QTest::newRow("8 KiB") << 13 << 6 << 4095;
        QTest::newRow("16 KiB") << 14 << 7 << 8191;
        QTest::newRow("32 KiB") << 15 << 8 << 16383;
    }
    void dataThatDoesNotShrink()
    {
        QFETCH(int, windowBits);
        QFETCH(int, memLevel);
        QFETCH(int, storedBlock);
        QCOMPARE(packMemLevel(windowBits), memLevel);
        QByteArray random(256 * 1024, Qt::Uninitialized);
        QRandomGenerator generator(static_cast<quint32>(windowBits));
        for (char& c : random)
            c = static_cast<char>(generator.bounded(256));
        PackWriter writer(windowBits, packMemLevel(windowBits), 6);
        for (qsizetype at = 0; at < random.size(); at += 256)
            QVERIFY(writer.write(random.mid(at, 256)));
        QVERIFY(writer.finish());
        const qsizetype grown = writer.pending() - random.size();
        const qsizetype most = (random.size() + storedBlock - 1) / storedBlock * 5 + 8;
        QVERIFY2(grown <= most, qPrintable(QStringLiteral("%1 bytes more, at most %2").arg(grown).arg(most)));
        // Half as many blocks would be a memory level too small.
        QVERIFY2(grown > most / 2 - 8, qPrintable(QStringLiteral("%1 bytes more").arg(grown)));
    }

    // The handler sees the exchange of a plain write, whatever the stream's blocks were; the line
    // carries a fraction of the file.
    void writeReachesTheHandlerPlain_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("window");
        for (const int window : {1, 8}) {
            for (const int size : {0, 1, 252, 256, 257, 70000})
                QTest::addRow("%d bytes, window %d", size, window) << size << window;
        }
    }
    void writeReachesTheHandlerPlain()
    {
        QFETCH(int, size);
        QFETCH(int, window);
        LinkHarness h;
        h.link.setWindow(window, 115200);
        h.link.setPack(kMaxPackWindowBits);
        h.start();
        const QByteArray content = readings(size / 20 + 2).left(size);
        qint32 lastType = -1;
        QCOMPARE(writeAll(h.link, content, &lastType), 0);
        QCOMPARE(lastType, kBlockMore);
        QCOMPARE(h.link.packAgreed(), kMaxPackWindowBits);

        QList<Request> requests = h.handler.requests();
        QVERIFY(requests.size() >= 3);
        QCOMPARE(requests.takeFirst().payload, QByteArray("FWT 0,/A.DAT,"));
        QCOMPARE(requests.takeFirst().payload, lengthThen(size, {}));
        QByteArray received;
        for (qsizetype i = 0; i < requests.size(); ++i) {
            const bool last = i == requests.size() - 1;
            QCOMPARE(requests.at(i).blockType, last ? kBlockFinal : kBlockMore);
            QCOMPARE(requests.at(i).payload.size(), last ? size - 256 * i : 256);
            received += requests.at(i).payload;
        }
        QCOMPARE(received, content);
        if (size == 70000)
            QVERIFY(h.hostEnd->bytesWritten() < size / 3);
    }

    // The caller gets the plain answer's pieces: 256 bytes (301 for a listing), the last type 7.
    void readHandsPlainPieces_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("piece");
        for (const int window : {1, 8}) {
            for (const int size : {0, 252, 253, 508, 70000})
                QTest::addRow("file of %d, window %d", size, window)
                    << QByteArray("FRD? A.DAT") << size << window << 256;
            QTest::addRow("listing, window %d", window) << QByteArray("DIR?") << 9000 << window << 301;
        }
    }
    void readHandsPlainPieces()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, size);
        QFETCH(int, window);
        QFETCH(int, piece);
        const bool file = request.startsWith("FRD");
        const QByteArray content = readings(size / 20 + 2).left(size);
        PlainFile plain{file ? lengthThen(size, content) : content};
        LinkHarness h;
        h.handler.respond = [&plain](const Request& r) {
            if (r.kind == Request::Kind::Command)
                return Answer{Answer::Kind::Reply, 0, {}};
            if (r.blockType == kBlockCommand)
                plain.at = 0;
            return plain.next();
        };
        h.link.setWindow(window, 115200);
        h.link.setPack(kMaxPackWindowBits);
        h.start();
        const ReadResult r = readAll(h.link, request, piece);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.lastType, kBlockLast);
        QCOMPARE(r.data, plain.stream);
        for (qsizetype i = 0; i + 1 < r.sizes.size(); ++i)
            QCOMPARE(r.sizes.at(i), piece);
        QVERIFY(r.sizes.constLast() > 0 || plain.stream.isEmpty());
        if (size == 70000)
            QVERIFY(h.hostEnd->bytesWritten() + h.instrumentEnd->bytesWritten() < size / 3);
    }

    // A hostile instrument says it compresses and answers "FRD? " with these blocks of a stream.
    void brokenAnswerFails_data()
    {
        QTest::addColumn<QList<Answer>>("blocks");
        QTest::addColumn<int>("programWindow");
        QTest::addColumn<qint32>("status");
        const QByteArray good = deflated(lengthThen(300, readings(10).left(300)));
        auto block = [](qint32 type, const QByteArray& data) {
            return Answer{Answer::Kind::Block, type, data};
        };
        QTest::newRow("whole") << QList<Answer>{block(kBlockMore, good.left(20)),
                                                block(kBlockLast, good.mid(20))}
                               << 15 << qint32(0);
        QTest::newRow("not deflate") << QList<Answer>{block(kBlockLast, "\xff\xff\xff\xff")} << 15
                                     << PexResult::UnexpectedAnswer;
        QTest::newRow("cut short") << QList<Answer>{block(kBlockLast, good.chopped(2))} << 15
                                   << PexResult::UnexpectedAnswer;
        QTest::newRow("bytes after its end")
            << QList<Answer>{block(kBlockLast, good + "X")} << 15 << PexResult::UnexpectedAnswer;
        QTest::newRow("ends in a block with more to follow")
            << QList<Answer>{block(kBlockMore, good), block(kBlockLast, {})} << 15
            << PexResult::UnexpectedAnswer;
        QTest::newRow("one byte short of its length")
            << QList<Answer>{block(kBlockLast, deflated(lengthThen(301, readings(10).left(300))))} << 15
            << PexResult::UnexpectedAnswer;
        QTest::newRow("one byte over its length")
            << QList<Answer>{block(kBlockLast, deflated(lengthThen(299, readings(10).left(300))))} << 15
            << PexResult::UnexpectedAnswer;
        QTest::newRow("shorter than the length field")
            << QList<Answer>{block(kBlockLast, deflated(QByteArray(3, '\0')))} << 15
            << PexResult::UnexpectedAnswer;
        // 10 MB of zeros in 10 KB, announced as 10 bytes: found out at the first piece.
        QTest::newRow("bomb") << answersOf(deflated(lengthThen(10, QByteArray(10000000, '\0')))) << 15
                              << PexResult::UnexpectedAnswer;
        // Empty stored blocks of deflate, 51 to a block of the line: a stream that goes on without
        // end and brings nothing. Sixteen blocks in a row that bring nothing end it, as sixteen
        // empty blocks end a plain listing.
        const QByteArray nothing = QByteArray::fromHex("000000ffff").repeated(51);
        QTest::newRow("blocks that decompress to nothing")
            << QList<Answer>(40, block(kBlockMore, nothing)) << 15 << PexResult::UnexpectedAnswer;
        const QByteArray far = farRepeats(2000, 6000);
        QTest::newRow("window within what was agreed")
            << answersOf(deflated(lengthThen(6000, far), 11)) << 11 << qint32(0);
        QTest::newRow("window larger than agreed")
            << answersOf(deflated(lengthThen(6000, far), 15)) << 10 << PexResult::UnexpectedAnswer;
    }
    void brokenAnswerFails()
    {
        QFETCH(QList<Answer>, blocks);
        QFETCH(int, programWindow);
        QFETCH(qint32, status);
        LinkHarness h;
        h.server->setPack(0); // the handler below stands for the whole instrument
        qsizetype next = 0;
        h.handler.respond = [&blocks, &next](const Request& r) {
            if (r.kind == Request::Kind::Command)
                return Answer{Answer::Kind::Reply, 0, packReply(kMaxPackWindowBits)};
            if (r.blockType == kBlockPackedCommand)
                next = 0;
            return next < blocks.size() ? blocks.at(next++) : Answer{Answer::Kind::Block, kBlockRefused, {}};
        };
        h.link.setPack(programWindow);
        h.start();
        const ReadResult r = readAll(h.link, "FRD? A.DAT", 256);
        QCOMPARE(r.status, status);
        if (status == 0) {
            QCOMPARE(r.lastType, kBlockLast);
        } else {
            QVERIFY(r.lastType != kBlockLast); // never told complete
            QVERIFY(h.link.errorString().contains("compressed"));
        }
        // A broken stream is found out within the blocks in flight after the one that broke it.
        QVERIFY2(next <= 16 + 1 + kMaxWindow, qPrintable(QString::number(next)));
    }

    // The instrument's end: a write whose stream breaks is refused and dropped; the handler never
    // gets a last block for it.
    void brokenWriteRefused_data()
    {
        using Blocks = QList<QPair<qint32, QByteArray>>;
        QTest::addColumn<Blocks>("blocks");
        QTest::addColumn<int>("instrumentWindow");
        QTest::addColumn<bool>("refused");
        const QByteArray stream = deflated(lengthThen(300, readings(10).left(300)));
        QTest::newRow("whole") << Blocks{{0, stream.left(30)}, {1, stream.mid(30)}} << 15 << false;
        QTest::newRow("not deflate") << Blocks{{1, "\xff\xff\xff\xff"}} << 15 << true;
        QTest::newRow("cut short") << Blocks{{1, stream.chopped(2)}} << 15 << true;
        QTest::newRow("bytes after its end") << Blocks{{1, stream + "X"}} << 15 << true;
        QTest::newRow("ends before its last block") << Blocks{{0, stream}, {1, "X"}} << 15 << true;
        QTest::newRow("shorter than the length field")
            << Blocks{{1, deflated(QByteArray(2, '\0'))}} << 15 << true;
        const QByteArray far = deflated(lengthThen(6000, farRepeats(2000, 6000)), 15);
        QTest::newRow("window larger than it decodes") << blocksOf(far, kBlockFinal) << 10 << true;
        QTest::newRow("window it decodes") << blocksOf(far, kBlockFinal) << 15 << false;
    }
    void brokenWriteRefused()
    {
        using Blocks = QList<QPair<qint32, QByteArray>>;
        QFETCH(Blocks, blocks);
        QFETCH(int, instrumentWindow);
        QFETCH(bool, refused);
        LinkHarness h;
        h.server->setPack(instrumentWindow);
        h.start();
        QList<Frame> requests{Frame{FrameKind::Data, 0, kBlockPackedWrite, "FWT 0,/A.DAT,"}};
        for (const auto& [type, data] : std::as_const(blocks))
            requests << Frame{FrameKind::Data, static_cast<quint8>(requests.size() % kSeqModulo), type, data};
        QList<qint32> seen;
        FrameDecoder decoder;
        for (const Frame& request : std::as_const(requests)) {
            QVERIFY(h.hostEnd->write(encodeFrame(request)));
            const QDeadlineTimer deadline(5000);
            const qsizetype before = seen.size();
            while (seen.size() == before && !deadline.hasExpired()) {
                for (const auto& event : decoder.feed(h.hostEnd->read(50))) {
                    if (event.type == FrameDecoder::Event::Type::Frame)
                        seen << event.frame.tag;
                }
            }
            QCOMPARE(seen.size(), before + 1);
            if (seen.constLast() == kBlockRefused)
                break; // the sender stops at a refusal
        }
        QCOMPARE(seen.constLast() == kBlockRefused, refused);
        QCOMPARE(seen.count(kBlockRefused), refused ? 1 : 0);
        // The handler took the file whole, or never got its last block.
        const QList<Request> handled = h.handler.requests();
        QCOMPARE(handled.constLast().blockType == kBlockFinal, !refused);
    }
};

ORVALT_TEST(PackedStreamTest);
#include "PackedStreamTest.moc"
