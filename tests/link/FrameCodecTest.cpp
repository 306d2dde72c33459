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
    void exactBytes_data()
    {
        QTest::addColumn<Frame>("frame");
        QTest::addColumn<QByteArray>("header"); // the frame up to its CRC, in hex
        QTest::newRow("command") << makeFrame(FrameKind::Command, 3, 0, "STS?")
                                 << QByteArray("01e0045354533f");
        QTest::newRow("acknowledgement") << makeFrame(FrameKind::Block, 1, 0, {}) << QByteArray("04b0");
        QTest::newRow("next block request") << makeFrame(FrameKind::Data, 2, 4, {}) << QByteArray("02d4");
        QTest::newRow("nak") << makeFrame(FrameKind::Nak, 0, 0, {}) << QByteArray("0590");
        QTest::newRow("reply 160") << makeFrame(FrameKind::Reply, 0, 160, "NG")
                                   << QByteArray("038702000000a04e47");
        QTest::newRow("reply 0") << makeFrame(FrameKind::Reply, 2, 0, {}) << QByteArray("03d0");
        QTest::newRow("last block") << makeFrame(FrameKind::Block, 0, 7, "AB") << QByteArray("0487020741 42");
    }
    void exactBytes()
    {
        QFETCH(Frame, frame);
        QFETCH(QByteArray, header);
        QByteArray expected = QByteArray::fromHex(header.replace(' ', ""));
        const quint16 c = slowCrc(expected);
        expected.append(static_cast<char>(c >> 8)).append(static_cast<char>(c & 0xFF));
        QCOMPARE(encodeFrame(frame).toHex(' '), expected.toHex(' '));
    }

    void fullBlockCostsFourBytes()
    {
        const QByteArray block = encodeFrame(makeFrame(FrameKind::Data, 1, 1, pattern(256)));
        QCOMPARE(block.size(), 256 + 4);
        QCOMPARE(block.left(2).toHex(), QByteArray("02b9")); // short length, 256, type 1 inline
        const QByteArray answer = encodeFrame(makeFrame(FrameKind::Block, 1, 0, pattern(256)));
        QCOMPARE(answer.size(), 256 + 4);
        // Other lengths and large types take the LEN and TAG bytes.
        QCOMPARE(encodeFrame(makeFrame(FrameKind::Data, 0, 0, pattern(255))).size(), 255 + 5);
        QCOMPARE(encodeFrame(makeFrame(FrameKind::Block, 0, 9, pattern(257))).size(), 257 + 6);
    }

    void refusedByEncoder()
    {
        QVERIFY(encodeFrame(makeFrame(FrameKind::Data, 0, 0, QByteArray(kMaxPayload + 1, 'x'))).isEmpty());
        QVERIFY(!encodeFrame(makeFrame(FrameKind::Data, 0, 0, QByteArray(kMaxPayload, 'x'))).isEmpty());
        QVERIFY(encodeFrame(makeFrame(FrameKind::Data, 0, 256, {})).isEmpty());
        QVERIFY(encodeFrame(makeFrame(FrameKind::Block, 0, -1, {})).isEmpty());
        QVERIFY(encodeFrame(makeFrame(FrameKind::Command, kSeqModulo, 0, {})).isEmpty());
        QVERIFY(encodeFrame(makeFrame(FrameKind::Command, 0, 5, {})).isEmpty());
        QVERIFY(encodeFrame(makeFrame(FrameKind::Nak, 0, 0, "x")).isEmpty());
    }

    void roundTrip_data()
    {
        QTest::addColumn<Frame>("frame");
        for (int size : {0, 1, 255, 256, 257, 301, kMaxPayload}) {
            QTest::addRow("data %d", size)
                << makeFrame(FrameKind::Data, quint8(size % kSeqModulo), 1, pattern(size));
            QTest::addRow("block %d", size) << makeFrame(FrameKind::Block, 3, 7, pattern(size));
        }
        QTest::addRow("command") << makeFrame(FrameKind::Command, 2, 0, "FWT 0,/DATA/A.DAT,");
        QTest::addRow("reply negative") << makeFrame(FrameKind::Reply, 1, -123456, "ERR");
        QTest::addRow("reply big code") << makeFrame(FrameKind::Reply, 2, 0x7FFFFFFF, {});
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
        const Frame full = makeFrame(FrameKind::Data, 2, 1, pattern(256));
        const Frame ack = makeFrame(FrameKind::Block, 1, 0, {});
        for (quint8 mask : {quint8(0x01), quint8(0x08), quint8(0x10), quint8(0x80), quint8(0xFF)}) {
            QTest::addRow("block mask %02x", mask) << block << mask;
            QTest::addRow("reply mask %02x", mask) << reply << mask;
            QTest::addRow("full block mask %02x", mask) << full << mask;
            QTest::addRow("acknowledgement mask %02x", mask) << ack << mask;
        }
    }
    void everyByteFlipped()
    {
        QFETCH(Frame, frame);
        QFETCH(quint8, mask);
        const QByteArray wire = encodeFrame(frame);
        const Frame next = makeFrame(FrameKind::Command, 2, 0, "DUMMY");
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

    // A frame that lost a byte takes the marker of the frame right behind it as its own last byte;
    // that frame still arrives, whatever start markers the damaged data holds.
    void everyByteLost()
    {
        const QByteArray wire = encodeFrame(makeFrame(FrameKind::WindowBlock, 2, 0, pattern(256)));
        const Frame next = makeFrame(FrameKind::WindowBlock, 3, 0, pattern(256).mid(1));
        for (int i = 0; i < wire.size(); ++i) {
            QByteArray bad = wire;
            bad.remove(i, 1);
            FrameDecoder decoder;
            QList<FrameDecoder::Event> events = decoder.feed(bad);
            QCOMPARE(framesOf(events), QList<Frame>{});
            events += decoder.feed(encodeFrame(next));
            events += decoder.lineIdle();
            QVERIFY2(framesOf(events) == QList<Frame>{next},
                     qPrintable(QStringLiteral("loss of byte %1 took the next frame").arg(i)));
            QVERIFY2(damageCount(events) >= 1,
                     qPrintable(QStringLiteral("loss of byte %1 unnoticed").arg(i)));
        }
    }

    // A damaged frame is told once, though its own bytes hold a start marker (the length 4 of
    // "STS?"): the other end would answer each telling with a Nak, and each Nak costs a repeat.
    void damageToldOnce()
    {
        QByteArray bad = encodeFrame(makeFrame(FrameKind::Command, 1, 0, "STS?"));
        QCOMPARE(bad.at(2), '\x04');
        bad[5] = static_cast<char>(bad.at(5) ^ 0x01);
        FrameDecoder decoder;
        QList<FrameDecoder::Event> events = decoder.feed(bad);
        events += decoder.lineIdle();
        QCOMPARE(damageCount(events), 1);
    }

    // A header damaged into one with a length swallows the short request behind it; it is found
    // again.
    void longLengthSwallowsNothing()
    {
        const Frame request = makeFrame(FrameKind::WindowData, 1, 4, {});
        QByteArray bad = encodeFrame(request);
        bad[1] = static_cast<char>(static_cast<quint8>(bad.at(1)) & ~0x04); // e cleared: LEN follows
        const Frame second = makeFrame(FrameKind::WindowData, 2, 4, {});
        const Frame third = makeFrame(FrameKind::WindowData, 3, 4, {});
        FrameDecoder decoder;
        QList<FrameDecoder::Event> events = decoder.feed(bad + encodeFrame(second) + encodeFrame(third));
        events += decoder.lineIdle();
        QCOMPARE(framesOf(events), (QList<Frame>{second, third}));
        QVERIFY(!decoder.needsIdle());
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

    // A header that cannot be right is refused as soon as its byte arrives, not after a length
    // worth of bytes or a time-out.
    void badHeaderRejectedAtOnce_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("nak with a length") << QByteArray::fromHex("0580");
        QTest::newRow("nak claiming 256 bytes") << QByteArray::fromHex("0598");
        QTest::newRow("control byte without bit 7") << QByteArray::fromHex("0210");
        QTest::newRow("command with a tag") << QByteArray::fromHex("0181");
    }
    void badHeaderRejectedAtOnce()
    {
        QFETCH(QByteArray, bytes);
        FrameDecoder decoder;
        const auto events = decoder.feed(bytes);
        QCOMPARE(damageCount(events), 1);
        QCOMPARE(events.first().damage, FrameDecoder::Damage::BadHeader);
    }

    void garbageBeforeFrame_data()
    {
        QTest::addColumn<QByteArray>("garbage");
        QTest::addRow("binary") << QByteArray::fromHex("ff00fe8081");
        QTest::addRow("text without line feed") << QByteArray("abc def");
        QTest::addRow("stray start marker") << QByteArray::fromHex("01");
        QTest::addRow("every marker") << QByteArray::fromHex("0102030405");
        QTest::addRow("start marker and bad header") << QByteArray::fromHex("01ff05");
        QTest::addRow("start marker alone") << QByteArray::fromHex("03");
    }
    void garbageBeforeFrame()
    {
        QFETCH(QByteArray, garbage);
        const Frame frame = makeFrame(FrameKind::Command, 1, 0, "MED 0");
        FrameDecoder quiet; // the line went quiet after the garbage
        QList<FrameDecoder::Event> events = quiet.feed(garbage);
        events += quiet.lineIdle();
        events += quiet.feed(encodeFrame(frame));
        QCOMPARE(framesOf(events), QList<Frame>{frame});
        FrameDecoder direct; // the frame follows at once
        QCOMPARE(framesOf(direct.feed(garbage + encodeFrame(frame))), QList<Frame>{frame});
    }

    // A raw line begins only after a quiet line, where the program sends one; right behind a frame,
    // text is noise (a frame whose start marker noise changed), and the frames around it still come.
    void rawLinesAmongFrames_data()
    {
        QTest::addColumn<bool>("quiet");
        QTest::newRow("each line after a quiet line") << true;
        QTest::newRow("no quiet line between") << false;
    }
    void rawLinesAmongFrames()
    {
        QFETCH(bool, quiet);
        const Frame a = makeFrame(FrameKind::Command, 0, 0, "STS?");
        const Frame b = makeFrame(FrameKind::Data, 1, 4, {});
        const QList<QByteArray> pieces{encodeFrame(a), "UTILITY FILECOPY,ON\n" + encodeFrame(b),
                                       "t\xe9t\xe9\n"};
        FrameDecoder decoder;
        QList<FrameDecoder::Event> events;
        for (const QByteArray& piece : pieces) {
            events += decoder.feed(piece);
            if (quiet)
                events += decoder.lineIdle();
        }
        QList<QByteArray> lines;
        QList<Frame> frames;
        for (const auto& e : events) {
            if (e.type == FrameDecoder::Event::Type::RawLine)
                lines << e.line;
            else if (e.type == FrameDecoder::Event::Type::Frame)
                frames << e.frame;
        }
        QCOMPARE(frames, (QList<Frame>{a, b}));
        const QList<QByteArray> expected{"UTILITY FILECOPY,ON", "t\xe9t\xe9"};
        QCOMPARE(lines, quiet ? expected : QList<QByteArray>());
        QCOMPARE(damageCount(events), quiet ? 0 : 2);

        // Where lines are never taken (the program's end), text is noise even after a quiet line.
        FrameDecoder program;
        program.setLinesAllowed(false);
        QCOMPARE(damageCount(program.feed("UTILITY FILECOPY,ON\n")), 1);
    }

    void lineWithControlByteIsNoise()
    {
        FrameDecoder decoder;
        const auto events = decoder.feed(QByteArray("UTIL\x1bITY\n"));
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
