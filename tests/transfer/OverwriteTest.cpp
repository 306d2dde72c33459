// The overwrite question: CheckOverWrite through the dialog seam, and the dialog itself.

#include "TransferRig.h"
#include "panes/ListingText.h"
#include "support/TestMain.h"
#include "transfer/CheckOverWrite.h"
#include "transfer/TransferTexts.h"
#include "window/QtDialogs.h"
#include "window/frmCheckOverWrite.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace orvalt;
using orvalt::test::TransferRig;

class OverwriteTest : public QObject
{
    Q_OBJECT

private:
    static void clearPointer()
    {
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
    }

private slots:
    void cleanup() { clearPointer(); }

    void replaceAllAsksNothing()
    {
        TransferRig rig;
        rig.state().OverwriteAll = true;
        rig.state().DialogAnswer = 2;
        QCOMPARE(CheckOverWrite(rig.ctx, QStringLiteral("A.DAT"), QStringLiteral("s"), QStringLiteral("d")),
                 qint16(0));
        QVERIFY(rig.dialogs.overwriteAsked.isEmpty());
        QVERIFY(rig.state().OverwriteName.isEmpty());
    }

    void answers_data()
    {
        QTest::addColumn<int>("scripted");
        QTest::addColumn<int>("answer");
        QTest::addRow("Yes") << 0 << 0;
        QTest::addRow("Completely, Yes") << 1 << 1;
        QTest::addRow("No") << 2 << 2;
        QTest::addRow("Cancel") << 3 << 3;
        QTest::addRow("anything else is Cancel") << 7 << 3;
    }

    void answers()
    {
        QFETCH(int, scripted);
        QFETCH(int, answer);
        TransferRig rig;
        rig.statusPanel1.setText(QStringLiteral("Replacement skip"));
        rig.dialogs.overwriteAnswers = {scripted};
        const QString source = QStringLiteral("2002/05/10 12:00:00 1024Byte");
        const QString dest = QStringLiteral("2001/01/01 00:00:00 10Byte");
        QCOMPARE(CheckOverWrite(rig.ctx, QStringLiteral("A.DAT"), source, dest), qint16(answer));
        QCOMPARE(rig.state().DialogAnswer, qint16(answer));
        QCOMPARE(rig.dialogs.overwriteAsked.size(), 1);
        QCOMPARE(rig.dialogs.overwriteAsked.at(0).name, QStringLiteral("A.DAT"));
        QCOMPARE(rig.dialogs.overwriteAsked.at(0).source, source);
        QCOMPARE(rig.dialogs.overwriteAsked.at(0).destination, dest);
        QCOMPARE(rig.state().OverwriteSource, source);
        QCOMPARE(rig.state().OverwriteDest, dest);
        QCOMPARE(rig.state().OverwriteAll, answer == 1);
        QCOMPARE(rig.statusPanel1.text(),
                 answer == 1 ? QStringLiteral("Replacement") : QStringLiteral("Replacement skip"));

        // After "Completely, Yes" the next target is replaced without a question.
        if (answer == 1) {
            QCOMPARE(CheckOverWrite(rig.ctx, QStringLiteral("B.DAT"), source, dest), qint16(0));
            QCOMPARE(rig.dialogs.overwriteAsked.size(), 1);
        }
    }

    // What the question says of an item of the instrument's listing: the date, and for a file the
    // size field as it came, trimmed and cut to 20 characters, before "Byte".
    void listedItemsAreDescribed_data()
    {
        QTest::addColumn<QString>("sizeField");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("described");
        QTest::addRow("file") << " 1024 " << false << "2002/05/10 12:00:00 1024Byte";
        QTest::addRow("folder") << "0" << true << "2002/05/10 12:00:00";
        QTest::addRow("20 characters")
            << "12345678901234567890" << false << "2002/05/10 12:00:00 12345678901234567890Byte";
        QTest::addRow("21 characters")
            << "123456789012345678901" << false << "2002/05/10 12:00:00 12345678901234567890Byte";
    }
    void listedItemsAreDescribed()
    {
        QFETCH(QString, sizeField);
        QFETCH(bool, folder);
        QFETCH(QString, described);
        ListingEntry entry;
        entry.name = QStringLiteral("A.DAT");
        entry.folder = folder;
        entry.sizeField = sizeField;
        entry.dateField = QStringLiteral("2002/05/10");
        entry.timeField = QStringLiteral("12:00:00");
        QCOMPARE(TransferTexts::describeItem(entry), described);
    }

    void dialogTexts()
    {
        frmCheckOverWrite dialog(QStringLiteral("A.DAT"), QStringLiteral("2002/05/10 12:00:00 1024Byte"),
                                 QStringLiteral("2001/01/01 00:00:00 10Byte"));
        QCOMPARE(dialog.lblOverWrite()->text(), QStringLiteral("A.DAT Do you want to replace it?"));
        QCOMPARE(dialog.lblDestination()->text(),
                 QStringLiteral("Copy point file:2001/01/01 00:00:00 10Byte"));
        QCOMPARE(dialog.lblSource()->text(), QStringLiteral("Copy ex-file:2002/05/10 12:00:00 1024Byte"));
        QCOMPARE(dialog.CmdYes()->text(), QStringLiteral("Yes"));
        QCOMPARE(dialog.CmdAllYes()->text(), QStringLiteral("Completely, Yes"));
        QCOMPARE(dialog.CmdNo()->text(), QStringLiteral("No"));
        QCOMPARE(dialog.CmdCan()->text(), QStringLiteral("Cancel"));
        QVERIFY(!dialog.Picture1()->pixmap().isNull());
        QCOMPARE(dialog.answer(), 3);
        // A name is shown as it is, never read as markup.
        frmCheckOverWrite marked(QStringLiteral("<b>X</b>"), QString(), QString());
        QCOMPARE(marked.lblOverWrite()->textFormat(), Qt::PlainText);
    }

    void dialogButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("answer");
        QTest::addRow("CmdYes") << QStringLiteral("CmdYes") << 0;
        QTest::addRow("CmdAllYes") << QStringLiteral("CmdAllYes") << 1;
        QTest::addRow("CmdNo") << QStringLiteral("CmdNo") << 2;
        QTest::addRow("CmdCan") << QStringLiteral("CmdCan") << 3;
        QTest::addRow("close box") << QString() << 3;
        QTest::addRow("Escape") << QStringLiteral("Escape") << 3;
    }

    void dialogButtons()
    {
        QFETCH(QString, button);
        QFETCH(int, answer);
        QGuiApplication::setOverrideCursor(Qt::WaitCursor); // the copy behind it is busy
        frmCheckOverWrite dialog(QStringLiteral("A.DAT"), QString(), QString());
        QVERIFY(!QGuiApplication::overrideCursor()); // the default arrow while it asks
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        if (button.isEmpty())
            dialog.close();
        else if (button == QLatin1String("Escape"))
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.answer(), answer);
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor); // the copy goes on
    }

    void programDialogsShowIt()
    {
        QtDialogs dialogs;
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<frmCheckOverWrite*>(QApplication::activeModalWidget());
            if (dialog)
                dialog->CmdNo()->click();
        });
        QCOMPARE(dialogs.overwriteQuestion(QStringLiteral("A.DAT"), QString(), QString()), 2);
        dialogs.transferProgress(QStringLiteral("A.DAT"), 10, 20); // harmless without a progress window
    }
};

ORVALT_TEST(OverwriteTest);
#include "OverwriteTest.moc"
