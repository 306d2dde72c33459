// The progress window: the record of the file in hand, the window frmProgress, and the program's
// dialogs that show it.

#include "transfer/CopyProgress.h"

#include "TransferRig.h"
#include "core/AppState.h"
#include "support/TestMain.h"
#include "transfer/JobProgress.h"
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
Q_DECLARE_METATYPE(QList<JobTotals>)

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

    // The whole job from the copy's reports: item 1 is 1 file of 1,000 bytes, item 2 a zero-byte
    // file, item 3 a folder of 2 files and 600 bytes. A report is {file, done, total}; a step of -n
    // ends items 1 to n.
    void job_data()
    {
        QTest::addColumn<QList<Report>>("reports");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("perMille");
        const auto step = [](int n) {
            return Report{QString(), -n, 0, 0};
        };
        QTest::addRow("nothing yet") << QList<Report>{}
                                     << QStringList{"0 of 4 files", "0 of 1,600 bytes in all"} << 0;
        QTest::addRow("a file under way") << QList<Report>{{"A", 256, 1000, 0}, {"A", 512, 1000, 0}}
                                          << QStringList{"0 of 4 files", "512 of 1,600 bytes in all"} << 320;
        QTest::addRow("its last block") << QList<Report>{{"A", 1000, 1000, 0}}
                                        << QStringList{"1 of 4 files", "1,000 of 1,600 bytes in all"} << 625;
        QTest::addRow("a zero-byte file is a file done")
            << QList<Report>{step(1), {"Z", 0, 0, 0}}
            << QStringList{"2 of 4 files", "1,000 of 1,600 bytes in all"} << 625;
        QTest::addRow("sent again from its start, not counted twice")
            << QList<Report>{step(2), {"B", 300, 300, 0}, {"B", 100, 300, 0}, {"B", 300, 300, 0}}
            << QStringList{"3 of 4 files", "1,300 of 1,600 bytes in all"} << 812;
        QTest::addRow("grown since the count, never past it")
            << QList<Report>{step(2), {"B", 300, 300, 0}, {"C", 900, 900, 0}, {"D", 10, 10, 0}}
            << QStringList{"4 of 4 files", "1,600 of 1,600 bytes in all"} << 1000;
        QTest::addRow("an item passed over is settled at its end")
            << QList<Report>{step(3)} << QStringList{"4 of 4 files", "1,600 of 1,600 bytes in all"} << 1000;
    }

    void job()
    {
        QFETCH(QList<Report>, reports);
        QFETCH(QStringList, shown);
        QFETCH(int, perMille);
        JobProgress job;
        job.start({{1, 1000}, {1, 0}, {2, 600}});
        for (const Report& r : reports) {
            if (r.done < 0)
                job.itemsDone(static_cast<int>(-r.done));
            else
                job.transfer(r.file, r.done, r.total);
        }
        const JobFigures f = job.figures(100);
        QCOMPARE((QStringList{jobFilesText(f), jobBytesText(f)}), shown);
        QCOMPARE(jobPerMille(f), perMille);
        QCOMPARE(f.secondsLeft, (f.bytes - f.bytesDone + 99) / 100);
    }

    // Nothing to move: the bar is full only once every item is done.
    void jobOfNoBytes()
    {
        JobProgress job;
        job.start({{0, 0}, {1, 0}});
        job.itemsDone(1);
        QCOMPARE(jobPerMille(job.figures(-1)), 0);
        QVERIFY(jobTimeLeftText(job.figures(-1)).isEmpty());
        job.itemsDone(2);
        QCOMPARE(jobPerMille(job.figures(-1)), 1000);
        QCOMPARE(jobFilesText(job.figures(-1)), QStringLiteral("1 of 1 file"));
        QCOMPARE(jobTimeLeftText(job.figures(0)), QString());
        QCOMPARE(jobTimeLeftText(JobFigures{0, 2, 0, 3723 * 10, 3723, false}),
                 QStringLiteral("1:02:03 left in all"));
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
        QCOMPARE(w.lblRows()->text(), QStringLiteral("0 of 5 rows"));
        QVERIFY(w.Label1()->text().isEmpty());
        w.step(3);
        QCOMPARE(w.ProgressBar1()->value(), 3);
        QCOMPARE(w.lblRows()->text(), QStringLiteral("3 of 5 rows")); // rows 1 to 3 are done
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
        // The whole job: the rows before the bar's value are done; at the end all of it, the
        // bytes bar full and no time left shown.
        w.job({{1, 1000}, {2, 3000}, {0, 0}, {1, 0}, {0, 0}});
        QCOMPARE(w.lblJobFiles()->text(), QStringLiteral("0 of 4 files"));
        w.step(1);
        QCOMPARE(w.lblJobFiles()->text(), QStringLiteral("1 of 4 files"));
        QCOMPARE(w.lblJobBytes()->text(), QStringLiteral("1,000 of 4,000 bytes in all"));
        QCOMPARE(w.barJobBytes()->value(), 250);
        w.transfer(QStringLiteral("TREE\\B.DAT"), 1500, 1500);
        QCOMPARE(w.lblJobFiles()->text(), QStringLiteral("2 of 4 files"));
        QCOMPARE(w.barJobBytes()->value(), 625);
        w.step(5);
        QCOMPARE(w.lblJobFiles()->text(), QStringLiteral("4 of 4 files"));
        QCOMPARE(w.lblJobBytes()->text(), QStringLiteral("4,000 of 4,000 bytes in all"));
        QCOMPARE(w.barJobBytes()->value(), 1000);
        QVERIFY(w.lblJobTimeLeft()->text().isEmpty());
        QCOMPARE(w.ProgressBar1()->value(), 5);
        QCOMPARE(w.lblRows()->text(), QStringLiteral("5 of 5 rows"));

        // A long name is shortened in its middle, never cut at the window's edge; the tip has it whole.
        const QString longName =
            QStringLiteral("FIELD\\") + QString(300, QLatin1Char('X')) + QStringLiteral(".DAT");
        w.transfer(longName, 1, 2);
        QCOMPARE(w.fileName(), longName);
        QVERIFY(w.lblFile()->text().endsWith(QStringLiteral("X.DAT")));
        QVERIFY(w.lblFile()->text().startsWith(QStringLiteral("FIELD")));
        QVERIFY(w.lblFile()->fontMetrics().horizontalAdvance(w.lblFile()->text()) <=
                w.lblFile()->contentsRect().width());
        QCOMPARE(w.lblFile()->toolTip(), longName);
        // No figure is cut at the smallest width the window allows.
        w.resize(w.minimumSizeHint());
        for (QLabel* label :
             {w.lblBytes(), w.lblRate(), w.lblJobFiles(), w.lblJobBytes(), w.lblJobTimeLeft()})
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width(),
                     qPrintable(label->objectName()));

        w.finish();
        QVERIFY(w.close());

        // A new start clears what the last copy left.
        w.start(1, 2);
        QVERIFY(w.Label1()->text().isEmpty());
        QVERIFY(w.lblFile()->text().isEmpty());
        QVERIFY(w.lblBytes()->text().isEmpty());
        QVERIFY(w.lblJobFiles()->text().isEmpty());
        QCOMPARE(w.barJobBytes()->value(), 0);
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
