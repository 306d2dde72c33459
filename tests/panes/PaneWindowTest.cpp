// The real main window, headless, against the virtual instrument on a pseudo-terminal and against
// host folders.

#include "panes/ConnectActions.h"
#include "panes/Endpoint.h"
#include "panes/HostListing.h"
#include "panes/Navigation.h"
#include "panes/PaneModel.h"
#include "panes/RemoteListing.h"
#include "session/Connection.h"
#include "support/InstrumentProcess.h"
#include "support/PaneRows.h"
#include "support/TempStores.h"
#include "support/TestMain.h"
#include "transfer/CopyWindowRig.h"
#include "window/ActivePane.h"
#include "window/frmMain.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

using namespace orvalt;
using test::clickRow;
using test::rowNamed;
using test::rowNames;

namespace {

void writeFile(const QString& path, qsizetype size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(size, 'x'));
}

void press(frmMain& w, const QString& key)
{
    for (QAction* a : w.controls().tbToolBar->actions())
        if (a->data().toString() == key)
            a->trigger();
}

// The pane path of a host folder on the root volume ("/tmp/x" gives "\tmp\x").
QString panePathOf(const QString& nativeFolder)
{
    return QDir::cleanPath(nativeFolder).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

// Stores that show the instrument in the right pane, on Com1 = the instrument's pty.
void pointAtInstrument(test::TempStores& s, const test::InstrumentProcess& instrument,
                       const QByteArray& product)
{
    QFile ini(s.iniPath());
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Settings]\nLDevID=0\nRDevID=1\n[Product]\n" + product);
    ini.close();
    s.settings.save(QStringLiteral("orvalt"), QStringLiteral("Com1"), QStringLiteral("Device"),
                    instrument.devicePath());
    s.settings.save(QStringLiteral("orvalt"), QStringLiteral("Settings"), QStringLiteral("Rdrive"),
                    QStringLiteral("1"));
}

} // namespace

class PaneWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void connectListEnterUpDisconnect()
    {
        test::InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        writeFile(instrument.mediumDir() + QStringLiteral("/DATA/RUN1/A.CSV"), 1500);
        writeFile(instrument.mediumDir() + QStringLiteral("/DATA/B.DAT"), 12345);
        writeFile(instrument.mediumDir() + QStringLiteral("/TOP.TXT"), 10);

        test::TempStores s;
        s.quietPanes();
        pointAtInstrument(s, instrument, "Model=KD7350\nMedium1=INT MEM\nMedium2=Card 1\n");
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        auto& c = w.controls();
        PaneModel& right = w.context().rightPane;
        QCOMPARE(c.lvListView->model(), static_cast<QAbstractItemModel*>(&right));
        QCOMPARE(c.ImageCombo2->currentText(), QStringLiteral("INT MEM:"));
        QCOMPARE(right.rowCount(), 0); // nothing before Connection
        QVERIFY(s.dialogs.shown.isEmpty());

        press(w, QStringLiteral("接続"));
        QVERIFY(s.state.Connected);
        QVERIFY(s.state.LongNames);
        QCOMPARE(s.dialogs.texts(), QStringList{QStringLiteral("Connected")});
        QCOMPARE(rowNames(right), (QStringList{QStringLiteral("DATA"), QStringLiteral("TOP.TXT")}));
        QCOMPARE(right.row(0).kind, QStringLiteral("<DIR>"));
        QCOMPARE(right.row(1).kind, QStringLiteral("TXT"));
        QCOMPARE(right.row(1).sizeText, QStringLiteral("       1KB"));

        // Enter DATA with the toolbar's Open, on the active right pane.
        listFocused(w.context(), QStringLiteral("R"));
        clickRow(right, QStringLiteral("DATA"));
        press(w, QStringLiteral("開く"));
        QCOMPARE(s.state.Rpath, QStringLiteral("\\DATA"));
        QCOMPARE(c.Combo2->currentText(), QStringLiteral("\\DATA"));
        QCOMPARE(rowNames(right), (QStringList{QStringLiteral("RUN1"), QStringLiteral("B.DAT")}));
        QCOMPARE(rowNamed(right, QStringLiteral("B.DAT"))->sizeText, QStringLiteral("      12KB"));
        QCOMPARE(RmtFileSize(w.context(), QStringLiteral("B.DAT")), 12345);
        QCOMPARE(RmtFileSize(w.context(), QStringLiteral("RUN1")), 0); // a folder only

        press(w, QStringLiteral("1 つ上のﾌｫﾙﾀﾞへ"));
        QCOMPARE(s.state.Rpath, QStringLiteral("\\"));
        QCOMPARE(rowNames(right).size(), 2);
        press(w, QStringLiteral("1 つ上のﾌｫﾙﾀﾞへ")); // at the root: nothing changes
        QCOMPARE(s.state.Rpath, QStringLiteral("\\"));

        press(w, QStringLiteral("切断"));
        QVERIFY(!s.state.Connected);
        QCOMPARE(right.rowCount(), 0);
        QCOMPARE(s.dialogs.shown.size(), 1);
        const QStringList sent = instrument.transcript();
        QVERIFY(sent.contains(QStringLiteral("CMD STS?")));
        QVERIFY(sent.contains(QStringLiteral("CMD MED 0")));
        QVERIFY(sent.contains(QStringLiteral("CMD CDR /DATA")));
    }

    void rzFamilyRecordsItsModelAndMedia()
    {
        test::InstrumentProcess instrument({QStringLiteral("--model"), QStringLiteral("RZ100"),
                                            QStringLiteral("--media-names"),
                                            QStringLiteral("INT MEM,Card 1")});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        test::TempStores s;
        s.quietPanes();
        pointAtInstrument(s, instrument,
                          "Model=RZ100\nMedium1=FD\nMedium2=Card 2\nMedium3=Drive A\nMedium4=Drive C\n");
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        press(w, QStringLiteral("接続"));
        QVERIFY(s.state.Connected);
        QVERIFY(!s.state.LongNames);
        auto ini = [&](const QString& key) {
            return s.settings.ReadIniValue(QStringLiteral("orvalt"), QStringLiteral("Product"), key,
                                           QStringLiteral("-"));
        };
        QCOMPARE(ini(QStringLiteral("Model")), QStringLiteral("RZ100"));
        QCOMPARE(ini(QStringLiteral("Medium1")), QStringLiteral("INT MEM"));
        QCOMPARE(ini(QStringLiteral("Medium2")), QStringLiteral("Card 1"));
        QCOMPARE(ini(QStringLiteral("Medium3")), QStringLiteral("Drive A")); // kept from before
        QCOMPARE(w.controls().ImageCombo2->count(), 4);
        QCOMPARE(w.controls().ComboRDev->itemText(1), QStringLiteral("RZ100"));
        press(w, QStringLiteral("切断"));
        // The raw line is not answered: the instrument records it when it has read it.
        QTRY_VERIFY_WITH_TIMEOUT(instrument.transcript().contains(QStringLiteral("RAW UTILITY FILECOPY,OFF")),
                                 10000);
        const QStringList sent = instrument.transcript();
        QVERIFY(sent.contains(QStringLiteral("RAW UTILITY FILECOPY,ON")));
        QVERIFY(!sent.contains(QStringLiteral("CMD STS?")));
    }

    void failedConnectionSaysWhy()
    {
        test::TempStores s;
        s.quietPanes();
        s.settings.save(QStringLiteral("orvalt"), QStringLiteral("Com1"), QStringLiteral("Device"),
                        s.dir.filePath(QStringLiteral("no-such-port")));
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        press(w, QStringLiteral("接続"));
        QVERIFY(!s.state.Connected);
        QCOMPARE(s.dialogs.shown.size(), 1);
        // The window's box carries the same two lines as orvalt-cli: the device and what to do.
        QCOMPARE(s.dialogs.shown[0].text,
                 QStringLiteral("It failed in the connection\nThere is no device %1. The adapter may be "
                                "unplugged, or another port may be meant: choose it in Tool > Option...")
                     .arg(s.dir.filePath(QStringLiteral("no-such-port"))));
    }

    void checkConnectBeforeAndAfterTheFirstAction()
    {
        test::TempStores s;
        s.quietPanes();
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        s.state.RDevID = QStringLiteral("1");
        QVERIFY(!CheckConnect(w.context(), QStringLiteral("Card 1:"), QStringLiteral("R")));
        QCOMPARE(s.state.RMedium, QStringLiteral("1:"));
        QVERIFY(s.dialogs.shown.isEmpty());
        s.state.Interactive = true;
        QVERIFY(!CheckConnect(w.context(), QStringLiteral("INT MEM:"), QStringLiteral("R")));
        QCOMPARE(s.dialogs.texts(), QStringList{QStringLiteral("It isn't connected")});
        s.state.RDevID = QStringLiteral("0");
        QVERIFY(CheckConnect(w.context(), QString(), QStringLiteral("L"))); // no pane shows the instrument
    }

    void hostPaneNavigation()
    {
        QTemporaryDir root;
        writeFile(root.filePath(QStringLiteral("LOG/x.txt")), 5);
        writeFile(root.filePath(QStringLiteral("b.dat")), 2000);
        writeFile(root.filePath(QStringLiteral("readme")), 0);
        QDir(root.path()).mkpath(QStringLiteral("EMPTY"));
        test::TempStores s;
        s.settings.save(QStringLiteral("orvalt"), QStringLiteral("Settings"), QStringLiteral("Lpath"),
                        panePathOf(root.path()));
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        auto& c = w.controls();
        QCOMPARE(s.state.LMedium, QString()); // the root volume
        PaneModel& list = w.context().leftPane;
        QStringList names = rowNames(list);
        QCOMPARE(names.size(), 4);
        QVERIFY(list.row(0).folder && list.row(1).folder); // folders first
        QCOMPARE(rowNamed(list, QStringLiteral("b.dat"))->sizeText, QStringLiteral("       2KB"));
        QCOMPARE(rowNamed(list, QStringLiteral("readme"))->kind, QString());
        QCOMPARE(rowNamed(list, QStringLiteral("LOG"))->sizeText, QStringLiteral("       1KB"));

        // Open with no active pane does nothing; a double-click on a file row does nothing.
        press(w, QStringLiteral("開く"));
        QCOMPARE(s.state.Lpath, panePathOf(root.path()));
        listFocused(w.context(), QStringLiteral("L"));
        clickRow(list, QStringLiteral("b.dat"));
        listDoubleClicked(w.context(), QStringLiteral("L"));
        QCOMPARE(s.state.Lpath, panePathOf(root.path()));

        clickRow(list, QStringLiteral("EMPTY"));
        listDoubleClicked(w.context(), QStringLiteral("L"));
        QCOMPARE(s.state.Lpath, panePathOf(root.path()) + QStringLiteral("\\EMPTY"));
        QCOMPARE(list.rowCount(), 0);
        QCOMPARE(c.Combo1->currentText(), s.state.Lpath);
        upButtonClicked(w.context(), QStringLiteral("L"));
        QCOMPARE(s.state.Lpath, panePathOf(root.path()));
        QVERIFY(s.dialogs.shown.isEmpty());

        // The existence checks ask the host for a host place.
        const Endpoint left = paneEndpoint(s.state, QStringLiteral("L"));
        QVERIFY(folderIn(w.context(), left, panePathOf(root.path()) + QStringLiteral("\\LOG")));
        QVERIFY(!fileIn(w.context(), left, panePathOf(root.path()) + QStringLiteral("\\LOG")));
        QVERIFY(fileIn(w.context(), left, panePathOf(root.path()) + QStringLiteral("\\b.dat")));
    }

    // A click on a heading reverses the order that all columns of the list share and sorts the
    // rows by the texts shown, case-blind; a refill puts folders first again and the next click
    // goes on from the last order.
    void headingClicksSortTheRows()
    {
        QTemporaryDir root;
        writeFile(root.filePath(QStringLiteral("m/inner.dat")), 2500);
        writeFile(root.filePath(QStringLiteral("c.txt")), 3000);
        writeFile(root.filePath(QStringLiteral("B.txt")), 1000);
        writeFile(root.filePath(QStringLiteral("a.txt")), 5000);
        test::TempStores s;
        s.quietPanes();
        s.settings.save(QStringLiteral("orvalt"), QStringLiteral("Settings"), QStringLiteral("Lpath"),
                        panePathOf(root.path()));
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const PaneModel& list = w.context().leftPane;
        QHeaderView* header = w.controls().L_ListView->header();
        auto click = [header](int column) {
            QTest::mouseClick(
                header->viewport(), Qt::LeftButton, {},
                QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                       header->height() / 2));
        };
        const QStringList refilled{"m", "a.txt", "B.txt", "c.txt"};
        QCOMPARE(rowNames(list), refilled);
        QVERIFY(!header->isSortIndicatorShown());

        // The row the user clicked stays selected and current wherever the sort puts it.
        QTreeView* view = w.controls().L_ListView;
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualRect(view->model()->index(3, 0)).center());
        click(0);
        QCOMPARE(rowNames(list), (QStringList{"m", "c.txt", "B.txt", "a.txt"}));
        QCOMPARE(list.selectedRows(), QList<int>{1});
        QCOMPARE(list.currentRow(), 1);
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        click(0);
        QCOMPARE(rowNames(list), (QStringList{"a.txt", "B.txt", "c.txt", "m"}));
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        click(2); // by kilobytes, the order reversed again
        QCOMPARE(rowNames(list), (QStringList{"a.txt", "c.txt", "m", "B.txt"}));
        QCOMPARE(header->sortIndicatorSection(), 2);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);

        press(w, QStringLiteral("最新に更新"));
        QCOMPARE(rowNames(list), refilled);
        QVERIFY(!header->isSortIndicatorShown());
        click(0);
        QCOMPARE(rowNames(list), (QStringList{"a.txt", "B.txt", "c.txt", "m"}));
    }

    // A host pane on another drive: the drive comes back at the next start while it is mounted;
    // once it is gone, the pane shows the root of the system drive. The drive lists are given,
    // both drives being folders of the test's own.
    void hostDriveComesBackAfterARestart_data()
    {
        QTest::addColumn<bool>("stillMounted");
        QTest::newRow("still mounted") << true;
        QTest::newRow("gone") << false;
    }
    void hostDriveComesBackAfterARestart()
    {
        QFETCH(bool, stillMounted);
        QTemporaryDir folders;
        writeFile(folders.filePath(QStringLiteral("system/ON_SYSTEM.TXT")), 1);
        writeFile(folders.filePath(QStringLiteral("usb/DATA/IN_DATA.TXT")), 1);
        writeFile(folders.filePath(QStringLiteral("usb/ON_USB.TXT")), 1);
        const HostDrive system{QDir::cleanPath(folders.filePath(QStringLiteral("system"))),
                               folders.filePath(QStringLiteral("system")), QStringLiteral("system"), true};
        const HostDrive usb{QDir::cleanPath(folders.filePath(QStringLiteral("usb"))),
                            folders.filePath(QStringLiteral("usb")), QStringLiteral("usb"), false};
        test::TempStores s;
        s.quietPanes();
        {
            frmMain w(s.state, s.settings, s.dialogs);
            w.context().hostFs.setDriveSource([&] { return QList<HostDrive>{system, usb}; });
            w.load();
            QComboBox* drives = w.controls().DriveListL;
            QCOMPARE(drives->currentText(), QStringLiteral("system"));
            QTest::keyClick(drives, Qt::Key_Down);
            PaneModel& list = w.context().leftPane;
            QCOMPARE(rowNames(list), (QStringList{QStringLiteral("DATA"), QStringLiteral("ON_USB.TXT")}));
            clickRow(list, QStringLiteral("DATA"));
            press(w, QStringLiteral("開く"));
            QCOMPARE(rowNames(list), QStringList{QStringLiteral("IN_DATA.TXT")});
            QVERIFY(w.close());
        }
        AppState next;
        frmMain w(next, s.settings, s.dialogs);
        w.context().hostFs.setDriveSource([&] {
            return stillMounted ? QList<HostDrive>{system, usb} : QList<HostDrive>{system};
        });
        w.load();
        QCOMPARE(w.controls().DriveListL->currentText(),
                 stillMounted ? QStringLiteral("usb") : QStringLiteral("system"));
        QCOMPARE(next.LMedium, stillMounted ? usb.prefix : system.prefix);
        QCOMPARE(next.Lpath, stillMounted ? QStringLiteral("\\DATA") : QStringLiteral("\\"));
        QCOMPARE(rowNames(w.context().leftPane),
                 QStringList{stillMounted ? QStringLiteral("IN_DATA.TXT") : QStringLiteral("ON_SYSTEM.TXT")});
    }

    void upToTheSystemRootGivesTheNotice()
    {
        test::TempStores s;
        s.settings.save(QStringLiteral("orvalt"), QStringLiteral("Settings"), QStringLiteral("Lpath"),
                        QStringLiteral("\\tmp"));
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        listFocused(w.context(), QStringLiteral("L"));
        press(w, QStringLiteral("1 つ上のﾌｫﾙﾀﾞへ"));
        QCOMPARE(s.state.Lpath, QStringLiteral("\\"));
        QCOMPARE(s.dialogs.texts(),
                 QStringList{QStringLiteral("C:\\ There is an important file in the Windows system in it.")});
        QCOMPARE(s.dialogs.shown[0].icon, DialogSeam::Icon::Information);
    }

    // A folder typed into a pane's path box and Enter: the pane goes there; a folder that is not
    // there is told and the box shows the folder shown again.
    void typedPath_data()
    {
        QTest::addColumn<QString>("side");
        QTest::addColumn<QString>("typed");  // "<host>" stands for the left pane's host folder
        QTest::addColumn<QString>("folder"); // the pane's path afterwards, "<host>" as above
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("told");
        QTest::newRow("host, with slashes") << "L"
                                            << "<host>/SUB"
                                            << "<host>\\SUB"
                                            << "IN.TXT"
                                            << "";
        QTest::newRow("host, with backslashes") << "L"
                                                << "<host>\\SUB"
                                                << "<host>\\SUB"
                                                << "IN.TXT"
                                                << "";
        QTest::newRow("host, below the folder shown") << "L"
                                                      << "SUB/"
                                                      << "<host>\\SUB"
                                                      << "IN.TXT"
                                                      << "";
        QTest::newRow("host, not there")
            << "L"
            << "<host>/NOPE"
            << "<host>"
            << "SUB A.TXT"
            << "<host>/NOPE cannot be shown.\nThere is no such folder on this computer.";
        QTest::newRow("host, a file") << "L"
                                      << "A.TXT"
                                      << "<host>"
                                      << "SUB A.TXT"
                                      << "<host>/A.TXT cannot be shown.\nIt is a file, not a folder.";
        QTest::newRow("instrument, from the root") << "R"
                                                   << "\\DATA\\RUN"
                                                   << "\\DATA\\RUN"
                                                   << "T.CSV"
                                                   << "";
        QTest::newRow("instrument, below the folder shown") << "R"
                                                            << "DATA"
                                                            << "\\DATA"
                                                            << "RUN"
                                                            << "";
        QTest::newRow("instrument, not there") << "R"
                                               << "/NOPE"
                                               << "\\"
                                               << "DATA"
                                               << "This Path can't be chosen\nM:\\NOPE is not on the "
                                                  "instrument; press Renew to see what is there.";
        QTest::newRow("instrument, another medium") << "R"
                                                    << "1:\\DATA"
                                                    << "\\"
                                                    << "DATA"
                                                    << "This Path can't be chosen\n1:\\DATA is no folder of "
                                                       "INT MEM:: a pane shows one medium, chosen above it.";
    }

    void typedPath()
    {
        QFETCH(QString, side);
        QFETCH(QString, typed);
        QFETCH(QString, folder);
        QFETCH(QString, rows);
        QFETCH(QString, told);
        test::CopyWindow rig(QStringLiteral("host"), QStringLiteral("M"));
        QVERIFY(test::putFile(rig.path(QStringLiteral("L"), QStringLiteral("SUB/IN.TXT")), "in"));
        QVERIFY(test::putFile(rig.path(QStringLiteral("L"), QStringLiteral("A.TXT")), "a"));
        QVERIFY(test::putFile(rig.path(QStringLiteral("R"), QStringLiteral("DATA/RUN/T.CSV")), "1"));
        QVERIFY(rig.start());
        rig.window->show();
        rig.renew();
        const QString host = rig.state().Lpath;
        const auto fill = [&host](QString text) {
            return text.replace(QStringLiteral("<host>"), host);
        };
        const auto shown = [&host](QString text) {
            return text.replace(QStringLiteral("<host>"),
                                QDir::cleanPath(host).replace(QLatin1Char('\\'), QLatin1Char('/')));
        };
        QComboBox* box =
            AppState::isLeft(side) ? rig.window->controls().Combo1 : rig.window->controls().Combo2;
        box->lineEdit()->setFocus();
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(),
                         typed.startsWith(QLatin1String("<host>/")) ? shown(typed) : fill(typed));
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        QCOMPARE(rig.state().path(side), fill(folder));
        QCOMPARE(box->currentText(), fill(folder));
        QCOMPARE(rig.rows(side).join(QLatin1Char(' ')), rows);
        QCOMPARE(rig.dialogs().texts().join(QLatin1Char('|')), shown(told));
    }
};

ORVALT_TEST(PaneWindowTest);
#include "PaneWindowTest.moc"
