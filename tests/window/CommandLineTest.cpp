// --help and --version of the three programs: exit 0 with their text, with no display to open a
// window on (QT_QPA_PLATFORM=xcb without DISPLAY, where a window's application object would end
// the program); a wrong option to the window's program is refused the same way.

#include "OrvaltVersion.h"
#include "support/TestMain.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void answersWithoutADisplay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // the start of standard output
        QTest::addColumn<QString>("err"); // the start of standard error
        const QString version = QStringLiteral(ORVALT_VERSION);
        const QString window = QStringLiteral(ORVALT_PROGRAM_PATH);
        QTest::newRow("orvalt --version")
            << window << QStringList{"--version"} << 0 << QStringLiteral("orvalt %1\n").arg(version) << "";
        QTest::newRow("orvalt -v") << window << QStringList{"-v"} << 0
                                   << QStringLiteral("orvalt %1\n").arg(version) << "";
        QTest::newRow("orvalt --help") << window << QStringList{"--help"} << 0 << "Usage: "
                                       << "";
        QTest::newRow("orvalt Qt option, then --help")
            << window << QStringList{"-platform", "xcb", "-reverse", "--help"} << 0 << "Usage: "
            << "";
        QTest::newRow("orvalt unknown option") << window << QStringList{"--verison"} << 2 << ""
                                               << "orvalt: Unknown option 'verison'.\nTry 'orvalt --help'.\n";
        QTest::newRow("orvalt argument") << window << QStringList{"file.dat"} << 2 << ""
                                         << "orvalt: Unexpected argument 'file.dat'.\n";
        QTest::newRow("orvalt-cli --version") << QStringLiteral(ORVALT_CLI_PATH) << QStringList{"--version"}
                                              << 0 << QStringLiteral("orvalt-cli %1\n").arg(version) << "";
        QTest::newRow("orvalt-instrument --version")
            << QStringLiteral(ORVALT_INSTRUMENT_PATH) << QStringList{"--version"} << 0
            << QStringLiteral("orvalt-instrument %1\n").arg(version) << "";
    }
    void answersWithoutADisplay()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        QVERIFY(process.waitForFinished(60000));
        const QString stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString stdErr = QString::fromLocal8Bit(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(process.exitCode() == exitCode, qPrintable(stdErr));
        QVERIFY2(stdOut.left(out.size()) == out, qPrintable(stdOut));
        QVERIFY2(stdErr.left(err.size()) == err, qPrintable(stdErr));
        if (out.isEmpty())
            QVERIFY(stdOut.isEmpty());
        // Nothing was kept: no settings, no lock of a running copy.
        QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }

    void helpListsTheToolkitOptions()
    {
        QProcess process;
        process.start(QStringLiteral(ORVALT_PROGRAM_PATH), {QStringLiteral("--help")});
        QVERIFY(process.waitForFinished(60000));
        const QString help = QString::fromLocal8Bit(process.readAllStandardOutput());
        for (const char* option : {"--version", "--platform <name>", "--style <style>", "--reverse"})
            QVERIFY2(help.contains(QLatin1String(option)), option);
    }
};

ORVALT_TEST(CommandLineTest);
#include "CommandLineTest.moc"
