#include "link/FrameCodec.h"

#include "support/TestMain.h"

#include <QTest>

using namespace orvalt::link;

namespace {

// A second, bit-by-bit CRC-16/CCITT-FALSE, independent of the table in the codec.
quint16 slowCrc(const QByteArray& bytes)
{
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= static_cast<quint16>(static_cast<quint8>(c) << 8);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? static_cast<quint16>((crc << 1) ^ 0x1021) : static_cast<quint16>(crc << 1);
    }
    return crc;
}

Frame makeFrame(FrameKind kind, quint8 seq, qint32 tag, const QByteArray& payload)
{
    Frame f;
    f.kind = kind;
    f.seq = seq;
    f.tag = tag;
    f.payload = payload;
    return f;
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + 1) & 0xFF); // includes 0x01 and 0x0A
    return bytes;
}

QList<Frame> framesOf(const QList<FrameDecoder::Event>& events)
{
    QList<Frame> frames;
    for (const auto& e : events) {
        if (e.type == FrameDecoder::Event::Type::Frame)
            frames.append(e.frame);
    }
    return frames;
}

int damageCount(const QList<FrameDecoder::Event>& events)
{
    int n = 0;
    for (const auto& e : events)
        n += e.type == FrameDecoder::Event::Type::Damaged ? 1 : 0;
    return n;
}

} // namespace

Q_DECLARE_METATYPE(orvalt::link::Frame)

class FrameCodecTest : public QObject
{
    Q_OBJECT

private slots:
    void crcCheckValue()
    {
        QCOMPARE(crc16(QByteArrayLiteral("123456789")), quint16(0x29B1));
        QCOMPARE(crc16(QByteArray()), quint16(0xFFFF));
        const QByteArray data = pattern(300);
        QCOMPARE(crc16(data), slowCrc(data));
    }

    // Byte-exact frames, with the CRC from the independent implementation.
    void exactBytes()
    {
        const QByteArray cmd = encodeFrame(makeFrame(FrameKind::Command, 3, 0, "STS?"));
        QByteArray expected = QByteArray::fromHex("0186045354533f");
        const quint16 c = slowCrc(expected.mid(1));
        expected.append(static_cast<char>(c >> 8)).append(static_cast<char>(c & 0xFF));
        QCOMPARE(cmd.toHex(' '), expected.toHex(' '));

        const QByteArray ack = encodeFrame(makeFrame(FrameKind::Block, 5, 0, {}));
        QCOMPARE(ack.size(), 6);
        QCOMPARE(ack.left(4).toHex(), QByteArray("01ba0000"));

        const QByteArray block = encodeFrame(makeFrame(FrameKind::Data, 1, 1, pattern(256)));
        QCOMPARE(block.size(), 256 + 6);
        QCOMPARE(block.left(4).toHex(), QByteArray("01930001")); // length bit 8 set in CTL

        const QByteArray reply = encodeFrame(makeFrame(FrameKind::Reply, 0, 160, "NG"));
        QCOMPARE(reply.left(7).toHex(), QByteArray("01a002000000a0"));
        QCOMPARE(encodeFrame(makeFrame(FrameKind::Nak, 0, 0, {})).size(), 5);
    }

    void refusedByEncoder()
    {
        QVERIFY(encodeFrame(makeFrame(FrameKind::Data, 0, 0, QByteArray(kMaxPayload + 1, 'x'))).isEmpty());
        QVERIFY(!encodeFrame(makeFrame(FrameKind::Data, 0, 0, QByteArray(kMaxPayload, 'x'))).isEmpty());
        QVERIFY(encodeFrame(makeFrame(FrameKind::Data, 0, 256, {})).isEmpty());
        QVERIFY(encodeFrame(makeFrame(FrameKind::Block, 0, -1, {})).isEmpty());
        QVERIFY(encodeFrame(makeFrame(FrameKind::Command, 8, 0, {})).isEmpty());
        QVERIFY(encodeFrame(makeFrame(FrameKind::Nak, 0, 0, "x")).isEmpty());
    }

    void roundTrip_data()
    {
        QTest::addColumn<Frame>("frame");
        for (int size : {0, 1, 255, 256, 257, 301, kMaxPayload}) {
            QTest::addRow("data %d", size) << makeFrame(FrameKind::Data, quint8(size % 8), 1, pattern(size));
            QTest::addRow("block %d", size) << makeFrame(FrameKind::Block, 7, 7, pattern(size));
        }
        QTest::addRow("command") << makeFrame(FrameKind::Command, 2, 0, "FWT 0,/DATA/A.DAT,");
        QTest::addRow("reply negative") << makeFrame(FrameKind::Reply, 4, -123456, "ERR");
        QTest::addRow("reply big code") << makeFrame(FrameKind::Reply, 6, 0x7FFFFFFF, {});
        QTest::addRow("nak") << makeFrame(FrameKind::Nak, 0, 0, {});
    }
    void roundTrip()
    {
        QFETCH(Frame, frame);
        const QByteArray wire = encodeFrame(frame);
        QVERIFY(!wire.isEmpty());
        FrameDecoder whole;
        QCOMPARE(framesOf(whole.feed(wire)), QList<Frame>{frame});
        // Byte by byte, as a slow line delivers it.
        FrameDecoder slow;
        QList<FrameDecoder::Event> events;
        for (char c : wire)
            events += slow.feed(QByteArray(1, c));
        QCOMPARE(framesOf(events), QList<Frame>{frame});
        QCOMPARE(damageCount(events), 0);
    }

    // Every single damaged byte of a frame is caught: the frame is never delivered, and a frame
    // that follows it after a quiet line is delivered intact.
    void everyByteFlipped_data()
    {
        QTest::addColumn<Frame>("frame");
        QTest::addColumn<quint8>("mask");
        const Frame block = makeFrame(FrameKind::Data, 3, 0, pattern(40));
        const Frame reply = makeFrame(FrameKind::Reply, 1, 60, "BUSY");
        for (quint8 mask : {quint8(0x01), quint8(0x80), quint8(0xFF)}) {
            QTest::addRow("block mask %02x", mask) << block << mask;
            QTest::addRow("reply mask %02x", mask) << reply << mask;
        }
    }
    void everyByteFlipped()
    {
        QFETCH(Frame, frame);
        QFETCH(quint8, mask);
        const QByteArray wire = encodeFrame(frame);
        const Frame next = makeFrame(FrameKind::Command, 5, 0, "DUMMY");
        for (int i = 0; i < wire.size(); ++i) {
            QByteArray bad = wire;
            bad[i] = static_cast<char>(static_cast<quint8>(bad.at(i)) ^ mask);
            FrameDecoder decoder;
            QList<FrameDecoder::Event> events = decoder.feed(bad);
            events += decoder.lineIdle();
            QVERIFY2(framesOf(events).isEmpty(), qPrintable(QStringLiteral("byte %1 delivered").arg(i)));
            QVERIFY2(damageCount(events) >= 1, qPrintable(QStringLiteral("byte %1 unnoticed").arg(i)));
            QCOMPARE(framesOf(decoder.feed(encodeFrame(next))), QList<Frame>{next});
        }
    }

    void everyByteLost()
    {
        const QByteArray wire = encodeFrame(makeFrame(FrameKind::Block, 2, 0, pattern(256)));
        for (int i = 0; i < wire.size(); ++i) {
            QByteArray bad = wire;
            bad.remove(i, 1);
            FrameDecoder decoder;
            QList<FrameDecoder::Event> events = decoder.feed(bad);
            events += decoder.lineIdle();
            QVERIFY(framesOf(events).isEmpty());
            QVERIFY2(damageCount(events) >= 1,
                     qPrintable(QStringLiteral("loss of byte %1 unnoticed").arg(i)));
        }
    }

    void truncatedFrameNeedsQuietLine()
    {
        const QByteArray wire = encodeFrame(makeFrame(FrameKind::Data, 0, 0, pattern(256)));
        FrameDecoder decoder;
        QVERIFY(decoder.feed(wire.left(100)).isEmpty());
        QVERIFY(decoder.needsIdle());
        const auto events = decoder.lineIdle();
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.first().damage, FrameDecoder::Damage::Truncated);
        QVERIFY(!decoder.needsIdle());
    }

    void lengthAboveMaximumRejectedAtOnce()
    {
        FrameDecoder decoder;
        // CTL with length bit 8 set, LEN 0xFF: 511 is legal for data, so use a Nak with a length.
        auto events = decoder.feed(QByteArray::fromHex("01c001"));
        QCOMPARE(damageCount(events), 1);
        QCOMPARE(events.first().damage, FrameDecoder::Damage::BadHeader);
        // Kind 5 does not exist.
        FrameDecoder second;
        QCOMPARE(second.feed(QByteArray::fromHex("01d0")).first().damage, FrameDecoder::Damage::BadHeader);
    }

    void garbageBeforeFrame_data()
    {
        QTest::addColumn<QByteArray>("garbage");
        QTest::addRow("binary") << QByteArray::fromHex("ff00fe8081");
        QTest::addRow("text without line feed") << QByteArray("abc def");
        QTest::addRow("stray start marker") << QByteArray::fromHex("01");
        QTest::addRow("start marker and bad header") << QByteArray::fromHex("01ff05");
    }
    void garbageBeforeFrame()
    {
        QFETCH(QByteArray, garbage);
        const Frame frame = makeFrame(FrameKind::Command, 1, 0, "MED 0");
        FrameDecoder decoder;
        QList<FrameDecoder::Event> events = decoder.feed(garbage);
        events += decoder.lineIdle();
        events += decoder.feed(encodeFrame(frame));
        QCOMPARE(framesOf(events), QList<Frame>{frame});
    }

    void rawLinesAmongFrames()
    {
        const Frame a = makeFrame(FrameKind::Command, 0, 0, "STS?");
        const Frame b = makeFrame(FrameKind::Data, 1, 4, {});
        const QByteArray stream = encodeFrame(a) + "UTILITY FILECOPY,ON\n" + encodeFrame(b) + "t\xe9t\xe9\n";
        FrameDecoder decoder;
        const auto events = decoder.feed(stream);
        QCOMPARE(events.size(), 4);
        QCOMPARE(events.at(0).frame, a);
        QCOMPARE(events.at(1).type, FrameDecoder::Event::Type::RawLine);
        QCOMPARE(events.at(1).line, QByteArray("UTILITY FILECOPY,ON"));
        QCOMPARE(events.at(2).frame, b);
        QCOMPARE(events.at(3).line, QByteArray("t\xe9t\xe9"));
    }

    void lineWithControlByteIsNoise()
    {
        FrameDecoder decoder;
        const auto events = decoder.feed(QByteArray("UTIL\x02ITY\n"));
        QCOMPARE(damageCount(events), 1);
        for (const auto& e : events)
            QVERIFY(e.type != FrameDecoder::Event::Type::RawLine);
    }

    void overlongLineIsNoise()
    {
        FrameDecoder decoder;
        const auto events = decoder.feed(QByteArray(kMaxRawLine + 10, 'A') + '\n');
        QCOMPARE(damageCount(events), 1);
    }

    void frameLosingItsMarkerIsNotALine()
    {
        // Without its SOH a frame begins with CTL (bit 7 set), which never starts a text line.
        const QByteArray wire = encodeFrame(makeFrame(FrameKind::Data, 0, 0, "TEXT\n"));
        FrameDecoder decoder;
        const auto events = decoder.feed(wire.mid(1));
        QVERIFY(damageCount(events) >= 1);
        for (const auto& e : events)
            QVERIFY(e.type != FrameDecoder::Event::Type::RawLine);
    }
};

ORVALT_TEST(FrameCodecTest);
#include "FrameCodecTest.moc"
