// The progress window: the record of the file in hand, the window frmProgress, and the program's
// dialogs that show it.

#include "transfer/CopyProgress.h"

#include "TransferRig.h"
#include "core/AppState.h"
#include "support/TestMain.h"
#include "transfer/TransferMeter.h"
#include "window/QtDialogs.h"
#include "window/frmProgress.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace orvalt;

namespace {

struct Report
{
    QString file;
    qint64 done;
    qint64 total;
    qint64 ms;
};

} // namespace

Q_DECLARE_METATYPE(QList<Report>)

class CopyProgressTest : public QObject
{
    Q_OBJECT

private slots:
    void meter_data()
    {
        QTest::addColumn<QList<Report>>("reports");
        QTest::addColumn<qint64>("rate");
        QTest::addColumn<qint64>("secondsLeft");
        const QString a = QStringLiteral("A.DAT");
        const QString b = QStringLiteral("B.DAT");
        QTest::addRow("first report") << QList<Report>{{a, 256, 4096, 1000}} << qint64(-1) << qint64(-1);
        QTest::addRow("too soon to tell")
            << QList<Report>{{a, 256, 4096, 1000}, {a, 512, 4096, 1100}} << qint64(-1) << qint64(-1);
        QTest::addRow("over the last seconds")
            << QList<Report>{{a, 256, 10000, 0}, {a, 512, 10000, 100}, {a, 1406, 10000, 1000}} << qint64(1150)
            << qint64(8); // 8594 bytes left at 1150 a second, rounded up
        QTest::addRow("done") << QList<Report>{{a, 0, 512, 0}, {a, 512, 512, 500}} << qint64(1024)
                              << qint64(0);
        QTest::addRow("across files")
            << QList<Report>{{a, 256, 512, 0}, {a, 512, 512, 1000}, {b, 256, 4096, 1100}} << qint64(465)
            << qint64(9); // 512 bytes in 1.1 s; 3840 left
        QTest::addRow("the same name from its start again")
            << QList<Report>{{a, 256, 512, 0}, {a, 512, 512, 1000}, {a, 256, 512, 1500}} << qint64(341)
            << qint64(1);
        QTest::addRow("older reports drop out") << QList<Report>{{a, 0, 99999, 0},
                                                                 {a, 90000, 99999, 1000},
                                                                 {a, 91000, 99999, 4500},
                                                                 {a, 93000, 99999, 5500}}
                                                << qint64(2000) << qint64(4);
        QTest::addRow("after a pause")
            << QList<Report>{{a, 256, 1024, 0}, {a, 512, 1024, 1000}, {b, 256, 1024, 9000}} << qint64(-1)
            << qint64(-1);
        QTest::addRow("no progress") << QList<Report>{{a, 256, 512, 0}, {a, 256, 512, 2000}} << qint64(-1)
                                     << qint64(-1);
    }

    void meter()
    {
        QFETCH(QList<Report>, reports);
        QFETCH(qint64, rate);
        QFETCH(qint64, secondsLeft);
        TransferMeter meter;
        FileProgress last;
        for (const Report& r : reports)
            last = meter.update(r.file, r.done, r.total, r.ms);
        QCOMPARE(last.file, reports.constLast().file);
        QCOMPARE(last.done, reports.constLast().done);
        QCOMPARE(last.total, reports.constLast().total);
        QCOMPARE(last.bytesPerSecond, rate);
        QCOMPARE(last.secondsLeft, secondsLeft);
    }

    void texts_data()
    {
        QTest::addColumn<qint64>("done");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("rate");
        QTest::addColumn<qint64>("left");
        QTest::addColumn<QStringList>("shown");
        QTest::addRow("small") << qint64(256) << qint64(512) << qint64(900) << qint64(1)
                               << QStringList{"256 of 512 bytes", "900 bytes/s", "0:01 left"};
        QTest::addRow("thousands") << qint64(1536) << qint64(4096) << qint64(1150) << qint64(3)
                                   << QStringList{"1,536 of 4,096 bytes", "1,150 bytes/s", "0:03 left"};
        QTest::addRow("hours") << qint64(1) << qint64(40000000) << qint64(11520) << qint64(3723)
                               << QStringList{"1 of 40,000,000 bytes", "11,520 bytes/s", "1:02:03 left"};
        QTest::addRow("not known yet")
            << qint64(0) << qint64(0) << qint64(-1) << qint64(-1) << QStringList{"0 of 0 bytes", "", ""};
    }

    void texts()
    {
        QFETCH(qint64, done);
        QFETCH(qint64, total);
        QFETCH(qint64, rate);
        QFETCH(qint64, left);
        QFETCH(QStringList, shown);
        const FileProgress p{QStringLiteral("A.DAT"), done, total, rate, left};
        QCOMPARE((QStringList{progressBytesText(p), progressRateText(p), progressTimeLeftText(p)}), shown);
    }

    void window()
    {
        frmProgress w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Progress"));
        QVERIFY(!w.isModal());
        w.show();
        w.start(1, 5);
        QCOMPARE(w.ProgressBar1()->minimum(), 1);
        QCOMPARE(w.ProgressBar1()->maximum(), 5);
        QCOMPARE(w.ProgressBar1()->value(), 1);
        QVERIFY(w.Label1()->text().isEmpty());
        w.step(3);
        QCOMPARE(w.ProgressBar1()->value(), 3);
        w.notice(QStringLiteral("Terminated by user. Please wait a while."));
        QCOMPARE(w.Label1()->text(), QStringLiteral("Terminated by user. Please wait a while."));

        w.showFile({QStringLiteral("TRACE0001.DAT"), 1536, 4096, 1150, 3});
        QCOMPARE(w.lblFile()->text(), QStringLiteral("TRACE0001.DAT"));
        QCOMPARE(w.lblBytes()->text(), QStringLiteral("1,536 of 4,096 bytes"));
        QCOMPARE(w.lblRate()->text(), QStringLiteral("1,150 bytes/s"));
        QCOMPARE(w.lblTimeLeft()->text(), QStringLiteral("0:03 left"));
        w.transfer(QStringLiteral("NEXT.DAT"), 256, 1024); // its first report: no rate yet
        QCOMPARE(w.lblFile()->text(), QStringLiteral("NEXT.DAT"));
        QCOMPARE(w.lblBytes()->text(), QStringLiteral("256 of 1,024 bytes"));
        QVERIFY(w.lblRate()->text().isEmpty());

        // Only the copy closes it: the close box does nothing while it runs; Escape and Cancel are
        // Interruption.
        QSignalSpy cancel(&w, &frmProgress::cancelPressed);
        QVERIFY(!w.close());
        QCOMPARE(cancel.size(), 0);
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.isVisible());
        QCOMPARE(cancel.size(), 1);
        QTest::mouseClick(w.cmdCancel(), Qt::LeftButton);
        QVERIFY(w.isVisible());
        QCOMPARE(cancel.size(), 2);
        w.finish();
        QVERIFY(w.close());

        // A new start clears what the last copy left.
        w.start(1, 2);
        QVERIFY(w.Label1()->text().isEmpty());
        QVERIFY(w.lblFile()->text().isEmpty());
        QVERIFY(w.lblBytes()->text().isEmpty());
    }

    // The program's dialogs show the window over the main window and take it away at the end.
    void programDialogs()
    {
        QWidget owner;
        owner.show();
        QtDialogs dialogs(&owner);
        dialogs.transferProgress(QStringLiteral("LOST.DAT"), 1, 2); // no window: nothing shown
        QVERIFY(!owner.findChild<frmProgress*>());

        dialogs.progressOpen(1, 7);
        auto* w = owner.findChild<frmProgress*>();
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QCOMPARE(w->ProgressBar1()->maximum(), 7);
        dialogs.progressStep(4);
        QCOMPARE(w->ProgressBar1()->value(), 4);
        dialogs.progressNotice(QStringLiteral("stop"));
        QCOMPARE(w->Label1()->text(), QStringLiteral("stop"));
        dialogs.transferProgress(QStringLiteral("A.DAT"), 512, 2048);
        QCOMPARE(w->lblFile()->text(), QStringLiteral("A.DAT"));
        QCOMPARE(w->lblBytes()->text(), QStringLiteral("512 of 2,048 bytes"));
        dialogs.progressClose();
        QVERIFY(!owner.findChild<frmProgress*>());
        dialogs.progressClose(); // twice does no harm
        dialogs.progressStep(5);
    }

    void closeAllowedWhileOpen()
    {
        test::TransferRig rig;
        rig.state().CloseAllowed = true;
        ProgressOpen(rig.ctx, 1, 3);
        QVERIFY(!rig.state().CloseAllowed);
        QVERIFY(rig.dialogs.progressWindow.open);
        QCOMPARE(rig.dialogs.progressWindow.maximum, 3);
        ProgressStep(rig.ctx, 2);
        ProgressNotice(rig.ctx);
        QCOMPARE(rig.dialogs.progressWindow.notices, QStringList{"Terminated by user. Please wait a while."});
        ProgressClose(rig.ctx);
        QVERIFY(rig.state().CloseAllowed);
        QVERIFY(!rig.dialogs.progressWindow.open);
        QCOMPARE(rig.dialogs.progressWindow.steps, QList<int>{2});
    }
};

ORVALT_TEST(CopyProgressTest);
#include "CopyProgressTest.moc"
