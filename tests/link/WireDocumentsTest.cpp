// The byte examples of docs/link-protocol.md and docs/instrument-commands.md, regenerated from the
// codec. An example in a document is a title line ending in "(N bytes)" followed by a line of hex
// (frames over 16 bytes shown as their first 8 bytes, "...", their last 4). Every example in the
// documents must be one of the frames below and match it byte for byte, and every frame below must
// appear, so a change to the codec or to a document that lets them drift fails here.

#include "link/FrameCodec.h"
#include "link/LinkPack.h"
#include "support/TestMain.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTest>
#include <QtEndian>

using namespace orvalt::link;

namespace {

QByteArray counting(int size, int from = 0)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((from + i) & 0xFF);
    return bytes;
}

QByteArray lengthThen(quint32 length, const QByteArray& data)
{
    char header[4];
    qToBigEndian(length, header);
    return QByteArray(header, 4) + data;
}

Frame frame(FrameKind kind, quint8 seq, qint32 tag = 0, const QByteArray& payload = {})
{
    return Frame{kind, seq, tag, payload};
}

// Title (without its byte count) -> frame, for each document.
using Examples = QMap<QString, Frame>;
using Streams = QMap<QString, QByteArray>;

// The compressed write's file; its stream as the program sends it (window 15, the length flushed
// into a part of its own), and as the virtual instrument answers it (window 12, memory level 5).
QByteArray logFile()
{
    return "2026/11/03,10:00:00.00,0.5012,21.5\r\n2026/11/03,10:00:00.10,0.5013,21.5\r\n"
           "2026/11/03,10:00:00.20,0.5011,21.5\r\n";
}

QByteArray logLength()
{
    return lengthThen(static_cast<quint32>(logFile().size()), {});
}

QByteArray programStream(bool lengthPart)
{
    PackWriter writer(15, 8, 6);
    writer.write(logLength());
    writer.flush();
    const QByteArray length = writer.take(writer.pending());
    writer.write(logFile());
    writer.finish();
    return lengthPart ? length : writer.take(writer.pending());
}

QByteArray instrumentStream()
{
    PackWriter writer(12, 5, 6);
    writer.write(logLength() + logFile());
    writer.finish();
    return writer.take(writer.pending());
}

Examples linkProtocolExamples()
{
    using K = FrameKind;
    const QByteArray file = counting(600, 0x40); // the windowed examples' 600-byte file
    return {
        {"Command \"MED 0\", seq 1", frame(K::Command, 1, 0, "MED 0")},
        {"Reply: code 0, no text, seq 1", frame(K::Reply, 1)},
        {"Command \"CDR /DATA\", seq 2", frame(K::Command, 2, 0, "CDR /DATA")},
        {"Reply: code 60, text \"60\", seq 2", frame(K::Reply, 2, 60, "60")},
        {"File block: Data type 0, 256 bytes 00 01 .. ff, seq 3", frame(K::Data, 3, 0, counting(256))},
        {"Its acknowledgement: Block type 0, empty, seq 3", frame(K::Block, 3)},
        {"Last file block: Data type 1, 44 bytes 00 .. 2b, seq 0", frame(K::Data, 0, 1, counting(44))},
        {"Refusal: Block type 9, empty, seq 0", frame(K::Block, 0, 9)},
        {"Request for the next answer block: Data type 4, seq 1", frame(K::Data, 1, 4)},
        {"Last answer block: Block type 7, \"END\", seq 1", frame(K::Block, 1, 7, "END")},
        {"Nak", frame(K::Nak, 0)},
        {"Window request 5: Data type 0, 256 bytes 00 .. ff", frame(K::WindowData, 5, 0, counting(256))},
        {"Its answer: window Block 5, type 0, empty", frame(K::WindowBlock, 5)},
        {"Window Nak: send again from 5", frame(K::WindowNak, 5)},
        {"Window request 9: Data type 4, empty", frame(K::WindowData, 9, 4)},
        {"Window answer 9: Block type 9, empty", frame(K::WindowBlock, 9, 9)},
        // The windowed write, "A.DAT" of 600 bytes 40 41 .. (window of 3).
        {"W1 program: Command \"WINDOW? 3\", seq 2", frame(K::Command, 2, 0, "WINDOW? 3")},
        {"W2 instrument: Reply code 0, \"WINDOW:3\", seq 2", frame(K::Reply, 2, 0, "WINDOW:3")},
        {"W3 program: request 0, Data type 0 \"FWT 0,/A.DAT,\"", frame(K::WindowData, 0, 0, "FWT 0,/A.DAT,")},
        {"W4 program: request 1, Data type 0, the length 00 00 02 58",
         frame(K::WindowData, 1, 0, lengthThen(600, {}))},
        {"W5 program: request 2, Data type 0, bytes 0 .. 255 of the file",
         frame(K::WindowData, 2, 0, file.left(256))},
        {"W6 instrument: answer 0, Block type 0", frame(K::WindowBlock, 0)},
        {"W7 instrument: answer 1, Block type 0", frame(K::WindowBlock, 1)},
        {"W8 program: request 3, Data type 0, bytes 256 .. 511",
         frame(K::WindowData, 3, 0, file.mid(256, 256))},
        {"W9 instrument: window Nak, from 2", frame(K::WindowNak, 2)},
        {"W10 program: request 4, Data type 1, bytes 512 .. 599", frame(K::WindowData, 4, 1, file.mid(512))},
        {"W14 instrument: answer 2, Block type 0", frame(K::WindowBlock, 2)},
        {"W15 instrument: answer 3, Block type 0", frame(K::WindowBlock, 3)},
        {"W16 instrument: answer 4, Block type 0", frame(K::WindowBlock, 4)},
        {"W17 program: Command \"DUMMY\", seq 3", frame(K::Command, 3, 0, "DUMMY")},
        {"W18 instrument: Reply code 0, seq 3", frame(K::Reply, 3)},
        // The windowed read of the same file.
        {"R1 program: request 0, Data type 3 \"FRD? A.DAT\"", frame(K::WindowData, 0, 3, "FRD? A.DAT")},
        {"R2 program: request 1, Data type 4", frame(K::WindowData, 1, 4)},
        {"R3 program: request 2, Data type 4", frame(K::WindowData, 2, 4)},
        {"R4 instrument: answer 0, Block type 0, the length and bytes 0 .. 251",
         frame(K::WindowBlock, 0, 0, lengthThen(600, file.left(252)))},
        {"R5 instrument: window Nak, from 1", frame(K::WindowNak, 1)},
        {"R8 instrument: answer 1, Block type 0, bytes 252 .. 507",
         frame(K::WindowBlock, 1, 0, file.mid(252, 256))},
        {"R9 program: request 3, Data type 4", frame(K::WindowData, 3, 4)},
        {"R10 instrument: answer 2, Block type 7, bytes 508 .. 599",
         frame(K::WindowBlock, 2, 7, file.mid(508))},
        {"R11 instrument: answer 3, Block type 9", frame(K::WindowBlock, 3, 9)},
        // The compressed write and read of "LOG.CSV".
        {"P1 program: Command \"PACK? DEFLATE15\", seq 1", frame(K::Command, 1, 0, "PACK? DEFLATE15")},
        {"P2 instrument: Reply code 0, \"PACK:DEFLATE15\", seq 1", frame(K::Reply, 1, 0, "PACK:DEFLATE15")},
        {"P3 program: Data type 6 \"FWT 0,/LOG.CSV,\", seq 2", frame(K::Data, 2, 6, "FWT 0,/LOG.CSV,")},
        {"P4 instrument: Block type 0, seq 2", frame(K::Block, 2)},
        {"P5 program: Data type 0, the length flushed, seq 3", frame(K::Data, 3, 0, programStream(true))},
        {"P6 instrument: Block type 0, seq 3", frame(K::Block, 3)},
        {"P7 program: Data type 1, the rest of the stream, seq 0",
         frame(K::Data, 0, 1, programStream(false))},
        {"P8 instrument: Block type 0, seq 0", frame(K::Block, 0)},
        {"P9 program: Data type 5 \"FRD? LOG.CSV\", seq 1", frame(K::Data, 1, 5, "FRD? LOG.CSV")},
        {"P10 instrument: Block type 7, its whole stream, seq 1", frame(K::Block, 1, 7, instrumentStream())},
    };
}

// What a receiver is given in the examples of resynchronisation: a window request that lost its TAG
// byte followed by the next one, and a row of a measurement file whose marker lost bit 5.
QByteArray lostTagThenNext()
{
    const QByteArray first = encodeFrame(frame(FrameKind::WindowData, 1, 4));
    return first.left(2) + first.mid(3) + encodeFrame(frame(FrameKind::WindowData, 2, 4));
}

const QByteArray kRow = "2026/11/03,10:00:00.00,0.5012,21.5\r\n";

QByteArray flippedRow()
{
    QByteArray wire = encodeFrame(frame(FrameKind::WindowData, 5, 0, kRow));
    wire[0] = static_cast<char>(wire.at(0) ^ 0x20);
    return wire;
}

// Byte examples that are no frame, shown whole, 16 bytes a line.
QMap<QString, QByteArray> linkProtocolStreams()
{
    return {{"The stream of LOG.CSV as the program sends it", programStream(true) + programStream(false)},
            {"The stream of LOG.CSV as the instrument answers it", instrumentStream()},
            {"S1 received: window request 1 (Data type 4) without its TAG byte, then request 2",
             lostTagThenNext()},
            {"S2 received inside a write: window request 5, a row of a measurement file, its marker arrived "
             "as 26",
             flippedRow()}};
}

QString describe(const QList<FrameDecoder::Event>& events)
{
    QStringList words;
    for (const FrameDecoder::Event& e : events) {
        if (e.type == FrameDecoder::Event::Type::Frame)
            words << QStringLiteral("frame %1").arg(e.frame.seq);
        else if (e.type == FrameDecoder::Event::Type::RawLine)
            words << QStringLiteral("line");
        else
            words << damageText(e.damage);
    }
    return words.join(QLatin1String(", "));
}

Examples instrumentCommandExamples()
{
    using K = FrameKind;
    return {
        {"Command \"STS?\", seq 0", frame(K::Command, 0, 0, "STS?")},
        {"Reply: code 0, no text, seq 0", frame(K::Reply, 0)},
        {"Command \"MKDR /DATA\", seq 1", frame(K::Command, 1, 0, "MKDR /DATA")},
        {"Reply: code 20, text \"20\", seq 1", frame(K::Reply, 1, 20, "20")},
        {"Data type 3 \"DIR?\", seq 2", frame(K::Data, 2, 3, "DIR?")},
        {"Block type 7, \"0/DATA,..,0,2024/05/01,09:30:00,DIR,A.DAT,600,2024/05/01,09:31:10,FILE\", seq 2",
         frame(K::Block, 2, 7, "0/DATA,..,0,2024/05/01,09:30:00,DIR,A.DAT,600,2024/05/01,09:31:10,FILE")},
    };
}

QString hexLine(const QByteArray& wire)
{
    const auto hex = [](const QByteArray& bytes) {
        return QString::fromLatin1(bytes.toHex(' '));
    };
    if (wire.size() <= 16)
        return hex(wire);
    return hex(wire.left(8)) + QStringLiteral(" ... ") + hex(wire.right(4));
}

struct Example
{
    QString title;
    int bytes = 0;
    QString hex;
};

QList<Example> examplesIn(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    static const QRegularExpression titleLine(QStringLiteral("^(\\S.*?)\\s+\\((\\d+) bytes?\\)$"));
    static const QRegularExpression hexShape(QStringLiteral("^  [0-9a-f]{2}( ([0-9a-f]{2}|\\.\\.\\.))*$"));
    QList<Example> examples;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QRegularExpressionMatch title = titleLine.match(lines.at(i));
        if (!title.hasMatch() || !hexShape.match(lines.at(i + 1)).hasMatch())
            continue;
        Example example{title.captured(1), title.captured(2).toInt(), lines.at(i + 1).mid(2)};
        // A byte example that is no frame goes on, whole, over further lines.
        for (i += 2; i < lines.size() && hexShape.match(lines.at(i)).hasMatch(); ++i)
            example.hex += QLatin1Char(' ') + lines.at(i).mid(2);
        --i;
        examples.append(example);
    }
    return examples;
}

} // namespace

Q_DECLARE_METATYPE(orvalt::link::Frame)

class WireDocumentsTest : public QObject
{
    Q_OBJECT

private slots:
    void examplesMatchTheCodec_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<Examples>("frames");
        QTest::addColumn<Streams>("streams");
        QTest::newRow("link-protocol")
            << QStringLiteral("link-protocol.md") << linkProtocolExamples() << linkProtocolStreams();
        QTest::newRow("instrument-commands")
            << QStringLiteral("instrument-commands.md") << instrumentCommandExamples() << Streams();
    }
    void examplesMatchTheCodec()
    {
        QFETCH(QString, document);
        QFETCH(Examples, frames);
        QFETCH(Streams, streams);
        const QString path = QFINDTESTDATA(QStringLiteral("../../docs/") + document);
        QVERIFY2(!path.isEmpty(), qPrintable(document));
        const QList<Example> examples = examplesIn(path);
        QStringList seen;
        for (const Example& example : examples) {
            if (streams.contains(example.title)) {
                const QByteArray bytes = streams.value(example.title);
                QCOMPARE(example.hex, QString::fromLatin1(bytes.toHex(' ')));
                QCOMPARE(example.bytes, bytes.size());
                seen << example.title;
                continue;
            }
            QVERIFY2(frames.contains(example.title),
                     qPrintable(QStringLiteral("unknown example: ") + example.title));
            const QByteArray wire = encodeFrame(frames.value(example.title));
            QVERIFY(!wire.isEmpty());
            QCOMPARE(example.hex, hexLine(wire));
            QCOMPARE(example.bytes, wire.size());
            seen << example.title;
        }
        for (auto it = frames.cbegin(); it != frames.cend(); ++it)
            QVERIFY2(seen.contains(it.key()),
                     qPrintable(QStringLiteral("missing from the document: ") + it.key()));
        for (auto it = streams.cbegin(); it != streams.cend(); ++it)
            QVERIFY2(seen.contains(it.key()),
                     qPrintable(QStringLiteral("missing from the document: ") + it.key()));
    }

    // What the examples of resynchronisation say a receiver makes of their bytes.
    void resynchronisationExamples()
    {
        FrameDecoder decoder;
        QCOMPARE(describe(decoder.feed(lostTagThenNext())), QStringLiteral("frame check failed, frame 2"));

        // Inside a write no raw line may begin: noise, dropped to the next marker.
        FrameDecoder inWrite;
        inWrite.setLinesAllowed(false);
        QCOMPARE(describe(inWrite.feed(flippedRow())), QStringLiteral("noise on the line"));
        // Where one may, the same bytes are a raw line.
        FrameDecoder between;
        QCOMPARE(describe(between.feed(flippedRow())), QStringLiteral("line, noise on the line"));
    }
};

ORVALT_TEST(WireDocumentsTest);
#include "WireDocumentsTest.moc"
