// Rename, delete, new folder and format on host panes, through the real main window.

#include "FileOpsRig.h"
#include "fileops/DeleteAndCreate.h"
#include "fileops/Format.h"
#include "fileops/Rename.h"
#include "panes/Navigation.h"
#include "support/TestMain.h"
#include "window/ActivePane.h"

#include <QTest>

using namespace orvalt;
using test::entriesOf;
using test::rowNames;
using test::selectRows;
using test::writeFile;

namespace {

const QString kCancel;

// A main window whose left pane shows a host folder of its own, with the focus.
struct HostWindow
{
    QTemporaryDir root;
    test::TempStores s;
    std::unique_ptr<frmMain> w;

    explicit HostWindow(const std::function<void(const QString&)>& fill)
    {
        fill(root.path());
        test::writeStores(s, root.path(), QString());
        w = std::make_unique<frmMain>(s.state, s.settings, s.dialogs);
        w->load();
        listFocused(ctx(), QStringLiteral("L"));
    }
    ProgramContext& ctx() { return w->context(); }
    PaneModel& list() { return w->context().leftPane; }
    QString path(const QString& name) const { return root.filePath(name); }
    void answer(const QStringList& names)
    {
        for (const QString& n : names)
            s.dialogs.nameAnswers.push_back(n);
    }
};

} // namespace

class HostFileOpsTest : public QObject
{
    Q_OBJECT

private slots:
    void renameThreeRowsWithCancelInTheMiddle()
    {
        HostWindow h([](const QString& root) {
            QDir(root).mkpath(QStringLiteral("LOGS"));
            writeFile(root + QStringLiteral("/a.txt"));
            writeFile(root + QStringLiteral("/b.txt"));
            writeFile(root + QStringLiteral("/c.txt"));
        });
        selectRows(h.list(), {"LOGS", "a.txt", "b.txt", "c.txt"});
        // Files in the order the host lists them, so the answers are given in the order asked.
        QStringList files = rowNames(h.list()).mid(1);
        h.answer({"LOGS2", files.at(0) + "1", kCancel, files.at(2) + "1"});
        toolbarRename(h.ctx(), activeSide(h.s.state));
        QCOMPARE(h.s.dialogs.nameOpenedWith, QStringList{"LOGS"} + files);
        QCOMPARE(h.s.dialogs.nameViews.at(1).fileWarn, files.at(0) + QStringLiteral("\nCan be changed"));
        QCOMPARE(h.s.dialogs.nameViews.at(0).change, QStringLiteral("Change the Foldername\n"));
        QStringList expected{"LOGS2", files.at(0) + "1", files.at(1), files.at(2) + "1"};
        expected.sort();
        QCOMPARE(entriesOf(h.root.path()), expected);
        QStringList rows = rowNames(h.list()); // refilled
        rows.sort();
        QCOMPARE(rows, expected);
        QVERIFY(h.s.dialogs.shown.isEmpty());
    }

    void renameRefusesBadNamesOnAHostPane()
    {
        HostWindow h([](const QString& root) { writeFile(root + QStringLiteral("/data.txt")); });
        selectRows(h.list(), {"data.txt"});
        const QString empty = QStringLiteral("");
        QVERIFY(!empty.isNull()); // an OK with an empty box, not a Cancel
        h.answer({"#data.txt", "$x", "my data.txt", "..", empty, "lower.txt"});
        toolbarRename(h.ctx(), activeSide(h.s.state));
        QCOMPARE(h.s.dialogs.nameOpenedWith,
                 (QStringList{"data.txt", "#data.txt", "$x", "my data.txt", "..", empty}));
        QCOMPARE(entriesOf(h.root.path()), QStringList{"lower.txt"});
        QCOMPARE(h.s.state.WarnName, QStringLiteral("lower.txt"));
    }

    void renameToTheSameNameKeepsTheFile()
    {
        HostWindow h([](const QString& root) { writeFile(root + QStringLiteral("/same.txt"), 5); });
        selectRows(h.list(), {"same.txt"});
        h.answer({"same.txt"});
        toolbarRename(h.ctx(), activeSide(h.s.state));
        QCOMPARE(entriesOf(h.root.path()), QStringList{"same.txt"});
        QCOMPARE(QFileInfo(h.path("same.txt")).size(), 5);
        QVERIFY(h.s.dialogs.shown.isEmpty());
    }

    void deleteAnsweredNoChangesNothing()
    {
        HostWindow h([](const QString& root) { writeFile(root + QStringLiteral("/x.dat")); });
        selectRows(h.list(), {"x.dat"});
        h.list().appendRows({PaneRow{QStringLiteral("not refilled"), {}, {}, {}, false}});
        h.s.dialogs.answers.push_back(DialogSeam::Button::No);
        toolbarDelete(h.ctx(), activeSide(h.s.state));
        QVERIFY(h.s.dialogs.texts().value(0).startsWith(QLatin1String("A chosen file is removed\n")));
        const auto& asked = h.s.dialogs.shown.at(0);
        QCOMPARE(asked.icon, DialogSeam::Icon::Question);
        QCOMPARE(asked.buttons, DialogSeam::Buttons(DialogSeam::Button::Yes) | DialogSeam::Button::No);
        QCOMPARE(entriesOf(h.root.path()), QStringList{"x.dat"});
        QVERIFY(rowNames(h.list()).contains(QStringLiteral("not refilled")));
    }

    void deleteQuestionNamesWhatGoes_data()
    {
        QTest::addColumn<QStringList>("files"); // a name ending in "/" is a folder
        QTest::addColumn<QString>("listed");
        const QStringList six{"a.dat", "b.dat", "c.dat", "d.dat", "e.dat", "f.dat"};
        QTest::newRow("one row") << QStringList{"x.dat"} << "\n    x.dat";
        QTest::newRow("five names") << six.mid(0, 5)
                                    << "\n    a.dat\n    b.dat\n    c.dat\n    d.dat\n    e.dat";
        QTest::newRow("six names")
            << six << "\n    a.dat\n    b.dat\n    c.dat\n    d.dat\n    e.dat\n    and 1 more";
        QTest::newRow("a folder") << QStringList{"SUB/", "x.dat"}
                                  << "\n    SUB (a folder, with everything in it)\n    x.dat";
    }

    void deleteQuestionNamesWhatGoes()
    {
        QFETCH(QStringList, files);
        HostWindow h([&files](const QString& root) {
            for (const QString& f : files)
                f.endsWith(QLatin1Char('/')) ? void(QDir(root).mkpath(f))
                                             : writeFile(root + QLatin1Char('/') + f);
        });
        QStringList names;
        for (const QString& f : files)
            names << (f.endsWith(QLatin1Char('/')) ? f.chopped(1) : f);
        selectRows(h.list(), names);
        h.s.dialogs.answers.push_back(DialogSeam::Button::No);
        toolbarDelete(h.ctx(), activeSide(h.s.state));
        QFETCH(QString, listed);
        QCOMPARE(
            h.s.dialogs.texts(),
            QStringList{QStringLiteral("A chosen file is removed\nYes deletes from this computer (%1):%2")
                            .arg(QDir::cleanPath(h.root.path()), listed)});
        QCOMPARE(entriesOf(h.root.path()).size(), files.size());
    }

    void mixedDelete()
    {
        HostWindow h([](const QString& root) {
            writeFile(root + QStringLiteral("/SUB/deep/inner.dat"));
            QDir(root).mkpath(QStringLiteral("KEEPDIR"));
            writeFile(root + QStringLiteral("/x.dat"));
            writeFile(root + QStringLiteral("/keep.dat"));
        });
        selectRows(h.list(), {"SUB", "x.dat"});
        h.s.dialogs.answers.push_back(DialogSeam::Button::Yes);
        toolbarDelete(h.ctx(), activeSide(h.s.state));
        QCOMPARE(entriesOf(h.root.path()), (QStringList{"KEEPDIR", "keep.dat"}));
        QCOMPARE(rowNames(h.list()), (QStringList{"KEEPDIR", "keep.dat"}));
        QCOMPARE(h.s.dialogs.shown.size(), 1);

        // While a copy runs nothing is asked.
        h.s.state.TransferBusy = true;
        selectRows(h.list(), {"keep.dat"});
        toolbarDelete(h.ctx(), activeSide(h.s.state));
        QCOMPARE(h.s.dialogs.shown.size(), 1);
        QVERIFY(QFileInfo::exists(h.path("keep.dat")));
    }

    void readOnlyFile_data()
    {
        QTest::addColumn<bool>("overwriteAll");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("kept");
        QTest::newRow("replacement skip") << false << QStringList{"It is the file of Read-Only"} << true;
        QTest::newRow("replacement") << true << QStringList{} << false;
    }

    void readOnlyFile()
    {
        QFETCH(bool, overwriteAll);
        HostWindow h([](const QString& root) {
            writeFile(root + QStringLiteral("/ro.dat"));
            writeFile(root + QStringLiteral("/rw.dat"));
            QFile::setPermissions(root + QStringLiteral("/ro.dat"),
                                  QFileDevice::ReadOwner | QFileDevice::ReadUser);
        });
        h.s.state.OverwriteAll = overwriteAll;
        selectRows(h.list(), {"ro.dat", "rw.dat"});
        h.s.dialogs.answers.push_back(DialogSeam::Button::Yes);
        toolbarDelete(h.ctx(), activeSide(h.s.state));
        QStringList texts = h.s.dialogs.texts();
        texts.removeFirst(); // the question
        QTEST(texts, "messages");
        if (!texts.isEmpty())
            QCOMPARE(h.s.dialogs.shown.last().icon, DialogSeam::Icon::Information);
        QTEST(QFileInfo::exists(h.path("ro.dat")), "kept");
        QVERIFY(!QFileInfo::exists(h.path("rw.dat"))); // the walk goes on after the message
    }

    void newFolderAfterNew0001AndNew0002()
    {
        HostWindow h([](const QString& root) {
            QDir(root).mkpath(QStringLiteral("NEW0001"));
            QDir(root).mkpath(QStringLiteral("NEW0002"));
        });
        h.answer({"My Data"});
        newFolder(h.ctx(), activeSide(h.s.state));
        QCOMPARE(h.s.dialogs.nameOpenedWith, QStringList{"NEW0003"});
        QCOMPARE(h.s.dialogs.nameViews.at(0).fileWarn, QStringLiteral("NEW0003\nCan be changed"));
        QCOMPARE(entriesOf(h.root.path()), (QStringList{"My Data", "NEW0001", "NEW0002"}));
        QVERIFY(rowNames(h.list()).contains(QStringLiteral("My Data")));
        QCOMPARE(h.s.state.NewFolderName, QStringLiteral("My Data"));
        QVERIFY(!h.s.state.NewFolderMode);
        QVERIFY(h.s.dialogs.shown.isEmpty());
    }

    void newFolderNameTooLongCannotLeaveTheDialog()
    {
        HostWindow h([](const QString&) {});
        // 33 characters are refused by the dialog itself (the pane's limit is 32), then Cancel.
        h.answer({QString(33, QLatin1Char('A')), kCancel});
        newFolder(h.ctx(), activeSide(h.s.state));
        QVERIFY(entriesOf(h.root.path()).isEmpty());
        QVERIFY(h.s.dialogs.shown.isEmpty());
    }

    void cancelledNewFolderLeavesNothingBehind()
    {
        HostWindow h([](const QString& root) { writeFile(root + QStringLiteral("/NEW0001")); });
        h.answer({kCancel});
        newFolder(h.ctx(), activeSide(h.s.state));
        // A file named NEW0001 is passed over as well as a folder would be.
        QCOMPARE(h.s.dialogs.nameOpenedWith, QStringList{"NEW0002"});
        QCOMPARE(entriesOf(h.root.path()), QStringList{"NEW0001"});
        QVERIFY(h.s.dialogs.shown.isEmpty());
        QVERIFY(!h.s.state.NewFolderMode);
    }

    void newFolderNameThatCannotBeChosen_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("parent") << "..";
        QTest::newRow("exists") << "TAKEN";
    }

    void newFolderNameThatCannotBeChosen()
    {
        QFETCH(QString, name);
        HostWindow h([](const QString& root) { QDir(root).mkpath(QStringLiteral("TAKEN")); });
        h.answer({name});
        newFolder(h.ctx(), activeSide(h.s.state));
        QCOMPARE(h.s.dialogs.texts(), QStringList{"This Path can't be chosen"});
        QCOMPARE(entriesOf(h.root.path()), QStringList{"TAKEN"});
        QVERIFY(QFileInfo::exists(QFileInfo(h.root.path()).absolutePath())); // the parent is untouched
    }

    void formatOnAHostPane()
    {
        HostWindow h([](const QString& root) { writeFile(root + QStringLiteral("/x.dat")); });
        int pauses = 0;
        toolbarFormat(h.ctx(), activeSide(h.s.state), [&pauses](int) { ++pauses; });
        QCOMPARE(h.s.dialogs.texts(),
                 QStringList{"It is only a measurement device drive to complete a format"});
        QCOMPARE(h.s.dialogs.shown.at(0).icon, DialogSeam::Icon::None);
        QCOMPARE(pauses, 0);
        QCOMPARE(entriesOf(h.root.path()), QStringList{"x.dat"});
    }
};

ORVALT_TEST(HostFileOpsTest);
#include "HostFileOpsTest.moc"
