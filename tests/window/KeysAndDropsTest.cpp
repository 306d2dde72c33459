// The keys, the lists' context menus, the active pane's mark, the line's status panel and drops,
// through the real window's widgets: key presses, a right click, drop events on a list.

#include "support/DeviceServer.h"
#include "support/TestMain.h"
#include "transfer/CopyWindowRig.h"
#include "window/Toolbar.h"
#include "window/frmSerial.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <csignal>
#include <memory>

using namespace orvalt;
using test::CopyWindow;

namespace {

// Every toolbar action of the window records its key instead of acting, so a row can tell which
// one a key reached.
QStringList& dispatched()
{
    static QStringList ran;
    return ran;
}

void recordInto(frmMain& w)
{
    dispatched().clear();
    QStringList keys{QStringLiteral("View")};
    for (const ToolButtonInfo& b : toolButtons())
        keys << b.key;
    for (const QString& key : keys)
        w.dispatcher().setAction(key, [key] { dispatched() << key; });
}

bool showActive(frmMain& w)
{
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

// Takes the data as a drag would: it is gone once the drop is over.
void dropOn(QTreeView* list, QMimeData* data)
{
    const std::unique_ptr<QMimeData> mime(data);
    const QPoint at = list->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
}

QMimeData* paneRows(const QString& side)
{
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(PaneModel::kRowsMimeType), side.toUtf8());
    return mime;
}

QMimeData* desktopFiles(const QStringList& paths)
{
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    mime->setUrls(urls);
    return mime;
}

// A process's state as /proc tells it ('T': stopped).
char processState(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(')');
    return end >= 0 && end + 2 < line.size() ? line.at(end + 2) : '?';
}

} // namespace

class KeysAndDropsTest : public QObject
{
    Q_OBJECT

private slots:
    // Each key reaches what its toolbar button or menu item does; Delete, Enter and Backspace only
    // from a list, never while typing in the path box.
    void keys_data()
    {
        QTest::addColumn<QString>("focus"); // "L", "R": that list; "path": the left path box
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("expected"); // a toolbar key, "up L", "up R", "new folder", or ""
        QTest::addColumn<QString>("active");   // the active pane afterwards
        const int none = Qt::NoModifier;
        QTest::addRow("F5 in the left pane") << "L" << int(Qt::Key_F5) << none << ToolKeys::CopyRight << "L";
        QTest::addRow("F5 in the right pane") << "R" << int(Qt::Key_F5) << none << ToolKeys::CopyLeft << "R";
        QTest::addRow("F7") << "R" << int(Qt::Key_F7) << none << "new folder"
                            << "R";
        QTest::addRow("F8") << "L" << int(Qt::Key_F8) << none << ToolKeys::Delete << "L";
        QTest::addRow("F3") << "R" << int(Qt::Key_F3) << none << "View"
                            << "R";
        QTest::addRow("Delete in a list") << "R" << int(Qt::Key_Delete) << none << ToolKeys::Delete << "R";
        QTest::addRow("Delete in the path box") << "path" << int(Qt::Key_Delete) << none << ""
                                                << "L";
        QTest::addRow("F2") << "R" << int(Qt::Key_F2) << none << ToolKeys::Rename << "R";
        QTest::addRow("Enter in a list") << "L" << int(Qt::Key_Return) << none << ToolKeys::Open << "L";
        QTest::addRow("keypad Enter in a list")
            << "R" << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << ToolKeys::Open << "R";
        QTest::addRow("Enter in the path box") << "path" << int(Qt::Key_Return) << none << ""
                                               << "L";
        QTest::addRow("Backspace in the left pane") << "L" << int(Qt::Key_Backspace) << none << "up L"
                                                    << "L";
        QTest::addRow("Backspace in the right pane") << "R" << int(Qt::Key_Backspace) << none << "up R"
                                                     << "R";
        QTest::addRow("Backspace in the path box") << "path" << int(Qt::Key_Backspace) << none << ""
                                                   << "L";
        QTest::addRow("Ctrl+R") << "L" << int(Qt::Key_R) << int(Qt::ControlModifier) << ToolKeys::Renew
                                << "L";
        QTest::addRow("Esc") << "L" << int(Qt::Key_Escape) << none << ToolKeys::Interrupt << "L";
        QTest::addRow("Tab to the right pane") << "L" << int(Qt::Key_Tab) << none << ""
                                               << "R";
        QTest::addRow("Tab to the left pane") << "R" << int(Qt::Key_Tab) << none << ""
                                              << "L";
    }

    void keys()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, expected);
        QFETCH(QString, active);
        CopyWindow rig(QStringLiteral("host"), QStringLiteral("host"));
        QVERIFY(rig.start());
        frmMain& w = *rig.window;
        QVERIFY(showActive(w));
        recordInto(w);
        auto& c = w.controls();
        QStringList seen;
        QObject::connect(c.Command1, &QToolButton::clicked, [&seen] { seen << QStringLiteral("up L"); });
        QObject::connect(c.Command2, &QToolButton::clicked, [&seen] { seen << QStringLiteral("up R"); });
        QObject::connect(c.mnuCreateFolder, &QAction::triggered,
                         [&seen] { seen << QStringLiteral("new folder"); });

        QWidget* target = focus == QLatin1String("L")   ? static_cast<QWidget*>(c.L_ListView)
                          : focus == QLatin1String("R") ? static_cast<QWidget*>(c.lvListView)
                                                        : static_cast<QWidget*>(c.Combo1->lineEdit());
        // The pane whose list had the focus last is the active one; the path box leaves it so.
        (focus == QLatin1String("R") ? c.lvListView : c.L_ListView)->setFocus();
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

        seen << dispatched();
        QCOMPARE(seen, expected.isEmpty() ? QStringList() : QStringList{expected});
        QCOMPARE(rig.state().LActive, active == QLatin1String("L"));
        QCOMPARE(rig.state().RActive, active == QLatin1String("R"));
        // The active pane's list is the marked one.
        QCOMPARE(c.L_ListView->property("activePane").toBool(), active == QLatin1String("L"));
        QCOMPARE(c.lvListView->property("activePane").toBool(), active == QLatin1String("R"));
    }

    // The keys are told where the user looks for them.
    void keysShown()
    {
        CopyWindow rig(QStringLiteral("host"), QStringLiteral("host"));
        QVERIFY(rig.start());
        QStringList tips;
        for (QAction* a : rig.window->controls().tbToolBar->actions())
            if (!a->isSeparator())
                tips << a->toolTip();
        QCOMPARE(tips, (QStringList{"To upper Folder (Backspace in a list)", "Open (Enter in a list)",
                                    "Delete (F8, Del in a list)", "Copy to Left (F5 in the right pane)",
                                    "Interruption (Esc)", "Copy to Right (F5 in the left pane)", "Connection",
                                    "Disconnection", "Renew (Ctrl+R)", "Change of the filename (F2)",
                                    "Format Remote-Drive"}));
        QCOMPARE(rig.window->controls().mnuCreateFolder->shortcut(), QKeySequence(Qt::Key_F7));
    }

    // The File menu holds what the toolbar does to the selection, with the keys, and View; each
    // entry runs what its button runs.
    void fileMenu()
    {
        CopyWindow rig(QStringLiteral("host"), QStringLiteral("host"));
        QVERIFY(rig.start());
        frmMain& w = *rig.window;
        recordInto(w);
        QStringList entries;
        for (QAction* a : w.controls().mnuFile->actions()) {
            if (a->isSeparator())
                continue;
            const QString key = a->shortcut().toString(QKeySequence::NativeText);
            entries << a->text() + (key.isEmpty() ? QString() : QLatin1Char('\t') + key);
            if (a != w.controls().mnuFileClose && a != w.controls().mnuCreateFolder)
                a->trigger();
        }
        QCOMPARE(entries, (QStringList{"New Folder preparation\tF7", "View\tF3", "Change of the filename\tF2",
                                       "Delete\tF8", "Format Remote-Drive", "Close(&C)"}));
        QCOMPARE(dispatched(), (QStringList{"View", ToolKeys::Rename, ToolKeys::Delete, ToolKeys::Format}));
    }

    // A right click on a list opens its menu with the actions that apply there and their keys;
    // an entry does what its toolbar button does, from that pane. What acts on the selection
    // cannot be chosen without one.
    void contextMenu_data()
    {
        QTest::addColumn<QString>("side");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("entries"); // "(off) " before one that cannot be chosen
        const QStringList common{"Open\tReturn",     "View\tF3",
                                 "Copy to Left\tF5", "Change of the filename\tF2",
                                 "Delete\tDel",      "New Folder preparation\tF7",
                                 "Renew\tCtrl+R"};
        QStringList file = common;
        file[0] = "(off) Open\tReturn";
        file << "Format Remote-Drive";
        QTest::addRow("instrument pane, a file: copy") << "R"
                                                       << "B.DAT"
                                                       << "Copy to Left" << ToolKeys::CopyLeft << file;
        QStringList none{"(off) Open\tReturn",     "(off) View\tF3",
                         "(off) Copy to Left\tF5", "(off) Change of the filename\tF2",
                         "(off) Delete\tDel",      "New Folder preparation\tF7",
                         "Renew\tCtrl+R",          "Format Remote-Drive"};
        QTest::addRow("instrument pane, nothing: format")
            << "R"
            << ""
            << "Format Remote-Drive" << ToolKeys::Format << none;
        QTest::addRow("instrument pane, nothing: delete") << "R"
                                                          << ""
                                                          << "Delete" << QString() << none;
        QStringList folder = common;
        folder[1] = "(off) View\tF3";
        folder[2] = "Copy to Right\tF5";
        QTest::addRow("host pane, a folder: delete") << "L"
                                                     << "SUB"
                                                     << "Delete" << ToolKeys::Delete << folder;
    }

    void contextMenu()
    {
        QFETCH(QString, side);
        QFETCH(QString, selected);
        QFETCH(QString, entry);
        QFETCH(QString, expected);
        QFETCH(QStringList, entries);
        CopyWindow rig(QStringLiteral("host"), QStringLiteral("M"));
        QVERIFY(test::putFile(rig.path(QStringLiteral("L"), QStringLiteral("SUB/A.DAT")), "a"));
        QVERIFY(test::putFile(rig.path(QStringLiteral("R"), QStringLiteral("B.DAT")), "b"));
        QVERIFY(rig.start());
        frmMain& w = *rig.window;
        QVERIFY(showActive(w));
        recordInto(w);
        rig.select(side, {selected});
        QTreeView* list = AppState::isLeft(side) ? w.controls().L_ListView : w.controls().lvListView;

        QStringList shown;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            QAction* pick = nullptr;
            for (QAction* a : menu->actions()) {
                if (a->isSeparator())
                    continue;
                const QString key = a->shortcut().toString(QKeySequence::NativeText);
                shown << (a->isEnabled() ? QString() : QStringLiteral("(off) ")) + a->text() +
                             (key.isEmpty() ? QString() : QLatin1Char('\t') + key);
                if (a->text() == entry)
                    pick = a;
            }
            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(pick).center());
            if (menu->isVisible()) // an entry that cannot be chosen leaves the menu open
                menu->close();
        });
        // A click on the list's empty space, below its rows, leaves the selection as it is.
        const QPoint at(list->viewport()->width() / 2, list->viewport()->height() - 4);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &event);
        QCOMPARE(shown, entries);
        QCOMPARE(dispatched(), expected.isEmpty() ? QStringList() : QStringList{expected});
        QCOMPARE(rig.state().RActive, side == QLatin1String("R"));
    }

    // Rows dragged from one pane to the other copy as Copy to Left / Copy to Right would; files
    // from the desktop go into the instrument pane's folder; a host pane takes none from the
    // desktop, and no drop is taken while a copy runs.
    void drops()
    {
        CopyWindow rig(QStringLiteral("host"), QStringLiteral("M"));
        QVERIFY(rig.start());
        frmMain& w = *rig.window;
        QVERIFY(test::putFile(rig.path(QStringLiteral("L"), QStringLiteral("A.DAT")), "from the left"));
        QTemporaryDir desk;
        const QString dropped = QDir(desk.path()).filePath(QStringLiteral("DESK.TXT"));
        QVERIFY(test::putFile(dropped, "from the desktop"));
        QVERIFY(test::putFile(QDir(desk.path()).filePath(QStringLiteral("SUB/IN.TXT")), "inside"));
        QVERIFY(test::putFile(rig.path(QStringLiteral("R"), QStringLiteral("DESK.TXT")), "old"));
        rig.renew();
        auto& c = w.controls();

        // A drop while a copy runs is refused.
        rig.state().TransferBusy = true;
        rig.select(QStringLiteral("L"), {QStringLiteral("A.DAT")});
        dropOn(c.lvListView, paneRows(QStringLiteral("L")));
        dropOn(c.lvListView, desktopFiles({dropped}));
        rig.state().TransferBusy = false;
        QVERIFY(!QFileInfo::exists(rig.path(QStringLiteral("R"), QStringLiteral("A.DAT"))));
        QCOMPARE(test::fileBytes(rig.path(QStringLiteral("R"), QStringLiteral("DESK.TXT"))),
                 QByteArray("old"));

        // Rows of a pane dropped on the same pane do nothing.
        dropOn(c.L_ListView, paneRows(QStringLiteral("L")));
        QCOMPARE(rig.dialogs().progressWindow.opened, 0);

        rig.select(QStringLiteral("L"), {QStringLiteral("A.DAT")});
        listFocused(rig.ctx(), QStringLiteral("R")); // the drag makes its source pane the active one
        dropOn(c.lvListView, paneRows(QStringLiteral("L")));
        QCOMPARE(test::fileBytes(rig.path(QStringLiteral("R"), QStringLiteral("A.DAT"))),
                 QByteArray("from the left"));

        // From the desktop: the overwrite question for the file there, a folder with its contents.
        rig.dialogs().overwriteAnswers = {0};
        dropOn(c.lvListView, desktopFiles({dropped, QDir(desk.path()).filePath(QStringLiteral("SUB"))}));
        QCOMPARE(rig.dialogs().overwriteAsked.size(), 1);
        QCOMPARE(rig.dialogs().overwriteAsked.first().name, QStringLiteral("DESK.TXT"));
        QCOMPARE(test::fileBytes(rig.path(QStringLiteral("R"), QStringLiteral("DESK.TXT"))),
                 QByteArray("from the desktop"));
        QCOMPARE(test::fileBytes(rig.path(QStringLiteral("R"), QStringLiteral("SUB/IN.TXT"))),
                 QByteArray("inside"));
        QVERIFY(rig.rows(QStringLiteral("R")).contains(QStringLiteral("SUB")));
        QCOMPARE(rig.state().devId(QStringLiteral("L")), QStringLiteral("0"));

        // A host pane leaves the desktop's files to the desktop.
        dropOn(c.L_ListView, desktopFiles({dropped}));
        QVERIFY(!QFileInfo::exists(rig.path(QStringLiteral("L"), QStringLiteral("DESK.TXT"))));
    }

    // F7, F2 and Del act on the medium of the pane whose list had the key, whichever medium the
    // instrument had selected last: both panes show the instrument, each another medium holding a
    // SAME.DAT, and the other pane was listed just before the key.
    void keysActOnTheirPane_data()
    {
        QTest::addColumn<QString>("side");
        QTest::addColumn<int>("key");
        for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")}) {
            QTest::addRow("F7 in %s", qPrintable(side)) << side << int(Qt::Key_F7);
            QTest::addRow("F2 in %s", qPrintable(side)) << side << int(Qt::Key_F2);
            QTest::addRow("Del in %s", qPrintable(side)) << side << int(Qt::Key_Delete);
        }
    }

    void keysActOnTheirPane()
    {
        QFETCH(QString, side);
        QFETCH(int, key);
        const QString other = otherSide(side);
        CopyWindow rig(QStringLiteral("1"), QStringLiteral("M"));
        QVERIFY(test::putFile(rig.path(QStringLiteral("L"), QStringLiteral("SAME.DAT")), "card"));
        QVERIFY(test::putFile(rig.path(QStringLiteral("R"), QStringLiteral("SAME.DAT")), "memory"));
        QVERIFY(rig.start());
        frmMain& w = *rig.window;
        QVERIFY(showActive(w));
        rig.renew();
        LoadListview(rig.ctx(), other);
        const QByteArray otherBytes = test::fileBytes(rig.path(other, QStringLiteral("SAME.DAT")));
        QTreeView* list = AppState::isLeft(side) ? w.controls().L_ListView : w.controls().lvListView;
        list->setFocus();
        QTRY_VERIFY(list->hasFocus());
        rig.select(side, {QStringLiteral("SAME.DAT")});
        rig.dialogs().nameAnswers = {key == Qt::Key_F7 ? QStringLiteral("FIELD26")
                                                       : QStringLiteral("MOVED.DAT")};
        rig.dialogs().answers.push_back(DialogSeam::Button::Yes);
        QTest::keyClick(list, Qt::Key(key));

        const QStringList here = test::folderNames(rig.dir(side));
        if (key == Qt::Key_F7)
            QCOMPARE(here, (QStringList{"FIELD26/", "SAME.DAT"}));
        else if (key == Qt::Key_F2)
            QCOMPARE(here, QStringList{"MOVED.DAT"});
        else
            QCOMPARE(here, QStringList());
        // The other medium is as it was, and the pane acted on is listed again.
        QCOMPARE(test::folderNames(rig.dir(other)), QStringList{"SAME.DAT"});
        QCOMPARE(test::fileBytes(rig.path(other, QStringLiteral("SAME.DAT"))), otherBytes);
        QStringList rows = rig.rows(side);
        rows.sort();
        QStringList files = here;
        files.replaceInStrings(QStringLiteral("/"), QString());
        QCOMPARE(rows, files);
        for (const QString& text : rig.dialogs().texts())
            QVERIFY2(text.startsWith(QLatin1String("A chosen file is removed")), qPrintable(text));
    }

    // Files dropped from the desktop go into the instrument pane's folder whichever pane was
    // clicked last.
    void desktopDropWhicheverPaneIsActive_data()
    {
        QTest::addColumn<QString>("active");
        QTest::addRow("host pane active") << "L";
        QTest::addRow("instrument pane active") << "R";
    }

    void desktopDropWhicheverPaneIsActive()
    {
        QFETCH(QString, active);
        CopyWindow rig(QStringLiteral("host"), QStringLiteral("M"));
        QVERIFY(rig.start());
        QTemporaryDir desk;
        const QString dropped = QDir(desk.path()).filePath(QStringLiteral("desk.txt"));
        QVERIFY(test::putFile(dropped, "from the desktop"));
        listFocused(rig.ctx(), active);
        dropOn(rig.window->controls().lvListView, desktopFiles({dropped}));
        QCOMPARE(test::fileBytes(rig.path(QStringLiteral("R"), QStringLiteral("desk.txt"))),
                 QByteArray("from the desktop"));
        QCOMPARE(rig.dialogs().texts(), QStringList());
        QCOMPARE(rig.state().devId(QStringLiteral("L")), QStringLiteral("0"));
    }

    // The status bar tells whether the program is connected, and to what.
    void lineStatus()
    {
        CopyWindow rig(QStringLiteral("host"), QStringLiteral("M"));
        QVERIFY(rig.start());
        QLabel* line = rig.window->controls().statusLine;
        QCOMPARE(line->text(),
                 QStringLiteral("KD7350 \u00b7 %1 \u00b7 9600 8N1").arg(rig.instrument.devicePath()));
        // Settings changed in the serial dialog while connected are not the open line's: the
        // panel keeps what the link uses until the next connect.
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<frmSerial*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->controls().cboBaud->setCurrentIndex(
                dialog->controls().cboBaud->findText(QStringLiteral("115200")));
            QTest::mouseClick(dialog->controls().cmdOK, Qt::LeftButton);
        });
        rig.window->controls().mnuToolsOptions->trigger();
        QCOMPARE(line->text(),
                 QStringLiteral("KD7350 \u00b7 %1 \u00b7 9600 8N1").arg(rig.instrument.devicePath()));
        rig.window->dispatcher().dispatch(ToolKeys::Disconnect);
        QCOMPARE(line->text(), QStringLiteral("Not connected"));
        rig.window->dispatcher().dispatch(ToolKeys::Connect);
        QCOMPARE(line->text(),
                 QStringLiteral("KD7350 \u00b7 %1 \u00b7 115200 8N1").arg(rig.instrument.devicePath()));
    }

    // An instrument on the network: its device typed in the serial dialog's Device box, Connection
    // reaches it through the device server, the status bar names it, the listing is the
    // instrument's; the list offers it next time; a server that goes away is told as such.
    void networkDevice()
    {
        CopyWindow rig(QStringLiteral("host"), QStringLiteral("M"));
        QVERIFY(rig.start());
        QVERIFY(test::putFile(rig.path(QStringLiteral("R"), QStringLiteral("FAR.DAT")), "far away"));
        rig.window->show();
        rig.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
        rig.window->dispatcher().dispatch(ToolKeys::Disconnect);
        test::DeviceServer server({rig.instrument.devicePath()});
        QVERIFY2(server.isReady(), qPrintable(server.errorString()));
        const QString device = server.rfc2217(0);
        QTimer::singleShot(0, [device] {
            auto* dialog = qobject_cast<frmSerial*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QLineEdit* box = dialog->controls().cboDevice->lineEdit();
            box->selectAll();
            QTest::keyClicks(box, device);
            QTest::mouseClick(dialog->controls().cmdOK, Qt::LeftButton);
        });
        rig.window->controls().mnuToolsOptions->trigger();
        rig.window->dispatcher().dispatch(ToolKeys::Connect);
        QLabel* line = rig.window->controls().statusLine;
        QCOMPARE(line->text(), QStringLiteral("KD7350 \u00b7 %1 \u00b7 9600 8N1").arg(device));
        QTreeView* right = rig.window->controls().lvListView;
        QVERIFY(!right->model()
                     ->match(right->model()->index(0, 0), Qt::DisplayRole, QStringLiteral("FAR.DAT"))
                     .isEmpty());

        QStringList offered;
        QTimer::singleShot(0, [&offered] {
            auto* dialog = qobject_cast<frmSerial*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            for (int i = 0; i < dialog->controls().cboDevice->count(); ++i)
                offered << dialog->controls().cboDevice->itemText(i);
            QTest::mouseClick(dialog->controls().cmdCancel, Qt::LeftButton);
        });
        rig.window->controls().mnuToolsOptions->trigger();
        QCOMPARE(offered.count(device), 1);

        server.kill();
        right->setFocus();
        rig.window->dispatcher().dispatch(ToolKeys::Renew);
        QCOMPARE(line->text(), QStringLiteral("Not connected \u00b7 the connection closed"));
        const QString told = rig.dialogs().texts().join(QLatin1Char('\n'));
        QVERIFY2(told.contains(QStringLiteral("The device server closed the connection to %1.").arg(device)),
                 qPrintable(told));
    }

    // The line lost under a running window (the adapter pulled, the instrument switched off): once a
    // request finds it out of reach, the status bar says so and why, and the instrument pane, which
    // still shows what was there, is greyed with a tip saying why, until Connection.
    void lostLine_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("told");
        QTest::newRow("the port went away") << int(SIGUSR1) << "Not connected \u00b7 the port went away";
        QTest::newRow("no answer") << int(SIGSTOP) << "Not connected \u00b7 no answer";
    }
    void lostLine()
    {
        QFETCH(int, signal);
        QFETCH(QString, told);
        // The port is where each new line of the instrument appears, as a serial port stays put.
        QTemporaryDir dir;
        const QString port = dir.filePath(QStringLiteral("line"));
        CopyWindow rig(QStringLiteral("host"), QStringLiteral("M"), {QStringLiteral("--link"), port});
        rig.stores.settings.save(QStringLiteral("orvalt"), QStringLiteral("Com1"), QStringLiteral("Device"),
                                 port);
        QVERIFY(rig.start());
        rig.window->show();
        rig.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
        QLabel* line = rig.window->controls().statusLine;
        QTreeView* right = rig.window->controls().lvListView;
        const QString connected = QStringLiteral("KD7350 \u00b7 %1 \u00b7 9600 8N1").arg(port);
        QCOMPARE(line->text(), connected);
        QCOMPARE(right->toolTip(), QString());

        const auto pid = static_cast<pid_t>(rig.instrument.process().processId());
        const QString before = QFileInfo(port).symLinkTarget();
        ::kill(pid, signal);
        // Once the line is gone: a new one made in its place, or the instrument stopped.
        if (signal == SIGUSR1)
            QTRY_VERIFY(QFileInfo(port).symLinkTarget() != before);
        else
            QTRY_VERIFY(processState(pid) == 'T');
        right->setFocus();
        QTest::keyClick(rig.window.get(), Qt::Key_R, Qt::ControlModifier); // Renew
        QCOMPARE(line->text(), told);
        QVERIFY(!right->property("current").toBool());
        QVERIFY(right->toolTip().contains(QStringLiteral("Press Connection")));
        QVERIFY(right->palette().color(QPalette::Active, QPalette::Text) !=
                QApplication::palette(right).color(QPalette::Active, QPalette::Text));
        QVERIFY(rig.window->controls().L_ListView->property("current").toBool());

        if (signal == SIGSTOP)
            ::kill(pid, SIGCONT);
        rig.window->dispatcher().dispatch(ToolKeys::Connect);
        QCOMPARE(line->text(), connected);
        QVERIFY(right->property("current").toBool());
        QCOMPARE(right->palette().color(QPalette::Active, QPalette::Text),
                 QApplication::palette(right).color(QPalette::Active, QPalette::Text));
    }
};

ORVALT_TEST(KeysAndDropsTest);
#include "KeysAndDropsTest.moc"
