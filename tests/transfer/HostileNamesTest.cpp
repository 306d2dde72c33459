// Names in an instrument listing are untrusted: what the host cannot take as one entry of a folder
// is not copied, the copy says which and goes on. The virtual instrument never lists such names, so
// a crafted instrument answers over an in-process link here.

#include "TransferRig.h"
#include "core/StatusPanel.h"
#include "link/LinkHarness.h"
#include "panes/Endpoint.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "support/PipeTransport.h"
#include "support/TempStores.h"
#include "support/TestMain.h"
#include "transfer/CopyFolderTree.h"
#include "transfer/FileTransfer.h"
#include "transfer/TransferTexts.h"

#include <QDir>
#include <QMap>
#include <QTest>
#include <QtEndian>

using namespace orvalt;

namespace {

// One listing entry as the instrument writes it: name, size, date, time and a fifth field.
QString entry(const QString& name, int size = 0)
{
    return QStringLiteral(",%1,%2,2024/01/02,03:04:05,0").arg(name).arg(size);
}

QStringList sortedNames(const QString& folder)
{
    QStringList names;
    for (const QFileInfo& info :
         QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
        names << info.fileName() + (info.isDir() ? QStringLiteral("/") : QString());
    return names;
}

// An instrument with fixed folders: "CDR " moves between them, "DIR?" lists the current one,
// "FRD? name" reads a file of it.
struct CraftedInstrument
{
    QMap<QString, QString> listings; // folder ("/TOP") -> listing text
    QMap<QString, QByteArray> files; // path ("/TOP/GOOD.DAT") -> contents
    QString current = QStringLiteral("/");
    QStringList asked; // every "FRD?" path
    QByteArray pending;

    link::Answer answer(const link::Request& request)
    {
        const QString text = QString::fromLatin1(request.payload);
        if (request.kind == link::Request::Kind::Command) {
            QString folder = text.mid(4); // the receiver names a folder with a final "/"
            if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
                folder.chop(1);
            if (text.startsWith(QLatin1String("CDR ")) && listings.contains(folder)) {
                current = folder;
                return {link::Answer::Kind::Reply, 0, {}};
            }
            if (text == QLatin1String("MED 0")) {
                current = QStringLiteral("/");
                return {link::Answer::Kind::Reply, 0, {}};
            }
            return {link::Answer::Kind::Reply, 20, "20"};
        }
        // A listing goes in blocks of 200 bytes, each further one asked for with a block of kind 4.
        if (text == QLatin1String("DIR?"))
            pending = listings.value(current).toLatin1();
        if (text == QLatin1String("DIR?") || request.blockType == 4) {
            const QByteArray part = pending.left(200);
            pending.remove(0, part.size());
            return {link::Answer::Kind::Block, pending.isEmpty() ? 7 : 0, part};
        }
        if (text.startsWith(QLatin1String("FRD? "))) {
            const QString path =
                (current == QLatin1String("/") ? QString() : current) + QLatin1Char('/') + text.mid(5);
            asked << path;
            if (!files.contains(path))
                return {link::Answer::Kind::Block, 9, {}};
            QByteArray data(4, '\0');
            qToBigEndian<quint32>(static_cast<quint32>(files.value(path).size()), data.data());
            return {link::Answer::Kind::Block, 7, data + files.value(path)};
        }
        return {link::Answer::Kind::Block, 9, {}};
    }
};

} // namespace

class HostileNamesTest : public QObject
{
    Q_OBJECT

private slots:
    void hostCanTakeName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("usable");
        QTest::addRow("plain") << "GOOD.DAT" << true;
        QTest::addRow("blank and lower case") << "a b.dat" << true;
        QTest::addRow("Latin-1 letter") << QString::fromLatin1("\xe9t\xe9.DAT") << true;
        QTest::addRow("255 bytes") << QString(255, QLatin1Char('A')) << true;
        QTest::addRow("empty") << "" << false;
        QTest::addRow("dot") << "." << false;
        QTest::addRow("dot dot") << ".." << false;
        QTest::addRow("slash alone") << "/" << false;
        QTest::addRow("climbing with slashes") << "../../ESC.DAT" << false;
        QTest::addRow("climbing with backslashes") << "..\\..\\ESC.DAT" << false;
        QTest::addRow("a folder inside") << "A/B.DAT" << false;
        QTest::addRow("NUL") << QStringLiteral("A%1.DAT").arg(QChar(0)) << false;
        QTest::addRow("line feed") << "A\nB.DAT" << false;
        QTest::addRow("escape") << "\x1b[2JX.DAT" << false;
        QTest::addRow("delete") << "X\x7f.DAT" << false;
        QTest::addRow("C1 control") << QString::fromLatin1("X\x85.DAT") << false;
        QTest::addRow("256 bytes") << QString(256, QLatin1Char('A')) << false;
        QTest::addRow("128 two-byte letters") << QString(128, QChar(0xe9)) << false;
#ifdef Q_OS_WIN
        QTest::addRow("colon") << "A:B" << false;
        QTest::addRow("device") << "CON.DAT" << false;
        QTest::addRow("final dot") << "A." << false;
#endif
    }

    void hostCanTakeName()
    {
        QFETCH(QString, name);
        QFETCH(bool, usable);
        QCOMPARE(orvalt::hostCanTakeName(name), usable);
    }

    void usableListing()
    {
        QString listing = QStringLiteral("M:/TOP") + entry(QStringLiteral(".."), 0) +
                          entry(QStringLiteral("SUB/")) + entry(QStringLiteral("./")) +
                          entry(QStringLiteral("../UP/")) + entry(QStringLiteral("/")) +
                          entry(QStringLiteral("GOOD.DAT"), 5) + entry(QStringLiteral("..\\EVIL.DAT"), 3) +
                          entry(QStringLiteral("B\x01.DAT"), 1);
        QStringList refused;
        const QList<FileEntry> usable = orvalt::usableListing(listing, &refused);
        QCOMPARE(usable.size(), 2);
        QCOMPARE(usable.at(0).name, QStringLiteral("SUB"));
        QVERIFY(usable.at(0).isFolder());
        QCOMPARE(usable.at(1).name, QStringLiteral("GOOD.DAT"));
        QCOMPARE(usable.at(1).size, 5);
        QCOMPARE(refused, (QStringList{".", "../UP", "", "..\\EVIL.DAT", "B\x01.DAT"}));
        QCOMPARE(shownName(refused.at(4)), QStringLiteral("\"B\\x01.DAT\""));
        QCOMPARE(shownName(QString()), QStringLiteral("\"\""));
        QCOMPARE(shownName(QString(70, QLatin1Char('A'))),
                 QLatin1Char('"') + QString(64, QLatin1Char('A')) + "...\"");
    }

    void noLimitOnEntries()
    {
        QString listing = QStringLiteral("M:/MANY");
        for (int i = 0; i < 5000; ++i)
            listing += entry(QStringLiteral("F%1.DAT").arg(i), i);
        const QList<FileEntry> usable = orvalt::usableListing(listing, nullptr);
        QCOMPARE(usable.size(), 5000);
        QCOMPARE(usable.constLast().name, QStringLiteral("F4999.DAT"));
    }

    // The one-file copy's first line for each result, and under it what really happened: the link's
    // failure (provoked on a pipe: a silent peer, a peer gone, a peer that only Naks) or the reason
    // the instrument's refusal gave. Without either, the first line stands alone.
    void transferFailureText_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("hostText");
        QTest::addColumn<QString>("peer");
        QTest::addColumn<int>("reason");
        QTest::addColumn<QString>("told");
        const QString noReply =
            "The instrument stopped answering (no reply in 1 s). Check that it is switched "
            "on and its cable is plugged in, then press Connection.";
        QTest::addRow("medium") << 160 << ""
                                << "" << 0 << "This medium can't be chosen";
        QTest::addRow("medium full")
            << 160 << ""
            << "" << 2
            << "This medium can't be chosen\nThe medium INT MEM is full. Delete files "
               "on it, or choose another medium.";
        QTest::addRow("busy") << 60 << ""
                              << "" << 0 << "DEVICE BUSY";
        QTest::addRow("format") << 20 << ""
                                << "" << 0 << "Command Format (DEVICE BUSY)";
        QTest::addRow("name refused")
            << 20 << ""
            << "" << 3
            << "Command Format (DEVICE BUSY)\nThe instrument does not take the name "
               "\"X.CSV\". Change the filename.  8.3 format";
        QTest::addRow("host") << int(TransferResult::HostReadFailed) << "cannot read"
                              << "" << 2 << "cannot read";
        QTest::addRow("not received") << -1 << "ignored"
                                      << "" << 0 << "Send or Rec Error (DEVICE BUSY) -1";
        QTest::addRow("not there") << -1 << ""
                                   << "" << 1
                                   << "Send or Rec Error (DEVICE BUSY) -1\nM:\\DATA\\X.CSV is not on the "
                                      "instrument; press Renew to see what is there.";
        QTest::addRow("link") << 901 << ""
                              << "" << 0 << "Send or Rec Error (DEVICE BUSY) 901";
        QTest::addRow("silent, -1") << -1 << ""
                                    << "silent" << 1 << "Send or Rec Error (DEVICE BUSY) -1\n" + noReply;
        QTest::addRow("silent, 903") << 903 << ""
                                     << "silent" << 0 << "Send or Rec Error (DEVICE BUSY) 903\n" + noReply;
        QTest::addRow("gone") << -1 << ""
                              << "gone" << 0
                              << "Send or Rec Error (DEVICE BUSY) -1\nThe port went away: the adapter was "
                                 "unplugged or the line was closed. Plug it back in, then press Connection.";
        QTest::addRow("noisy")
            << -1 << ""
            << "noisy" << 0
            << "Send or Rec Error (DEVICE BUSY) -1\nThe line is too noisy: the exchange "
               "arrived damaged every time it was tried. Check the cable and its plugs, or "
               "choose a lower speed in Tool > Option..., then try again.";
        QTest::addRow("busy after a failed call") << 60 << ""
                                                  << "silent" << 0 << "DEVICE BUSY";
    }

    void transferFailureText()
    {
        QFETCH(int, result);
        QFETCH(QString, hostText);
        QFETCH(QString, peer);
        QFETCH(int, reason);
        QFETCH(QString, told);
        auto [near, far] = test::PipeTransport::createPair();
        link::PexLink pex;
        pex.attach(*near);
        // The Naks come from the idle hook, about every 50 ms: the time-out leaves room for all repeats.
        QCOMPARE(pex.PexSetTimeOut(peer == "noisy" ? 20000 : 1000), 0);
        if (peer == "gone") {
            far->close();
        } else if (peer == "noisy") {
            pex.setGapMs(5);
            // Every request is answered with a Nak until the repeats run out.
            pex.setIdleHook([&far = *far] {
                if (!far.read(0).isEmpty())
                    far.write(link::encodeFrame(link::Frame{link::FrameKind::Nak, 0, 0, {}}));
            });
        }
        if (!peer.isEmpty()) {
            QByteArray reply(255, ' ');
            QVERIFY(pex.PexSendCommand("STS?", reply) > 900);
        }
        test::TransferRig rig(pex);
        rig.state().lastRefusal = reason;
        ChooserEntry medium;
        medium.text = QStringLiteral("INT MEM:");
        medium.data = QStringLiteral("M:");
        rig.rightPane.setMedia({medium}, 0);
        QCOMPARE(orvalt::transferFailure(rig.ctx, result, hostText, QStringLiteral("M:\\DATA\\X.CSV")).text(),
                 told);
    }

    // A folder copy from a crafted instrument: nothing lands outside the folder copied into, every
    // refused entry is named, and the good entries around them are copied.
    void folderCopyFromAHostileListing()
    {
        CraftedInstrument crafted;
        crafted.listings.insert(QStringLiteral("/"), QStringLiteral("M:/") + entry(QStringLiteral("TOP/")));
        crafted.listings.insert(
            QStringLiteral("/TOP"),
            QStringLiteral("M:/TOP") + entry(QStringLiteral(".."), 0) + entry(QStringLiteral("../UP/")) +
                entry(QStringLiteral("./")) + entry(QStringLiteral("SUB/")) +
                entry(QStringLiteral("..\\EVIL.DAT"), 4) + entry(QStringLiteral("../ESC.DAT"), 4) +
                entry(QStringLiteral("GOOD.DAT"), 4) + entry(QStringLiteral("X\x1b.DAT"), 1));
        crafted.listings.insert(QStringLiteral("/TOP/SUB"),
                                QStringLiteral("M:/TOP/SUB") + entry(QStringLiteral("IN.DAT"), 2));
        crafted.files.insert(QStringLiteral("/TOP/GOOD.DAT"), "good");
        crafted.files.insert(QStringLiteral("/TOP/SUB/IN.DAT"), "in");
        crafted.files.insert(QStringLiteral("/ESC.DAT"), "gone");
        crafted.files.insert(QStringLiteral("/TOP/..\\EVIL.DAT"), "evil");

        test::LinkHarness harness;
        harness.handler.respond = [&crafted](const link::Request& r) {
            return crafted.answer(r);
        };
        harness.start();
        test::TempStores stores;
        PaneModel left;
        PaneModel right;
        StatusPanel panel;
        HostFs hostFs;
        ProgramContext ctx{
            {stores.state, stores.settings, stores.dialogs, harness.link}, hostFs, left, right, panel};
        stores.state.LDevID = QStringLiteral("0");
        stores.state.RDevID = QStringLiteral("1");
        stores.state.RActive = true;
        stores.state.Connected = true;
        QTemporaryDir host;
        const QString into = QDir(host.path()).filePath(QStringLiteral("into"));
        QVERIFY(QDir().mkpath(into));
        const QString intoPane = QDir::cleanPath(into).replace(QLatin1Char('/'), QLatin1Char('\\'));

        CopyRun run;
        CopyFolderTree(ctx, run, QStringLiteral("M:\\TOP"), intoPane + QLatin1Char('\\'), false,
                       endpointOf(false, QStringLiteral("M:\\"), QStringLiteral("R")),
                       endpointOf(true, intoPane + QLatin1Char('\\')));
        harness.stopServer();

        QCOMPARE(sortedNames(host.path()), QStringList{"into/"});
        QCOMPARE(sortedNames(into), QStringList{"TOP/"});
        QCOMPARE(sortedNames(into + QStringLiteral("/TOP")), (QStringList{"GOOD.DAT", "SUB/"}));
        QCOMPARE(test::readFile(into + QStringLiteral("/TOP/GOOD.DAT")), QByteArray("good"));
        QCOMPARE(test::readFile(into + QStringLiteral("/TOP/SUB/IN.DAT")), QByteArray("in"));
        QCOMPARE(crafted.asked, (QStringList{"/TOP/SUB/IN.DAT", "/TOP/GOOD.DAT"})); // nothing else was read
        QCOMPARE(run.notCopied.size(), 5);
        for (const QString& shown :
             {QStringLiteral("\"../UP\""), QStringLiteral("\".\""), QStringLiteral("\"..\\EVIL.DAT\""),
              QStringLiteral("\"../ESC.DAT\""), QStringLiteral("\"X\\x1b.DAT\"")}) {
            const QString line =
                QStringLiteral("M:\\TOP: the entry %1 has a name that cannot be used on this "
                               "computer; not copied")
                    .arg(shown);
            QVERIFY2(run.notCopied.contains(line), qPrintable(run.notCopied.join(QLatin1Char('\n'))));
        }
        QVERIFY(stores.dialogs.shown.isEmpty()); // the driver tells them, once, at the end
    }
};

ORVALT_TEST(HostileNamesTest);
#include "HostileNamesTest.moc"
