#include "core/ResourceTexts.h"
#include "support/TempStores.h"
#include "support/TestMain.h"
#include "transfer/CopyWindowRig.h"
#include "window/ApplyResourceTexts.h"
#include "window/frmAbout.h"
#include "window/frmMain.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

using namespace orvalt;

namespace {

const QString kSettings = QStringLiteral("Settings");

QString userValue(test::TempStores& s, const QString& app, const QString& key)
{
    return s.settings.get(app, kSettings, key, QStringLiteral("<missing>"));
}

int px(double twips, const frmMain& w)
{
    return qRound(twips * w.logicalDpi() / 1440.0);
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void firstRunWithEmptyStores()
    {
        test::TempStores s;
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        const auto& c = w.controls();

        QCOMPARE(w.pos(), QPoint(px(1000, w), px(1000, w)));
        QCOMPARE(w.size(), QSize(px(6500, w), px(6500, w)));
        QCOMPARE(w.windowTitle(), QStringLiteral("ORVALT"));
        // The program's own icon, the one the menu entry shows, drawn from the built-in SVG.
        const QImage icon = w.windowIcon().pixmap(32).toImage();
        QVERIFY(!icon.isNull());
        QCOMPARE(icon, QIcon(QStringLiteral(":/icons/org.orvalt.Orvalt.svg")).pixmap(32).toImage());
        QCOMPARE(s.state.LDevID, QStringLiteral("0"));
        QCOMPARE(s.state.RDevID, QStringLiteral("0"));
        QCOMPARE(s.state.Lpath, QStringLiteral("\\"));
        QCOMPARE(s.state.Rpath, QStringLiteral("\\"));
        QCOMPARE(s.state.ModelName, QStringLiteral("KD7350"));
        QCOMPARE(c.statusPanel1->text(), QStringLiteral("Replacement skip"));
        QVERIFY(!s.state.OverwriteAll);
        QVERIFY(s.state.CloseAllowed);
        QVERIFY(!s.state.TransferBusy);
        QVERIFY(!s.state.StopRequested);
        QVERIFY(s.dialogs.shown.isEmpty());

        for (QTreeView* list : {c.L_ListView, c.lvListView}) {
            const QAbstractItemModel* model = list->model();
            QCOMPARE(list->header()->count(), 4);
            QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
            QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Date"));
            QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Size"));
            QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Kind"));
            QVERIFY(model->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).toInt() & Qt::AlignRight);
            QCOMPARE(list->columnWidth(0), px(1600, w));
            QVERIFY(!list->isSortingEnabled());
        }
        QCOMPARE(c.mnuFile->title(), QStringLiteral("File(&F)"));
        QCOMPARE(c.mnuCreateFolder->text(), QStringLiteral("New Folder preparation"));
        QCOMPARE(c.mnuFileClose->text(), QStringLiteral("Close(&C)"));
        QCOMPARE(c.mnuTools->title(), QStringLiteral("Tool(&T)"));
        QCOMPARE(c.mnuToolsOptions->text(), QStringLiteral("Option(&O)..."));
        QCOMPARE(c.mnuHelp->title(), QStringLiteral("Help(&H)"));
        QCOMPARE(c.mnuHelpAbout->text(), QStringLiteral("Version information"));

        QStringList keys;
        QStringList tips;
        for (QAction* a : c.tbToolBar->actions()) {
            if (a->isSeparator())
                continue;
            keys << a->data().toString();
            // The resource text, then the button's key in brackets where it has one.
            tips << a->toolTip().section(QStringLiteral(" ("), 0, 0);
            QVERIFY(!a->icon().isNull());
        }
        QCOMPARE(keys, (QStringList{
                           QStringLiteral("1 つ上のﾌｫﾙﾀﾞへ"), QStringLiteral("開く"), QStringLiteral("削除"),
                           QStringLiteral("左へ転送"), QStringLiteral("中断"), QStringLiteral("右へ転送"),
                           QStringLiteral("接続"), QStringLiteral("切断"), QStringLiteral("最新に更新"),
                           QStringLiteral("ファイル名変更"), QStringLiteral("フォーマット")}));
        QCOMPARE(tips, (QStringList{QStringLiteral("To upper Folder"), QStringLiteral("Open"),
                                    QStringLiteral("Delete"), QStringLiteral("Copy to Left"),
                                    QStringLiteral("Interruption"), QStringLiteral("Copy to Right"),
                                    QStringLiteral("Connection"), QStringLiteral("Disconnection"),
                                    QStringLiteral("Renew"), QStringLiteral("Change of the filename"),
                                    QStringLiteral("Format Remote-Drive")}));
    }

    void storedSelectorEntryAndPaths_data()
    {
        QTest::addColumn<QString>("ldrive");
        QTest::addColumn<QString>("lpath");
        QTest::addColumn<QString>("leftEntry");
        QTest::addColumn<QString>("expectedPath");
        QTest::newRow("entry 3") << "3"
                                 << "\\DATA\\RUN1"
                                 << "Card 1:"
                                 << "\\DATA\\RUN1";
        QTest::newRow("entry 6") << "6"
                                 << "\\"
                                 << "Drive C:"
                                 << "\\";
        QTest::newRow("not a number") << "x"
                                      << "DATA"
                                      << "INT MEM:"
                                      << "\\";
        QTest::newRow("beyond the list") << "9"
                                         << "\\DATA\\"
                                         << "INT MEM:"
                                         << "\\";
        QTest::newRow("zero") << "0"
                              << ""
                              << "INT MEM:"
                              << "\\";
    }
    void storedSelectorEntryAndPaths()
    {
        QFETCH(QString, ldrive);
        QFETCH(QString, lpath);
        QFETCH(QString, leftEntry);
        QFETCH(QString, expectedPath);
        test::TempStores s;
        s.quietPanes();
        s.settings.save(QStringLiteral("orvalt"), kSettings, QStringLiteral("Ldrive"), ldrive);
        s.settings.save(QStringLiteral("orvalt"), kSettings, QStringLiteral("Lpath"), lpath);
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        QCOMPARE(w.controls().ImageCombo1->currentText(), leftEntry);
        QCOMPARE(w.controls().ImageCombo2->currentText(), QStringLiteral("Drive C:"));
        QCOMPARE(s.state.Lpath, expectedPath);
    }

    void storedGeometryJunkGivesDefaults()
    {
        test::TempStores s;
        s.quietPanes();
        s.settings.save(programTitle(), kSettings, QStringLiteral("MainLeft"), QStringLiteral("left"));
        s.settings.save(programTitle(), kSettings, QStringLiteral("MainWidth"), QStringLiteral(""));
        s.settings.save(programTitle(), kSettings, QStringLiteral("MainHeight"), QStringLiteral("nan"));
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        QCOMPARE(w.pos().x(), px(1000, w));
        QCOMPARE(w.size(), QSize(px(6500, w), px(6500, w)));
    }

    void windowOffEveryScreenOpensOnThePrimary()
    {
        test::TempStores s;
        s.quietPanes();
        s.settings.save(programTitle(), kSettings, QStringLiteral("MainLeft"), QStringLiteral("900000"));
        s.settings.save(programTitle(), kSettings, QStringLiteral("MainTop"), QStringLiteral("-900000"));
        s.settings.save(programTitle(), kSettings, QStringLiteral("MainWidth"), QStringLiteral("9000"));
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        QCOMPARE(w.pos(), QGuiApplication::primaryScreen()->availableGeometry().topLeft());
        QCOMPARE(w.width(), px(9000, w));
    }

    void unloadSavesTheState()
    {
        test::TempStores s;
        s.quietPanes();
        {
            frmMain w(s.state, s.settings, s.dialogs);
            w.load();
            w.move(px(1440, w), px(2880, w));
            w.resize(px(7200, w), px(5760, w));
            s.state.Lpath = QStringLiteral("\\DATA");
            s.state.Rpath = QStringLiteral("\\");
            s.state.Rdrive = 4;
            s.state.LDevID = QStringLiteral("1");
            QVERIFY(w.close());
        }
        QVERIFY(s.dialogs.shown.isEmpty());
        QCOMPARE(userValue(s, programTitle(), QStringLiteral("MainLeft")).toDouble(), 1440.0);
        QCOMPARE(userValue(s, programTitle(), QStringLiteral("MainTop")).toDouble(), 2880.0);
        QCOMPARE(userValue(s, programTitle(), QStringLiteral("MainWidth")).toDouble(), 7200.0);
        QCOMPARE(userValue(s, programTitle(), QStringLiteral("MainHeight")).toDouble(), 5760.0);
        QCOMPARE(userValue(s, programTitle(), QStringLiteral("ViewMode")), QStringLiteral("3"));
        QCOMPARE(userValue(s, QStringLiteral("orvalt"), QStringLiteral("Lpath")), QStringLiteral("\\DATA"));
        QCOMPARE(userValue(s, QStringLiteral("orvalt"), QStringLiteral("Rpath")), QStringLiteral("\\"));
        QCOMPARE(userValue(s, QStringLiteral("orvalt"), QStringLiteral("Ldrive")), QStringLiteral("2"));
        QCOMPARE(userValue(s, QStringLiteral("orvalt"), QStringLiteral("Rdrive")), QStringLiteral("4"));
        QCOMPARE(
            s.settings.ReadIniValue(QStringLiteral("orvalt"), kSettings, QStringLiteral("LDevID"), QString()),
            QStringLiteral("1"));
        QCOMPARE(
            s.settings.ReadIniValue(QStringLiteral("orvalt"), kSettings, QStringLiteral("RDevID"), QString()),
            QStringLiteral("0"));
    }

    // The split and the columns the user set come back at the next start.
    void panesLayoutKeptAcrossRuns()
    {
        test::TempStores s;
        s.quietPanes();
        int leftName = 0;
        int rightKind = 0;
        {
            frmMain w(s.state, s.settings, s.dialogs);
            w.load();
            w.resize(px(12000, w), px(6000, w));
            w.show();
            double x = 7000;
            w.SizeControls(x);
            leftName = w.controls().L_ListView->columnWidth(0) + 37;
            rightKind = w.controls().lvListView->columnWidth(3) + 11;
            w.controls().L_ListView->setColumnWidth(0, leftName);
            w.controls().lvListView->setColumnWidth(3, rightKind);
            QVERIFY(w.close());
        }
        QCOMPARE(userValue(s, programTitle(), QStringLiteral("Split")), QStringLiteral("7000"));
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        w.show();
        QCOMPARE(w.splitTwips(), 7000.0);
        QCOMPARE(w.controls().L_ListView->columnWidth(0), leftName);
        QCOMPARE(w.controls().lvListView->columnWidth(3), rightKind);
        QCOMPARE(w.controls().lvListView->columnWidth(0), px(1600, w)); // not changed: the design's
    }

    void minimisedWindowKeepsTheStoredGeometry()
    {
        test::TempStores s;
        s.quietPanes();
        s.settings.save(programTitle(), kSettings, QStringLiteral("MainWidth"), QStringLiteral("8000"));
        {
            frmMain w(s.state, s.settings, s.dialogs);
            w.load();
            w.resize(px(9000, w), px(9000, w));
            w.setWindowState(Qt::WindowMinimized);
            s.state.Rpath = QStringLiteral("\\LOG");
            QVERIFY(w.close());
        }
        QCOMPARE(userValue(s, programTitle(), QStringLiteral("MainWidth")), QStringLiteral("8000"));
        QCOMPARE(userValue(s, programTitle(), QStringLiteral("MainLeft")), QStringLiteral("<missing>"));
        QCOMPARE(userValue(s, QStringLiteral("orvalt"), QStringLiteral("Rpath")), QStringLiteral("\\LOG"));
        QCOMPARE(userValue(s, programTitle(), QStringLiteral("ViewMode")), QStringLiteral("3"));
    }

    void readOnlySettingsFileShowsTwoMessagesAtExit()
    {
        test::TempStores s;
        s.quietPanes();
        QFile f(s.iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Product]\nModel=KD7350\n");
        f.close();
        QFile::setPermissions(s.iniPath(), QFileDevice::ReadOwner);
        {
            frmMain w(s.state, s.settings, s.dialogs);
            w.load();
            s.state.Lpath = QStringLiteral("\\KEEP");
            QVERIFY(w.close());
        }
        QCOMPARE(s.dialogs.shown.size(), 2);
        QVERIFY(s.dialogs.shown[0].text.contains(QStringLiteral("エントリ名:RDevID\n")));
        QVERIFY(s.dialogs.shown[1].text.contains(QStringLiteral("エントリ名:LDevID\n")));
        // Nothing else is lost.
        QCOMPARE(userValue(s, QStringLiteral("orvalt"), QStringLiteral("Lpath")), QStringLiteral("\\KEEP"));
        QCOMPARE(userValue(s, programTitle(), QStringLiteral("ViewMode")), QStringLiteral("3"));
    }

    void closeIsRefusedWhileNotAllowed()
    {
        test::TempStores s;
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        w.show();
        s.state.CloseAllowed = false;
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QCOMPARE(userValue(s, QStringLiteral("orvalt"), QStringLiteral("Lpath")),
                 QStringLiteral("<missing>"));
        s.state.CloseAllowed = true;
        QVERIFY(w.close());
        QCOMPARE(userValue(s, QStringLiteral("orvalt"), QStringLiteral("Lpath")), QStringLiteral("\\"));
    }

    // "Version information" brings the open About box to the front; once it is closed, the next
    // one is a new box.
    void versionInformationOpensOneAboutBox()
    {
        test::TempStores s;
        s.quietPanes();
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        w.show();
        w.controls().mnuHelpAbout->trigger();
        w.controls().mnuHelpAbout->trigger();
        const QList<frmAbout*> open = w.findChildren<frmAbout*>();
        QCOMPARE(open.size(), 1);
        QVERIFY(open.first()->isVisible());
        QTest::mouseClick(open.first()->cmdOK(), Qt::LeftButton);
        QTRY_VERIFY(w.findChildren<frmAbout*>().isEmpty());
        w.controls().mnuHelpAbout->trigger();
        QCOMPARE(w.findChildren<frmAbout*>().size(), 1);
    }

    void applyResourceTexts()
    {
        QWidget window;
        window.setProperty(ResourceTexts::kTagProperty, QStringLiteral("7000"));
        auto* label = new QLabel(QStringLiteral("design"), &window);
        label->setProperty(ResourceTexts::kTagProperty, QStringLiteral("7007"));
        auto* notANumber = new QLabel(QStringLiteral("design"), &window);
        notANumber->setProperty(ResourceTexts::kTagProperty, QStringLiteral("2002-2005"));
        auto* unknown = new QLabel(QStringLiteral("design"), &window);
        unknown->setProperty(ResourceTexts::kTagProperty, QStringLiteral("20"));
        auto* button = new QPushButton(QStringLiteral("design"), &window);
        button->setProperty(ResourceTexts::kTagProperty, QStringLiteral("100"));
        button->setToolTip(QStringLiteral("101"));
        auto* frame = new QGroupBox(QStringLiteral("design"), &window);
        frame->setProperty(ResourceTexts::kTagProperty, QStringLiteral("7001"));
        auto* menus = new QMenuBar(&window);
        QMenu* file = menus->addMenu(QStringLiteral("1000"));
        QAction* close = file->addAction(QStringLiteral("1001"));
        QAction* plain = file->addAction(QStringLiteral("Keep"));
        auto* bar = new QToolBar(&window);
        QAction* tool = bar->addAction(QStringLiteral("削除"));
        tool->setToolTip(QStringLiteral("1008"));

        ApplyResourceTexts(&window);

        QCOMPARE(window.windowTitle(), QStringLiteral("Setup of RS232C"));
        QCOMPARE(label->text(), QStringLiteral("Speed:"));
        QCOMPARE(notANumber->text(), QStringLiteral("design"));
        QCOMPARE(unknown->text(), QStringLiteral("design"));
        QCOMPARE(button->text(), QStringLiteral("OK"));
        QCOMPARE(button->toolTip(), QStringLiteral("Cancel"));
        QCOMPARE(frame->title(), QStringLiteral("Port No."));
        QCOMPARE(file->title(), QStringLiteral("File(&F)"));
        QCOMPARE(close->text(), QStringLiteral("Close(&C)"));
        QCOMPARE(plain->text(), QStringLiteral("Keep"));
        QCOMPARE(tool->toolTip(), QStringLiteral("Delete"));
        QCOMPARE(tool->text(), QStringLiteral("削除"));
    }

    void dispatcherMarksTheUserAndResetsThePointer()
    {
        test::TempStores s;
        s.quietPanes();
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        bool ran = false;
        w.dispatcher().setAction(QStringLiteral("削除"), [&] {
            ran = true;
            s.dialogs.setBusyPointer(true);
            throw std::runtime_error("failure inside an action");
        });
        QVERIFY(!s.state.Interactive);
        QAction* del = nullptr;
        for (QAction* a : w.controls().tbToolBar->actions())
            if (a->data().toString() == QStringLiteral("削除"))
                del = a;
        QVERIFY(del);
        del->trigger();
        QVERIFY(ran);
        QVERIFY(s.state.Interactive);
        QVERIFY(!s.dialogs.busyPointer);
    }

    // A button pressed while an action lets the window live: Interruption runs at once, Renew once
    // the action is over (not while a copy runs), anything else not at all.
    void buttonsPressedInsideAnAction_data()
    {
        QTest::addColumn<bool>("copying");
        QTest::addColumn<QStringList>("ran");
        QTest::newRow("a format") << false << QStringList{"interruption", "format", "renew"};
        QTest::newRow("a copy") << true << QStringList{"interruption", "format"};
    }

    void buttonsPressedInsideAnAction()
    {
        QFETCH(bool, copying);
        test::TempStores s;
        s.quietPanes();
        frmMain w(s.state, s.settings, s.dialogs);
        w.load();
        QStringList ran;
        ToolbarDispatcher& d = w.dispatcher();
        for (const QString& key : {ToolKeys::Delete, ToolKeys::Renew, ToolKeys::Interrupt})
            d.setAction(key, [&ran, key] {
                ran << (key == ToolKeys::Delete  ? "delete"
                        : key == ToolKeys::Renew ? "renew"
                                                 : "interruption");
            });
        d.setAction(ToolKeys::Format, [&] {
            s.state.TransferBusy = copying;
            d.dispatch(ToolKeys::Renew);
            d.dispatch(ToolKeys::Delete);
            d.dispatch(ToolKeys::Renew); // twice pressed, once run
            d.dispatch(ToolKeys::Interrupt);
            ran << QStringLiteral("format");
            s.state.TransferBusy = false;
        });
        d.dispatch(ToolKeys::Format);
        QTEST(ran, "ran");
        d.dispatch(ToolKeys::Delete); // and after it, a press runs again
        QCOMPARE(ran.constLast(), QStringLiteral("delete"));
    }

    // The folder an instrument pane showed at the last shut-down is listed at Connection while its
    // medium is the one shown; one the instrument no longer has gives way to the root, unasked.
    void storedInstrumentFolderAtConnection_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("there") << "\\DATA\\SUB"
                               << "\\DATA\\SUB" << QStringList{QStringLiteral("T001.CSV")};
        QTest::newRow("gone") << "\\GONE"
                              << "\\" << QStringList{QStringLiteral("DATA")};
    }
    void storedInstrumentFolderAtConnection()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        test::CopyWindow rig(QStringLiteral("host"), QStringLiteral("1"));
        QVERIFY(QDir().mkpath(rig.instrument.mediumDir(QStringLiteral("1")) + QStringLiteral("/DATA/SUB")));
        QFile trace(rig.instrument.mediumDir(QStringLiteral("1")) + QStringLiteral("/DATA/SUB/T001.CSV"));
        QVERIFY(trace.open(QIODevice::WriteOnly) && trace.write("1,2\r\n") == 5);
        trace.close();
        rig.stores.settings.save(QStringLiteral("orvalt"), kSettings, QStringLiteral("Rpath"), stored);
        QVERIFY(rig.instrument.isReady());
        rig.window = std::make_unique<frmMain>(rig.stores.state, rig.stores.settings, rig.stores.dialogs);
        rig.window->load();
        rig.window->dispatcher().dispatch(ToolKeys::Connect);
        QVERIFY(rig.state().Connected);
        QCOMPARE(rig.state().Rpath, shown);
        QTEST(rig.rows(QStringLiteral("R")), "rows");
        QCOMPARE(rig.dialogs().shown.size(), 1); // "Connected", and nothing about the folder
    }

    // An instrument slow to answer: after half a second the pointer is the busy one and the status
    // bar says it waits, until the answer is in.
    void slowAnswerShown()
    {
        test::CopyWindow rig(QStringLiteral("host"), QStringLiteral("M"),
                             {QStringLiteral("--block-ms"), QStringLiteral("900")});
        QVERIFY(rig.start());
        rig.window->show();
        QLabel* busy = rig.window->controls().statusBusy;
        // Looked at every 50 ms while the listing waits (timers run while the link waits).
        QString during;
        bool busyPointer = false;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            if (!busy->isVisible())
                return;
            during = busy->text();
            busyPointer = QGuiApplication::overrideCursor() &&
                          QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
        });
        look.start(50);
        rig.window->dispatcher().dispatch(ToolKeys::Renew);
        look.stop();
        QVERIFY2(during.startsWith(QStringLiteral("Waiting for the instrument's answer: ")),
                 qPrintable(during));
        QVERIFY(busyPointer);
        QTRY_VERIFY(!busy->isVisible());
        QVERIFY(!QGuiApplication::overrideCursor());
    }
};

ORVALT_TEST(MainWindowTest);
#include "MainWindowTest.moc"
