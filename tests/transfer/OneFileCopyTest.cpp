// The one-file copy in its four directions with its messages, and the moves on either side.

#include "transfer/OneFileCopy.h"

#include "TransferRig.h"
#include "fileops/PaneMoves.h"
#include "panes/Endpoint.h"
#include "panes/RemotePaths.h"
#include "support/TestMain.h"
#include "transfer/FileTransfer.h"

#include <QTest>

using namespace orvalt;
using Icon = orvalt::DialogSeam::Icon;
using orvalt::test::InstrumentProcess;
using orvalt::test::readFile;
using orvalt::test::TransferRig;
using orvalt::test::writeFile;

namespace {

// The place of a folder path as the copy names it: an instrument folder starts with its medium
// ("M:\\"), shown by the pane whose source is the instrument; a host folder does not.
Endpoint placeOf(TransferRig& rig, const QString& folderPath)
{
    const bool host = !(folderPath.size() > 1 && folderPath.at(1) == QLatin1Char(':'));
    return endpointOf(
        host, folderPath,
        host ? QString()
             : (rig.state().RDevID == QLatin1String("1") ? QStringLiteral("R") : QStringLiteral("L")));
}

qint32 copyOne(TransferRig& rig, const QString& source, const QString& destFolder, bool overwrite,
               bool changedName)
{
    return CopyOneFile(rig.ctx, placeOf(rig, FolderOfPath(source)), source, placeOf(rig, destFolder),
                       overwrite, changedName);
}

} // namespace

class OneFileCopyTest : public QObject
{
    Q_OBJECT

private slots:
    void bothHostNeverTouchesTheLink()
    {
        TransferRig rig; // no instrument, the link never opened
        rig.panes(QStringLiteral("0"), QStringLiteral("0"));
        QVERIFY(writeFile(rig.native(QStringLiteral("A.DAT")), "new"));
        QDir().mkpath(rig.native(QStringLiteral("TO")));
        QVERIFY(writeFile(rig.native(QStringLiteral("TO/A.DAT")), "old"));

        copyOne(rig, rig.host(QStringLiteral("A.DAT")), rig.host(QStringLiteral("TO")) + QLatin1Char('\\'),
                false, false);
        QCOMPARE(readFile(rig.native(QStringLiteral("TO/A.DAT"))), QByteArray("old"));
        QCOMPARE(rig.dialogs.shown.size(), 1); // the host's refusal, naming the file
        QVERIFY(rig.dialogs.shown.at(0).text.contains(rig.native(QStringLiteral("TO/A.DAT"))));

        copyOne(rig, rig.host(QStringLiteral("A.DAT")), rig.host(QStringLiteral("TO")) + QLatin1Char('\\'),
                true, false);
        QCOMPARE(readFile(rig.native(QStringLiteral("TO/A.DAT"))), QByteArray("new"));
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QVERIFY(rig.dialogs.busyPointer);
        QVERIFY(rig.link().errorString().isEmpty()); // no call reached the link

        rig.state().StopRequested = true;
        rig.dialogs.busyPointer = false;
        copyOne(rig, rig.host(QStringLiteral("A.DAT")), rig.host() + QStringLiteral("\\B\\"), true, false);
        QVERIFY(!rig.dialogs.busyPointer);
    }

    void messagesOfTheTransfer_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("toInstrument");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("icon");
        QTest::addRow("0") << QStringList() << true << QStringLiteral("M:\\") << QString() << 0;
        QTest::addRow("60") << QStringList{QStringLiteral("--busy-every"), QStringLiteral("1")} << true
                            << QStringLiteral("M:\\") << QStringLiteral("DEVICE BUSY") << int(Icon::None);
        QTest::addRow("20") << QStringList{QStringLiteral("--short-names")} << true << QStringLiteral("M:\\")
                            << QStringLiteral(
                                   "Command Format (DEVICE BUSY)\nThe instrument does not take the "
                                   "name \"LONGNAME12.DAT\". Change the filename.  8.3 format")
                            << int(Icon::None);
        QTest::addRow("160") << QStringList() << true << QStringLiteral("X:\\")
                             << QStringLiteral(
                                    "This medium can't be chosen\nThe instrument has no medium X:. "
                                    "Press Connection to read its media again.")
                             << int(Icon::Information);
        QTest::addRow("160, full") << QStringList{QStringLiteral("--full")} << true << QStringLiteral("M:\\")
                                   << QStringLiteral(
                                          "This medium can't be chosen\nThe medium INT MEM is full. "
                                          "Delete files on it, or choose another medium.")
                                   << int(Icon::Information);
        QTest::addRow("-1") << QStringList{QStringLiteral("--short-names")} << false << QStringLiteral("M:\\")
                            << QStringLiteral("Send or Rec Error (DEVICE BUSY) -1") << int(Icon::None);
        QTest::addRow("-1, not there")
            << QStringList() << false << QStringLiteral("M:\\MISSING.DAT|")
            << QStringLiteral("Send or Rec Error (DEVICE BUSY) -1\nM:\\MISSING.DAT is "
                              "not on the instrument; press Renew to see what is there.")
            << int(Icon::None);
        QTest::addRow("no folder") << QStringList() << false << QStringLiteral("M:\\NONE\\")
                                   << QStringLiteral(
                                          "Command Format (DEVICE BUSY)\nM:\\NONE\\LONGNAME12.DAT is not "
                                          "on the instrument; press Renew to see what is there.")
                                   << int(Icon::None);
        QTest::addRow("busy folder") << QStringList{QStringLiteral("--busy-every"), QStringLiteral("1")}
                                     << false << QStringLiteral("M:\\") << QStringLiteral("DEVICE BUSY")
                                     << int(Icon::None);
    }

    void messagesOfTheTransfer()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, toInstrument);
        QFETCH(QString, remote);
        QFETCH(QString, message);
        QFETCH(int, icon);
        InstrumentProcess instrument(arguments);
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        writeFile(instrument.mediumDir() + QStringLiteral("/LONGNAME12.DAT"), "remote");
        TransferRig rig(&instrument);
        QVERIFY(writeFile(rig.native(QStringLiteral("LONGNAME12.DAT")), "host"));
        ChooserEntry medium;
        medium.text = QStringLiteral("INT MEM:");
        medium.data = QStringLiteral("M:");
        rig.rightPane.setMedia({medium}, 0);
        if (remote.endsWith(QLatin1Char('|'))) {
            // A file that is not on the instrument, asked for by its own path.
            rig.panes(QStringLiteral("0"), QStringLiteral("1"), false);
            copyOne(rig, remote.chopped(1), rig.host() + QLatin1Char('\\'), false, false);
            QCOMPARE(rig.dialogs.texts(), QStringList{message});
            return;
        }
        if (toInstrument) {
            rig.panes(QStringLiteral("0"), QStringLiteral("1"), true);
            copyOne(rig, rig.host(QStringLiteral("LONGNAME12.DAT")), remote, false, false);
        } else {
            rig.panes(QStringLiteral("0"), QStringLiteral("1"), false);
            copyOne(rig, remote + QStringLiteral("LONGNAME12.DAT"), rig.host() + QLatin1Char('\\'), false,
                    false);
            QCOMPARE(readFile(rig.native(QStringLiteral("LONGNAME12.DAT"))), QByteArray("host"));
        }
        if (message.isEmpty()) {
            QVERIFY(rig.dialogs.shown.isEmpty());
            QCOMPARE(readFile(instrument.mediumDir() + QStringLiteral("/LONGNAME12.DAT")),
                     QByteArray("host"));
            return;
        }
        QCOMPARE(rig.dialogs.texts(), QStringList{message});
        QCOMPARE(int(rig.dialogs.shown.at(0).icon), icon);
        QVERIFY(rig.dialogs.shown.at(0).caption.isEmpty()); // the program's title
    }

    void sendsUnderTheHeldName()
    {
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        TransferRig rig(&instrument);
        rig.panes(QStringLiteral("1"), QStringLiteral("0"), false); // the right pane, the host, is active
        QVERIFY(writeFile(rig.native(QStringLiteral("A long name.dat")), "short"));
        rig.state().WarnName = QStringLiteral("ALONGNAM.DAT");
        copyOne(rig, rig.host(QStringLiteral("A long name.dat")), QStringLiteral("M:\\"), false, true);
        QCOMPARE(readFile(instrument.mediumDir() + QStringLiteral("/ALONGNAM.DAT")), QByteArray("short"));

        // From the instrument, the file keeps its own name.
        rig.panes(QStringLiteral("1"), QStringLiteral("0"), true);
        copyOne(rig, QStringLiteral("M:\\ALONGNAM.DAT"), rig.host() + QLatin1Char('\\'), false, true);
        QCOMPARE(readFile(rig.native(QStringLiteral("ALONGNAM.DAT"))), QByteArray("short"));
        QVERIFY(rig.dialogs.shown.isEmpty());
    }

    void hostFailuresNameTheFile()
    {
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        writeFile(instrument.mediumDir() + QStringLiteral("/A.DAT"), "remote");
        TransferRig rig(&instrument);
        rig.panes(QStringLiteral("0"), QStringLiteral("1"), true);
        copyOne(rig, rig.host(QStringLiteral("NONE.DAT")), QStringLiteral("M:\\"), false, false);
        rig.panes(QStringLiteral("0"), QStringLiteral("1"), false);
        QVERIFY(writeFile(rig.native(QStringLiteral("FILE")), "in the way"));
        copyOne(rig, QStringLiteral("M:\\A.DAT"), rig.host(QStringLiteral("FILE")) + QLatin1Char('\\'), false,
                false);
        QCOMPARE(rig.dialogs.shown.size(), 2);
        QVERIFY(rig.dialogs.texts().at(0).contains(rig.native(QStringLiteral("NONE.DAT"))));
        QVERIFY(rig.dialogs.texts().at(1).contains(rig.native(QStringLiteral("FILE/A.DAT"))));
        for (const auto& shown : rig.dialogs.shown)
            QCOMPARE(shown.icon, Icon::Information);
        QVERIFY(instrument.transcript().isEmpty());
    }

    void instrumentCommands_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("message");
        QTest::addRow("folders") << QStringLiteral("M:\\DATA\\A.DAT") << QStringLiteral("1:\\BACKUP\\")
                                 << QStringLiteral("CPY 0,/DATA/A.DAT,1,/BACKUP/A.DAT") << QString();
        QTest::addRow("root") << QStringLiteral("M:\\A.DAT") << QStringLiteral("2:\\")
                              << QStringLiteral("CPY 0,/A.DAT,3,/A.DAT") << QString();
        QTest::addRow("unknown medium")
            << QStringLiteral("X:\\A.DAT") << QStringLiteral("M:\\") << QStringLiteral("CPY ,/A.DAT,0,/A.DAT")
            << QStringLiteral("CPY Error 160");
        QTest::addRow("onto itself") << QStringLiteral("M:\\A.DAT") << QStringLiteral("M:\\")
                                     << QStringLiteral("CPY 0,/A.DAT,0,/A.DAT")
                                     << QStringLiteral("CPY Error 20");
    }

    void instrumentCommands()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QString, command);
        QFETCH(QString, message);
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        writeFile(instrument.mediumDir() + QStringLiteral("/DATA/A.DAT"), "one");
        writeFile(instrument.mediumDir() + QStringLiteral("/A.DAT"), "two");
        QDir().mkpath(instrument.mediumDir(QStringLiteral("1")) + QStringLiteral("/BACKUP"));
        QDir().mkpath(instrument.mediumDir(QStringLiteral("2")));
        TransferRig rig(&instrument);
        rig.panes(QStringLiteral("1"), QStringLiteral("1"));
        copyOne(rig, source, target, false, false);
        QCOMPARE(instrument.transcript(), QStringList{QStringLiteral("CMD ") + command});
        QCOMPARE(rig.dialogs.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        if (message.isEmpty())
            QCOMPARE(rig.dialogs.shown.size(), 0);
    }

    void movesOnTheInstrument()
    {
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        writeFile(instrument.mediumDir() + QStringLiteral("/DATA/A.DAT"), "one");
        QDir().mkpath(instrument.mediumDir() + QStringLiteral("/DATA/OLD"));
        TransferRig rig(&instrument);
        rig.panes(QStringLiteral("0"), QStringLiteral("1"), false);

        QVERIFY(MovePaneFile(rig.ctx, placeOf(rig, QStringLiteral("M:\\DATA\\")),
                             QStringLiteral("M:\\DATA\\A.DAT"), QStringLiteral("M:\\DATA\\B.DAT")));
        MovePaneFolder(rig.ctx, placeOf(rig, QStringLiteral("M:\\DATA\\")), QStringLiteral("M:\\DATA\\OLD"),
                       QStringLiteral("M:\\DATA\\NEW"));
        QCOMPARE(instrument.transcript(), (QStringList{QStringLiteral("CMD MOV 0,/DATA/A.DAT,/DATA/B.DAT"),
                                                       QStringLiteral("CMD MOV 0,/DATA/OLD/,/DATA/NEW/")}));
        QVERIFY(QFileInfo::exists(instrument.mediumDir() + QStringLiteral("/DATA/B.DAT")));
        QVERIFY(QFileInfo(instrument.mediumDir() + QStringLiteral("/DATA/NEW")).isDir());
        QVERIFY(rig.dialogs.shown.isEmpty());

        // Refusals show their number, and below it why.
        QVERIFY(MovePaneFile(rig.ctx, placeOf(rig, QStringLiteral("M:\\DATA\\")),
                             QStringLiteral("M:\\DATA\\NONE.DAT"), QStringLiteral("M:\\DATA\\C.DAT")));
        MovePaneFolder(rig.ctx, placeOf(rig, QStringLiteral("M:\\DATA\\")), QStringLiteral("M:\\DATA\\NONE"),
                       QStringLiteral("M:\\DATA\\OTHER"));
        QCOMPARE(
            rig.dialogs.texts(),
            (QStringList{QStringLiteral("MOV Error 20\nM:\\DATA\\NONE.DAT is not on the instrument; press "
                                        "Renew to see what is there."),
                         QStringLiteral("MOV Error 20\nM:\\DATA\\NONE is not on the instrument; press Renew "
                                        "to see what is there.")}));
    }

    void movesOnTheHost()
    {
        TransferRig rig;
        rig.panes(QStringLiteral("0"), QStringLiteral("1"), true);
        QVERIFY(writeFile(rig.native(QStringLiteral("A.DAT")), "a"));
        QVERIFY(writeFile(rig.native(QStringLiteral("OLD/IN.DAT")), "in"));
        QDir().mkpath(rig.native(QStringLiteral("TAKEN")));

        QVERIFY(MovePaneFile(rig.ctx, placeOf(rig, rig.host() + QLatin1Char('\\')),
                             rig.host(QStringLiteral("A.DAT")), rig.host(QStringLiteral("B.DAT"))));
        QCOMPARE(readFile(rig.native(QStringLiteral("B.DAT"))), QByteArray("a"));
        QVERIFY(!MovePaneFile(rig.ctx, placeOf(rig, rig.host() + QLatin1Char('\\')),
                              rig.host(QStringLiteral("A.DAT")), rig.host(QStringLiteral("C.DAT"))));
        QVERIFY(rig.dialogs.shown.isEmpty()); // a failed file move is the caller's to report

        MovePaneFolder(rig.ctx, placeOf(rig, rig.host() + QLatin1Char('\\')), rig.host(QStringLiteral("OLD")),
                       rig.host(QStringLiteral("NEW")));
        QCOMPARE(readFile(rig.native(QStringLiteral("NEW/IN.DAT"))), QByteArray("in"));
        QVERIFY(rig.dialogs.shown.isEmpty());

        rig.state().DialogAnswer = 0;
        MovePaneFolder(rig.ctx, placeOf(rig, rig.host() + QLatin1Char('\\')), rig.host(QStringLiteral("NEW")),
                       rig.host(QStringLiteral("TAKEN")));
        QCOMPARE(rig.dialogs.texts(), QStringList{QStringLiteral("This Path can't be chosen")});
        QCOMPARE(rig.dialogs.shown.at(0).icon, Icon::Information);
        QCOMPARE(rig.state().DialogAnswer, qint16(3));
        QVERIFY(QFileInfo::exists(rig.native(QStringLiteral("NEW/IN.DAT"))));
        QVERIFY(rig.link().errorString().isEmpty());
    }
};

ORVALT_TEST(OneFileCopyTest);
#include "OneFileCopyTest.moc"
