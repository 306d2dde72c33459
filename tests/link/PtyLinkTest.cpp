// The link against the virtual instrument on a real pseudo-terminal: every command of the command
// index through PexLink and the command exchange, and the link's recovery on a noisy line.

#include "core/AppState.h"
#include "link/PexLink.h"
#include "session/CommandExchange.h"
#include "support/InstrumentProcess.h"
#include "support/ScriptedDialogs.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QtEndian>
#include <array>

using namespace orvalt;
using namespace orvalt::link;
using orvalt::test::InstrumentProcess;
using orvalt::test::ScriptedDialogs;

namespace {

QByteArray pattern(int size, int salt = 0)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + salt) & 0xFF);
    return bytes;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The block exchanges as the sender, receiver and listing run them.
struct Blocks
{
    PexLink& link;

    qint32 step(qint32 type, const QByteArray& block, qint32& answerType, QByteArray& answer, int bufferSize)
    {
        qint32 length = static_cast<qint32>(block.size());
        if (const qint32 sent = link.PexSendData(type, length, block.constData()))
            return sent;
        QByteArray buffer(bufferSize, '\0');
        qint32 received = 0;
        const qint32 status = link.PexReceiveData(answerType, received, buffer.data(), bufferSize);
        answer = buffer.left(received);
        return status;
    }

    qint32 write(const QString& commandLine, const QByteArray& content)
    {
        std::array<char, 256> line{};
        const qint32 lineLength = StrToBytes(line, commandLine);
        char header[4];
        qToBigEndian(static_cast<quint32>(content.size()), header);
        QList<QPair<qint32, QByteArray>> blocks{{0, QByteArray(line.data(), lineLength)},
                                                {0, QByteArray(header, 4)}};
        for (qsizetype at = 0; at == 0 || at < content.size(); at += 256)
            blocks.append({content.size() - at <= 256 ? 1 : 0, content.mid(at, 256)});
        for (const auto& [type, block] : std::as_const(blocks)) {
            qint32 answerType = 0;
            QByteArray answer;
            if (const qint32 status = step(type, block, answerType, answer, 256))
                return status;
            if (answerType == 9)
                return -9;
        }
        QByteArray reply(128, ' ');
        return link.PexSendCommand("DUMMY", reply);
    }

    // "DIR?" or "FRD? name": the joined answer blocks; ok when the last block came.
    QByteArray read(const QByteArray& request, int bufferSize, bool& ok)
    {
        QByteArray all;
        qint32 type = 3;
        QByteArray block = request;
        ok = false;
        for (;;) {
            qint32 answerType = 0;
            QByteArray answer;
            if (step(type, block, answerType, answer, bufferSize) != 0 || answerType == 9)
                return all;
            all += answer;
            if (answerType == 7) {
                ok = true;
                return all;
            }
            type = 4;
            block.clear();
        }
    }
};

bool openLink(PexLink& link, PexOpenRecord record = {})
{
    return link.PexOpen(record) == 0 && link.PexRetry(1) == 0 && link.PexSetTimeOut(6000) == 0;
}

} // namespace

class PtyLinkTest : public QObject
{
    Q_OBJECT

private slots:
    // Against an instrument that takes a window and one that says nothing of it (one request at a
    // time, as every instrument before the window).
    void everyCommandOfTheIndex_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("window");
        // At 9600 baud (the record's first speed) the program asks for three blocks in flight: a
        // stop then waits for about a second of them.
        QTest::newRow("window") << QStringList{} << 3;
        QTest::newRow("instrument of today") << QStringList{QStringLiteral("--no-window")} << 0;
    }
    void everyCommandOfTheIndex()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, window);
        InstrumentProcess instrument(arguments);
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString device = instrument.devicePath();
        PexLink link([device](int port) { return port == 0 ? device : QString(); });
        QVERIFY2(openLink(link), qPrintable(link.errorString()));
        AppState state;
        ScriptedDialogs dialogs;
        auto send = [&](const char* command) {
            return SendCmd(state, link, dialogs, QLatin1String(command));
        };

        QByteArray reply(255, ' ');
        QCOMPARE(link.PexSendCommand("PRODUCT?", reply), 0);
        QVERIFY2(reply.startsWith("PRODUCT:KD7350,"), reply.constData());
        QCOMPARE(reply.size(), 255);

        QCOMPARE(send("STS?"), 0);
        QCOMPARE(send("TDIF?"), 0);
        std::array<char, 49> line{};
        for (const char* text : {"UTILITY FILECOPY,ON\n", "UTILITY FILECOPY,OFF\n"}) {
            qint32 length = StrToBytes(line, QLatin1String(text));
            QCOMPARE(link.PexSendString(length, line.data()), 0);
        }
        QCOMPARE(send("MED 0"), 0);
        QCOMPARE(send("MKDR /DATA"), 0);
        QVERIFY(QFileInfo(instrument.mediumDir() + QStringLiteral("/DATA")).isDir());
        QCOMPARE(send("CDR /DATA"), 0);

        Blocks blocks{link};
        const QByteArray content = pattern(700);
        QCOMPARE(blocks.write(QStringLiteral("FWT 0,/DATA/A.DAT,"), content), 0);
        QCOMPARE(readFile(instrument.mediumDir() + QStringLiteral("/DATA/A.DAT")), content);

        bool ok = false;
        const QByteArray listing = blocks.read("DIR?", 301, ok);
        QVERIFY(ok);
        QVERIFY2(listing.contains("A.DAT,700,"), listing.constData());

        const QByteArray file = blocks.read("FRD? A.DAT", 256, ok);
        QVERIFY(ok);
        QCOMPARE(file.left(4), QByteArray::fromHex("000002bc"));
        QCOMPARE(file.mid(4), content);
        QCOMPARE(link.windowAgreed(), window);

        QCOMPARE(send("CPY 0,/DATA/A.DAT,1,/B.DAT"), 0);
        QCOMPARE(readFile(instrument.mediumDir(QStringLiteral("1")) + QStringLiteral("/B.DAT")), content);
        QCOMPARE(send("MOV 0,/DATA/A.DAT,/DATA/C.DAT"), 0);
        QCOMPARE(send("FDL C.DAT"), 0);
        QVERIFY(!QFile::exists(instrument.mediumDir() + QStringLiteral("/DATA/C.DAT")));
        QCOMPARE(send("FMT 1"), 0);
        QVERIFY(!QFile::exists(instrument.mediumDir(QStringLiteral("1")) + QStringLiteral("/B.DAT")));
        QCOMPARE(send("CPY 0,/NONE.DAT,1,/X.DAT"), 20);
        QCOMPARE(send("MED 7"), 160);
        QCOMPARE(dialogs.yields, 11);
        QVERIFY(dialogs.shown.isEmpty());
        QCOMPARE(link.PexClose(), 0);

        const QStringList transcript = instrument.transcript();
        QVERIFY(transcript.contains(QStringLiteral("RAW UTILITY FILECOPY,ON")));
        QVERIFY(transcript.contains(QStringLiteral("RAW UTILITY FILECOPY,OFF")));
        for (const char* command : {"CMD STS?", "CMD MKDR /DATA", "CMD FMT 1", "CMD DUMMY"})
            QCOMPARE(transcript.count(QLatin1String(command)), 1);
    }

    // Noise on the line in both directions: every byte arrives right and every request is carried
    // out once, as the transcript shows. (At 0.002 each way, two blocks in three are damaged and
    // eight repeats of one block fail now and then, whichever way the blocks go.)
    void noisyLine()
    {
        InstrumentProcess instrument({QStringLiteral("--corrupt"), QStringLiteral("0.001"),
                                      QStringLiteral("--drop"), QStringLiteral("0.001"),
                                      QStringLiteral("--seed"), QStringLiteral("11")});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString device = instrument.devicePath();
        PexLink link([device](int) { return device; });
        QVERIFY(openLink(link));
        link.PexRetry(3); // a frame lost whole now and then costs a silent wait, not the test
        Blocks blocks{link};
        const QByteArray content = pattern(20 * 256 + 17, 3);
        qint32 written = -1;
        for (int attempt = 0; attempt < 3 && written != 0; ++attempt)
            written = blocks.write(QStringLiteral("FWT 0,/NOISY.DAT,"), content);
        QCOMPARE(written, 0);
        QCOMPARE(readFile(instrument.mediumDir() + QStringLiteral("/NOISY.DAT")), content);
        bool ok = false;
        QByteArray file;
        for (int attempt = 0; attempt < 3 && !ok; ++attempt)
            file = blocks.read("FRD? NOISY.DAT", 256, ok);
        QVERIFY(ok);
        QCOMPARE(file.mid(4), content);
        QVERIFY(link.retransmissions() > 0);
        link.PexClose();

        // One transcript line per distinct request: the write that got to "DUMMY" stored each of
        // its 21 file blocks once.
        const QStringList transcript = instrument.transcript();
        const qsizetype closed = transcript.lastIndexOf(QStringLiteral("CMD DUMMY"));
        QVERIFY(closed > 0);
        qsizetype opened = closed;
        while (opened >= 0 &&
               !transcript.at(opened).startsWith(QStringLiteral("BLK 0 17 46575420"))) // "FWT "
            --opened;
        QVERIFY(opened >= 0);
        const QStringList stored = transcript.mid(opened + 1, closed - opened - 1);
        QCOMPARE(stored.filter(QRegularExpression(QStringLiteral("^BLK [01] 256 "))).size() +
                     stored.filter(QRegularExpression(QStringLiteral("^BLK 1 17 "))).size(),
                 21);
    }

    // A pseudo-terminal knows no parity, 7 data bits or hardware flow control: the link opens all the
    // same and says what it could not set.
    void refusedSettingsStillOpen()
    {
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString device = instrument.devicePath();
        PexLink link([device](int) { return device; });
        PexOpenRecord record;
        record.baud = 4;
        record.dataBits = 1;
        record.parity = 1;
        record.stopBits = 1;
        record.flowControl = 1;
        QCOMPARE(link.PexOpen(record), 0);
        QVERIFY2(link.errorString().contains(
                     QStringLiteral("parity Even not supported by %1; using None").arg(device)),
                 qPrintable(link.errorString()));
        QCOMPARE(link.PexSetTimeOut(6000), 0);
        QByteArray reply(255, ' ');
        QCOMPARE(link.PexSendCommand("STS?", reply), 0);
        QCOMPARE(link.errorString(), QString()); // the note was the opening's, not this call's
    }

    void instrumentEndsMidSession()
    {
        auto instrument = std::make_unique<InstrumentProcess>();
        QVERIFY2(instrument->isReady(), qPrintable(instrument->errorString()));
        const QString device = instrument->devicePath();
        PexLink link([device](int) { return device; });
        QVERIFY(openLink(link));
        link.PexSetTimeOut(1500);
        QByteArray reply(255, ' ');
        QCOMPARE(link.PexSendCommand("STS?", reply), 0);
        instrument.reset();
        const qint32 result = link.PexSendCommand("STS?", reply);
        QVERIFY2(result == PexResult::LinkLost || result == PexResult::TimeOut ||
                     result == PexResult::WriteFailed,
                 qPrintable(QString::number(result)));
        QVERIFY(!link.errorString().isEmpty());
    }

    void unknownPortDoesNotOpen()
    {
        PexLink link(
            [](int port) { return port == 0 ? QStringLiteral("/dev/orvalt-no-such-port") : QString(); });
        QCOMPARE(link.PexOpen(PexOpenRecord{}), PexResult::OpenFailed);
        QVERIFY(link.errorString().contains(QStringLiteral("/dev/orvalt-no-such-port")));
        QCOMPARE(link.PexSetTimeOut(6000), PexResult::NotOpen);
        PexOpenRecord second;
        second.port = 1;
        QCOMPARE(link.PexOpen(second), PexResult::OpenFailed);
        QVERIFY(link.errorString().contains(QStringLiteral("port 2")));
    }
};

ORVALT_TEST(PtyLinkTest);
#include "PtyLinkTest.moc"
