// The sender and the receiver against the virtual instrument on a pseudo-terminal, checked by what
// the instrument recorded and by the files on both sides.

#include "transfer/FileTransfer.h"

#include "TransferRig.h"
#include "link/LinkHarness.h"
#include "link/LinkPack.h"
#include "session/CommandExchange.h"
#include "support/MeasurementRows.h"
#include "support/TestMain.h"
#include "transfer/Unconfirmed.h"

#include <QProcess>
#include <QTest>
#include <QtEndian>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace orvalt;
using orvalt::test::InstrumentProcess;
using orvalt::test::linesStarting;
using orvalt::test::patternBytes;
using orvalt::test::readFile;
using orvalt::test::TransferRig;
using orvalt::test::writeFile;

namespace {

QString hexOf(qint32 value)
{
    return QString::fromLatin1(QByteArray::number(static_cast<quint32>(value), 16).rightJustified(8, '0'));
}

// The file as a read answers it: its length, 4 bytes big-endian, then its bytes.
QByteArray lengthThen(const QByteArray& content)
{
    char length[4];
    qToBigEndian<quint32>(static_cast<quint32>(content.size()), length);
    return QByteArray(length, 4) + content;
}

// The blocks of the virtual instrument's compressed answer (a 4 KiB window, memory level 5, level 6)
// that a reader needs before it holds `bytes` of it.
int answerBlocksFor(const QByteArray& answer, qsizetype bytes)
{
    orvalt::link::PackWriter writer(12, 5, 6);
    writer.write(answer);
    writer.finish();
    const QByteArray stream = writer.take(writer.pending());
    orvalt::link::PackReader reader(12);
    QByteArray out;
    int blocks = 0;
    for (qsizetype at = 0; at < stream.size() && out.size() < bytes; at += orvalt::link::kPackBlock) {
        reader.feed(stream.mid(at, orvalt::link::kPackBlock));
        ++blocks;
        for (qsizetype before = -1; out.size() > before;) {
            before = out.size();
            if (!reader.read(out, 4096))
                break;
        }
    }
    return blocks;
}

} // namespace

class FileTransferTest : public QObject
{
    Q_OBJECT

private slots:
    void sizesBothWays_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : {0, 1, 255, 256, 257, 70000})
            QTest::addRow("%d bytes", size) << size;
    }

    void sizesBothWays()
    {
        QFETCH(int, size);
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        TransferRig rig(&instrument);
        QVERIFY(rig.isOpen());
        const QByteArray content = patternBytes(size);
        QVERIFY(writeFile(rig.native(QStringLiteral("OUT.DAT")), content));
        QDir().mkpath(instrument.mediumDir() + QStringLiteral("/DATA"));

        QCOMPARE(RmtSendFile(rig.ctx, rig.host(QStringLiteral("OUT.DAT")), QStringLiteral("M:\\DATA\\A.DAT")),
                 0);
        QCOMPARE(readFile(instrument.mediumDir() + QStringLiteral("/DATA/A.DAT")), content);

        // The order on the line: command line, length, ceil(L / 256) blocks (one empty block for
        // an empty file), the last of kind 1, then "DUMMY".
        const QStringList sent = instrument.transcript();
        const int blocks = qMax(1, (size + 255) / 256);
        QCOMPARE(sent.size(), blocks + 3);
        QCOMPARE(sent.at(0), QStringLiteral("BLK 0 18 ") +
                                 QString::fromLatin1(QByteArray("FWT 0,/DATA/A.DAT,").left(16).toHex()));
        QCOMPARE(sent.at(1), QStringLiteral("BLK 0 4 ") + hexOf(size));
        for (int i = 0; i < blocks; ++i) {
            const bool last = i == blocks - 1;
            const int length = last ? size - 256 * (blocks - 1) : 256;
            const QStringList fields = sent.at(2 + i).split(QLatin1Char(' '));
            QCOMPARE(fields.at(1), last ? QStringLiteral("1") : QStringLiteral("0"));
            QCOMPARE(fields.at(2).toInt(), length);
        }
        QCOMPARE(sent.constLast(), QStringLiteral("CMD DUMMY"));
        QCOMPARE(rig.dialogs.progress.size(), blocks);
        QCOMPARE(rig.dialogs.progress.constLast().done, qint64(size));
        QCOMPARE(rig.dialogs.progress.constLast().total, qint64(size));
        QCOMPARE(rig.dialogs.progress.constLast().file, QStringLiteral("A.DAT"));
        QVERIFY(rig.dialogs.yields >= 2 * (blocks + 2));

        // And back, over an older host file that it replaces.
        QVERIFY(writeFile(rig.native(QStringLiteral("BACK.DAT")), QByteArray(100000, 'o')));
        rig.dialogs.progress.clear();
        QCOMPARE(
            RmtReceiveFile(rig.ctx, QStringLiteral("M:\\DATA\\A.DAT"), rig.host(QStringLiteral("BACK.DAT"))),
            0);
        QCOMPARE(readFile(rig.native(QStringLiteral("BACK.DAT"))), content);
        QCOMPARE(QDir(rig.native()).entryList(QDir::Files | QDir::Hidden).size(), 2); // no temporary left
        const QStringList asked = instrument.transcript().mid(sent.size());
        // Nothing was selected yet: the file's medium, then its folder.
        QCOMPARE(asked.mid(0, 2),
                 (QStringList{QStringLiteral("CMD MED 0"), QStringLiteral("CMD CDR /DATA")}));
        QVERIFY(asked.at(2).startsWith(QStringLiteral("BLK 3 10 ") +
                                       QString::fromLatin1(QByteArray("FRD? A.DAT").toHex())));
        // The first answer holds the length and 252 bytes; each further block is asked for.
        const int further = size <= 252 ? 0 : (size - 252 + 255) / 256;
        QCOMPARE(asked.size(), 3 + further);
        QCOMPARE(linesStarting(asked, QStringLiteral("BLK 4 0")).size(), further);
        QCOMPARE(rig.dialogs.progress.constLast().done, qint64(size));
        QCOMPARE(rig.dialogs.progress.constLast().total, qint64(size));
    }

    void rootFileAndOtherMedium()
    {
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        TransferRig rig(&instrument);
        QVERIFY(writeFile(rig.native(QStringLiteral("A.DAT")), "card"));
        QCOMPARE(RmtSendFile(rig.ctx, rig.host(QStringLiteral("A.DAT")), QStringLiteral("1:\\TOP.DAT")), 0);
        QCOMPARE(readFile(instrument.mediumDir(QStringLiteral("1")) + QStringLiteral("/TOP.DAT")),
                 QByteArray("card"));
        QVERIFY(instrument.transcript().at(0).startsWith(
            QStringLiteral("BLK 0 15 ") + QString::fromLatin1(QByteArray("FWT 1,/TOP.DAT,").toHex())));

        // The receiver selects the file's medium itself, which leaves its root selected.
        QCOMPARE(RmtReceiveFile(rig.ctx, QStringLiteral("1:\\TOP.DAT"), rig.host(QStringLiteral("B.DAT"))),
                 0);
        QCOMPARE(readFile(rig.native(QStringLiteral("B.DAT"))), QByteArray("card"));
        QCOMPARE(instrument.transcript().filter(QStringLiteral("CMD ")),
                 (QStringList{QStringLiteral("CMD DUMMY"), QStringLiteral("CMD MED 1")}));
    }

    void stopRequestedTouchesNothing()
    {
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        writeFile(instrument.mediumDir() + QStringLiteral("/A.DAT"), "new");
        TransferRig rig(&instrument);
        QVERIFY(writeFile(rig.native(QStringLiteral("A.DAT")), "old"));
        rig.state().StopRequested = true;

        QCOMPARE(RmtSendFile(rig.ctx, rig.host(QStringLiteral("A.DAT")), QStringLiteral("M:\\B.DAT")), 0);
        QCOMPARE(RmtReceiveFile(rig.ctx, QStringLiteral("M:\\A.DAT"), rig.host(QStringLiteral("A.DAT"))), 0);
        QCOMPARE(RmtReceiveFile(rig.ctx, QStringLiteral("M:\\A.DAT"), rig.host(QStringLiteral("C.DAT"))), 0);
        QVERIFY(instrument.transcript().isEmpty());
        QVERIFY(!QFileInfo::exists(instrument.mediumDir() + QStringLiteral("/B.DAT")));
        QCOMPARE(readFile(rig.native(QStringLiteral("A.DAT"))), QByteArray("old"));
        QVERIFY(!QFileInfo::exists(rig.native(QStringLiteral("C.DAT"))));
        QCOMPARE(rig.dialogs.yields, 0);
    }

    void refusedAfterLengthStillSendsDummy_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<qint32>("result");
        QTest::addRow("DUMMY tells why") << QStringList() << qint32(160); // the medium could not take it
        QTest::addRow("DUMMY says nothing")
            << QStringList{QStringLiteral("--quiet-dummy")} << TransferResult::NotReceived;
    }

    // A refusal (kind 9) fails the file, whatever "DUMMY" answers after it. The refusal is timed
    // between two blocks, so the blocks go one at a time here.
    void refusedAfterLengthStillSendsDummy()
    {
        QFETCH(QStringList, arguments);
        QFETCH(qint32, result);
        InstrumentProcess instrument(arguments + QStringList{QStringLiteral("--no-window")});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(QDir().mkpath(instrument.mediumDir() + QStringLiteral("/DATA")));
        TransferRig rig(&instrument);
        QVERIFY(writeFile(rig.native(QStringLiteral("A.DAT")), patternBytes(1000)));
        // Once the command line is acknowledged (the second yield), the folder goes away, so the
        // instrument cannot open the file when the length arrives and refuses it (kind 9).
        rig.dialogs.onYield = [&](int n) {
            if (n == 2)
                QDir(instrument.mediumDir() + QStringLiteral("/DATA")).removeRecursively();
        };
        QCOMPARE(RmtSendFile(rig.ctx, rig.host(QStringLiteral("A.DAT")), QStringLiteral("M:\\DATA\\A.DAT")),
                 result);
        const QStringList sent = instrument.transcript();
        QCOMPARE(sent.size(), 3);
        QVERIFY(sent.at(0).startsWith(QStringLiteral("BLK 0 18 ")));
        QCOMPARE(sent.at(1), QStringLiteral("BLK 0 4 000003e8"));
        QCOMPARE(sent.at(2), QStringLiteral("CMD DUMMY"));
        QVERIFY(rig.dialogs.progress.isEmpty());
    }

    // "DUMMY" after every block was taken decides: anything but 0 fails the file, a negative answer
    // too; one that would read as one of the program's own results is told as not received.
    void dummyAnswers_data()
    {
        QTest::addColumn<qint32>("answer");
        QTest::addColumn<qint32>("result");
        QTest::addRow("stored") << qint32(0) << qint32(0);
        QTest::addRow("-1") << qint32(-1) << TransferResult::NotReceived;
        QTest::addRow("-100") << qint32(-100) << qint32(-100);
        QTest::addRow("reads as stopped") << TransferResult::Stopped << TransferResult::NotReceived;
        QTest::addRow("busy") << qint32(60) << qint32(60);
    }

    void dummyAnswers()
    {
        QFETCH(qint32, answer);
        QFETCH(qint32, result);
        InstrumentProcess instrument({QStringLiteral("--dummy-result"), QString::number(answer)});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        TransferRig rig(&instrument);
        QVERIFY(writeFile(rig.native(QStringLiteral("A.DAT")), patternBytes(700)));
        QCOMPARE(RmtSendFile(rig.ctx, rig.host(QStringLiteral("A.DAT")), QStringLiteral("M:\\A.DAT")),
                 result);
        QCOMPARE(instrument.transcript().constLast(), QStringLiteral("CMD DUMMY"));
    }

    // How a write the instrument never confirmed is settled by the listing of its name afterwards:
    // "written" only where the listing shows what this write would leave and nothing before did.
    void settleWrite_data()
    {
        QTest::addColumn<QString>("before"); // "unknown", "none", or "BYTES DATE TIME"
        QTest::addColumn<QString>("after");  // "none" or "BYTES DATE TIME"
        QTest::addColumn<int>("outcome");    // UnconfirmedOutcome
        const int written = int(UnconfirmedOutcome::Written);
        const int notWritten = int(UnconfirmedOutcome::NotWritten);
        const int unknown = int(UnconfirmedOutcome::Unknown);
        const QString then = QStringLiteral(" 2023/06/01 09:30:00");
        const QString now = QStringLiteral(" 2026/12/09 10:00:00");
        QTest::addRow("new file arrived") << "none"
                                          << "700" + now << written;
        QTest::addRow("new file absent") << "none"
                                         << "none" << notWritten;
        QTest::addRow("new file, other size") << "none"
                                              << "300" + now << unknown;
        QTest::addRow("replaced") << "3" + then << "700" + now << written;
        QTest::addRow("replaced within the second") << "3" + then << "700" + then << written;
        QTest::addRow("kept as it was") << "3" + then << "3" + then << notWritten;
        QTest::addRow("same size, new date") << "700" + then << "700" + now << written;
        QTest::addRow("same size and date") << "700" + then << "700" + then << unknown;
        QTest::addRow("gone") << "3" + then << "none" << unknown;
        QTest::addRow("before not known, there") << "unknown"
                                                 << "700" + now << unknown;
        QTest::addRow("before not known, absent") << "unknown"
                                                  << "none" << notWritten;
    }

    void settleWrite()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(int, outcome);
        const auto entry = [](const QString& text) {
            const QStringList f = text.split(QLatin1Char(' '));
            ListingEntry e;
            e.name = QStringLiteral("A.DAT");
            e.sizeField = f.at(0);
            e.dateField = f.at(1);
            e.timeField = f.at(2);
            return e;
        };
        UnconfirmedWrite write;
        write.remotePath = QStringLiteral("M:\\A.DAT");
        write.size = 700;
        write.before.known = before != QLatin1String("unknown");
        if (write.before.known && before != QLatin1String("none")) {
            const ListingEntry e = entry(before);
            write.before.exists = true;
            write.before.date = listingDateText(e);
            write.before.bytes = e.sizeField.toLongLong();
        }
        const std::optional<ListingEntry> now =
            after == QLatin1String("none") ? std::nullopt : std::optional<ListingEntry>(entry(after));
        QCOMPARE(int(orvalt::settleWrite(write, now)), outcome);
    }

    // What an instrument announces as the file's length, against what its blocks bring: the host
    // file is replaced only when they agree, and a length beyond 2^31 - 1 is refused at once.
    void answerLengths_data()
    {
        QTest::addColumn<qint64>("announced");
        QTest::addColumn<int>("lastBlock"); // data bytes of the second, last block; -1: it is refused
        QTest::addColumn<qint32>("result");
        QTest::addColumn<int>("asked"); // blocks asked for: "FRD? ", then each next one
        QTest::addRow("as announced") << qint64(300) << 48 << qint32(0) << 2;
        QTest::addRow("one byte short") << qint64(300) << 47 << TransferResult::NotReceived << 2;
        QTest::addRow("one byte more") << qint64(300) << 49 << TransferResult::NotReceived << 2;
        QTest::addRow("2^31 - 1 announced") << qint64(0x7FFFFFFF) << -1 << TransferResult::NotReceived << 2;
        QTest::addRow("2^31 announced") << qint64(0x80000000) << -1 << TransferResult::HostFileTooLarge << 1;
    }

    void answerLengths()
    {
        QFETCH(qint64, announced);
        QFETCH(int, lastBlock);
        QFETCH(qint32, result);
        QFETCH(int, asked);
        test::LinkHarness harness;
        const QByteArray data = patternBytes(252 + qMax(0, lastBlock));
        int blocks = 0;
        harness.handler.respond = [&](const link::Request& request) -> link::Answer {
            if (request.kind == link::Request::Kind::Command)
                return {link::Answer::Kind::Reply, 0, {}};
            if (++blocks == 1) {
                QByteArray first(4, '\0');
                qToBigEndian<quint32>(static_cast<quint32>(announced), first.data());
                return {link::Answer::Kind::Block, 0, first + data.left(252)};
            }
            if (lastBlock < 0)
                return {link::Answer::Kind::Block, 9, {}};
            return {link::Answer::Kind::Block, 7, data.mid(252)};
        };
        harness.start();
        TransferRig rig(harness.link);
        QVERIFY(writeFile(rig.native(QStringLiteral("A.DAT")), "old contents"));
        QString failure;
        QCOMPARE(
            RmtReceiveFile(rig.ctx, QStringLiteral("M:\\A.DAT"), rig.host(QStringLiteral("A.DAT")), &failure),
            result);
        harness.stopServer();
        QCOMPARE(blocks, asked);
        QCOMPARE(readFile(rig.native(QStringLiteral("A.DAT"))),
                 result == 0 ? data : QByteArray("old contents"));
        QCOMPARE(QDir(rig.native()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no part kept
        if (result == TransferResult::HostFileTooLarge)
            QVERIFY2(failure.contains(QStringLiteral("M:\\A.DAT has 2147483648 bytes")), qPrintable(failure));
    }

    void missingRemoteFileKeepsTheHostFile()
    {
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        TransferRig rig(&instrument);
        QVERIFY(writeFile(rig.native(QStringLiteral("A.DAT")), "old contents"));
        // A file of that name in the current folder is not taken for the one in a missing folder.
        writeFile(instrument.mediumDir() + QStringLiteral("/A.DAT"), "the wrong file");
        QCOMPARE(
            RmtReceiveFile(rig.ctx, QStringLiteral("M:\\NONE\\A.DAT"), rig.host(QStringLiteral("A.DAT"))),
            20);
        QCOMPARE(RmtReceiveFile(rig.ctx, QStringLiteral("M:\\B.DAT"), rig.host(QStringLiteral("B.DAT"))), -1);
        QCOMPARE(readFile(rig.native(QStringLiteral("A.DAT"))), QByteArray("old contents"));
        QCOMPARE(QDir(rig.native()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("A.DAT")});
        // After the refused folder nothing is taken for selected: the medium again, at its root.
        QCOMPARE(
            instrument.transcript(),
            (QStringList{
                QStringLiteral("CMD MED 0"), QStringLiteral("CMD CDR /NONE"), QStringLiteral("CMD MED 0"),
                QStringLiteral("BLK 3 10 ") + QString::fromLatin1(QByteArray("FRD? B.DAT").toHex())}));
    }

    void instrumentGoneMidTransfer()
    {
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        writeFile(instrument.mediumDir() + QStringLiteral("/BIG.DAT"), patternBytes(70000));
        TransferRig rig(&instrument);
        QVERIFY(rig.link().PexSetTimeOut(1500) == 0);
        QVERIFY(writeFile(rig.native(QStringLiteral("BIG.DAT")), "old contents"));
        rig.dialogs.onProgress = [&](qint64 done) {
            if (done > 5000 && instrument.process().state() == QProcess::Running) {
                instrument.process().kill();
                instrument.process().waitForFinished();
            }
        };
        const qint32 received =
            RmtReceiveFile(rig.ctx, QStringLiteral("M:\\BIG.DAT"), rig.host(QStringLiteral("BIG.DAT")));
        QVERIFY(received != 0);
        QCOMPARE(readFile(rig.native(QStringLiteral("BIG.DAT"))), QByteArray("old contents"));
        QCOMPARE(QDir(rig.native()).entryList(QDir::Files | QDir::Hidden).size(), 1);

        // Sending to an instrument that went away fails as well, and says so.
        QVERIFY(RmtSendFile(rig.ctx, rig.host(QStringLiteral("BIG.DAT")), QStringLiteral("M:\\X.DAT")) != 0);
    }

    void unreadableHostFileSendsNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addRow("missing") << QStringLiteral("NONE.DAT");
        QTest::addRow("a folder") << QStringLiteral("SUB");
        QTest::addRow("climbing out") << QStringLiteral("..\\X.DAT");
    }

    void unreadableHostFileSendsNothing()
    {
        QFETCH(QString, name);
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        TransferRig rig(&instrument);
        QDir().mkpath(rig.native(QStringLiteral("SUB")));
        QString failure;
        const QString source = rig.host() + QLatin1Char('\\') + name;
        QCOMPARE(RmtSendFile(rig.ctx, source, QStringLiteral("M:\\A.DAT"), &failure),
                 TransferResult::HostReadFailed);
        QVERIFY2(failure.contains(name.contains(QLatin1String("..")) ? source : rig.native(name)),
                 qPrintable(failure));
        QVERIFY(instrument.transcript().isEmpty());
    }

    void hostFileShorterThanItSaid()
    {
        // A file whose size the system reports larger than what can be read (sysfs attributes
        // report a page): what was announced cannot be sent.
        QString shrinking;
        for (const char* candidate : {"/sys/kernel/mm/transparent_hugepage/enabled",
                                      "/sys/kernel/uevent_seqnum", "/sys/power/state"}) {
            const QFileInfo info(QString::fromLatin1(candidate));
            if (info.isFile() && info.size() > 256 && readFile(info.filePath()).size() < 256)
                shrinking = info.filePath();
        }
        if (shrinking.isEmpty())
            QSKIP("no file here reports more bytes than it holds");
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        TransferRig rig(&instrument);
        QString failure;
        QCOMPARE(
            RmtSendFile(rig.ctx, TransferRig::hostPath(shrinking), QStringLiteral("M:\\A.DAT"), &failure),
            TransferResult::HostReadFailed);
        QVERIFY(failure.contains(shrinking));
        // Let go with the status query, not closed with "DUMMY".
        QCOMPARE(instrument.transcript().constLast(), QStringLiteral("CMD STS?"));
        QVERIFY(!QFileInfo::exists(instrument.mediumDir() + QStringLiteral("/A.DAT")));
        // The instrument was left ready: the next upload is stored and reported as such.
        QVERIFY(writeFile(rig.native(QStringLiteral("OK.DAT")), "ok"));
        QCOMPARE(RmtSendFile(rig.ctx, rig.host(QStringLiteral("OK.DAT")), QStringLiteral("M:\\OK.DAT")), 0);
    }

    void fileOfTwoGigabytesIsRefused()
    {
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        TransferRig rig(&instrument);
        QFile huge(rig.native(QStringLiteral("HUGE.DAT")));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        if (!huge.resize(qint64(1) << 31)) // sparse: no disk space taken
            QSKIP("this file system takes no sparse file of 2 GiB");
        huge.close();
        QString failure;
        QCOMPARE(
            RmtSendFile(rig.ctx, rig.host(QStringLiteral("HUGE.DAT")), QStringLiteral("M:\\A.DAT"), &failure),
            TransferResult::HostFileTooLarge);
        QVERIFY(failure.contains(rig.native(QStringLiteral("HUGE.DAT"))));
        QVERIFY(failure.contains(QStringLiteral("2147483648")));
        QVERIFY(instrument.transcript().isEmpty());
    }

    void hostFolderThatCannotTakeTheFile()
    {
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        writeFile(instrument.mediumDir() + QStringLiteral("/A.DAT"), "data");
        TransferRig rig(&instrument);
        QVERIFY(writeFile(rig.native(QStringLiteral("PLAIN")), "a file where a folder should be"));
        QDir().mkpath(rig.native(QStringLiteral("A.DAT")));
        QString failure;
        QCOMPARE(RmtReceiveFile(rig.ctx, QStringLiteral("M:\\A.DAT"),
                                rig.host(QStringLiteral("PLAIN\\A.DAT")), &failure),
                 TransferResult::HostWriteFailed);
        QVERIFY(failure.contains(rig.native(QStringLiteral("PLAIN/A.DAT"))));
        QCOMPARE(
            RmtReceiveFile(rig.ctx, QStringLiteral("M:\\A.DAT"), rig.host(QStringLiteral("A.DAT")), &failure),
            TransferResult::HostWriteFailed);
        QCOMPARE(RmtReceiveFile(rig.ctx, QStringLiteral("M:\\A.DAT"),
                                rig.host() + QStringLiteral("\\..\\A.DAT"), &failure),
                 TransferResult::HostWriteFailed);
        QVERIFY(instrument.transcript().isEmpty()); // nothing asked for that could not be kept
    }

    // A compressed write at 9600 baud: what the sender has told done runs ahead of what the
    // instrument has taken by no more than the line carries in about three seconds (2,880 bytes,
    // some 16 KB of a measurement file), so the progress window's rate and time left come within
    // seconds and move with the line, not in jumps of what the compressor had swallowed.
    void compressedWriteCountsWhatTheLineCarried()
    {
        InstrumentProcess instrument({QStringLiteral("--baud"), QStringLiteral("9600")});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        TransferRig rig(&instrument);
        QVERIFY(rig.isOpen());
        const QByteArray content = orvalt::test::measurementRows(32 * 1024, 7);
        QVERIFY(writeFile(rig.native(QStringLiteral("LOG.CSV")), content));
        qint64 mostAhead = 0;
        int reports = 0;
        rig.dialogs.onProgress = [&](qint64 done) {
            const qint64 taken =
                256 * linesStarting(instrument.transcript(), QStringLiteral("BLK 0 256 ")).size();
            mostAhead = qMax(mostAhead, done - taken);
            ++reports;
        };
        QCOMPARE(RmtSendFile(rig.ctx, rig.host(QStringLiteral("LOG.CSV")), QStringLiteral("M:\\LOG.CSV")), 0);
        QCOMPARE(readFile(instrument.mediumDir() + QStringLiteral("/LOG.CSV")), content);
        QCOMPARE(rig.link().packAgreed(), 15);
        QCOMPARE(reports, 128);
        QVERIFY2(mostAhead <= 16 * 1024, qPrintable(QString::number(mostAhead)));
    }

    // A host write that fails midway ends the receive at that block: the rest of the file is not
    // read, the instrument's stream is let go with the one status query, the old file stays and the
    // user is told the file and the system's reason. Once with a file size limit on this process
    // (the write failure injected), once on a real file system of 64 KB that runs full.
    void hostWriteFailingMidwayStopsAtOnce_data()
    {
        QTest::addColumn<bool>("tmpfs");
        QTest::addColumn<QString>("cause");
        QTest::addColumn<int>("room"); // bytes the host can take
        QTest::addColumn<bool>("packed");
        for (const bool packed : {true, false}) {
            const char* way = packed ? "compressed" : "plain";
            QTest::addRow("file size limit, %s", way) << false
                                                      << "File too large. Make room on that disk, or copy to "
                                                         "another folder."
                                                      << 20000 << packed;
            QTest::addRow("tmpfs of 64 KB, %s", way) << true
                                                     << "No space left on device. Make room on that disk, or "
                                                        "copy to another folder."
                                                     << 64 * 1024 << packed;
        }
    }

    void hostWriteFailingMidwayStopsAtOnce()
    {
#ifdef Q_OS_UNIX
        QFETCH(bool, tmpfs);
        QFETCH(QString, cause);
        QFETCH(int, room);
        QFETCH(bool, packed);
        InstrumentProcess instrument(
            {packed ? QStringLiteral("--transcript-packed") : QStringLiteral("--no-pack")});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QByteArray content = orvalt::test::measurementRows(70000);
        writeFile(instrument.mediumDir() + QStringLiteral("/BIG.DAT"), content);
        TransferRig rig(&instrument);
        const QString folder = rig.native(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(folder));
        struct Unmount
        {
            QString path;
            ~Unmount()
            {
                if (!path.isEmpty())
                    QProcess::execute(QStringLiteral("umount"), {path});
            }
        } unmount;
        if (tmpfs) {
            if (QProcess::execute(QStringLiteral("mount"),
                                  {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                   QStringLiteral("size=64k"), QStringLiteral("tmpfs"), folder}) != 0)
                QSKIP("mounting a tmpfs is not allowed here");
            unmount.path = folder;
        }
        const QString target = folder + QStringLiteral("/BIG.DAT");
        QVERIFY(writeFile(target, "old contents"));

        rlimit before{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &before) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (!tmpfs) {
            // Writes past 20,000 bytes fail for this process, as on a full disk (the instrument,
            // already running, is not limited).
            rlimit limited = before;
            limited.rlim_cur = static_cast<rlim_t>(room);
            QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
        }
        QString failure;
        const qint32 result =
            RmtReceiveFile(rig.ctx, QStringLiteral("M:\\BIG.DAT"), TransferRig::hostPath(target), &failure);
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(result, TransferResult::HostWriteFailed);
        QCOMPARE(failure,
                 QStringLiteral("The file %1 could not be written. A file of that name that was there "
                                "before is kept.\n%2")
                     .arg(QDir::toNativeSeparators(target), cause));
        QCOMPARE(readFile(target), QByteArray("old contents"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("BIG.DAT")});
        // No block was asked for past the one that did not fit but the requests the link had sent
        // ahead in its window (the instrument only reads for them), then the status query that lets
        // the instrument drop the stream. Plain, the first block holds 252 bytes and each later one
        // 256; compressed, as many as the instrument's stream needs for them.
        const QStringList transcript = instrument.transcript();
        const int sentAhead = qMax(1, rig.link().windowAgreed()) - 1;
        const int needed = packed ? answerBlocksFor(lengthThen(content), room + 1) : (room - 252) / 256 + 1;
        const QStringList asked =
            linesStarting(transcript, packed ? QStringLiteral("PAK 4") : QStringLiteral("BLK 4 0"));
        QVERIFY2(asked.size() <= needed + sentAhead, qPrintable(transcript.join(QLatin1Char('\n'))));
        QCOMPARE(transcript.constLast(), QStringLiteral("CMD STS?"));
        // The link is ready: the next command is answered, with no stray answer before it.
        QCOMPARE(SendCmd(rig.state(), rig.link(), rig.dialogs, QStringLiteral("CDR /")), 0);
        QCOMPARE(rig.link().retransmissions(), quint64(0));
#else
        QSKIP("needs a file size limit");
#endif
    }

    // A host file that shrinks while it is sent (another program rewriting it): the stream is let go
    // with the status query, never closed with "DUMMY", which an instrument may take as the end of
    // the file; the instrument keeps its old file and no part of the new one, the user is told the
    // file and why, and the link takes the next command.
    void hostFileShrinkingWhileSentIsAbandoned()
    {
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString kept = instrument.mediumDir() + QStringLiteral("/BIG.DAT");
        QVERIFY(writeFile(kept, "old contents"));
        TransferRig rig(&instrument);
        QVERIFY(rig.isOpen());
        const QString source = rig.native(QStringLiteral("BIG.DAT"));
        QVERIFY(writeFile(source, patternBytes(70000)));
        rig.dialogs.onProgress = [&source](qint64 done) {
            if (done == 256)
                QFile::resize(source, 1000);
        };
        QString failure;
        const qint32 result =
            RmtSendFile(rig.ctx, TransferRig::hostPath(source), QStringLiteral("M:\\BIG.DAT"), &failure);
        rig.dialogs.onProgress = nullptr;
        QCOMPARE(result, TransferResult::HostReadFailed);
        QCOMPARE(failure,
                 QStringLiteral("The file %1 could not be read to its end, so it was not sent. A file of "
                                "that name that was on the instrument before is kept.\nIt became "
                                "shorter while it was sent: copy it again once the program that "
                                "writes it has finished.")
                     .arg(QDir::toNativeSeparators(source)));
        QCOMPARE(readFile(kept), QByteArray("old contents"));
        QCOMPARE(QDir(instrument.mediumDir()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("BIG.DAT")});
        const QStringList transcript = instrument.transcript();
        QVERIFY2(!transcript.contains(QStringLiteral("CMD DUMMY")),
                 qPrintable(transcript.join(QLatin1Char('\n'))));
        QCOMPARE(transcript.constLast(), QStringLiteral("CMD STS?"));
        QCOMPARE(SendCmd(rig.state(), rig.link(), rig.dialogs, QStringLiteral("CDR /")), 0);
        QCOMPARE(rig.link().retransmissions(), quint64(0));
    }

    void pathsTheLineCannotCarry()
    {
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        TransferRig rig(&instrument);
        QVERIFY(writeFile(rig.native(QStringLiteral("A.DAT")), "x"));
        QString failure;
        const QString tooLong = QStringLiteral("M:\\") + QString(260, QLatin1Char('A'));
        QCOMPARE(RmtSendFile(rig.ctx, rig.host(QStringLiteral("A.DAT")), tooLong, &failure),
                 TransferResult::PathNotSendable);
        QCOMPARE(RmtSendFile(rig.ctx, rig.host(QStringLiteral("A.DAT")),
                             QStringLiteral("M:\\\u00c5\u4e2d.DAT"), &failure),
                 TransferResult::PathNotSendable);
        QCOMPARE(RmtReceiveFile(rig.ctx, QStringLiteral("M:\\\u4e2d\\A.DAT"),
                                rig.host(QStringLiteral("B.DAT")), &failure),
                 TransferResult::PathNotSendable);
        QVERIFY(failure.contains(QStringLiteral("M:\\\u4e2d\\A.DAT")));
        QVERIFY(instrument.transcript().isEmpty());
        QVERIFY(!QFileInfo::exists(rig.native(QStringLiteral("B.DAT"))));
    }
};

ORVALT_TEST(FileTransferTest);
#include "FileTransferTest.moc"
