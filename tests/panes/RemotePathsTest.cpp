#include "panes/RemotePaths.h"

#include "panes/TypedPath.h"
#include "support/TestMain.h"

#include <QTest>

using namespace orvalt;

class RemotePathsTest : public QObject
{
    Q_OBJECT

private slots:
    void mediumCode_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("code");
        QTest::newRow("internal memory") << QStringLiteral("M:") << QStringLiteral("0");
        QTest::newRow("card 1") << QStringLiteral("1:") << QStringLiteral("1");
        QTest::newRow("floppy") << QStringLiteral("D:") << QStringLiteral("2");
        QTest::newRow("card 2") << QStringLiteral("2:") << QStringLiteral("3");
        QTest::newRow("whole path") << QStringLiteral("M:\\DATA\\A.DAT") << QStringLiteral("0");
        QTest::newRow("drive A") << QStringLiteral("A:") << QString();
        QTest::newRow("lower case") << QStringLiteral("m:") << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void mediumCode()
    {
        QFETCH(QString, argument);
        QFETCH(QString, code);
        QCOMPARE(MediumCode(argument), code);
    }

    void pathHelpers_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("slash");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder");
        QTest::newRow("file in a folder")
            << QStringLiteral("M:\\DIR\\NAME.DAT") << QStringLiteral("M:/DIR/NAME.DAT")
            << QStringLiteral("NAME.DAT") << QStringLiteral("M:\\DIR\\");
        QTest::newRow("file at the root") << QStringLiteral("M:\\A.DAT") << QStringLiteral("M:/A.DAT")
                                          << QStringLiteral("A.DAT") << QStringLiteral("M:\\");
        QTest::newRow("root") << QStringLiteral("\\") << QStringLiteral("/") << QString()
                              << QStringLiteral("\\");
        QTest::newRow("both ends") << QStringLiteral("\\DIR\\") << QStringLiteral("/DIR/") << QString()
                                   << QStringLiteral("\\DIR\\");
        QTest::newRow("no separator") << QStringLiteral("NAME.DAT") << QStringLiteral("NAME.DAT")
                                      << QStringLiteral("NAME.DAT") << QString();
        QTest::newRow("empty") << QString() << QString() << QString() << QString();
    }
    void pathHelpers()
    {
        QFETCH(QString, path);
        QFETCH(QString, slash);
        QFETCH(QString, name);
        QFETCH(QString, folder);
        QCOMPARE(SlashPath(path), slash);
        QCOMPARE(NameOfPath(path), name);
        QCOMPARE(FolderOfPath(path), folder);
        QCOMPARE(FolderOfPath(path) + NameOfPath(path), path);
    }

    void commandArguments()
    {
        const QString path = QStringLiteral("M:\\DIR\\NAME.DAT");
        QCOMPARE(SlashPath(FolderOfPath(path).mid(2)), QStringLiteral("/DIR/"));
        QCOMPARE(SlashPath(path.mid(2)), QStringLiteral("/DIR/NAME.DAT"));
        QCOMPARE(SlashPath(QStringLiteral("\\DIR")), QStringLiteral("/DIR"));
    }

    void mediumOfCaption_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("code");
        QTest::newRow("card 2") << QStringLiteral("Card 2:") << QStringLiteral("2:");
        QTest::newRow("internal memory") << QStringLiteral("INT MEM:") << QStringLiteral("M:");
        QTest::newRow("one character") << QStringLiteral("X") << QStringLiteral("X");
        QTest::newRow("empty") << QString() << QString();
    }
    void mediumOfCaption()
    {
        QFETCH(QString, caption);
        QFETCH(QString, code);
        QCOMPARE(MediumOfCaption(caption), code);
    }

    void mediaList()
    {
        const QList<MediumInfo> list =
            orvalt::mediaList({QStringLiteral("Backup"), QStringLiteral("INT MEM"), QStringLiteral("Card 1"),
                               QStringLiteral("Extra X"), QStringLiteral("FD"), QStringLiteral("Card 2"),
                               QStringLiteral("Drive A"), QStringLiteral("Drive C")});
        QCOMPARE(list.size(), 8);
        struct Row
        {
            const char* text;
            const char* image;
            const char* code;
            const char* command;
        };
        const Row expected[] = {
            {"Backup:", "", "p:", ""},      {"INT MEM:", "INT", "M:", "0"}, {"Card 1:", "CARD", "1:", "1"},
            {"Extra X:", "CARD", "X:", ""}, {"FD:", "FD", "D:", "2"},       {"Card 2:", "CARD", "2:", "3"},
            {"Drive A:", "FD", "A:", ""},   {"Drive C:", "HDD", "C:", ""},
        };
        for (int i = 0; i < list.size(); ++i) {
            QCOMPARE(list.at(i).listText, QLatin1String(expected[i].text));
            QCOMPARE(list.at(i).imageKey, QLatin1String(expected[i].image));
            QCOMPARE(list.at(i).mediumCode, QLatin1String(expected[i].code));
            QCOMPARE(list.at(i).commandCode, QLatin1String(expected[i].command));
        }
        QVERIFY(orvalt::mediaList({}).isEmpty());
    }

    void joinPanePath_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("panePath");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::newRow("in a folder") << QStringLiteral("M:") << QStringLiteral("\\DIR")
                                     << QStringLiteral("NAME.DAT") << QStringLiteral("M:\\DIR\\NAME.DAT");
        QTest::newRow("at the root") << QStringLiteral("2:") << QStringLiteral("\\")
                                     << QStringLiteral("A.DAT") << QStringLiteral("2:\\A.DAT");
        QTest::newRow("folder form") << QStringLiteral("C:") << QStringLiteral("\\WORK") << QString()
                                     << QStringLiteral("C:\\WORK\\");
        QTest::newRow("root folder form")
            << QStringLiteral("M:") << QStringLiteral("\\") << QString() << QStringLiteral("M:\\");
        QTest::newRow("parent name") << QStringLiteral("M:") << QStringLiteral("\\DIR")
                                     << QStringLiteral("..") << QString();
        QTest::newRow("dot name") << QStringLiteral("M:") << QStringLiteral("\\DIR") << QStringLiteral(".")
                                  << QString();
        QTest::newRow("backslash in name")
            << QStringLiteral("M:") << QStringLiteral("\\") << QStringLiteral("..\\X") << QString();
        QTest::newRow("slash in name")
            << QStringLiteral("M:") << QStringLiteral("\\") << QStringLiteral("A/B") << QString();
    }
    void joinPanePath()
    {
        QFETCH(QString, code);
        QFETCH(QString, panePath);
        QFETCH(QString, name);
        QFETCH(QString, path);
        QCOMPARE(orvalt::joinPanePath(code, panePath, name), path);
    }

    // The folder a path typed into an instrument pane's box names, from the folder shown.
    void typedInstrumentFolder_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("folder"); // empty: none of the medium shown
        QTest::newRow("from the root") << "\\DATA\\SUB"
                                       << "\\LOG"
                                       << "\\DATA\\SUB";
        QTest::newRow("with slashes") << "/DATA/SUB/"
                                      << "\\"
                                      << "\\DATA\\SUB";
        QTest::newRow("below the folder shown") << "SUB"
                                                << "\\DATA"
                                                << "\\DATA\\SUB";
        QTest::newRow("below the root shown") << "SUB"
                                              << "\\"
                                              << "\\SUB";
        QTest::newRow("up") << ".."
                            << "\\DATA\\SUB"
                            << "\\DATA";
        QTest::newRow("up to the root") << "..\\."
                                        << "\\DATA"
                                        << "\\";
        QTest::newRow("above the root") << "\\DATA\\..\\.."
                                        << "\\"
                                        << "";
        QTest::newRow("the medium shown") << " m:\\LOG "
                                          << "\\DATA"
                                          << "\\LOG";
        QTest::newRow("its root") << "M:"
                                  << "\\DATA"
                                  << "\\";
        QTest::newRow("another medium") << "1:\\LOG"
                                        << "\\"
                                        << "";
    }
    void typedInstrumentFolder()
    {
        QFETCH(QString, typed);
        QFETCH(QString, current);
        QFETCH(QString, folder);
        QCOMPARE(orvalt::typedInstrumentFolder(typed, current, QStringLiteral("M:")), folder);
    }
};

ORVALT_TEST(RemotePathsTest);
#include "RemotePathsTest.moc"
