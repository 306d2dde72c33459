// Copy to Left and Copy to Right on the real main window, against host folders and the virtual
// instrument, checking the folders on both sides afterwards.

#include "transfer/CopyDriver.h"

#include "CopyWindowRig.h"
#include "TransferRig.h"
#include "core/ResourceTexts.h"
#include "support/Selections.h"
#include "support/TestMain.h"
#include "transfer/TransferTexts.h"

#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <csignal>

using namespace orvalt;
using orvalt::test::CopyWindow;
using orvalt::test::fileBytes;
using orvalt::test::folderNames;
using orvalt::test::patternBytes;
using orvalt::test::putFile;
using Icon = orvalt::DialogSeam::Icon;

namespace {

const QString L = QStringLiteral("L");
const QString R = QStringLiteral("R");

void copy(CopyWindow& w, const QString& from)
{
    if (from == R)
        copyToLeft(w.ctx(), activeSide(w.state()));
    else
        copyToRight(w.ctx(), activeSide(w.state()));
}

// What every copy leaves behind, however it ended.
void checkCopyEnded(CopyWindow& w)
{
    QVERIFY(!w.state().TransferBusy);
    QVERIFY(!w.state().StopRequested);
    QVERIFY(w.state().CloseAllowed);
    QVERIFY(!w.dialogs().progressWindow.open);
}

QString text(int n)
{
    return ResourceTexts::text(n);
}

} // namespace

class CopyDriverTest : public QObject
{
    Q_OBJECT

private slots:
    void fourDirections_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<QString>("from");
        QTest::addRow("host to host") << "host"
                                      << "host"
                                      << "R";
        QTest::addRow("host to instrument") << "host"
                                            << "M"
                                            << "L";
        QTest::addRow("instrument to host") << "host"
                                            << "M"
                                            << "R";
        QTest::addRow("instrument to instrument") << "M"
                                                  << "1"
                                                  << "L";
    }

    // A file and a folder tree in one selection, each way.
    void fourDirections()
    {
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(QString, from);
        CopyWindow w(left, right);
        const QString to = from == L ? R : L;
        const QByteArray big = patternBytes(1000, 3); // four blocks, the last one short
        QVERIFY(putFile(w.path(from, QStringLiteral("A.DAT")), big));
        QVERIFY(putFile(w.path(from, QStringLiteral("TREE/C.DAT")), "c"));
        QVERIFY(putFile(w.path(from, QStringLiteral("TREE/SUB/B.DAT")), patternBytes(300)));
        QVERIFY(QDir().mkpath(w.path(from, QStringLiteral("TREE/EMPTY"))));
        QVERIFY(putFile(w.path(from, QStringLiteral("TREE/ZERO.DAT")), QByteArray()));
        QVERIFY(QDir().mkpath(w.path(from, QStringLiteral("NOTHING"))));
        QVERIFY(putFile(w.path(from, QStringLiteral("NOT.DAT")), "not selected"));
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        w.select(from, {QStringLiteral("A.DAT"), QStringLiteral("TREE"), QStringLiteral("NOTHING")});
        const QStringList shown = w.rows(from);
        const int rows = w.list(from).rowCount();
        QCOMPARE(rows, 4);
        bool closeRefused = false;
        w.dialogs().onProgressStep = [&](int) {
            closeRefused = !w.window->close();
        };

        copy(w, from);

        QCOMPARE(w.dialogs().texts(), QStringList());
        QCOMPARE(fileBytes(w.path(to, QStringLiteral("A.DAT"))), big);
        QCOMPARE(fileBytes(w.path(to, QStringLiteral("TREE/C.DAT"))), QByteArray("c"));
        QCOMPARE(fileBytes(w.path(to, QStringLiteral("TREE/SUB/B.DAT"))), patternBytes(300));
        QVERIFY(QFileInfo(w.path(to, QStringLiteral("TREE/EMPTY"))).isDir());
        QVERIFY(!QFile::exists(w.path(to, QStringLiteral("NOT.DAT"))));
        QCOMPARE(fileBytes(w.path(from, QStringLiteral("A.DAT"))), big); // the source stays

        // The window: the bar over all rows, stepped once for each, the main window kept open while
        // it shows; the destination listed anew.
        const auto& progress = w.dialogs().progressWindow;
        QCOMPARE(progress.opened, 1);
        QCOMPARE(progress.closed, 1);
        QCOMPARE(progress.minimum, 1);
        QCOMPARE(progress.maximum, rows);
        QCOMPARE(progress.steps, (QList<int>{1, 2, 3, 4}));
        QVERIFY(QFileInfo(w.path(to, QStringLiteral("NOTHING"))).isDir());
        QCOMPARE(fileBytes(w.path(to, QStringLiteral("TREE/ZERO.DAT"))), QByteArray());
        // The whole job counted before the copy, row by row: a zero-byte file is a file, an empty
        // folder none, a row not selected nothing.
        QCOMPARE(progress.jobItems.size(), rows);
        const auto counted = [&](const QString& name) {
            const JobTotals t = progress.jobItems.value(shown.indexOf(name));
            return QList<qint64>{t.files, t.bytes};
        };
        QCOMPARE(counted(QStringLiteral("A.DAT")), (QList<qint64>{1, 1000}));
        QCOMPARE(counted(QStringLiteral("TREE")), (QList<qint64>{3, 301}));
        QCOMPARE(counted(QStringLiteral("NOTHING")), (QList<qint64>{0, 0}));
        QCOMPARE(counted(QStringLiteral("NOT.DAT")), (QList<qint64>{0, 0}));
        QVERIFY(closeRefused);
        QVERIFY(w.rows(to).contains(QStringLiteral("A.DAT")));
        QVERIFY(w.rows(to).contains(QStringLiteral("TREE")));
        QCOMPARE(w.window->controls().statusPanel1->text(), QStringLiteral("Replacement skip"));
        checkCopyEnded(w);
        if (left == QLatin1String("host") && right == QLatin1String("host"))
            QCOMPARE(w.commands(), QStringList()); // never a word to the instrument
        if (left == QLatin1String("M") && right == QLatin1String("1")) {
            QVERIFY(w.commands().contains(QStringLiteral("CPY 0,/A.DAT,1,/A.DAT")));
            QVERIFY(w.commands().contains(QStringLiteral("CPY 0,/TREE/,1,/TREE/")));
        }
        // Each place is selected where it is needed and nowhere else: the files arrived whole, each
        // from its own folder, and no "MED " or "CDR " chose what was chosen already.
        QCOMPARE(test::needlessSelections(w.commands()), QStringList());
        if (from == R && right == QLatin1String("M")) {
            const QStringList commands = w.commands();
            const auto cdr = std::count_if(commands.cbegin(), commands.cend(), [](const QString& c) {
                return c.startsWith(QLatin1String("CDR /TREE"));
            });
            // TREE, TREE/EMPTY and TREE/SUB listed for the count and again for the copy (each a
            // change of folder); the files are read where the copy's listing left the selection.
            QCOMPARE(cdr, 3 + 3 + 1);
        }
    }

    void overwriteQuestion_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QString>("panel");
        QTest::addRow("to the instrument, Completely Yes")
            << "L" << 1 << QStringList{"F2.DAT", "F3.DAT"} << QByteArray("new2") << "Replacement";
        QTest::addRow("to the instrument, No")
            << "L" << 2 << QStringList{"F2.DAT"} << QByteArray("old") << "Replacement skip";
        // The instrument's medium takes f2.dat for F2.DAT, so the question comes first.
        QTest::addRow("to the instrument, stored in another case, No")
            << "L" << 2 << QStringList{"f2.dat"} << QByteArray("old") << "Replacement skip";
        QTest::addRow("to the host, Completely Yes")
            << "R" << 1 << QStringList{"F2.DAT", "F3.DAT"} << QByteArray("new2") << "Replacement";
        QTest::addRow("to the host, No")
            << "R" << 2 << QStringList{"F2.DAT"} << QByteArray("old") << "Replacement skip";
    }

    // Three files, the second (and with Completely Yes the third) already at the destination, the
    // second first in the list.
    void overwriteQuestion()
    {
        QFETCH(QString, from);
        QFETCH(int, answer);
        QFETCH(QStringList, existing);
        QFETCH(QByteArray, second);
        QFETCH(QString, panel);
        CopyWindow w(QStringLiteral("host"), QStringLiteral("M"));
        const QString to = from == L ? R : L;
        for (const QString& name :
             {QStringLiteral("F1.DAT"), QStringLiteral("F2.DAT"), QStringLiteral("F3.DAT")})
            QVERIFY(putFile(w.path(from, name), "new" + name.mid(1, 1).toLatin1()));
        for (const QString& name : existing)
            QVERIFY(putFile(w.path(to, name), "old"));
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        w.dialogs().overwriteAnswers = {answer};
        w.select(from, {QStringLiteral("F1.DAT"), QStringLiteral("F2.DAT"), QStringLiteral("F3.DAT")});

        copy(w, from);

        QCOMPARE(w.dialogs().overwriteAsked.size(), 1);
        const auto& asked = w.dialogs().overwriteAsked.at(0);
        QCOMPARE(asked.name, QStringLiteral("F2.DAT"));
        QVERIFY2(asked.source.endsWith(QStringLiteral(" 4Byte")), qPrintable(asked.source));
        QVERIFY2(asked.destination.endsWith(QStringLiteral(" 3Byte")), qPrintable(asked.destination));
        QVERIFY(asked.source.startsWith(QStringLiteral("20"))); // a date comes first
        QCOMPARE(fileBytes(w.path(to, QStringLiteral("F1.DAT"))), QByteArray("new1"));
        QCOMPARE(fileBytes(w.path(to, existing.first())), second);
        QCOMPARE(fileBytes(w.path(to, QStringLiteral("F3.DAT"))), QByteArray("new3"));
        QCOMPARE(w.window->controls().statusPanel1->text(), panel);
        QCOMPARE(w.state().OverwriteAll, answer == 1);
        QCOMPARE(w.dialogs().texts(), QStringList());
        checkCopyEnded(w);

        // The next copy starts without Completely Yes: the question comes again.
        w.dialogs().overwriteAnswers = {2};
        w.select(from, {QStringLiteral("F1.DAT")});
        copy(w, from);
        QCOMPARE(w.dialogs().overwriteAsked.size(), 2);
        QCOMPARE(w.window->controls().statusPanel1->text(), QStringLiteral("Replacement skip"));
    }

    void cancelDropsTheRest()
    {
        CopyWindow w(QStringLiteral("host"), QStringLiteral("M"));
        for (const QString& name :
             {QStringLiteral("F1.DAT"), QStringLiteral("F2.DAT"), QStringLiteral("F3.DAT")})
            QVERIFY(putFile(w.path(L, name), "new"));
        QVERIFY(putFile(w.path(R, QStringLiteral("F1.DAT")), "old"));
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        w.dialogs().overwriteAnswers = {3};
        w.select(L, {QStringLiteral("F1.DAT"), QStringLiteral("F2.DAT"), QStringLiteral("F3.DAT")});
        // Host rows come in the file system's order: what follows the cancelled row is dropped.
        const QStringList order = w.rows(L);
        copyToRight(w.ctx(), activeSide(w.state()));
        QCOMPARE(fileBytes(w.path(R, QStringLiteral("F1.DAT"))), QByteArray("old"));
        for (const QString& name : order.mid(order.indexOf(QStringLiteral("F1.DAT")) + 1))
            QVERIFY2(!QFile::exists(w.path(R, name)), qPrintable(name));
        QCOMPARE(w.dialogs().progressWindow.steps.size(), order.indexOf(QStringLiteral("F1.DAT")));
        checkCopyEnded(w);
    }

    // A host folder into an instrument without long names: the folders and files in it go under
    // their short names, each read from the host under its own name.
    void shortNamesOnTheInstrument()
    {
        CopyWindow w(QStringLiteral("host"), QStringLiteral("M"), {QStringLiteral("--short-names")});
        QVERIFY(putFile(w.path(L, QStringLiteral("TRIP/LongFolder/report 2024.txt")), patternBytes(700)));
        QVERIFY(putFile(w.path(L, QStringLiteral("TRIP/notes.txt")), "notes"));
        QVERIFY(putFile(w.path(L, QStringLiteral("TRIP/DATA.CSV")), "1,2"));
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        QVERIFY(!w.state().LongNames);
        w.select(L, {QStringLiteral("TRIP")});

        copyToRight(w.ctx(), activeSide(w.state()));

        const QStringList commands = w.commands();
        QVERIFY(commands.contains(QStringLiteral("MKDR /TRIP")));
        QVERIFY(commands.contains(QStringLiteral("MKDR /TRIP/LONGFO~1")));
        const QStringList blocks =
            orvalt::test::linesStarting(w.instrument.transcript(), QStringLiteral("BLK 0 "));
        // The transcript shows a block's length and its first 16 bytes.
        auto sent = [&](const QString& fwt) {
            const QByteArray bytes = fwt.toLatin1();
            return blocks.contains(QStringLiteral("BLK 0 %1 %2")
                                       .arg(bytes.size())
                                       .arg(QString::fromLatin1(bytes.left(16).toHex())));
        };
        QVERIFY(sent(QStringLiteral("FWT 0,/TRIP/LONGFO~1/REPORT~1.TXT,")));
        QVERIFY(sent(QStringLiteral("FWT 0,/TRIP/NOTES.TXT,")));
        QVERIFY(sent(QStringLiteral("FWT 0,/TRIP/DATA.CSV,")));
        QCOMPARE(fileBytes(w.path(R, QStringLiteral("TRIP/NOTES.TXT"))), QByteArray("notes"));
        QCOMPARE(fileBytes(w.path(R, QStringLiteral("TRIP/DATA.CSV"))), QByteArray("1,2"));
        QCOMPARE(fileBytes(w.path(R, QStringLiteral("TRIP/LONGFO~1/REPORT~1.TXT"))), patternBytes(700));
        checkCopyEnded(w);
    }

    void mergesIntoAHostFolder()
    {
        CopyWindow w(QStringLiteral("host"), QStringLiteral("M"));
        QVERIFY(putFile(w.path(R, QStringLiteral("TREE/NEW.DAT")), "new"));
        QVERIFY(putFile(w.path(R, QStringLiteral("TREE/SAME.DAT")), "remote"));
        QVERIFY(putFile(w.path(R, QStringLiteral("TREE/SUB/IN.DAT")), "in"));
        QVERIFY(putFile(w.path(L, QStringLiteral("TREE/OLD.DAT")), "old"));
        QVERIFY(putFile(w.path(L, QStringLiteral("TREE/SAME.DAT")), "host"));
        QVERIFY(putFile(w.path(L, QStringLiteral("TREE/SUB/KEEP.DAT")), "keep"));
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        w.dialogs().overwriteAnswers = {0};
        w.select(R, {QStringLiteral("TREE")});

        copyToLeft(w.ctx(), activeSide(w.state()));

        QCOMPARE(w.dialogs().overwriteAsked.size(), 1);
        QCOMPARE(w.dialogs().overwriteAsked.at(0).name, QStringLiteral("TREE"));
        QCOMPARE(folderNames(w.path(L, QStringLiteral("TREE"))),
                 (QStringList{"NEW.DAT", "OLD.DAT", "SAME.DAT", "SUB/"}));
        QCOMPARE(fileBytes(w.path(L, QStringLiteral("TREE/SAME.DAT"))), QByteArray("remote"));
        QCOMPARE(folderNames(w.path(L, QStringLiteral("TREE/SUB"))), (QStringList{"IN.DAT", "KEEP.DAT"}));
        QCOMPARE(w.dialogs().texts(), QStringList());
        checkCopyEnded(w);
    }

    void interruptionDuringAFolderFromTheInstrument()
    {
        CopyWindow w(QStringLiteral("host"), QStringLiteral("M"));
        const QByteArray first = patternBytes(3000, 1);
        QVERIFY(putFile(w.path(R, QStringLiteral("BIG/A/F1.DAT")), first));
        QVERIFY(putFile(w.path(R, QStringLiteral("BIG/A/F2.DAT")), "f2"));
        QVERIFY(putFile(w.path(R, QStringLiteral("BIG/B/G.DAT")), "g"));
        QVERIFY(putFile(w.path(R, QStringLiteral("BIG/C/D/H.DAT")), "h"));
        QVERIFY(putFile(w.path(R, QStringLiteral("BIG/X.DAT")), "x"));
        QVERIFY(putFile(w.path(R, QStringLiteral("Z.DAT")), "z"));
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        w.select(R, {QStringLiteral("BIG"), QStringLiteral("Z.DAT")});
        // Interruption is pressed while the first block of F1.DAT is in.
        w.dialogs().onTransferProgress = [&](const orvalt::test::ScriptedDialogs::Progress&) {
            if (!w.state().StopRequested)
                interruption(w.ctx());
            QVERIFY(w.state().StopRequested);
        };

        copyToLeft(w.ctx(), activeSide(w.state()));

        // F1.DAT went on to its end (3000 bytes, 12 blocks), and no other file was transferred.
        const auto& reports = w.dialogs().progress;
        QCOMPARE(reports.size(), 12);
        QCOMPARE(reports.constFirst().done, 252); // the first block carries the length
        QCOMPARE(reports.constLast().file, QStringLiteral("F1.DAT"));
        QCOMPARE(reports.constLast().done, 3000);
        QCOMPARE(fileBytes(w.path(L, QStringLiteral("BIG/A/F1.DAT"))), first);
        // The folders not come to are not made empty, as if they had been copied.
        QCOMPARE(folderNames(w.path(L, QStringLiteral("BIG"))), QStringList{"A/"});
        QCOMPARE(folderNames(w.path(L, QStringLiteral("BIG/A"))), QStringList{"F1.DAT"});
        QVERIFY(!QFile::exists(w.path(L, QStringLiteral("Z.DAT"))));
        QCOMPARE(w.dialogs().progressWindow.notices, QStringList{text(8113)});
        QCOMPARE(w.dialogs().progressWindow.steps, QList<int>{1}); // left before the second row
        QVERIFY(w.rows(L).contains(QStringLiteral("BIG")));        // listed anew
        // Everything of the selection that did not arrive is named: nobody takes it for copied.
        QCOMPARE(
            w.dialogs().texts(),
            QStringList{QStringLiteral("These were not copied:\n\u2022 M:\\BIG\\A\\F2.DAT: not started\n"
                                       "\u2022 M:\\BIG\\B: not started\n\u2022 M:\\BIG\\C: not started\n"
                                       "\u2022 M:\\BIG\\X.DAT: not started\n\u2022 M:\\Z.DAT: not started")});
        checkCopyEnded(w);

        // The next copy starts clear.
        w.dialogs().onTransferProgress = nullptr;
        w.select(R, {QStringLiteral("Z.DAT")});
        copyToLeft(w.ctx(), activeSide(w.state()));
        QCOMPARE(fileBytes(w.path(L, QStringLiteral("Z.DAT"))), QByteArray("z"));
        checkCopyEnded(w);
    }

    // Interruption pressed a second time (Esc on the window) drops the file in hand at once: the
    // target keeps what it had on either side, no part of the file is left, and the link serves
    // the next copy at once.
    void secondInterruptionDropsTheFileInHand_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addRow("to the instrument") << L;
        QTest::addRow("from the instrument") << R;
    }

    void secondInterruptionDropsTheFileInHand()
    {
        QFETCH(QString, from);
        const QString to = from == L ? R : L;
        // The slowest line the instrument is used at: a whole file would take half a minute. Plain
        // blocks to the instrument, so its transcript counts the blocks sent one for one (a
        // compressed write reaches it in bursts of decompressed blocks).
        QStringList line{QStringLiteral("--baud"), QStringLiteral("9600")};
        if (from == L)
            line << QStringLiteral("--no-pack");
        CopyWindow w(QStringLiteral("host"), QStringLiteral("M"), line);
        const QByteArray big = patternBytes(30000, 3);
        QVERIFY(putFile(w.path(from, QStringLiteral("BIG.DAT")), big));
        QVERIFY(putFile(w.path(from, QStringLiteral("NEXT.DAT")), "next"));
        QVERIFY(putFile(w.path(to, QStringLiteral("BIG.DAT")), "old contents"));
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        w.window->show();
        w.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        w.select(from, {QStringLiteral("BIG.DAT")});
        auto blocks = [&w] {
            return static_cast<int>(
                w.instrument.transcript().filter(QRegularExpression(QStringLiteral("^BLK "))).size());
        };
        int blocksAtStop = -1;
        w.dialogs().onTransferProgress = [&](const orvalt::test::ScriptedDialogs::Progress& p) {
            if (p.done < 1000 || blocksAtStop >= 0)
                return;
            QTest::keyClick(w.window.get(), Qt::Key_Escape);
            QTest::keyClick(w.window.get(), Qt::Key_Escape);
            QTRY_VERIFY(blocks() > 3); // the transcript has caught up with what was acknowledged
            blocksAtStop = blocks();
        };
        w.dialogs().overwriteAnswers = {0};

        copy(w, from);

        QVERIFY(blocksAtStop > 0);
        // The block in hand and one more, and the two more the link may have sent ahead in its
        // window of three blocks at 9600 baud (about a second of line time).
        QVERIFY2(blocks() - blocksAtStop <= 4, qPrintable(QString::number(blocks() - blocksAtStop)));
        QVERIFY(w.dialogs().progress.constLast().done < big.size());
        QCOMPARE(fileBytes(w.path(to, QStringLiteral("BIG.DAT"))), QByteArray("old contents"));
        QCOMPARE(folderNames(w.dir(to)), QStringList{"BIG.DAT"});
        QCOMPARE(w.dialogs().progressWindow.notices,
                 (QStringList{
                     text(8113),
                     QStringLiteral(
                         "Stopping now. The file in hand is not kept, unless all of it has gone already.")}));
        QVERIFY2(w.dialogs()
                     .texts()
                     .join(QLatin1Char('\n'))
                     .contains(QStringLiteral("BIG.DAT: stopped by the user")),
                 qPrintable(w.dialogs().texts().join(QLatin1Char('\n'))));
        checkCopyEnded(w);
        QVERIFY(!w.state().StopFileNow);

        w.dialogs().onTransferProgress = nullptr;
        w.dialogs().shown.clear();
        w.select(from, {QStringLiteral("NEXT.DAT")});
        copy(w, from);
        QCOMPARE(fileBytes(w.path(to, QStringLiteral("NEXT.DAT"))), QByteArray("next"));
        QCOMPARE(w.dialogs().texts(), QStringList());
    }

    void interruptionOutsideACopyDoesNothing()
    {
        CopyWindow w(QStringLiteral("host"), QStringLiteral("host"));
        QVERIFY(putFile(w.path(L, QStringLiteral("A.DAT")), "a"));
        QVERIFY(w.start());
        interruption(w.ctx());
        QVERIFY(!w.state().StopRequested);
        QCOMPARE(w.dialogs().progressWindow.notices, QStringList());
        w.select(L, {QStringLiteral("A.DAT")});
        copyToRight(w.ctx(), activeSide(w.state()));
        QCOMPARE(fileBytes(w.path(R, QStringLiteral("A.DAT"))), QByteArray("a"));
    }

    void sourcePaneNotTheActiveOne_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("from");
        QTest::addRow("copy to left, left list focused") << "L"
                                                         << "R";
        QTest::addRow("copy to right, right list focused") << "R"
                                                           << "L";
        QTest::addRow("no list focused yet") << ""
                                             << "L";
    }

    void sourcePaneNotTheActiveOne()
    {
        QFETCH(QString, focus);
        QFETCH(QString, from);
        CopyWindow w(QStringLiteral("host"), QStringLiteral("M"));
        QVERIFY(putFile(w.path(L, QStringLiteral("A.DAT")), "a"));
        QVERIFY(putFile(w.path(R, QStringLiteral("B.DAT")), "b"));
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        w.select(L, {QStringLiteral("A.DAT")});
        w.select(R, {QStringLiteral("B.DAT")});
        w.state().LActive = focus == L;
        w.state().RActive = focus == R;
        const int commandsBefore = w.commands().size();

        copy(w, from);

        QCOMPARE(w.dialogs().texts(), QStringList{"A copy cause isn't chosen"});
        QCOMPARE(int(w.dialogs().shown.at(0).icon), int(Icon::None));
        QVERIFY(!QFile::exists(w.path(R, QStringLiteral("A.DAT"))));
        QVERIFY(!QFile::exists(w.path(L, QStringLiteral("B.DAT"))));
        QCOMPARE(w.dialogs().progressWindow.opened, 0);
        QCOMPARE(w.commands().size(), commandsBefore); // not even the destination listed again
        checkCopyEnded(w);
    }

    void nothingSelected()
    {
        CopyWindow w(QStringLiteral("host"), QStringLiteral("host"));
        QVERIFY(putFile(w.path(L, QStringLiteral("A.DAT")), "a"));
        QVERIFY(w.start());
        w.select(L, {});
        QVERIFY(putFile(w.path(R, QStringLiteral("LATE.DAT")), "made behind the window's back"));
        copyToRight(w.ctx(), activeSide(w.state()));
        QCOMPARE(w.dialogs().texts(), QStringList{"A copy cause isn't chosen"});
        QVERIFY(!QFile::exists(w.path(R, QStringLiteral("A.DAT"))));
        QCOMPARE(w.rows(R), QStringList{"LATE.DAT"}); // the destination is listed anew all the same
        QVERIFY(!w.state().OverwriteAll);
        checkCopyEnded(w);
    }

    void folderNameTheInstrumentCannotTake_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("folder");
        QTest::addRow("a blank") << QStringList() << "Bad Name";
        QTest::addRow("33 characters") << QStringList() << "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456";
        QTest::addRow("short names, too long") << QStringList{"--short-names"} << "LONGFOLDER";
        QTest::addRow("short names, lower case") << QStringList{"--short-names"} << "lower";
    }

    void folderNameTheInstrumentCannotTake()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, folder);
        CopyWindow w(QStringLiteral("host"), QStringLiteral("M"), arguments);
        QVERIFY(putFile(w.path(L, folder + QStringLiteral("/IN.DAT")), "in"));
        QVERIFY(putFile(w.path(L, QStringLiteral("LATER.DAT")), "later")); // files come after folders
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        w.select(L, {folder, QStringLiteral("LATER.DAT")});

        copyToRight(w.ctx(), activeSide(w.state()));

        QCOMPARE(w.dialogs().texts(),
                 QStringList{"This Folder can't be handled with the measurement device"});
        QCOMPARE(int(w.dialogs().shown.at(0).icon), int(Icon::Information));
        QCOMPARE(folderNames(w.dir(R)), QStringList());
        QCOMPARE(w.dialogs().progressWindow.closed, 1);
        checkCopyEnded(w);
    }

    void nameCheck_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("sourceName");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QString>("targetName");
        QTest::addRow("a typed name")
            << "host" << QStringList() << "my data.csv" << QStringList{"MYDATA.CSV"} << "MYDATA.CSV";
        QTest::addRow("the short name")
            << "host" << QStringList{"--short-names"} << "report.txt" << QStringList() << "REPORT.TXT";
        QTest::addRow("a typed short name")
            << "host" << QStringList{"--short-names"} << "x-ray.dat" << QStringList{"XRAY.DAT"} << "XRAY.DAT";
        QTest::addRow("a typed name, instrument to instrument")
            << "M" << QStringList() << "README" << QStringList{"README.TXT"} << "README.TXT";
    }

    // Another name for the destination: the file is still read under its own name, from the host
    // or from the other medium.
    void nameCheck()
    {
        QFETCH(QString, from);
        QFETCH(QStringList, arguments);
        QFETCH(QString, sourceName);
        QFETCH(QStringList, typed);
        QFETCH(QString, targetName);
        CopyWindow w(from, from == QLatin1String("host") ? QStringLiteral("M") : QStringLiteral("1"),
                     arguments);
        QVERIFY(putFile(w.path(L, sourceName), patternBytes(600, 5)));
        QVERIFY(putFile(w.path(L, QStringLiteral("LAST.DAT")), "last"));
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        w.dialogs().nameAnswers.assign(typed.cbegin(), typed.cend());
        w.select(L, {sourceName, QStringLiteral("LAST.DAT")});

        copyToRight(w.ctx(), activeSide(w.state()));

        QCOMPARE(w.dialogs().nameOpenedWith.size(), typed.size());
        QCOMPARE(w.dialogs().texts(), QStringList());
        QCOMPARE(fileBytes(w.path(R, targetName)), patternBytes(600, 5));
        QCOMPARE(fileBytes(w.path(R, QStringLiteral("LAST.DAT"))), QByteArray("last"));
        QCOMPARE(folderNames(w.dir(R)).size(), 2);
        QCOMPARE(fileBytes(w.path(L, sourceName)), patternBytes(600, 5));
        checkCopyEnded(w);
    }

    void nameDialogCancelled()
    {
        CopyWindow w(QStringLiteral("host"), QStringLiteral("M"));
        QVERIFY(putFile(w.path(L, QStringLiteral("a b.dat")), "ab"));
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        w.dialogs().nameAnswers = {QString()};
        w.select(L, {QStringLiteral("a b.dat")});
        copyToRight(w.ctx(), activeSide(w.state()));
        QCOMPARE(w.dialogs().nameOpenedWith, QStringList{"a b.dat"});
        QCOMPARE(folderNames(w.dir(R)), QStringList());
        checkCopyEnded(w);
    }

    // More entries than the 1,101 a folder of the instrument was once thought to hold.
    void aLargeFolderFromTheInstrument()
    {
        CopyWindow w(QStringLiteral("host"), QStringLiteral("M"));
        constexpr int kFiles = 1105;
        for (int i = 0; i < kFiles; ++i)
            QVERIFY(putFile(w.path(R, QStringLiteral("MANY/F%1.DAT").arg(i, 4, 10, QLatin1Char('0'))),
                            QByteArray::number(i)));
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        w.select(R, {QStringLiteral("MANY")});
        copyToLeft(w.ctx(), activeSide(w.state()));
        QCOMPARE(folderNames(w.path(L, QStringLiteral("MANY"))).size(), kFiles);
        QCOMPARE(fileBytes(w.path(L, QStringLiteral("MANY/F1104.DAT"))), QByteArray("1104"));
        QCOMPARE(w.dialogs().texts(), QStringList());
        checkCopyEnded(w);
    }

    void linkLostStopsTheCopy_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addRow("line gone (908)") << int(SIGKILL);
        QTest::addRow("no answer (903)") << int(SIGSTOP);
        // The instrument lives on but closes its pseudo-terminal under the program, as a pulled USB
        // adapter leaves a port.
        QTest::addRow("line closed under the program") << int(SIGUSR1);
    }

    // The instrument goes out of reach in the middle of the first file of a folder, with two more
    // files selected behind it: nothing more is sent, and one notice says why and what is missing.
    void linkLostStopsTheCopy()
    {
        QFETCH(int, signal);
        CopyWindow w(QStringLiteral("host"), QStringLiteral("M"));
        const QStringList files{"A.DAT", "B.DAT", "C.DAT", "D.DAT", "E.DAT"};
        for (const QString& name : files.mid(0, 3))
            QVERIFY(putFile(w.path(L, QStringLiteral("TREE/") + name), patternBytes(1000)));
        for (const QString& name : files.mid(3))
            QVERIFY(putFile(w.path(L, name), patternBytes(1000)));
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        QCOMPARE(w.ctx().link.PexSetTimeOut(1000), 0);
        w.select(L, {QStringLiteral("TREE"), QStringLiteral("D.DAT"), QStringLiteral("E.DAT")});
        const auto pid = static_cast<pid_t>(w.instrument.process().processId());
        w.dialogs().onTransferProgress = [&](const test::ScriptedDialogs::Progress& p) {
            if (p.done != 512)
                return;
            ::kill(pid, signal);
            if (signal == SIGKILL)
                w.instrument.process().waitForFinished();
        };

        copyToRight(w.ctx(), activeSide(w.state()));
        if (signal == SIGSTOP)
            ::kill(pid, SIGCONT);
        if (signal == SIGUSR1)
            QVERIFY(w.instrument.isReady()); // the line went, not the instrument

        QCOMPARE(w.dialogs().shown.size(), 1);
        const QString told = w.dialogs().shown.at(0).text;
        QVERIFY2(told.startsWith(QStringLiteral("The measurement device cannot be reached any more, so the "
                                                "copy was stopped.")),
                 qPrintable(told));
        // Under the first line what really happened, once; the file in hand is named with the rest.
        const QString cause = signal == SIGSTOP
                                  ? QStringLiteral("The instrument stopped answering (no reply in 1 s).")
                                  : QStringLiteral(" went away: the adapter was unplugged");
        QCOMPARE(told.count(cause), 1);
        for (const QString& name : files)
            QVERIFY2(told.contains(name), qPrintable(told));
        QCOMPARE(folderNames(w.dir(R)), QStringList{"TREE/"});
        checkCopyEnded(w);
    }

    // The instrument stores a small file whole, then stops answering before it says so: the file
    // is not told as "not copied". Where the instrument answers again before the copy ends, its
    // listing settles it; where it does not, the file is named as one that may have been written.
    void writeNotConfirmed_data()
    {
        QTest::addColumn<int>("stallMs");
        QTest::addColumn<QString>("told");
        QTest::addRow("answers again")
            << 1500 << "When the measurement device answered again:\n\u2022 M:\\A.DAT: written after all";
        QTest::addRow("answers no more") << 20000
                                         << "The measurement device stopped answering after these were sent "
                                            "whole:\n\u2022 M:\\A.DAT: may have been written; check the "
                                            "measurement device";
    }

    void writeNotConfirmed()
    {
        QFETCH(int, stallMs);
        QFETCH(QString, told);
        CopyWindow w(QStringLiteral("host"), QStringLiteral("M"),
                     {QStringLiteral("--stall-after-upload"), QString::number(stallMs)});
        QVERIFY(putFile(w.path(L, QStringLiteral("A.DAT")), patternBytes(700)));
        QVERIFY(putFile(w.path(R, QStringLiteral("A.DAT")), "old"));
        QFile old(w.path(R, QStringLiteral("A.DAT")));
        QVERIFY(old.open(QIODevice::ReadWrite) && old.setFileTime(QDateTime(QDate(2023, 6, 1), QTime(9, 30)),
                                                                  QFileDevice::FileModificationTime));
        old.close();
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        QCOMPARE(w.ctx().link.PexSetTimeOut(1000), 0);
        w.select(L, {QStringLiteral("A.DAT")});
        w.dialogs().overwriteAnswers = {1};

        copyToRight(w.ctx(), activeSide(w.state()));

        QCOMPARE(w.dialogs().shown.size(), 1);
        const QString text = w.dialogs().shown.at(0).text;
        QVERIFY2(text.contains(told), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("not copied")), qPrintable(text));
        QCOMPARE(fileBytes(w.path(R, QStringLiteral("A.DAT"))), patternBytes(700));
        checkCopyEnded(w);
    }

    // Failures inside a folder copy do not stop it; they are told once, at the end.
    void failuresInAFolderAreToldAtTheEnd()
    {
        CopyWindow w(QStringLiteral("host"), QStringLiteral("M"));
        QVERIFY(putFile(w.path(L, QStringLiteral("TREE/GOOD.DAT")), "good"));
        QVERIFY(putFile(w.path(L, QStringLiteral("TREE/a,b.dat")), "comma"));
        QVERIFY(putFile(w.path(L, QStringLiteral("TREE/bad name.dat")), "blank"));
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        w.select(L, {QStringLiteral("TREE")});
        copyToRight(w.ctx(), activeSide(w.state()));
        QCOMPARE(folderNames(w.path(R, QStringLiteral("TREE"))), QStringList{"GOOD.DAT"});
        QCOMPARE(w.dialogs().shown.size(), 1);
        const QString told = w.dialogs().shown.at(0).text;
        QVERIFY2(told.startsWith(QStringLiteral("These were not copied:")), qPrintable(told));
        QCOMPARE(told.count(QStringLiteral("\n\u2022 ")), 2); // each item marked, however it wraps
        QVERIFY2(told.contains(QStringLiteral("a,b.dat: its name cannot be sent to the measurement device")),
                 qPrintable(told));
        QVERIFY2(told.contains(
                     QStringLiteral("bad name.dat: The instrument does not take the name \"bad name.dat\". "
                                    "Change the filename.  32+3 format")),
                 qPrintable(told));
        QVERIFY(!w.commands().join(QLatin1Char('\n')).contains(QStringLiteral("a,b")));
        checkCopyEnded(w);
    }

    // Files whose date on the instrument cannot be read, one selected and one inside a selected
    // folder: both are copied whole with the time of the copy, the closing notice names both, and a
    // file with a readable date keeps it.
    void undatedFilesAreToldAtTheEnd()
    {
        CopyWindow w(QStringLiteral("host"), QStringLiteral("M"), {QStringLiteral("--undated"), "B.DAT"});
        QVERIFY(putFile(w.path(R, QStringLiteral("A.DAT")), "a"));
        QVERIFY(putFile(w.path(R, QStringLiteral("B.DAT")), "b"));
        QVERIFY(putFile(w.path(R, QStringLiteral("TREE/B.DAT")), "tree b"));
        const QDateTime taken(QDate(2023, 6, 1), QTime(9, 30, 15));
        QFile dated(w.path(R, QStringLiteral("A.DAT")));
        QVERIFY(dated.open(QIODevice::ReadWrite) &&
                dated.setFileTime(taken, QFileDevice::FileModificationTime));
        dated.close();
        QVERIFY2(w.start(), qPrintable(w.instrument.errorString()));
        w.select(R, {QStringLiteral("A.DAT"), QStringLiteral("B.DAT"), QStringLiteral("TREE")});
        const QDateTime before = QDateTime::currentDateTime().addSecs(-2);

        copyToLeft(w.ctx(), activeSide(w.state()));

        // In the order they were copied: the pane lists folders first.
        QCOMPARE(w.dialogs().shown.size(), 1);
        QCOMPARE(w.dialogs().shown.at(0).text,
                 QStringLiteral("The dates of M:\\TREE\\B.DAT, M:\\B.DAT on the measurement device could not "
                                "be read, so these files got the time of the copy instead."));
        QCOMPARE(fileBytes(w.path(L, QStringLiteral("TREE/B.DAT"))), QByteArray("tree b"));
        QVERIFY(QFileInfo(w.path(L, QStringLiteral("B.DAT"))).lastModified() >= before);
        QCOMPARE(QFileInfo(w.path(L, QStringLiteral("A.DAT"))).lastModified(), taken);
        checkCopyEnded(w);
    }

    // The notice names a few such files and counts more; after what was not copied, set apart.
    void undatedFilesText_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<bool>("notCopied");
        QTest::addColumn<QString>("told");
        QTest::addRow("none") << 0 << false << QString();
        QTest::addRow("one") << 1 << false
                             << "The date of M:\\F1.DAT on the measurement device could not be read, so the "
                                "file got the time of the copy instead.";
        QTest::addRow("three, named") << 3 << false
                                      << "The dates of M:\\F1.DAT, M:\\F2.DAT, M:\\F3.DAT on the measurement "
                                         "device could not be read, so these files got the time of the copy "
                                         "instead.";
        QTest::addRow("four, counted") << 4 << false
                                       << "The dates of 4 files on the measurement device could not be read, "
                                          "so these files got the time of the copy instead.";
        QTest::addRow("after what was not copied")
            << 1 << true
            << "These were not copied:\n\u2022 M:\\X.DAT: DEVICE BUSY\n\nThe date of M:\\F1.DAT on the "
               "measurement device could not be read, so the file got the time of the copy instead.";
    }

    void undatedFilesText()
    {
        QFETCH(int, files);
        QFETCH(bool, notCopied);
        QFETCH(QString, told);
        CopyRun run;
        for (int i = 1; i <= files; ++i)
            run.copyTimeDated << QStringLiteral("M:\\F%1.DAT").arg(i);
        if (notCopied)
            run.notCopied << QStringLiteral("M:\\X.DAT: DEVICE BUSY");
        QCOMPARE(copyEndText(run), told);
    }
};

ORVALT_TEST(CopyDriverTest);
#include "CopyDriverTest.moc"
