// Rename, delete, new folder and format on instrument panes: the real main window, headless, against
// the virtual instrument on a pseudo-terminal; what happened is read back from its media folder.

#include "FileOpsRig.h"
#include "fileops/DeleteAndCreate.h"
#include "fileops/Format.h"
#include "fileops/Rename.h"
#include "panes/HostListing.h"
#include "panes/Navigation.h"
#include "support/TestMain.h"
#include "window/ActivePane.h"
#include "window/Toolbar.h"

#include <QTest>
#include <QTimer>

using namespace orvalt;
using test::entriesOf;
using test::rowNames;
using test::selectRows;
using test::writeFile;

namespace {

const QString kCancel;

// The instrument in the right pane (or in both), connected; the right pane has the focus.
struct InstrumentWindow
{
    test::InstrumentProcess instrument;
    QTemporaryDir host;
    test::TempStores s;
    std::unique_ptr<frmMain> w;

    InstrumentWindow(const QStringList& arguments, const std::function<void(InstrumentWindow&)>& fill,
                     const QByteArray& settingsFile = {})
        : instrument(arguments)
    {
        if (!instrument.isReady())
            return;
        test::writeStores(s, host.path(), QString(), &instrument);
        fill(*this);
        if (!settingsFile.isEmpty()) {
            QFile ini(s.iniPath());
            if (ini.open(QIODevice::WriteOnly))
                ini.write(settingsFile);
        }
        w = std::make_unique<frmMain>(s.state, s.settings, s.dialogs);
        w->load();
        test::press(*w, QStringLiteral("接続"));
        s.dialogs.shown.clear();
        listFocused(ctx(), QStringLiteral("R"));
    }
    bool ready() const { return w && s.state.Connected; }
    ProgramContext& ctx() { return w->context(); }
    PaneModel& list() { return w->context().rightPane; }
    QString medium(const QString& letter = QStringLiteral("M")) const { return instrument.mediumDir(letter); }
    void answer(const QStringList& names)
    {
        for (const QString& n : names)
            s.dialogs.nameAnswers.push_back(n);
    }
    QStringList commands() const
    {
        QStringList sent;
        for (const QString& line : instrument.transcript())
            if (line.startsWith(QLatin1String("CMD ")))
                sent << line.mid(4);
        return sent;
    }
    // The commands sent from now on.
    qsizetype mark() const { return commands().size(); }
    QStringList commandsSince(qsizetype mark) const { return commands().mid(mark); }
};

} // namespace

class InstrumentFileOpsTest : public QObject
{
    Q_OBJECT

private slots:
    void renameAFileAndAFolder()
    {
        InstrumentWindow t({}, [](InstrumentWindow& i) {
            writeFile(i.medium() + QStringLiteral("/A.DAT"));
            writeFile(i.medium() + QStringLiteral("/DATA/IN.DAT"));
        });
        QVERIFY(t.ready());
        QVERIFY(t.s.state.LongNames);
        selectRows(t.list(), {"DATA", "A.DAT"});
        t.answer({"logs", "b.dat"});
        const qsizetype mark = t.mark();
        toolbarRename(t.ctx(), activeSide(t.s.state));
        QCOMPARE(t.s.dialogs.nameOpenedWith, (QStringList{"DATA", "A.DAT"}));
        QCOMPARE(t.s.dialogs.nameViews.at(1).change,
                 QStringLiteral("Change the filename.  32+3 format\n12345678901234567890123456789012.DAT"));
        QCOMPARE(entriesOf(t.medium()), (QStringList{"b.dat", "logs"}));
        QCOMPARE(entriesOf(t.medium() + QStringLiteral("/logs")), QStringList{"IN.DAT"});
        const QStringList sent = t.commandsSince(mark);
        QVERIFY(sent.contains(QStringLiteral("MOV 0,/DATA/,/logs/")));
        QVERIFY(sent.contains(QStringLiteral("MOV 0,/A.DAT,/b.dat")));
        QCOMPARE(rowNames(t.list()), (QStringList{"logs", "b.dat"}));
        QVERIFY(t.s.dialogs.shown.isEmpty());
    }

    void renameInShortNameMode()
    {
        InstrumentWindow t({QStringLiteral("--short-names")},
                           [](InstrumentWindow& i) { writeFile(i.medium() + QStringLiteral("/A.DAT")); });
        QVERIFY(t.ready());
        QVERIFY(!t.s.state.LongNames);
        selectRows(t.list(), {"A.DAT"});
        // The form is checked in the dialog (9.3 refused there), the characters after it.
        t.answer({"ABCDEFGHI.DAT", "b.dat", "B.DAT"});
        toolbarRename(t.ctx(), activeSide(t.s.state));
        QCOMPARE(t.s.dialogs.nameOpenedWith, (QStringList{"A.DAT", "b.dat"}));
        QCOMPARE(t.s.dialogs.nameViews.at(0).chars,
                 QStringLiteral("A to Z  0 to 9 . ! # $ & % ' ( ) ^ @ _ { }"));
        QCOMPARE(entriesOf(t.medium()), QStringList{"B.DAT"});
    }

    // Change of the filename to the same name in other letter case, on a medium that renames in
    // place and on one that needs a temporary name: the file keeps its bytes under the new name.
    void renameOnlyTheCase_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addRow("in place") << QStringList();
        QTest::addRow("through a temporary name") << QStringList{QStringLiteral("--no-case-rename")};
    }

    void renameOnlyTheCase()
    {
        QFETCH(QStringList, arguments);
        InstrumentWindow t(
            arguments, [](InstrumentWindow& i) { writeFile(i.medium() + QStringLiteral("/A.DAT"), 300); });
        QVERIFY(t.ready());
        selectRows(t.list(), {"A.DAT"});
        t.answer({"a.dat"});
        toolbarRename(t.ctx(), activeSide(t.s.state));
        QCOMPARE(entriesOf(t.medium()), QStringList{"a.dat"});
        QCOMPARE(QFileInfo(t.medium() + QStringLiteral("/a.dat")).size(), 300);
        QCOMPARE(rowNames(t.list()), QStringList{"a.dat"});
        QVERIFY(t.s.dialogs.shown.isEmpty());
    }

    void deleteSelectsThePanesFolderFirst()
    {
        // Both panes show the internal memory: the left one \DATA, the right one (listed last, so
        // the instrument's current folder) the root. Each holds an X.DAT.
        const QByteArray ini = "[Settings]\nLDevID=1\nRDevID=1\n[Product]\nModel=KD7350\nMedium1=INT MEM\n";
        InstrumentWindow t(
            {},
            [](InstrumentWindow& i) {
                writeFile(i.medium() + QStringLiteral("/X.DAT"));
                writeFile(i.medium() + QStringLiteral("/DATA/X.DAT"));
                writeFile(i.medium() + QStringLiteral("/DATA/SUB/Y.DAT"));
                writeFile(i.medium() + QStringLiteral("/DATA/KEEP.DAT"));
                i.s.settings.save(QStringLiteral("orvalt"), QStringLiteral("Settings"),
                                  QStringLiteral("Ldrive"), QStringLiteral("1"));
            },
            ini);
        QVERIFY(t.ready());
        t.s.state.Lpath = QStringLiteral("\\DATA");
        LoadListviewL(t.ctx());
        LoadListviewR(t.ctx());
        PaneModel& left = t.w->context().leftPane;
        QStringList rows = rowNames(left);
        rows.sort();
        QCOMPARE(rows, (QStringList{"KEEP.DAT", "SUB", "X.DAT"}));
        listFocused(t.ctx(), QStringLiteral("L"));
        selectRows(left, {"SUB", "X.DAT"});
        t.s.dialogs.answers.push_back(DialogSeam::Button::Yes);
        const qsizetype mark = t.mark();
        toolbarDelete(t.ctx(), activeSide(t.s.state));
        QCOMPARE(entriesOf(t.medium()), (QStringList{"DATA", "X.DAT"}));
        QCOMPARE(entriesOf(t.medium() + QStringLiteral("/DATA")), QStringList{"KEEP.DAT"});
        QCOMPARE(rowNames(left), QStringList{"KEEP.DAT"});
        // The right pane's listing left the root selected: \DATA is selected once, before the first
        // "FDL ", and nothing again.
        const QStringList sent = t.commandsSince(mark);
        QCOMPARE(sent.mid(0, 3), (QStringList{"CDR /DATA", "FDL SUB", "FDL X.DAT"}));
        QCOMPARE(t.s.dialogs.texts(),
                 QStringList{"A chosen file is removed\nYes deletes from the instrument's medium INT MEM "
                             "(M:\\DATA):\n    SUB (a folder, with everything in it)\n    X.DAT"});
    }

    void deleteOfAFileThatHasGoneSaysFdlError()
    {
        InstrumentWindow t({},
                           [](InstrumentWindow& i) { writeFile(i.medium() + QStringLiteral("/GONE.DAT")); });
        QVERIFY(t.ready());
        QFile::remove(t.medium() + QStringLiteral("/GONE.DAT"));
        selectRows(t.list(), {"GONE.DAT"});
        t.s.dialogs.answers.push_back(DialogSeam::Button::Yes);
        toolbarDelete(t.ctx(), activeSide(t.s.state));
        QCOMPARE(
            t.s.dialogs.texts().value(1),
            QStringLiteral(
                "FDL Error 20\nM:\\GONE.DAT is not on the instrument; press Renew to see what is there."));
        QCOMPARE(t.s.dialogs.shown.last().icon, DialogSeam::Icon::None);
    }

    void newFolder_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("move");

        const QStringList shortNames{QStringLiteral("--short-names")};
        const QStringList bad{QStringLiteral("This Folder can't be handled with the measurement device")};
        QTest::newRow("good name") << QStringList{} << QStringList{"Logs_2"}
                                   << QStringList{"Logs_2", "NEW0001"} << QStringList{}
                                   << "MOV 0,/NEW0002/,/Logs_2/";
        QTest::newRow("cancelled") << QStringList{} << QStringList{kCancel} << QStringList{"NEW0001"}
                                   << QStringList{} << "";
        QTest::newRow("lower case, short names")
            << shortNames << QStringList{"new"} << QStringList{} << bad << "";
        QTest::newRow("blank") << QStringList{} << QStringList{"A B"} << QStringList{"NEW0001"} << bad << "";
        QTest::newRow("hyphen") << QStringList{} << QStringList{"A-B"} << QStringList{"NEW0001"} << bad << "";
        QTest::newRow("comma") << QStringList{} << QStringList{"A,B"} << QStringList{"NEW0001"} << bad << "";
        QTest::newRow("9 characters, short names")
            << shortNames << QStringList{"ABCDEFGHI", kCancel} << QStringList{} << QStringList{} << "";
    }

    void newFolder()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, answers);
        QFETCH(QString, move);
        // Beside an existing NEW0001 the new folder is NEW0002.
        const bool keepFirst = arguments.isEmpty();
        InstrumentWindow t(arguments, [keepFirst](InstrumentWindow& i) {
            if (keepFirst)
                QDir(i.medium()).mkpath(QStringLiteral("NEW0001"));
        });
        QVERIFY(t.ready());
        t.answer(answers);
        const qsizetype mark = t.mark();
        orvalt::newFolder(t.ctx(), activeSide(t.s.state));
        const QString placeholder = keepFirst ? QStringLiteral("NEW0002") : QStringLiteral("NEW0001");
        QCOMPARE(t.s.dialogs.nameOpenedWith.value(0), placeholder);
        QTEST(entriesOf(t.medium()), "left");
        QTEST(t.s.dialogs.texts(), "messages");
        QVERIFY(!t.s.state.NewFolderMode);
        const QStringList sent = t.commandsSince(mark);
        QCOMPARE(sent.value(0), QStringLiteral("MKDR /") + placeholder);
        // A name the instrument cannot hold is never sent to it, neither to rename nor to delete.
        QCOMPARE(sent.filter(QStringLiteral("MOV ")), move.isEmpty() ? QStringList{} : QStringList{move});
        for (const QString& c : sent.filter(QStringLiteral("FDL ")))
            QCOMPARE(c, QStringLiteral("FDL ") + placeholder);
    }

    void format_data()
    {
        QTest::addColumn<int>("drive");
        QTest::addColumn<QString>("letter");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("pauses");
        QTest::addColumn<QString>("medium");
        QTest::newRow("internal memory") << 1 << "M"
                                         << "FMT 0" << 0 << "INT MEM (M:)";
        QTest::newRow("card 2") << 3 << "2"
                                << "FMT 3" << 0 << "Card 2 (2:)";
        QTest::newRow("floppy") << 4 << "D"
                                << "FMT 2" << 1 << "FD (D:)";
    }

    void format()
    {
        QFETCH(int, drive);
        QFETCH(QString, letter);
        InstrumentWindow t({}, [&](InstrumentWindow& i) {
            writeFile(i.medium(letter) + QStringLiteral("/DATA/A.DAT"));
            writeFile(i.medium(letter) + QStringLiteral("/B.DAT"));
            writeFile(i.medium(QStringLiteral("1")) + QStringLiteral("/OTHER.DAT"));
            i.s.settings.save(QStringLiteral("orvalt"), QStringLiteral("Settings"), QStringLiteral("Rdrive"),
                              QString::number(drive));
        });
        QVERIFY(t.ready());
        QCOMPARE(rowNames(t.list()), (QStringList{"DATA", "B.DAT"}));

        // Answered No: nothing is sent and the pane keeps its rows.
        t.s.dialogs.answers.push_back(DialogSeam::Button::No);
        qsizetype mark = t.mark();
        toolbarFormat(t.ctx(), activeSide(t.s.state), [](int) { QFAIL("no wait without a format"); });
        QCOMPARE(t.commandsSince(mark), QStringList{});
        QFETCH(QString, medium);
        QCOMPARE(
            t.s.dialogs.texts(),
            QStringList{QStringLiteral("A format does a measurement device drive\nEverything on the "
                                       "instrument's medium %1 will be erased: every file and folder on it.")
                            .arg(medium)});
        QCOMPARE(t.s.dialogs.shown.at(0).icon, DialogSeam::Icon::Question);

        t.s.dialogs.answers.push_back(DialogSeam::Button::Yes);
        mark = t.mark();
        QList<int> waits;
        bool closeAllowedInWait = true;
        toolbarFormat(t.ctx(), activeSide(t.s.state), [&](int ms) {
            waits << ms;
            closeAllowedInWait = t.s.state.CloseAllowed;
        });
        const QStringList sent = t.commandsSince(mark);
        QFETCH(QString, command);
        QCOMPARE(sent.value(0), command);
        QCOMPARE(t.s.state.LastReplyCode, QStringLiteral("   "));
        QVERIFY(entriesOf(t.medium(letter)).isEmpty());
        QCOMPARE(entriesOf(t.medium(QStringLiteral("1"))), QStringList{"OTHER.DAT"});
        QCOMPARE(t.list().rowCount(), 0);
        // Refilled twice: once after the empty reply, once after the success. The format forgot what
        // was selected, so the first listing selects the medium again.
        const QString listing = QStringLiteral("BLK 3 4 ") + QString::fromLatin1(QByteArray("DIR?").toHex());
        QCOMPARE(t.instrument.transcript()
                     .mid(t.instrument.transcript().lastIndexOf(QStringLiteral("CMD ") + command))
                     .count(listing),
                 2);
        QCOMPARE(sent.value(1), QStringLiteral("MED ") + command.mid(4));
        QTEST(int(waits.size()), "pauses");
        if (!waits.isEmpty()) {
            QCOMPARE(waits.at(0), 30000);
            QVERIFY(!closeAllowedInWait);
        }
        QVERIFY(t.s.state.CloseAllowed);
        QCOMPARE(t.s.dialogs.shown.size(), 2);
        // The status bar says what is waited for, until the format is over.
        const QString name = medium.section(QLatin1Char(' '), 0, -2) + QLatin1Char(':');
        QStringList told{QStringLiteral("Formatting %1 the instrument answers when it is done.").arg(name)};
        if (!waits.isEmpty())
            told << QStringLiteral("Formatting %1 the floppy drive needs 30 s more.").arg(name);
        QCOMPARE(t.s.dialogs.busyTexts, told << QString());
    }

    // Renew pressed while the floppy's pause takes no input is kept, and runs once the format is
    // over; any other key pressed then is gone.
    void renewPressedWhileTheFloppyFormats()
    {
        InstrumentWindow t({}, [&](InstrumentWindow& i) {
            writeFile(i.medium(QStringLiteral("D")) + QStringLiteral("/B.DAT"));
            i.s.settings.save(QStringLiteral("orvalt"), QStringLiteral("Settings"), QStringLiteral("Rdrive"),
                              QStringLiteral("4"));
        });
        QVERIFY(t.ready());
        t.w->setFloppyPause(400);
        t.w->show();
        QStringList pressed;
        QTimer::singleShot(150, t.w.get(), [&] {
            QTest::keyClick(t.w.get(), Qt::Key_F8);                     // Delete: dropped
            QTest::keyClick(t.w.get(), Qt::Key_R, Qt::ControlModifier); // Renew: kept
            pressed << t.commands().last();
        });
        t.s.dialogs.answers = {DialogSeam::Button::Yes};
        const qsizetype mark = t.instrument.transcript().size();
        t.w->dispatcher().dispatch(ToolKeys::Format);
        // The format's two listings (after the empty reply, after the success), then Renew's.
        const QString listing = QStringLiteral("BLK 3 4 ") + QString::fromLatin1(QByteArray("DIR?").toHex());
        QCOMPARE(t.instrument.transcript().mid(mark).count(listing), 3);
        QCOMPARE(pressed, QStringList{"FMT 2"}); // pressed during the pause, after the format's command
        QCOMPARE(t.s.dialogs.texts().size(), 1); // the question; no Delete asked about
    }

    void refusedFormatSaysMediaError()
    {
        // The instrument has no floppy drive, though the settings file offers one.
        InstrumentWindow t({QStringLiteral("--media-names"), QStringLiteral("INT MEM,Card 1")},
                           [](InstrumentWindow& i) {
                               i.s.settings.save(QStringLiteral("orvalt"), QStringLiteral("Settings"),
                                                 QStringLiteral("Rdrive"), QStringLiteral("4"));
                           });
        QVERIFY(t.ready());
        t.list().appendRows({PaneRow{QStringLiteral("old row"), {}, {}, {}, false}});
        t.s.dialogs.answers.push_back(DialogSeam::Button::Yes);
        int waits = 0;
        toolbarFormat(t.ctx(), activeSide(t.s.state), [&waits](int) { ++waits; });
        QCOMPARE(
            t.s.dialogs.texts(),
            (QStringList{
                "A format does a measurement device drive\nEverything on the instrument's medium "
                "FD (D:) will be erased: every file and folder on it.",
                "Media Error\nThe instrument has no medium FD. Press Connection to read its media again."}));
        QCOMPARE(t.s.dialogs.shown.last().icon, DialogSeam::Icon::Information);
        QCOMPARE(waits, 0);
        QCOMPARE(rowNames(t.list()), QStringList{"old row"}); // not refilled
    }

    void formatUnconnectedSendsNothing()
    {
        InstrumentWindow t({}, [](InstrumentWindow&) {});
        QVERIFY(t.ready());
        test::press(*t.w, QStringLiteral("切断"));
        t.s.dialogs.shown.clear();
        int waits = 0;
        toolbarFormat(t.ctx(), activeSide(t.s.state), [&waits](int) { ++waits; });
        QCOMPARE(t.s.dialogs.texts(), QStringList{"It isn't connected"});
        QCOMPARE(waits, 0);
    }
};

ORVALT_TEST(InstrumentFileOpsTest);
#include "InstrumentFileOpsTest.moc"
