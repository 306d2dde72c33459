// The instrument as the program meets it: a separate process on a real pseudo-terminal, reached
// through the program's own link (PexLink).

#include "InstrumentRig.h"
#include "link/PexLink.h"
#include "support/InstrumentProcess.h"
#include "support/TestMain.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using orvalt::link::PexLink;
using orvalt::link::PexOpenRecord;
using orvalt::test::InstrumentProcess;
using orvalt::test::InstrumentRig;
using orvalt::test::patternBytes;

namespace {

// The program's side of the exchanges, block by block as the transfer code runs them.
class LineClient
{
public:
    explicit LineClient(const QString& device)
        : m_link([device](int) { return device; })
    {}

    bool open()
    {
        return m_link.PexOpen(PexOpenRecord{}) == 0 && m_link.PexRetry(1) == 0 &&
               m_link.PexSetTimeOut(6000) == 0;
    }
    PexLink& link() { return m_link; }

    qint32 command(const QByteArray& text, QByteArray* reply = nullptr)
    {
        QByteArray buffer(255, ' ');
        const qint32 result = m_link.PexSendCommand(text, buffer);
        if (reply)
            *reply = buffer.trimmed();
        return result;
    }

    // One block out, one answer back; returns the first non-zero status.
    qint32 exchange(qint32 type, const QByteArray& block, qint32* answerType, QByteArray* answer,
                    int bufferSize)
    {
        qint32 length = static_cast<qint32>(block.size());
        if (const qint32 sent = m_link.PexSendData(type, length, block.constData()))
            return sent;
        QByteArray buffer(bufferSize, '\0');
        qint32 received = 0;
        const qint32 status = m_link.PexReceiveData(*answerType, received, buffer.data(), bufferSize);
        *answer = buffer.left(received);
        return status;
    }

    // "FWT ", length, blocks; the closing "DUMMY" result, or the failing status.
    qint32 upload(const QByteArray& line, const QByteArray& content)
    {
        char header[4];
        qToBigEndian<quint32>(static_cast<quint32>(content.size()), header);
        QList<QPair<qint32, QByteArray>> blocks{{0, line}, {0, QByteArray(header, 4)}};
        for (qsizetype at = 0; at == 0 || at < content.size(); at += 256)
            blocks.append({content.size() - at <= 256 ? 1 : 0, content.mid(at, 256)});
        for (const auto& [type, block] : std::as_const(blocks)) {
            qint32 answerType = 0;
            QByteArray answer;
            if (const qint32 status = exchange(type, block, &answerType, &answer, 256))
                return status;
            if (answerType == 9)
                break;
        }
        return command("DUMMY");
    }

    // "FRD? " or "DIR?" and the blocks that follow; ok when it ended with a last block.
    QByteArray blocks(const QByteArray& request, int bufferSize, bool* ok)
    {
        QByteArray all;
        qint32 type = 3;
        QByteArray block = request;
        for (;;) {
            qint32 answerType = 0;
            QByteArray answer;
            if (exchange(type, block, &answerType, &answer, bufferSize) != 0 || answerType == 9) {
                *ok = false;
                return all;
            }
            all += answer;
            if (answerType == 7) {
                *ok = true;
                return all;
            }
            type = 4;
            block.clear();
        }
    }

    qint32 sendLine(const QByteArray& line)
    {
        qint32 length = static_cast<qint32>(line.size());
        return m_link.PexSendString(length, line.constData());
    }

private:
    PexLink m_link;
};

QStringList entriesBeside(const QString& mediaDir)
{
    QStringList all;
    QDirIterator it(QFileInfo(mediaDir).absolutePath(), QDir::AllEntries | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        all << it.next();
    all.sort();
    return all;
}

} // namespace

class TestInstrumentLine : public QObject
{
    Q_OBJECT

private slots:
    void identification()
    {
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        LineClient client(instrument.devicePath());
        QVERIFY(client.open());
        QByteArray reply;
        QCOMPARE(client.command("PRODUCT?", &reply), 0);
        QCOMPARE(reply, QByteArray("PRODUCT:KD7350,INT MEM,Card 1,Card 2,FD"));
        QCOMPARE(client.command("STS?"), 0);
        QCOMPARE(client.command("TDIF?"), 0);
        QCOMPARE(client.command("MED 9"), 160);
        QCOMPARE(client.command("WHAT?"), 20);
        QCOMPARE(instrument.transcript(),
                 (QStringList{QStringLiteral("CMD PRODUCT?"), QStringLiteral("CMD STS?"),
                              QStringLiteral("CMD TDIF?"), QStringLiteral("CMD MED 9"),
                              QStringLiteral("CMD WHAT?")}));
    }

    void upload_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("lengthRecord");
        QTest::addColumn<QStringList>("arguments");
        const QList<QPair<const char*, QStringList>> instruments{{"compressed", {}},
                                                                 {"plain", {QStringLiteral("--no-pack")}}};
        for (const auto& [kind, arguments] : instruments) {
            QTest::addRow("0 bytes, %s", kind) << 0 << QStringLiteral("BLK 0 4 00000000") << arguments;
            QTest::addRow("1 byte, %s", kind) << 1 << QStringLiteral("BLK 0 4 00000001") << arguments;
            QTest::addRow("255 bytes, %s", kind) << 255 << QStringLiteral("BLK 0 4 000000ff") << arguments;
            QTest::addRow("256 bytes, %s", kind) << 256 << QStringLiteral("BLK 0 4 00000100") << arguments;
            QTest::addRow("257 bytes, %s", kind) << 257 << QStringLiteral("BLK 0 4 00000101") << arguments;
            QTest::addRow("70000 bytes, %s", kind)
                << 70000 << QStringLiteral("BLK 0 4 00011170") << arguments;
        }
        // Repeats 2,000 bytes apart: an instrument decoding a 512-byte window is sent a stream that fits.
        QTest::newRow("70000 bytes, 512-byte window")
            << 70000 << QStringLiteral("BLK 0 4 00011170")
            << QStringList{QStringLiteral("--pack-window"), QStringLiteral("9")};
    }
    void upload()
    {
        QFETCH(int, size);
        QFETCH(QString, lengthRecord);
        QFETCH(QStringList, arguments);
        InstrumentProcess instrument(arguments);
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(QDir(instrument.mediumDir()).mkdir(QStringLiteral("DATA")));
        LineClient client(instrument.devicePath());
        QVERIFY(client.open());
        const QByteArray content = patternBytes(qMin(size, 2000)).repeated(size / 2000 + 1).left(size);
        QCOMPARE(client.upload("FWT 0,/DATA/A.DAT,", content), 0);
        QCOMPARE(InstrumentRig::readFile(instrument.mediumDir() + QStringLiteral("/DATA/A.DAT")), content);
        QCOMPARE(client.link().packAgreed(), arguments.contains(QStringLiteral("--no-pack")) ? 0
                                             : arguments.isEmpty()                           ? 15
                                                                                             : 9);

        QStringList transcript = instrument.transcript();
        // An instrument without compression is asked once, and answers it as an unknown command.
        QCOMPARE(transcript.removeAll(QStringLiteral("CMD PACK? DEFLATE15")),
                 arguments.contains(QStringLiteral("--no-pack")) ? 1 : 0);
        const int blocks = qMax(1, (size + 255) / 256);
        QCOMPARE(transcript.size(), 2 + blocks + 1); // each request once, however often it was sent
        QCOMPARE(transcript.at(0),
                 QStringLiteral("BLK 0 18 ") +
                     QString::fromLatin1(QByteArray("FWT 0,/DATA/A.DAT,").left(16).toHex()));
        QCOMPARE(transcript.at(1), lengthRecord);
        const int lastSize = size - (blocks - 1) * 256;
        QVERIFY(transcript.at(1 + blocks).startsWith(QStringLiteral("BLK 1 %1").arg(lastSize)));
        QCOMPARE(transcript.constLast(), QStringLiteral("CMD DUMMY"));
    }

    void uploadRefused()
    {
        InstrumentProcess instrument;
        QVERIFY(instrument.isReady());
        LineClient client(instrument.devicePath());
        QVERIFY(client.open());
        QCOMPARE(client.upload("FWT 0,/NODIR/A.DAT,", "abc"), 20);
        QCOMPARE(client.upload("FWT 0,/../A.DAT,", "abc"), 20);
        QCOMPARE(client.upload("FWT 7,/A.DAT,", "abc"), 160);
        QCOMPARE(entriesBeside(instrument.mediaDir()).filter(QStringLiteral("A.DAT")), QStringList());
    }

    void download_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("arguments");
        for (const int size : {0, 1, 255, 256, 257, 70000}) {
            QTest::addRow("%d bytes, compressed", size) << size << QStringList();
            QTest::addRow("%d bytes, plain", size) << size << QStringList{QStringLiteral("--no-pack")};
        }
    }
    void download()
    {
        QFETCH(int, size);
        QFETCH(QStringList, arguments);
        InstrumentProcess instrument(arguments);
        QVERIFY(instrument.isReady());
        const QByteArray content = patternBytes(size);
        QVERIFY(QDir(instrument.mediumDir(QStringLiteral("1"))).mkdir(QStringLiteral("DATA")));
        QVERIFY(InstrumentRig::writeFile(
            instrument.mediumDir(QStringLiteral("1")) + QStringLiteral("/DATA/B.DAT"), content));
        LineClient client(instrument.devicePath());
        QVERIFY(client.open());
        QCOMPARE(client.command("MED 1"), 0);
        QCOMPARE(client.command("CDR /DATA/"), 0);
        bool ok = false;
        const QByteArray all = client.blocks("FRD? B.DAT", 256, &ok);
        QVERIFY(ok);
        QCOMPARE(all.left(4), QByteArray::fromHex(QByteArray::number(size, 16).rightJustified(8, '0')));
        QCOMPARE(all.mid(4), content);
        client.blocks("FRD? NONE.DAT", 256, &ok);
        QVERIFY(!ok);
        QCOMPARE(client.link().packAgreed(), arguments.isEmpty() ? 15 : 0);
    }

    // A file stopped midway (the program's abandonFileStream sends "STS?") leaves nothing behind on
    // either end: the next file of each direction goes through whole, and the stopped one is not stored.
    void streamStoppedMidway()
    {
        InstrumentProcess instrument;
        QVERIFY(instrument.isReady());
        const QByteArray content = patternBytes(3000).repeated(10);
        QVERIFY(InstrumentRig::writeFile(instrument.mediumDir() + QStringLiteral("/R.DAT"), content));
        LineClient client(instrument.devicePath());
        QVERIFY(client.open());
        char header[4];
        qToBigEndian<quint32>(static_cast<quint32>(content.size()), header);
        qint32 answerType = 0;
        QByteArray answer;
        QCOMPARE(client.exchange(0, "FWT 0,/HALF.DAT,", &answerType, &answer, 256), 0);
        QCOMPARE(client.exchange(0, QByteArray(header, 4), &answerType, &answer, 256), 0);
        for (int block = 0; block < 60; ++block)
            QCOMPARE(client.exchange(0, content.mid(block * 256, 256), &answerType, &answer, 256), 0);
        QCOMPARE(client.command("STS?"), 0);
        QCOMPARE(client.command("DUMMY"), 100);
        QCOMPARE(client.exchange(3, "FRD? R.DAT", &answerType, &answer, 256), 0);
        QCOMPARE(answerType, 0);
        QCOMPARE(client.command("STS?"), 0);

        QCOMPARE(client.upload("FWT 0,/W.DAT,", content), 0);
        QCOMPARE(InstrumentRig::readFile(instrument.mediumDir() + QStringLiteral("/W.DAT")), content);
        bool ok = false;
        QCOMPARE(client.blocks("FRD? R.DAT", 256, &ok).mid(4), content);
        QVERIFY(ok);
        QVERIFY(!QFileInfo::exists(instrument.mediumDir() + QStringLiteral("/HALF.DAT")));
    }

    void listing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("compressed") << QStringList();
        QTest::newRow("plain") << QStringList{QStringLiteral("--no-pack")};
    }
    void listing()
    {
        QFETCH(QStringList, arguments);
        InstrumentProcess instrument(arguments);
        QVERIFY(instrument.isReady());
        for (int i = 0; i < 40; ++i)
            QVERIFY(
                InstrumentRig::writeFile(instrument.mediumDir() + QStringLiteral("/FILE%1.DAT").arg(i), "x"));
        QVERIFY(QDir(instrument.mediumDir()).mkdir(QStringLiteral("SUB")));
        LineClient client(instrument.devicePath());
        QVERIFY(client.open());
        QCOMPARE(client.command("MED 0"), 0);
        QCOMPARE(client.command("CDR /"), 0);
        bool ok = false;
        const QList<QByteArray> fields = client.blocks("DIR?", 301, &ok).split(',');
        QVERIFY(ok);
        QCOMPARE(fields.size(), 1 + 41 * 5);
        QCOMPARE(fields.at(1), QByteArray("SUB/"));
        QCOMPARE(instrument.transcript().filter(QStringLiteral("BLK 4 0")).size() + 1,
                 instrument.transcript().filter(QStringLiteral("BLK ")).size());
    }

    void pathEscapes_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("..") << QByteArray("..");
        QTest::newRow("/..") << QByteArray("/..");
        QTest::newRow("backslashes") << QByteArray("\\..\\");
        QTest::newRow("deeper") << QByteArray("/DATA/../../..");
        QTest::newRow("host absolute") << QByteArray("/etc");
    }
    void pathEscapes()
    {
        QFETCH(QByteArray, path);
        InstrumentProcess instrument;
        QVERIFY(instrument.isReady());
        QVERIFY(QDir(instrument.mediumDir()).mkdir(QStringLiteral("DATA")));
        const QStringList before = entriesBeside(instrument.mediaDir());
        LineClient client(instrument.devicePath());
        QVERIFY(client.open());
        QCOMPARE(client.command("CDR " + path), 20);
        QCOMPARE(client.command("MKDR " + path + "/X"), 20);
        QCOMPARE(client.upload("FWT 0," + path + "/EVIL.DAT,", "evil"), 20);
        bool ok = true;
        client.blocks("FRD? " + path + "/passwd", 256, &ok);
        QVERIFY(!ok);
        QCOMPARE(entriesBeside(instrument.mediaDir())
                     .filter(QStringLiteral("transcript"), Qt::CaseInsensitive)
                     .size(),
                 1);
        QStringList after = entriesBeside(instrument.mediaDir());
        after.removeAll(instrument.transcriptPath());
        QStringList expected = before;
        expected.removeAll(instrument.transcriptPath());
        QCOMPARE(after, expected);
    }

    void busyAndShortNames()
    {
        InstrumentProcess instrument(
            {QStringLiteral("--busy-every"), QStringLiteral("2"), QStringLiteral("--short-names")});
        QVERIFY(instrument.isReady());
        LineClient client(instrument.devicePath());
        QVERIFY(client.open());
        QCOMPARE(client.command("STS?"), 0);
        QCOMPARE(client.command("STS?"), 60);
        QCOMPARE(client.command("TDIF?"), 20);
        QCOMPARE(client.command("MKDR /lower"), 60);
        QCOMPARE(client.command("MKDR /lower"), 20);
    }

    void rzRawLines()
    {
        InstrumentProcess instrument({QStringLiteral("--model"), QStringLiteral("RZ500"),
                                      QStringLiteral("--media-names"), QStringLiteral("INT MEM,Drive A")});
        QVERIFY(instrument.isReady());
        QVERIFY(QFileInfo(instrument.mediumDir(QStringLiteral("A"))).isDir());
        LineClient client(instrument.devicePath());
        QVERIFY(client.open());
        client.sendLine("UTILITY FILECOPY,ON\n");
        QByteArray reply;
        QCOMPARE(client.command("PRODUCT?", &reply), 0);
        QCOMPARE(reply, QByteArray("PRODUCT:RZ500,INT MEM,Drive A"));
        client.sendLine("UTILITY FILECOPY,OFF\n");
        QCOMPARE(client.command("STS?"), 0);
        QCOMPARE(instrument.transcript(),
                 (QStringList{QStringLiteral("RAW UTILITY FILECOPY,ON"), QStringLiteral("CMD PRODUCT?"),
                              QStringLiteral("RAW UTILITY FILECOPY,OFF"), QStringLiteral("CMD STS?")}));
    }

    void clientReopens()
    {
        InstrumentProcess instrument;
        QVERIFY(instrument.isReady());
        for (int round = 0; round < 3; ++round) {
            LineClient client(instrument.devicePath());
            QVERIFY(client.open());
            QCOMPARE(client.command("STS?"), 0);
            QCOMPARE(client.upload("FWT 0,/R.DAT,", patternBytes(300 + round)), 0);
        }
        QCOMPARE(QFileInfo(instrument.mediumDir() + QStringLiteral("/R.DAT")).size(), 302);
    }

    void noisyPacedLine()
    {
        // Damage in both directions costs retransmissions, never data.
        InstrumentProcess instrument({QStringLiteral("--corrupt"), QStringLiteral("0.001"),
                                      QStringLiteral("--drop"), QStringLiteral("0.0002"),
                                      QStringLiteral("--seed"), QStringLiteral("7"), QStringLiteral("--baud"),
                                      QStringLiteral("115200")});
        QVERIFY(instrument.isReady());
        LineClient client(instrument.devicePath());
        QVERIFY(client.open());
        const QByteArray content = patternBytes(20000);
        QCOMPARE(client.upload("FWT 0,/NOISY.DAT,", content), 0);
        QCOMPARE(InstrumentRig::readFile(instrument.mediumDir() + QStringLiteral("/NOISY.DAT")), content);
        bool ok = false;
        QCOMPARE(client.blocks("FRD? NOISY.DAT", 256, &ok).mid(4), content);
        QVERIFY(ok);
        // Each request once: FWT, length, 79 blocks, DUMMY; FRD? and 78 requests for more.
        QCOMPARE(instrument.transcript().size(), 2 + 79 + 1 + 1 + 78);
    }

    void servesDevice()
    {
        // One end of a socat pair stands for a real serial port.
        const QString socat = QStandardPaths::findExecutable(QStringLiteral("socat"));
        if (socat.isEmpty())
            QSKIP("socat is not installed");
        QTemporaryDir dir;
        const QString near = dir.filePath(QStringLiteral("instrument-end"));
        const QString far = dir.filePath(QStringLiteral("program-end"));
        QProcess pair;
        pair.start(socat, {QStringLiteral("pty,raw,echo=0,link=") + near,
                           QStringLiteral("pty,raw,echo=0,link=") + far});
        QVERIFY(pair.waitForStarted());
        QTRY_VERIFY(QFileInfo::exists(near) && QFileInfo::exists(far));
        {
            InstrumentProcess instrument({QStringLiteral("--device"), near});
            QVERIFY(instrument.isReady());
            LineClient client(far);
            QVERIFY(client.open());
            QCOMPARE(client.upload("FWT 0,/DEV.DAT,", patternBytes(1000)), 0);
            QCOMPARE(InstrumentRig::readFile(instrument.mediumDir() + QStringLiteral("/DEV.DAT")),
                     patternBytes(1000));
            // The device is locked while served: a second instrument on it is refused.
            InstrumentProcess second({QStringLiteral("--device"), near});
            QVERIFY(second.process().waitForFinished(10000));
            QCOMPARE(second.process().exitCode(), 1);
            QVERIFY(instrument.stop());
        }
        pair.terminate();
        pair.waitForFinished();
    }

    void cleanExitOnSigterm()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("instrument-tty"));
        InstrumentProcess instrument({QStringLiteral("--link"), link});
        QVERIFY(instrument.isReady());
        QCOMPARE(QFileInfo(link).symLinkTarget(), instrument.devicePath());
        LineClient client(link);
        QVERIFY(client.open());
        QCOMPARE(client.command("STS?"), 0);
        QVERIFY(instrument.stop());
        QVERIFY(!QFileInfo(link).isSymLink());
        QVERIFY(!QFileInfo::exists(link));
    }

    void refusesBadOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("shared medium code")
            << QStringList{QStringLiteral("--media-names"), QStringLiteral("INT MEM,Card M")};
        QTest::newRow("probability") << QStringList{QStringLiteral("--corrupt"), QStringLiteral("2")};
        QTest::newRow("baud") << QStringList{QStringLiteral("--baud"), QStringLiteral("fast")};
        QTest::newRow("missing device")
            << QStringList{QStringLiteral("--device"), QStringLiteral("/nonexistent/tty")};
    }
    void refusesBadOptions()
    {
        QFETCH(QStringList, arguments);
        InstrumentProcess instrument(arguments);
        QProcess& process = instrument.process();
        QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY(process.exitCode() != 0);
    }
};

ORVALT_TEST(TestInstrumentLine);
#include "TestInstrumentLine.moc"
