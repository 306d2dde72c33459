// The instrument's name rules, the name dialog's texts and OK rule, and the name check before a
// file goes into the instrument.

#include "fileops/NameRules.h"

#include "FileOpsRig.h"
#include "fileops/Rename.h"
#include "support/TestMain.h"
#include "window/frmFileWarn.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace orvalt;

namespace {

const QString k32 = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ123456");
const QString kShortChars = QStringLiteral("A to Z  0 to 9 . ! # $ & % ' ( ) ^ @ _ { }");
const QString kLongChars = QStringLiteral("A to Z  a to z  0 to 9 . ! # $ & % ' ( ) ^ @ _ { }");

// A press of Cancel in the scripted name dialog.
const QString kCancel;

} // namespace

class NameRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void nameCheck_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shortName");
        QTest::addColumn<bool>("longNames");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("warnName");
        QTest::addColumn<QStringList>("openedWith");

        const QString kd = QStringLiteral("KD7350");
        QTest::newRow("lower case refused") << "trace.dat"
                                            << "trace.dat" << false << kd << QStringList{kCancel} << 3
                                            << "trace.dat" << QStringList{"trace.dat"};
        QTest::newRow("upper case passes")
            << "TRACE.DAT"
            << "TRACE.DAT" << false << kd << QStringList{} << 0 << "TRACE.DAT" << QStringList{};
        QTest::newRow("base of 9") << "TRACE1234.DAT"
                                   << "TRACE1234.DAT" << false << kd << QStringList{"TRACE123.DAT"} << -1
                                   << "TRACE123.DAT" << QStringList{"TRACE1234.DAT"};
        QTest::newRow("the host alias is offered")
            << "trace1234.dat"
            << "TRACE1~1.DAT" << false << kd << QStringList{"TRACE.DAT"} << -1 << "TRACE.DAT"
            << QStringList{"TRACE1~1.DAT"};
        QTest::newRow("extension of 2") << "TRACE.DA"
                                        << "TRACE.DA" << false << kd << QStringList{kCancel} << 3
                                        << "TRACE.DA" << QStringList{"TRACE.DA"};
        QTest::newRow("first dot splits")
            << "A.B.C"
            << "A.B.C" << false << kd << QStringList{} << 0 << "A.B.C" << QStringList{};
        QTest::newRow("tilde first") << "~TRACE.DAT"
                                     << "~TRACE.DAT" << true << kd << QStringList{"TRACE.DAT"} << -1
                                     << "TRACE.DAT" << QStringList{"~TRACE.DAT"};
        QTest::newRow("host short name")
            << "report.txt"
            << "REPORT.TXT" << false << kd << QStringList{} << -1 << "REPORT.TXT" << QStringList{};
        QTest::newRow("long names keep lower case")
            << "report.txt"
            << "REPORT.TXT" << true << kd << QStringList{} << 0 << "report.txt" << QStringList{};
        QTest::newRow("32+3") << k32 + ".DAT"
                              << "ABCDEF~1.DAT" << true << kd << QStringList{} << 0 << k32 + ".DAT"
                              << QStringList{};
        // The dialog itself refuses the 33-character base again before it takes a good one.
        QTest::newRow("33+3") << k32 + "7.DAT"
                              << "ABCDEF~1.DAT" << true << kd << QStringList{k32 + "7.DAT", "SHORT.DAT"} << -1
                              << "SHORT.DAT" << QStringList{k32 + "7.DAT"};
        // The dialog checks the form only: a blank comes back in a second dialog.
        QTest::newRow("characters checked after the dialog")
            << "trace.dat"
            << "trace.dat" << false << kd << QStringList{"MY DATA.DAT", "MYDATA.DAT"} << -1 << "MYDATA.DAT"
            << QStringList{"trace.dat", "MY DATA.DAT"};
        QTest::newRow("RZ takes the alias")
            << "report 1.txt"
            << "REPORT~1.TXT" << false << "RZ100" << QStringList{} << -1 << "REPORT~1.TXT" << QStringList{};
        QTest::newRow("RZ checks a typed name")
            << "~report 1.txt"
            << "~REPOR~1.TXT" << false << "RZ100" << QStringList{"REP,1.TXT", "REP1.TXT"} << -1 << "REP1.TXT"
            << QStringList{"~REPOR~1.TXT", "REP,1.TXT"};
    }

    void nameCheck()
    {
        QFETCH(QString, name);
        QFETCH(QString, shortName);
        QFETCH(bool, longNames);
        QFETCH(QString, model);
        QFETCH(QStringList, answers);
        QFETCH(int, result);
        QFETCH(QString, warnName);
        QFETCH(QStringList, openedWith);

        test::NameRig rig;
        AppState& st = rig.s.state;
        st.LongNames = longNames;
        st.ModelName = model;
        for (const QString& a : answers)
            rig.s.dialogs.nameAnswers.push_back(a);
        // A file copied into the instrument's pane.
        QCOMPARE(NameCheck(rig.ctx, name, shortName, kWarnKindFile, kWarnModeCheck,
                           paneEndpoint(st, QStringLiteral("R"))),
                 result);
        QCOMPARE(st.WarnName, warnName);
        QCOMPARE(rig.s.dialogs.nameOpenedWith, openedWith);
        QVERIFY(rig.s.dialogs.nameAnswers.empty());
        QVERIFY(rig.s.dialogs.shown.isEmpty());
    }

    void nameCheckIntoAHostPaneAsksNothing()
    {
        test::NameRig rig;
        rig.s.state.RDevID = QStringLiteral("0");
        QCOMPARE(NameCheck(rig.ctx, QStringLiteral("~a b"), QStringLiteral("AB~1"), kWarnKindFile,
                           kWarnModeCheck, paneEndpoint(rig.s.state, QStringLiteral("R"))),
                 0);
        QVERIFY(rig.s.dialogs.nameOpenedWith.isEmpty());
    }

    void dialogTexts_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("instrumentActive");
        QTest::addColumn<bool>("destIsInstrument");
        QTest::addColumn<bool>("longNames");
        QTest::addColumn<QString>("fileWarn");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("chars");

        const QString headline =
            "N.DAT\nThe character which can be used for the name of the measurement device";
        QTest::newRow("check file 8.3") << "CHECK"
                                        << "FILE" << false << true << false << headline
                                        << "Change the filename.  8.3 format\n12345678.DAT" << kShortChars;
        QTest::newRow("check file 32+3")
            << "CHECK"
            << "FILE" << false << true << true << headline
            << "Change the filename.  32+3 format\n12345678901234567890123456789012.DAT" << kLongChars;
        QTest::newRow("check folder short") << "CHECK"
                                            << "FOLDER" << true << false << false << headline
                                            << "Change the Foldername\n12345678" << kShortChars;
        QTest::newRow("check folder long")
            << "CHECK"
            << "FOLDER" << true << false << true << headline
            << "Change the Foldername\n12345678901234567890123456789012" << kLongChars;
        QTest::newRow("change folder on the instrument")
            << "CHANGE"
            << "FOLDER" << true << false << false << "N.DAT\nCan be changed"
            << "Change the Foldername\n"
            << kShortChars;
        // In "CHANGE" mode only the active pane counts, not a copy into the instrument.
        QTest::newRow("change file on the host")
            << "CHANGE"
            << "FILE" << false << true << false << "N.DAT\nCan be changed"
            << "Change the filename.  32+3 format\n"
            << kLongChars;
    }

    void dialogTexts()
    {
        QFETCH(QString, mode);
        QFETCH(QString, kind);
        QFETCH(bool, instrumentActive);
        QFETCH(bool, destIsInstrument);
        QFETCH(bool, longNames);
        AppState st;
        st.LongNames = longNames;
        // What the routine that opens the dialog says of the place the name is for: the instrument
        // pane worked on, or the instrument a file is copied into (in "CHECK" mode only).
        const bool onInstrument = instrumentActive || (mode == QLatin1String("CHECK") && destIsInstrument);
        st.WarnShortNames = shortNameMode(st, endpointOf(!onInstrument, QStringLiteral("M:\\")));
        st.WarnName = QStringLiteral("N.DAT");
        st.WarnMode = mode;
        st.WarnKind = kind;
        const DialogSeam::NameDialogView view = fileWarnView(st);
        QTEST(view.fileWarn, "fileWarn");
        QTEST(view.change, "change");
        QTEST(view.chars, "chars");
    }

    void dialogOkRule_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("newFolder");
        QTest::addColumn<bool>("longNames");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("host rename takes anything") << "CHANGE"
                                                    << "FILE" << false << false << "a b" << true;
        QTest::newRow("host rename takes empty") << "CHANGE"
                                                 << "FOLDER" << false << false << "" << true;
        QTest::newRow("new folder of 8") << "CHANGE"
                                         << "FOLDER" << true << false << "NEW00001" << true;
        QTest::newRow("new folder of 9") << "CHANGE"
                                         << "FOLDER" << true << false << "NEW000001" << false;
        QTest::newRow("new folder empty") << "CHANGE"
                                          << "FOLDER" << true << false << "" << false;
        QTest::newRow("characters not tested") << "CHANGE"
                                               << "FOLDER" << true << false << "a b" << true;
        QTest::newRow("8.3") << "CHECK"
                             << "FILE" << false << false << "ABCDEFGH.DAT" << true;
        QTest::newRow("9.3") << "CHECK"
                             << "FILE" << false << false << "ABCDEFGHI.DAT" << false;
        QTest::newRow("no base") << "CHECK"
                                 << "FILE" << false << false << ".DAT" << false;
        QTest::newRow("no extension") << "CHECK"
                                      << "FILE" << false << false << "ABC" << false;
        QTest::newRow("32+3") << "CHECK"
                              << "FILE" << false << true << k32 + ".DAT" << true;
        QTest::newRow("33+3") << "CHECK"
                              << "FILE" << false << true << k32 + "X.DAT" << false;
        QTest::newRow("folder of 32") << "CHECK"
                                      << "FOLDER" << false << true << k32 << true;
        QTest::newRow("folder of 33") << "CHECK"
                                      << "FOLDER" << false << true << k32 + "X" << false;
    }

    void dialogOkRule()
    {
        QFETCH(QString, mode);
        QFETCH(QString, kind);
        QFETCH(bool, newFolder);
        QFETCH(bool, longNames);
        QFETCH(QString, text);
        AppState st;
        st.LongNames = longNames;
        st.WarnShortNames = shortNameMode(st, endpointOf(false, QStringLiteral("M:\\")));
        st.WarnMode = mode;
        st.WarnKind = kind;
        st.NewFolderMode = newFolder;
        QTEST(fileWarnAccepts(st, text), "accepted");
    }

    void badNames_data()
    {
        QTest::addColumn<bool>("atDest");
        QTest::addColumn<QString>("leftDev");
        QTest::addColumn<QString>("rightDev");
        QTest::addColumn<bool>("longNames");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("bad");

        QTest::newRow("host pane, empty") << false << "0"
                                          << "1" << false << "" << false;
        QTest::newRow("host pane, blank") << false << "0"
                                          << "1" << false << "a b" << false;
        QTest::newRow("empty") << false << "1"
                               << "0" << false << "" << true;
        QTest::newRow("upper case") << false << "1"
                                    << "0" << false << "LOGS" << false;
        QTest::newRow("lower case, short names") << false << "1"
                                                 << "0" << false << "logs" << true;
        QTest::newRow("lower case, long names") << false << "1"
                                                << "0" << true << "logs" << false;
        QTest::newRow("8 characters") << false << "1"
                                      << "0" << false << "ABCDEFGH" << false;
        QTest::newRow("9 characters") << false << "1"
                                      << "0" << false << "ABCDEFGHI" << true;
        QTest::newRow("32 characters") << false << "1"
                                       << "0" << true << k32 << false;
        QTest::newRow("33 characters") << false << "1"
                                       << "0" << true << k32 + "X" << true;
        QTest::newRow("blank") << false << "1"
                               << "0" << true << "A B" << true;
        QTest::newRow("hyphen") << false << "1"
                                << "0" << true << "A-B" << true;
        QTest::newRow("outside ASCII") << false << "1"
                                       << "0" << true << QString::fromUtf8("ÄB") << true;
        QTest::newRow("dest instrument") << true << "0"
                                         << "1" << true << "A B" << true;
        QTest::newRow("dest host") << true << "1"
                                   << "0" << true << "A B" << false;
    }

    void badNames()
    {
        QFETCH(bool, atDest);
        QFETCH(QString, name);
        AppState st;
        QFETCH(QString, leftDev);
        QFETCH(QString, rightDev);
        st.LDevID = leftDev;
        st.RDevID = rightDev;
        QFETCH(bool, longNames);
        st.LongNames = longNames;
        // The left pane worked on, or the right one copied into.
        const bool bad = nameIsBadFor(st, name, kWarnModeCheck,
                                      paneEndpoint(st, atDest ? QStringLiteral("R") : QStringLiteral("L")));
        QTEST(bad, "bad");
    }

    void dialogWindow()
    {
        DialogSeam::NameDialogView view{QStringLiteral("trace.dat\nheadline"), QStringLiteral("form"),
                                        kShortChars};
        QStringList offered;
        frmFileWarn dialog(view, QStringLiteral("trace.dat"), [&offered](const QString& text) {
            offered << text;
            return text == QLatin1String("TRACE.DAT");
        });
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Enter a new name"));
        QCOMPARE(dialog.lblChars()->text(), kShortChars); // one "&" shown
        QCOMPARE(dialog.lblFileWarn()->text(), view.fileWarn);
        QCOMPARE(dialog.cmdOK()->text(), QStringLiteral("OK"));
        QCOMPARE(dialog.Command1()->text(), QStringLiteral("Cancel"));
        QCOMPARE(dialog.txtFileWarn()->text(), QStringLiteral("trace.dat"));
        dialog.show();

        dialog.txtFileWarn()->setText(QStringLiteral("TRACE12345.DAT"));
        dialog.cmdOK()->click();
        QVERIFY(dialog.isVisible()); // refused: stays open with the opening name back
        QCOMPARE(dialog.txtFileWarn()->text(), QStringLiteral("trace.dat"));
        QCOMPARE(dialog.name(), QStringLiteral("trace.dat"));

        dialog.txtFileWarn()->setText(QStringLiteral("TRACE.DAT"));
        dialog.cmdOK()->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.name(), QStringLiteral("TRACE.DAT"));
        QCOMPARE(offered, (QStringList{"TRACE12345.DAT", "TRACE.DAT"}));

        frmFileWarn cancelled(view, QStringLiteral("A"), [](const QString&) { return true; });
        cancelled.show();
        cancelled.txtFileWarn()->setText(QStringLiteral("B"));
        cancelled.Command1()->click();
        QCOMPARE(cancelled.result(), int(QDialog::Rejected));
        QCOMPARE(cancelled.name(), QStringLiteral("A"));
    }
};

ORVALT_TEST(NameRulesTest);
#include "NameRulesTest.moc"
