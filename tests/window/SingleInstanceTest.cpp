#include "window/SingleInstance.h"

#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using namespace orvalt;

namespace {

// The real program, with its own user settings store and runtime folder.
struct ProgramRun
{
    QProcess process;

    ProgramRun(const QString& config, const QString& runtime)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(ORVALT_PROGRAM_PATH), {});
    }
    ~ProgramRun()
    {
        if (process.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
            process.waitForFinished(5000);
        }
    }
};

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

} // namespace

class SingleInstanceTest : public QObject
{
    Q_OBJECT

private slots:
    void lockIsPerExecutable()
    {
        QTemporaryDir dir;
        SingleInstance first(QStringLiteral("/opt/a/orvalt"), dir.path());
        SingleInstance second(QStringLiteral("/opt/a/orvalt"), dir.path());
        SingleInstance other(QStringLiteral("/opt/b/orvalt"), dir.path());
        QVERIFY(first.acquire());
        QVERIFY(!second.acquire());
        QVERIFY(other.acquire());
    }

    void secondCopyEndsWithoutTouchingTheStores()
    {
        QTemporaryDir config;
        QTemporaryDir runtime;
        QFile::setPermissions(runtime.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString ini =
            QFileInfo(QStringLiteral(ORVALT_PROGRAM_PATH)).absolutePath() + QStringLiteral("/orvalt.ini");
        const QByteArray iniBefore = contents(ini);

        ProgramRun first(config.path(), runtime.path());
        QVERIFY(first.process.waitForStarted());
        // The first copy holds the lock once its lock file exists.
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(runtime.path()).entryList({QStringLiteral("orvalt-*.lock")}).isEmpty(),
                                 20000);
        QVERIFY(first.process.state() == QProcess::Running);

        ProgramRun second(config.path(), runtime.path());
        QVERIFY(second.process.waitForFinished(20000));
        QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process.exitCode(), 0);
        QVERIFY(first.process.state() == QProcess::Running);
        QCOMPARE(QDir(config.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(contents(ini), iniBefore);
    }

    void lockOfACrashedCopyIsTakenOver()
    {
        QTemporaryDir config;
        QTemporaryDir runtime;
        {
            ProgramRun crashed(config.path(), runtime.path());
            QTRY_VERIFY_WITH_TIMEOUT(
                !QDir(runtime.path()).entryList({QStringLiteral("orvalt-*.lock")}).isEmpty(), 20000);
        } // killed without a chance to release its lock
        QVERIFY(!QDir(runtime.path()).entryList({QStringLiteral("orvalt-*.lock")}).isEmpty());
        ProgramRun next(config.path(), runtime.path());
        QVERIFY(next.process.waitForStarted());
        // It runs on instead of ending as a second copy would.
        QVERIFY(!next.process.waitForFinished(3000));
    }
};

ORVALT_TEST(SingleInstanceTest);
#include "SingleInstanceTest.moc"
