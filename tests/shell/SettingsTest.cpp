#include "shell/Settings.h"

#include "shell/ResourceTexts.h"
#include "support/TempStores.h"
#include "support/TestMain.h"

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

using namespace orvalt;

class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void writeFailureShowsTheMessageAndGoesOn()
    {
        test::TempStores stores;
        QFile f(stores.iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Settings]\nRDevID=0\n");
        f.close();
        QFile::setPermissions(stores.iniPath(), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        stores.dialogs.answers.push_back(DialogSeam::Button::Cancel);

        QVERIFY(!stores.settings.WriteIniValue(QStringLiteral("orvalt"), QStringLiteral("Settings"),
                                               QStringLiteral("RDevID"), QStringLiteral("1")));
        QCOMPARE(stores.dialogs.shown.size(), 1);
        const auto& shown = stores.dialogs.shown.first();
        QCOMPARE(shown.caption, QStringLiteral("初期化ﾌｧｲﾙの書込みに失敗しました"));
        QCOMPARE(shown.text,
                 QStringLiteral("初期化ﾌｧｲﾙの書込みに失敗しました\nセクション名:Settings\nエントリ名:RDevID\n"
                                "書込みデータ:1\n\n    続行  "));
        QCOMPARE(shown.buttons, DialogSeam::Buttons(DialogSeam::Button::Ok) | DialogSeam::Button::Cancel);
        QCOMPARE(stores.settings.ReadIniValue(QStringLiteral("orvalt"), QStringLiteral("Settings"),
                                              QStringLiteral("RDevID"), QString()),
                 QStringLiteral("0"));
    }

    void userStoreKeepsBothApplications()
    {
        test::TempStores stores;
        auto& s = stores.settings;
        QCOMPARE(s.get(programTitle(), QStringLiteral("Settings"), QStringLiteral("MainLeft"), 1000),
                 QStringLiteral("1000"));
        s.save(programTitle(), QStringLiteral("Settings"), QStringLiteral("MainLeft"),
               QStringLiteral("1234.5"));
        s.save(s.exeName(), QStringLiteral("Settings"), QStringLiteral("MainLeft"), QStringLiteral("7"));
        QCOMPARE(s.get(programTitle(), QStringLiteral("Settings"), QStringLiteral("MainLeft"), 0),
                 QStringLiteral("1234.5"));
        QCOMPARE(s.getDouble(programTitle(), QStringLiteral("Settings"), QStringLiteral("MainLeft"), 0),
                 1234.5);
        QCOMPARE(s.get(s.exeName(), QStringLiteral("Settings"), QStringLiteral("MainLeft"), 0),
                 QStringLiteral("7"));
    }

    void storedNumbersThatDoNotConvertGiveTheDefault_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("number") << "3" << 3;
        QTest::newRow("blanks") << " 4 " << 4;
        QTest::newRow("text") << "abc" << 2;
        QTest::newRow("empty") << "" << 2;
        QTest::newRow("too large") << "99999999999" << 2;
        QTest::newRow("outside") << "7" << 2;
        QTest::newRow("zero") << "0" << 2;
    }
    void storedNumbersThatDoNotConvertGiveTheDefault()
    {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        test::TempStores stores;
        stores.settings.save(QStringLiteral("orvalt"), QStringLiteral("Settings"), QStringLiteral("Ldrive"),
                             stored);
        QCOMPARE(stores.settings.getInt(QStringLiteral("orvalt"), QStringLiteral("Settings"),
                                        QStringLiteral("Ldrive"), 2, 1, 6),
                 expected);
    }

    void resourceTableHoldsItsNumbers()
    {
        const QList<int> numbers = ResourceTexts::numbers();
        QCOMPARE(numbers.size(), 91);
        for (int n : {1009, 1010, 1011, 9000})
            QCOMPARE(ResourceTexts::text(n), QStringLiteral(" "));
        for (int n : {2003, 2005})
            QCOMPARE(ResourceTexts::text(n), QStringLiteral("   "));
        QCOMPARE(ResourceTexts::text(2004), QStringLiteral("   Support Software."));
        QCOMPARE(ResourceTexts::text(8100), QStringLiteral(" Do you want to replace it?"));
        QVERIFY(!ResourceTexts::contains(20));
        QVERIFY(!ResourceTexts::contains(21));
        for (int n : numbers)
            QVERIFY2(!ResourceTexts::text(n).isEmpty(), qPrintable(QString::number(n)));
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
};

ORVALT_TEST(SettingsTest);
#include "SettingsTest.moc"
