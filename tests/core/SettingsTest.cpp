#include "core/Settings.h"

#include "core/ResourceTexts.h"
#include "core/SettingsLocation.h"
#include "support/TempStores.h"
#include "support/TestMain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace orvalt;

namespace {

const QByteArray kInstalled = "[Settings]\nRDevID=0\n";

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

bool put(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A place for a program to lie in (<root>/<folder>/orvalt), optionally with an installed default
// at <root>/share/orvalt/orvalt.ini, and the user's configuration folder (XDG_CONFIG_HOME) in
// <root>/config while it lives.
struct ProgramPlace
{
    QTemporaryDir root;
    QByteArray savedConfigHome = qgetenv("XDG_CONFIG_HOME");
    bool hadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");

    ProgramPlace() { qputenv("XDG_CONFIG_HOME", config().toLocal8Bit()); }
    ~ProgramPlace()
    {
        if (hadConfigHome)
            qputenv("XDG_CONFIG_HOME", savedConfigHome);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    QString path(const QString& relative) const { return QDir(root.path()).filePath(relative); }
    QString config() const { return path(QStringLiteral("config")); }
    QString userCopy() const { return path(QStringLiteral("config/Orvalt/orvalt.ini")); }
    QString installedDefault() const { return path(QStringLiteral("share/orvalt/orvalt.ini")); }
};

} // namespace

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

    // A user settings store that is not a small regular file of settings is not read (a FIFO would
    // hold the program, a huge file take its memory) and never written over: the defaults stand in,
    // and the user is told once, with the file's name.
    void unusableUserStore_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addRow("FIFO") << "fifo";
        QTest::addRow("folder") << "folder";
        QTest::addRow("over 1 MB") << "large";
        QTest::addRow("not settings") << "junk";
    }

    void unusableUserStore()
    {
        QFETCH(QString, kind);
        QTemporaryDir root;
        test::ScriptedDialogs dialogs;
        Settings settings({root.path(), QStringLiteral("orvalt")}, dialogs, root.path());
        const QString file = settings.userStoreFile(QStringLiteral("orvalt"));
        QByteArray before;
        if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(file));
        } else {
            before = kind == "large" ? QByteArray(1024 * 1024 + 1, 'x')
                                     : QByteArray("[Com]\nNumber=2\n\x00\x01\xff\x02", 17);
            QVERIFY(put(file, before));
        }
        QCOMPARE(settings.get(QStringLiteral("orvalt"), QStringLiteral("Com"), QStringLiteral("Number"), 1),
                 QStringLiteral("1"));
        settings.save(QStringLiteral("orvalt"), QStringLiteral("Com"), QStringLiteral("Number"),
                      QStringLiteral("3"));
        QCOMPARE(settings.get(QStringLiteral("orvalt"), QStringLiteral("Com"), QStringLiteral("Number"), 1),
                 QStringLiteral("1"));
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(dialogs.shown.constFirst().text.contains(file));
        QCOMPARE(dialogs.shown.constFirst().icon, DialogSeam::Icon::Warning);
        const QFileInfo after(file);
        QCOMPARE(after.isDir(), kind == "folder");
        QCOMPARE(after.isFile(), kind == "large" || kind == "junk");
        if (after.isFile())
            QVERIFY(contents(file) == before);
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

    // Where the settings file lies: beside a program in a build folder or a portable copy; in the
    // user's configuration folder for a program in an installed prefix (bin/ beside share/orvalt/
    // with the default), made from that default on the first start and kept afterwards.
    void settingsFolderOfAProgram_data()
    {
        QTest::addColumn<QString>("folder");    // where the program lies
        QTest::addColumn<bool>("withDefault");  // share/orvalt/orvalt.ini exists
        QTest::addColumn<QByteArray>("before"); // the per-user copy before the start
        QTest::addColumn<bool>("perUser");      // the settings file is the per-user copy
        QTest::addColumn<QByteArray>("after");  // the per-user copy after it
        const QByteArray none = "<none>";
        const QByteArray mine = "[Product]\nModel=RZ100\n";
        QTest::newRow("build folder") << "build" << false << none << false << none;
        QTest::newRow("portable copy in a bin folder") << "bin" << false << none << false << none;
        QTest::newRow("default but no bin folder") << "tools" << true << none << false << none;
        QTest::newRow("build folder beside a user copy") << "build" << false << mine << false << mine;
        QTest::newRow("installed, first start") << "bin" << true << none << true << kInstalled;
        QTest::newRow("installed, user copy exists") << "bin" << true << mine << true << mine;
    }
    void settingsFolderOfAProgram()
    {
        QFETCH(QString, folder);
        QFETCH(bool, withDefault);
        QFETCH(QByteArray, before);
        QFETCH(bool, perUser);
        QFETCH(QByteArray, after);
        ProgramPlace place;
        const QString programDir = place.path(folder);
        QVERIFY(QDir().mkpath(programDir));
        if (withDefault)
            QVERIFY(put(place.installedDefault(), kInstalled));
        if (before != "<none>")
            QVERIFY(put(place.userCopy(), before));

        const QString chosen = settingsFolder(programDir, QStringLiteral("orvalt"));

        QCOMPARE(QDir(chosen).absolutePath(),
                 QDir(perUser ? place.path(QStringLiteral("config/Orvalt")) : programDir).absolutePath());
        QCOMPARE(contents(place.userCopy()), after);
        QVERIFY(!QFileInfo::exists(QDir(programDir).filePath(QStringLiteral("orvalt.ini"))));
        if (withDefault)
            QCOMPARE(contents(place.installedDefault()), kInstalled);
    }

    // Installed under a prefix the user may not write to (root's, read-only): the write goes to the
    // user's copy without the write-failure message, and the prefix stays as installed.
    void installedProgramWritesItsUserCopy()
    {
        ProgramPlace place;
        const QString bin = place.path(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(put(place.installedDefault(), kInstalled));
        QVERIFY(QFile::setPermissions(place.installedDefault(), QFileDevice::ReadOwner |
                                                                    QFileDevice::ReadGroup |
                                                                    QFileDevice::ReadOther));
        test::ScriptedDialogs dialogs;
        Settings settings(
            ProgramPaths{settingsFolder(bin, QStringLiteral("orvalt")), QStringLiteral("orvalt")}, dialogs,
            place.path(QStringLiteral("user")));

        QVERIFY(settings.WriteIniValue(QStringLiteral("orvalt"), QStringLiteral("Settings"),
                                       QStringLiteral("RDevID"), QStringLiteral("1")));
        QCOMPARE(dialogs.shown.size(), 0);
        QCOMPARE(contents(place.userCopy()), QByteArray("[Settings]\nRDevID=1\n"));
        QCOMPARE(contents(place.installedDefault()), kInstalled);
        QCOMPARE(QDir(bin).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }
};

ORVALT_TEST(SettingsTest);
#include "SettingsTest.moc"
