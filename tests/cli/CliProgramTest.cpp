// The real orvalt-cli against the virtual instrument: each command, files and trees in both
// directions, existing targets, the name rules of a short-name instrument, the stored settings,
// and the exit statuses.

#include "CliRig.h"
#include "support/InstrumentProcess.h"
#include "support/MeasurementRows.h"
#include "support/TestMain.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using orvalt::test::CliResult;
using orvalt::test::CliRig;
using orvalt::test::InstrumentProcess;
using orvalt::test::readFile;
using orvalt::test::show;
using orvalt::test::treeOf;
using orvalt::test::writeFile;

namespace {

QByteArray pattern(qsizetype size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + i / 256 + seed) & 0xFF);
    return bytes;
}

// A tree with what tends to break a copy: nested and empty folders, an empty file, files of one
// block, one block and a byte, and several blocks.
void makeTree(const QString& root)
{
    writeFile(root + QStringLiteral("/EMPTY.DAT"), QByteArray());
    writeFile(root + QStringLiteral("/ONE.DAT"), pattern(256, 1));
    writeFile(root + QStringLiteral("/SUB/TWO.DAT"), pattern(257, 2));
    writeFile(root + QStringLiteral("/SUB/DEEP/THREE.DAT"), pattern(70000, 3));
    QDir().mkpath(root + QStringLiteral("/HOLLOW"));
}

// The command line's failures name what they concern, one line each, after the program's name.
bool saysOnce(const CliResult& r, const QString& text)
{
    return r.err.count(text) == 1;
}

// A pseudo-terminal for the program's standard input and standard error, so that it asks its
// questions as on a user's terminal.
class Terminal
{
public:
    Terminal()
        : m_master(::posix_openpt(O_RDWR | O_NOCTTY))
    {
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0 &&
            ::fcntl(m_master, F_SETFL, O_NONBLOCK) == 0)
            m_device = QString::fromLocal8Bit(::ptsname(m_master));
    }
    ~Terminal()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    bool isOpen() const { return !m_device.isEmpty(); }
    QString device() const { return m_device; }
    // What the program has shown so far.
    QByteArray read()
    {
        QByteArray shown;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(m_master, buffer, sizeof buffer)) > 0)
            shown.append(buffer, n);
        return shown;
    }
    void type(const QByteArray& keys)
    {
        QCOMPARE(::write(m_master, keys.constData(), keys.size()), keys.size());
    }
    bool resize(int columns)
    {
        struct winsize size = {};
        size.ws_row = 24;
        size.ws_col = static_cast<unsigned short>(columns);
        return ::ioctl(m_master, TIOCSWINSZ, &size) == 0;
    }

private:
    int m_master = -1;
    QString m_device;
};

// The program run as nobody, an ordinary user (only root can arrange it).
void asNobody(QProcess& process)
{
    process.setChildProcessModifier([] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(99);
    });
}

} // namespace

class CliProgramTest : public QObject
{
    Q_OBJECT

private:
    QStringList on(const InstrumentProcess& instrument, const QStringList& arguments) const
    {
        return QStringList{QStringLiteral("--device"), instrument.devicePath()} + arguments;
    }

private slots:
    void info_data()
    {
        QTest::addColumn<QStringList>("instrumentOptions");
        QTest::addColumn<QString>("longNames");
        QTest::addColumn<QString>("tsv");
        QTest::addRow("long names") << QStringList() << "Long names: yes (32+3)"
                                    << "yes";
        QTest::addRow("short names") << QStringList{"--short-names"} << "Long names: no (8.3)"
                                     << "no";
    }

    void info()
    {
        QFETCH(QStringList, instrumentOptions);
        QFETCH(QString, longNames);
        QFETCH(QString, tsv);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument(instrumentOptions);
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        CliResult r = cli.run(on(instrument, {"info"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out,
                 QStringLiteral("Model: KD7350\n%1\nMedia:\n  M:  INT MEM\n  1:  Card 1\n  2:  Card 2\n"
                                "  D:  FD\n")
                     .arg(longNames));
        QVERIFY(instrument.transcript().contains(QStringLiteral("CMD STS?")));

        // For a script: key and value a line, and a JSON object.
        r = cli.run(on(instrument, {"info", "--format=tsv"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(r.out,
                 QStringLiteral("model\tKD7350\nlong-names\t%1\nmedium\tM:\tINT MEM\nmedium\t1:\tCard 1\n"
                                "medium\t2:\tCard 2\nmedium\tD:\tFD\n")
                     .arg(tsv));
        r = cli.run(on(instrument, {"--format", "json", "info"}));
        QVERIFY2(r.exitCode == 0, show(r));
        const QJsonObject info = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(info.value("model").toString(), QStringLiteral("KD7350"));
        QCOMPARE(info.value("long_names").toBool(), tsv == "yes");
        QCOMPARE(info.value("media").toArray().size(), 4);
        QCOMPARE(info.value("media").toArray().at(1).toObject(),
                 (QJsonObject{{"code", "1:"}, {"name", "Card 1"}}));
    }

    // A port that cannot be opened: the two lines name the device and the system's reason and say
    // what to do, with orvalt-cli's options. A path that is not there; the instrument's port held
    // (and locked) by another program, which ends with the status to try again later; a port the
    // user may not open, the program run as an unprivileged user, the advice following the device's
    // group and mode.
    void portOpenCauses_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("group"); // of the device, for a user who may not open it
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("told");
        QTest::addRow("no such device") << "missing" << QString() << 0
                                        << "There is no device %1. The adapter may be unplugged, or another "
                                           "port may be meant: give it with --device";
        QTest::addRow("in use") << "held" << QString() << 0 << "%1 is in use by another program (";
        QTest::addRow("not permitted, dialout")
            << "nobody"
            << "dialout" << 0660
            << "You may not open %1 (Permission denied). On Linux the port belongs "
               "to the dialout group: join it with \"sudo adduser $USER dialout\", "
               "then log out and in again.";
        QTest::addRow("not permitted, another group")
            << "nobody"
            << "uucp" << 0660
            << "You may not open %1 (Permission denied). On Linux the port belongs "
               "to the uucp group: join it with \"sudo adduser $USER uucp\", "
               "then log out and in again.";
        // Joining a group cannot help: the group may not read it, or it is root's.
        QTest::addRow("not permitted, the owner alone")
            << "nobody"
            << "dialout" << 0620
            << "You may not open %1 (Permission denied). No group you could join may use it (owner root, "
               "group dialout, mode 0620): ask the administrator to give you access to it.";
        QTest::addRow("not permitted, root's group")
            << "nobody"
            << "root" << 0600
            << "You may not open %1 (Permission denied). No group you could join may use it (owner root, "
               "group root, mode 0600): ask the administrator to give you access to it.";
    }

    void portOpenCauses()
    {
        QFETCH(QString, cause);
        QFETCH(QString, group);
        QFETCH(int, mode);
        QFETCH(QString, told);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QString device = instrument.devicePath();
        QSerialPort holder(device);
        QProcess process;
        if (cause == "missing") {
            device = cli.host(QStringLiteral("no-such-device"));
        } else if (cause == "held") {
            QVERIFY(holder.open(QIODevice::ReadWrite));
        } else if (::geteuid() != 0) {
            QSKIP("only root can run the program as another user");
        } else {
            // Everything the program reads lies in the rig's folder, which the user must reach.
            QVERIFY(cli.openToEveryone());
            const struct group* owners = ::getgrnam(group.toLocal8Bit().constData());
            if (!owners)
                QSKIP("no such group here");
            const QByteArray node = QFile::encodeName(device);
            QVERIFY(::chown(node.constData(), 0, owners->gr_gid) == 0 &&
                    ::chmod(node.constData(), mode) == 0);
            asNobody(process);
        }
        cli.start(process, {"--device", device, "info"});
        const CliResult r = CliRig::finish(process);
        QVERIFY2(r.exitCode == (cause == "held" ? 75 : 1), show(r));
        QVERIFY2(
            r.err.startsWith(QStringLiteral("orvalt-cli: It failed in the connection\n") + told.arg(device)),
            show(r));
    }

    // A run ended by a signal, as an ordinary user: asked to end (kill, timeout), its terminal gone,
    // its output's reader gone (| head), or killed outright. The next run of that user still gets
    // the port: the program lets the stream go and closes its port as at a clean end, and the
    // virtual instrument clears the terminal's exclusive flag when a client goes however it went.
    // (Root is never refused by that flag, so this runs as nobody.)
    void endedBySignalLeavesThePortFree_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGPIPE") << int(SIGPIPE);
        QTest::newRow("SIGKILL") << int(SIGKILL);
    }
    void endedBySignalLeavesThePortFree()
    {
        QFETCH(int, signal);
        if (::geteuid() != 0)
            QSKIP("only root can run the program as another user");
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument({"--baud", "9600"});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(writeFile(instrument.mediumDir() + QStringLiteral("/BIG.DAT"), pattern(30000, 1)));
        // The user may open the line, as a member of the dialout group may open a serial port.
        QVERIFY(QFile::setPermissions(instrument.devicePath(), QFile::ReadOwner | QFile::WriteOwner |
                                                                   QFile::ReadGroup | QFile::WriteGroup |
                                                                   QFile::ReadOther | QFile::WriteOther));
        QVERIFY(cli.openToEveryone());

        QProcess first;
        asNobody(first);
        cli.start(first, on(instrument, {"get", "--yes", "M:\\BIG.DAT", "."}));
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            instrument.transcript().filter(QRegularExpression(QStringLiteral("^BLK 4"))).size() > 2, 30000);
        ::kill(static_cast<pid_t>(first.processId()), signal);
        const CliResult ended = CliRig::finish(first);
        if (signal != SIGKILL)
            QVERIFY2(ended.exitCode == 130, show(ended));

        // The instrument may still be sending when the run went, and looks at its line once it has.
        CliResult r;
        for (QDeadlineTimer deadline(10000); r.exitCode != 0 && !deadline.hasExpired(); QTest::qWait(100)) {
            QProcess next;
            asNobody(next);
            cli.start(next, on(instrument, {"info"}));
            r = CliRig::finish(next);
        }
        QVERIFY2(r.exitCode == 0, show(r));
    }

    // A lock file left by a run of another user that was killed (root's, say) holds the port though
    // nothing uses it, and only that user may remove it: the user is told so, and which file, not
    // that a program which has ended holds the port; and waiting mends nothing, so not 75.
    void lockLeftByAnotherUser()
    {
        if (::geteuid() != 0)
            QSKIP("only root can run the program as another user");
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument({"--baud", "9600"});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(writeFile(instrument.mediumDir() + QStringLiteral("/BIG.DAT"), pattern(30000, 1)));
        QVERIFY(QFile::setPermissions(instrument.devicePath(), QFile::ReadOwner | QFile::WriteOwner |
                                                                   QFile::ReadGroup | QFile::WriteGroup |
                                                                   QFile::ReadOther | QFile::WriteOther));
        QVERIFY(cli.openToEveryone());

        QProcess root;
        cli.start(root, on(instrument, {"get", "--yes", "M:\\BIG.DAT", "."}));
        QVERIFY(root.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            instrument.transcript().filter(QRegularExpression(QStringLiteral("^BLK 4"))).size() > 2, 30000);
        const qint64 killed = root.processId();
        ::kill(static_cast<pid_t>(killed), SIGKILL);
        CliRig::finish(root);

        QProcess user;
        asNobody(user);
        cli.start(user, on(instrument, {"info"}));
        const CliResult r = CliRig::finish(user);
        const QString lockFile = QStringLiteral("/LCK..") + QFileInfo(instrument.devicePath())
                                                                .canonicalFilePath()
                                                                .mid(5)
                                                                .replace(QLatin1Char('/'), QLatin1Char('_'));
        for (const QString& folder : {QStringLiteral("/var/lock"), QStringLiteral("/run/lock")})
            QFile::remove(folder + lockFile);
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY2(r.err.contains(QStringLiteral("is locked by orvalt-cli, process %1, which has ended without "
                                               "removing its lock file ")
                                    .arg(killed)),
                 show(r));
        QVERIFY2(r.err.contains(lockFile), show(r));
    }

    // One port under two names, a link and the device it points to: the second run is told the
    // port is in use, and by whom, instead of talking over the first.
    void samePortUnderTwoNames()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        QTemporaryDir dir;
        const QString port = dir.filePath(QStringLiteral("line"));
        InstrumentProcess instrument({"--baud", "9600", "--link", port});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(writeFile(instrument.mediumDir() + QStringLiteral("/BIG.DAT"), pattern(30000, 1)));

        QProcess first;
        cli.start(first, {"--device", port, "get", "--yes", "M:\\BIG.DAT", "."});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            instrument.transcript().filter(QRegularExpression(QStringLiteral("^BLK 4"))).size() > 2, 30000);
        const qint64 holder = first.processId();
        const CliResult second = cli.run(on(instrument, {"info"}));
        ::kill(static_cast<pid_t>(holder), SIGINT);
        QTRY_VERIFY_WITH_TIMEOUT(first.state() != QProcess::Running || first.waitForFinished(100), 30000);
        QVERIFY2(second.exitCode == 75, show(second)); // a port held by another program
        QVERIFY2(second.err.contains(QStringLiteral("is in use by another program (")), show(second));
        QVERIFY2(second.err.contains(QStringLiteral("the lock names orvalt-cli, process %1").arg(holder)),
                 show(second));
    }

    void infoOfTheRzFamily()
    {
        const QByteArray ini = "[Product]\nModel=RZ100\nMedium1=INT MEM\n";
        CliRig cli(ini);
        QVERIFY(cli.isReady());
        InstrumentProcess instrument({"--model", "RZ300", "--media-names", "INT MEM,Card 1"});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const CliResult r = cli.run(on(instrument, {"info"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(r.out,
                 QStringLiteral("Model: RZ300\nLong names: no (8.3)\nMedia:\n  M:  INT MEM\n  1:  Card 1\n"));
        // The closing raw line is not answered: the instrument records it when it has read it.
        QTRY_COMPARE_WITH_TIMEOUT(instrument.transcript().last(), QStringLiteral("RAW UTILITY FILECOPY,OFF"),
                                  10000);
        const QStringList transcript = instrument.transcript();
        QCOMPARE(transcript.first(), QStringLiteral("RAW UTILITY FILECOPY,ON"));
        QVERIFY(!transcript.contains(QStringLiteral("CMD STS?")));
        // What the instrument reported is used, not written: the settings file is the window's.
        QCOMPARE(readFile(cli.iniPath()), ini);
    }

    void storedSettingsAreTheWindows()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        cli.store(QStringLiteral("Com/Number"), QStringLiteral("2"));
        cli.store(QStringLiteral("Com2/Device"), instrument.devicePath());
        cli.store(QStringLiteral("Com1/Device"), cli.host(QStringLiteral("no-such-device")));

        CliResult r = cli.run({"info"});
        QVERIFY2(r.exitCode == 0, show(r));
        // --port picks another of the stored ports; --device replaces the chosen port's device.
        r = cli.run({"--port", "1", "info"});
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY(saysOnce(r, QStringLiteral("It failed in the connection")));
        QVERIFY(r.err.contains(QStringLiteral("no-such-device")));
        QCOMPARE(r.out, QString());
        r = cli.run({"--device", instrument.devicePath(), "--baud", "115200", "--parity", "none", "info"});
        QVERIFY2(r.exitCode == 0, show(r));

        // An instrument that answers busy: the parity the port refused at open is not the reason.
        InstrumentProcess busy({"--busy-every", "1"});
        QVERIFY2(busy.isReady(), qPrintable(busy.errorString()));
        r = cli.run({"--device", busy.devicePath(), "--parity", "even", "info"});
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY(saysOnce(r, QStringLiteral("It failed in the connection")));
        QVERIFY2(!r.err.contains(QStringLiteral("parity")), show(r));

        // A settings file that is a FIFO is never opened (that would wait for a writer): defaults.
        QVERIFY(QFile::remove(cli.iniPath()));
        QCOMPARE(::mkfifo(QFile::encodeName(cli.iniPath()).constData(), 0600), 0);
        r = cli.run({"info"});
        QVERIFY2(r.exitCode == 0 && r.out.startsWith(QStringLiteral("Model: KD7350\n")) &&
                     r.out.endsWith(QStringLiteral("Media:\n")),
                 show(r));
    }

    // Installed: the settings file is the per-user copy the window uses, made from the installed
    // default on the first run and read from then on; the prefix stays as installed.
    void installedProgramReadsTheUserCopy()
    {
        CliRig cli(orvalt::test::kDefaultIni, CliRig::Layout::Installed);
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));

        CliResult r = cli.run(on(instrument, {"info"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QVERIFY2(
            r.out.endsWith(QStringLiteral("Media:\n  M:  INT MEM\n  1:  Card 1\n  2:  Card 2\n  D:  FD\n")),
            show(r));
        QCOMPARE(readFile(cli.userIniPath()), orvalt::test::kDefaultIni);

        const QByteArray mine = "[Product]\nModel=KD7350\nMedium1=Card 2\n";
        QVERIFY(writeFile(cli.userIniPath(), mine));
        r = cli.run(on(instrument, {"info"}));
        QVERIFY2(r.out.endsWith(QStringLiteral("Media:\n  2:  Card 2\n")), show(r));
        QCOMPARE(readFile(cli.userIniPath()), mine);
        QCOMPARE(readFile(cli.iniPath()), orvalt::test::kDefaultIni);
    }

    void listing()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(writeFile(instrument.mediumDir() + QStringLiteral("/DATA/A.DAT"), pattern(12345, 0)));
        QVERIFY(writeFile(instrument.mediumDir() + QStringLiteral("/NOEXT"), "x"));

        CliResult r = cli.run(on(instrument, {"ls", "M:\\"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QStringList rows = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        rows.sort();
        QCOMPARE(rows.size(), 2);
        // The pane's columns: name, date, size in ten characters, kind.
        const QString date = QStringLiteral("\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d");
        QVERIFY2(QRegularExpression(QStringLiteral("^DATA   %1         1KB  <DIR>$").arg(date))
                     .match(rows.at(0))
                     .hasMatch(),
                 qPrintable(rows.at(0)));
        QVERIFY2(QRegularExpression(QStringLiteral("^NOEXT  %1         1KB$").arg(date))
                     .match(rows.at(1))
                     .hasMatch(),
                 qPrintable(rows.at(1)));

        r = cli.run(on(instrument, {"ls", "M:\\DATA\\"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QVERIFY2(QRegularExpression(QStringLiteral("^A.DAT  %1        12KB  DAT\n$").arg(date))
                     .match(r.out)
                     .hasMatch(),
                 show(r));
        // A file is shown as its own row.
        r = cli.run(on(instrument, {"ls", "M:\\DATA\\A.DAT"}));
        QVERIFY2(r.exitCode == 0 && r.out.startsWith(QStringLiteral("A.DAT  ")), show(r));

        // For a script: exact bytes, the date in ISO 8601, the kind; one entry a line.
        const QDateTime taken(QDate(2023, 6, 1), QTime(9, 30, 15));
        QFile a(instrument.mediumDir() + QStringLiteral("/DATA/A.DAT"));
        QVERIFY(a.open(QIODevice::ReadWrite) && a.setFileTime(taken, QFileDevice::FileModificationTime));
        a.close();
        r = cli.run(on(instrument, {"ls", "--format=tsv", "M:\\DATA"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(r.out, QStringLiteral("A.DAT\t12345\t2023-06-01T09:30:15\tfile\n"));
        r = cli.run(on(instrument, {"ls", "--format=tsv", "M:\\"}));
        rows = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        rows.sort();
        QCOMPARE(rows.size(), 2);
        const QString iso = QStringLiteral("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d");
        QVERIFY2(QRegularExpression(QStringLiteral("^DATA\t\\d+\t%1\tfolder$").arg(iso))
                     .match(rows.at(0))
                     .hasMatch(),
                 show(r));
        QVERIFY2(
            QRegularExpression(QStringLiteral("^NOEXT\t1\t%1\tfile$").arg(iso)).match(rows.at(1)).hasMatch(),
            show(r));
        r = cli.run(on(instrument, {"ls", "--format=json", "M:\\DATA\\A.DAT"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(
            QJsonDocument::fromJson(r.out.toUtf8()).array(),
            (QJsonArray{QJsonObject{
                {"name", "A.DAT"}, {"size", 12345}, {"date", "2023-06-01T09:30:15"}, {"kind", "file"}}}));

        r = cli.run(on(instrument, {"ls", "M:\\NONE"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QCOMPARE(r.err, QStringLiteral("orvalt-cli: M:\\NONE: This Path can't be chosen\n"));
        r = cli.run(on(instrument, {"ls", "7:\\"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QCOMPARE(r.err,
                 QStringLiteral(
                     "orvalt-cli: 7:\\: This medium can't be chosen\nThe instrument has no medium 7:. Press "
                     "Connection to read its media again.\n"));
    }

    void filesBothWays_data()
    {
        QTest::addColumn<int>("size");
        QTest::addRow("empty") << 0;
        QTest::addRow("one byte") << 1;
        QTest::addRow("one block") << 256;
        QTest::addRow("a block and a byte") << 257;
        QTest::addRow("many blocks") << 70000;
    }

    void filesBothWays()
    {
        QFETCH(int, size);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QByteArray content = pattern(size, size);
        QVERIFY(writeFile(cli.host(QStringLiteral("Trace.dat")), content));
        QDir().mkpath(instrument.mediumDir(QStringLiteral("1")) + QStringLiteral("/LOG"));

        CliResult r = cli.run(on(instrument, {"put", "Trace.dat", "1:\\LOG"}));
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), show(r));
        QCOMPARE(readFile(instrument.mediumDir(QStringLiteral("1")) + QStringLiteral("/LOG/Trace.dat")),
                 content);

        // Back into a folder under its own name, and to a host file of another name.
        QDir().mkpath(cli.host(QStringLiteral("back")));
        r = cli.run(on(instrument, {"get", "1:\\LOG\\Trace.dat", "back"}));
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), show(r));
        QCOMPARE(readFile(cli.host(QStringLiteral("back/Trace.dat"))), content);
        r = cli.run(on(instrument, {"get", "1:\\LOG\\Trace.dat", "renamed.bin"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(readFile(cli.host(QStringLiteral("renamed.bin"))), content);

        // cat: the bytes on standard output and nothing else, twice when named twice.
        QProcess cat;
        cli.start(cat, on(instrument, {"cat", "1:\\LOG\\Trace.dat", "1:\\LOG\\Trace.dat"}));
        QVERIFY(cat.waitForFinished(60000));
        QCOMPARE(cat.exitCode(), 0);
        QCOMPARE(cat.readAllStandardOutput(), content + content);
        QCOMPARE(cat.readAllStandardError(), QByteArray());
    }

    // cat names what it could not read on standard error and goes on with the rest; a medium is
    // refused before anything is sent.
    void catOfWhatIsNoFile()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(writeFile(instrument.mediumDir() + QStringLiteral("/DATA/A.CSV"), "a\r\n"));
        QProcess cat;
        cli.start(cat, on(instrument, {"cat", "M:\\DATA\\NONE.CSV", "M:\\DATA", "M:\\DATA\\A.CSV"}));
        QVERIFY(cat.waitForFinished(60000));
        QCOMPARE(cat.exitCode(), 1);
        QCOMPARE(cat.readAllStandardOutput(), QByteArray("a\r\n"));
        QCOMPARE(QString::fromLocal8Bit(cat.readAllStandardError()),
                 QStringLiteral(
                     "orvalt-cli: M:\\DATA\\NONE.CSV: M:\\DATA\\NONE.CSV is not on the instrument; press "
                     "Renew to see what is there.\norvalt-cli: M:\\DATA: a folder: cat reads files (get -r "
                     "copies a folder)\n"));
        const CliResult r = cli.run(on(instrument, {"cat", "1:"}));
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.startsWith(QStringLiteral("orvalt-cli: cat reads files, not a whole medium: 1:\\\n")),
                 show(r));
    }

    // A reader that goes away (head) ends cat quietly: the instrument is let go of the file, not
    // sent "DUMMY", and is ready for the next run at once.
    void catIntoAPipeClosedEarly()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(writeFile(instrument.mediumDir() + QStringLiteral("/BIG.BIN"), pattern(2000000, 7)));
        // orvalt-cli cat M:\BIG.BIN M:\BIG.BIN | head -c 10
        QProcess cat;
        QProcess head;
        cat.setStandardOutputProcess(&head);
        head.start(QStringLiteral("head"), {QStringLiteral("-c"), QStringLiteral("10")});
        cli.start(cat, on(instrument, {"cat", "M:\\BIG.BIN", "M:\\BIG.BIN"}));
        QVERIFY(head.waitForFinished(30000));
        QCOMPARE(head.readAllStandardOutput(), pattern(10, 7));
        QVERIFY(cat.waitForFinished(30000));
        QCOMPARE(cat.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cat.exitCode(), 141);
        QCOMPARE(cat.readAllStandardError(), QByteArray());
        // The commands, and each file asked for ("FRD? " in a block of kind 3, written in hex).
        QStringList exchange;
        for (const QString& line : instrument.transcript()) {
            if (line.startsWith(QLatin1String("CMD ")) || line.startsWith(QLatin1String("RAW ")))
                exchange << line;
            else if (line.startsWith(QLatin1String("BLK 3 ")) &&
                     line.section(QLatin1Char(' '), 3).startsWith(QLatin1String("4652443f20")))
                exchange << QStringLiteral("FRD?");
        }
        QCOMPARE(exchange.count(QStringLiteral("FRD?")), 1); // the second file is never asked for
        QCOMPARE(exchange.constLast(), QStringLiteral("CMD STS?"));
        QVERIFY(exchange.filter(QStringLiteral("DUMMY")).isEmpty());
        const CliResult r = cli.run(on(instrument, {"ls", "M:"}));
        QVERIFY2(r.exitCode == 0 && r.out.contains(QStringLiteral("BIG.BIN")), show(r));
    }

    void treesBothWays()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        makeTree(cli.host(QStringLiteral("Survey")));
        QVERIFY(writeFile(cli.host(QStringLiteral("LOOSE.TXT")), "loose"));
        const auto sent = treeOf(cli.host(QStringLiteral("Survey")));

        CliResult r = cli.run(on(instrument, {"put", "-r", "Survey", "LOOSE.TXT", "M:\\"}));
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), show(r));
        QCOMPARE(treeOf(instrument.mediumDir() + QStringLiteral("/Survey")), sent);
        QCOMPARE(readFile(instrument.mediumDir() + QStringLiteral("/LOOSE.TXT")), QByteArray("loose"));

        // A folder by its name into a host folder, and the same folder under a new name.
        QDir().mkpath(cli.host(QStringLiteral("fetched")));
        r = cli.run(on(instrument, {"get", "-r", "M:\\Survey", "fetched"}));
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), show(r));
        QCOMPARE(treeOf(cli.host(QStringLiteral("fetched/Survey"))), sent);
        r = cli.run(on(instrument, {"get", "-r", "M:\\Survey\\SUB", "sub-copy"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(treeOf(cli.host(QStringLiteral("sub-copy"))),
                 treeOf(cli.host(QStringLiteral("Survey/SUB"))));

        // A whole medium, into a folder that is made for it.
        r = cli.run(on(instrument, {"get", "-r", "M:", "medium"}));
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), show(r));
        QCOMPARE(treeOf(cli.host(QStringLiteral("medium"))), treeOf(instrument.mediumDir()));
        // The same with the folder written as one; a file cannot make a folder so written.
        r = cli.run(on(instrument, {"get", "-r", "M:\\", "written/"}));
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), show(r));
        QCOMPARE(treeOf(cli.host(QStringLiteral("written"))), treeOf(instrument.mediumDir()));
        r = cli.run(on(instrument, {"get", "-r", "M:\\LOOSE.TXT", "nowhere/"}));
        QVERIFY2(r.exitCode == 1 && saysOnce(r, QStringLiteral("nowhere: no such folder")), show(r));
        QVERIFY(!QFileInfo::exists(cli.host(QStringLiteral("nowhere"))));

        // A folder without -r is refused; the files beside it still go.
        r = cli.run(on(instrument, {"get", "M:\\Survey", "M:\\LOOSE.TXT", "fetched"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY(saysOnce(r, QStringLiteral("M:\\Survey: a folder: give -r")));
        QCOMPARE(readFile(cli.host(QStringLiteral("fetched/LOOSE.TXT"))), QByteArray("loose"));
    }

    void existingTargets_data()
    {
        QTest::addColumn<bool>("toInstrument");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("remoteName"); // the name the instrument keeps A.DAT under
        QTest::addColumn<QByteArray>("typed");   // the answer typed on a terminal; none: no terminal
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("replaced");
        for (bool toInstrument : {false, true}) {
            const char* way = toInstrument ? "put" : "get";
            QTest::addRow("%s, no terminal", way)
                << toInstrument << QString() << "A.DAT" << QByteArray() << 1 << false;
            QTest::addRow("%s, --no-clobber", way) << toInstrument << "--no-clobber"
                                                   << "A.DAT" << QByteArray() << 0 << false;
            QTest::addRow("%s, --yes", way) << toInstrument << "--yes"
                                            << "A.DAT" << QByteArray() << 0 << true;
            QTest::addRow("%s, stored in another case", way)
                << toInstrument << QString() << "a.dat" << QByteArray() << 1 << false;
            QTest::addRow("%s, Cancel on a terminal", way)
                << toInstrument << QString() << "A.DAT" << QByteArray("c") << 1 << false;
        }
    }

    void existingTargets()
    {
        QFETCH(bool, toInstrument);
        QFETCH(QString, option);
        QFETCH(QString, remoteName);
        QFETCH(QByteArray, typed);
        QFETCH(int, exitCode);
        QFETCH(bool, replaced);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString remoteFile = instrument.mediumDir() + QLatin1Char('/') + remoteName;
        const QString hostFile = cli.host(QStringLiteral("A.DAT"));
        QVERIFY(writeFile(toInstrument ? hostFile : remoteFile, "new"));
        QVERIFY(writeFile(toInstrument ? remoteFile : hostFile, "old"));
        QVERIFY(writeFile(
            toInstrument ? cli.host(QStringLiteral("B.DAT")) : instrument.mediumDir() + "/B.DAT", "b"));

        QStringList arguments = toInstrument ? QStringList{"-v", "put", "A.DAT", "B.DAT", "M:\\"}
                                             : QStringList{"-v", "get", "M:\\A.DAT", "M:\\B.DAT", "."};
        if (!option.isEmpty())
            arguments.prepend(option);
        CliResult r;
        if (typed.isEmpty()) {
            r = cli.run(on(instrument, arguments));
        } else {
            Terminal terminal;
            QVERIFY(terminal.isOpen());
            QProcess process;
            process.setStandardInputFile(terminal.device());
            process.setStandardErrorFile(terminal.device());
            cli.start(process, on(instrument, arguments));
            QByteArray shown;
            QTRY_VERIFY_WITH_TIMEOUT((shown += terminal.read()).contains("[c] Cancel? "), 30000);
            terminal.type(typed + "\n");
            r = CliRig::finish(process);
            r.err = QString::fromLocal8Bit(shown + terminal.read());
        }
        QVERIFY2(r.exitCode == exitCode, show(r));
        QCOMPARE(readFile(toInstrument ? remoteFile : hostFile),
                 replaced ? QByteArray("new") : QByteArray("old"));
        // The other item is copied whatever became of the first, unless the question was cancelled.
        QCOMPARE(
            readFile(toInstrument ? instrument.mediumDir() + "/B.DAT" : cli.host(QStringLiteral("B.DAT"))),
            typed == "c" ? QByteArray("<missing>") : QByteArray("b"));
        QCOMPARE(r.err.contains(QStringLiteral("A.DAT Do you want to replace it?")), exitCode == 1);
        // -v tells each file copied and the one kept, in order.
        QString told = replaced ? QStringLiteral("copied A.DAT (3 bytes)\n")
                       : option == "--no-clobber"
                           ? QStringLiteral("skipped A.DAT: it exists (--no-clobber)\n")
                           : QString();
        if (typed != "c")
            told += QStringLiteral("copied B.DAT (1 byte)\n");
        QCOMPARE(r.out, told);
    }

    void insideTheInstrument()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString m = instrument.mediumDir();
        const QString card = instrument.mediumDir(QStringLiteral("1"));
        QVERIFY(writeFile(m + QStringLiteral("/DATA/A.DAT"), "a"));
        QVERIFY(writeFile(m + QStringLiteral("/DATA/SUB/B.DAT"), "b"));

        CliResult r = cli.run(on(instrument, {"mkdir", "1:\\BACKUP"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QVERIFY(QFileInfo(card + QStringLiteral("/BACKUP")).isDir());
        r = cli.run(on(instrument, {"mkdir", "1:\\BACKUP"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY(saysOnce(r, QStringLiteral("1:\\BACKUP: The folder already exists")));
        r = cli.run(on(instrument, {"mkdir", "1:\\BAD NAME"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY(saysOnce(r, QStringLiteral("This Folder can't be handled with the measurement device")));

        // cp: into a folder, under a new name, and a folder across media.
        r = cli.run(on(instrument, {"cp", "M:\\DATA\\A.DAT", "1:\\BACKUP"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(readFile(card + QStringLiteral("/BACKUP/A.DAT")), QByteArray("a"));
        r = cli.run(on(instrument, {"cp", "M:\\DATA\\A.DAT", "M:\\DATA\\C.DAT"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(readFile(m + QStringLiteral("/DATA/C.DAT")), QByteArray("a"));
        r = cli.run(on(instrument, {"cp", "M:\\DATA\\SUB", "1:\\BACKUP"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(readFile(card + QStringLiteral("/BACKUP/SUB/B.DAT")), QByteArray("b"));
        QVERIFY(instrument.transcript().contains(QStringLiteral("CMD CPY 0,/DATA/SUB/,1,/BACKUP/SUB/")));
        // A name the instrument's rules refuse is told with the name dialog's texts.
        r = cli.run(on(instrument, {"cp", "M:\\DATA\\A.DAT", "M:\\DATA\\NOEXT"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY(r.err.contains(QStringLiteral("Change the filename.  32+3 format")));
        QVERIFY(!QFileInfo::exists(m + QStringLiteral("/DATA/NOEXT")));

        // mv: a rename, a move into a folder, and a file in the way only with --yes.
        r = cli.run(on(instrument, {"mv", "M:\\DATA\\C.DAT", "M:\\DATA\\D.DAT"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QVERIFY(QFileInfo::exists(m + QStringLiteral("/DATA/D.DAT")) &&
                !QFileInfo::exists(m + "/DATA/C.DAT"));
        r = cli.run(on(instrument, {"mv", "M:\\DATA\\D.DAT", "M:\\DATA\\SUB"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QVERIFY(QFileInfo::exists(m + QStringLiteral("/DATA/SUB/D.DAT")));
        r = cli.run(on(instrument, {"mv", "M:\\DATA\\A.DAT", "M:\\DATA\\SUB\\B.DAT"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QCOMPARE(readFile(m + QStringLiteral("/DATA/SUB/B.DAT")), QByteArray("b"));
        r = cli.run(on(instrument, {"--yes", "mv", "M:\\DATA\\A.DAT", "M:\\DATA\\SUB\\B.DAT"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(readFile(m + QStringLiteral("/DATA/SUB/B.DAT")), QByteArray("a"));
        QVERIFY(!QFileInfo::exists(m + QStringLiteral("/DATA/A.DAT")));

        // rm: a folder needs -r; what is missing is told and the rest still goes.
        r = cli.run(on(instrument, {"rm", "M:\\DATA\\SUB"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY(QFileInfo(m + QStringLiteral("/DATA/SUB")).isDir());
        r = cli.run(on(instrument, {"rm", "M:\\DATA\\NONE.DAT", "1:\\BACKUP\\A.DAT"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY(saysOnce(r, QStringLiteral("M:\\DATA\\NONE.DAT: This Path can't be chosen")));
        QVERIFY(!QFileInfo::exists(card + QStringLiteral("/BACKUP/A.DAT")));
        r = cli.run(on(instrument, {"rm", "-r", "M:\\DATA\\SUB", "1:\\BACKUP"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QVERIFY(!QFileInfo::exists(m + QStringLiteral("/DATA/SUB")));
        QVERIFY(!QFileInfo::exists(card + QStringLiteral("/BACKUP")));
    }

    // A command the instrument refuses with a reason tells the reason on a second line, as a refused
    // file write does: a new folder on a full medium.
    void refusalSaysWhy()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument({QStringLiteral("--full")});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const CliResult r = cli.run(on(instrument, {"mkdir", "M:\\NEW"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY2(
            saysOnce(r, QStringLiteral("MKDR Error 160\nThe medium INT MEM is full. Delete files on it, or "
                                       "choose another medium.")),
            show(r));
    }

    // put -r names everything of the folder it did not send, with its cause: a sub-folder that
    // cannot be read (which arrives empty), a FIFO, a link to a device, a link to nothing; and
    // exits 1. The program runs as an unprivileged user, for whom a folder can be unreadable.
    void putTreeNamesWhatItLeftOut()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString survey = cli.host(QStringLiteral("Survey"));
        QVERIFY(writeFile(survey + QStringLiteral("/A.DAT"), "a"));
        QVERIFY(writeFile(survey + QStringLiteral("/LOCKED/B.DAT"), "b"));
        QCOMPARE(::mkfifo(QFile::encodeName(survey + QStringLiteral("/PIPE")).constData(), 0666), 0);
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), survey + QStringLiteral("/NULL.DAT")));
        QVERIFY(QFile::link(survey + QStringLiteral("/GONE.DAT"), survey + QStringLiteral("/BROKEN.DAT")));
        QProcess process;
        if (::geteuid() == 0) {
            QVERIFY(cli.openToEveryone());
            QVERIFY(QFile::setPermissions(instrument.devicePath(), QFile::ReadOwner | QFile::WriteOwner |
                                                                       QFile::ReadGroup | QFile::WriteGroup |
                                                                       QFile::ReadOther | QFile::WriteOther));
            asNobody(process);
        }
        QVERIFY(QFile::setPermissions(survey + QStringLiteral("/LOCKED"), QFileDevice::Permissions()));
        cli.start(process, on(instrument, {"put", "-r", "Survey", "M:\\"}));
        const CliResult r = CliRig::finish(process);
        QFile::setPermissions(survey + QStringLiteral("/LOCKED"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(r.exitCode == 1, show(r));
        QCOMPARE(readFile(instrument.mediumDir() + QStringLiteral("/Survey/A.DAT")), QByteArray("a"));
        const QString at = QDir::toNativeSeparators(survey) + QDir::separator();
        for (const QString& told : {at + "LOCKED: the folder cannot be read; not copied",
                                    at + "PIPE: a device, FIFO or socket, not a file; not copied",
                                    at + "NULL.DAT: a link to a device, FIFO or socket; not copied",
                                    at + "BROKEN.DAT: a link to something that is not there; not copied"})
            QVERIFY2(saysOnce(r, told), show(r));
    }

    // Two host files whose names differ only in case would land on one instrument file, the second
    // over the first, even with --yes: the second is not sent, and said so.
    void putOfNamesThatDifferOnlyInCase_data()
    {
        QTest::addColumn<bool>("tree");
        QTest::addRow("two files") << false;
        QTest::addRow("inside a folder") << true;
    }

    void putOfNamesThatDifferOnlyInCase()
    {
        QFETCH(bool, tree);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(writeFile(cli.host(QStringLiteral("F/T.DAT")), "one"));
        QVERIFY(writeFile(cli.host(QStringLiteral("F/t.dat")), "two"));
        const CliResult r =
            cli.run(on(instrument, tree ? QStringList{"--yes", "put", "-r", "F", "M:\\"}
                                        : QStringList{"--yes", "put", "F/T.DAT", "F/t.dat", "M:\\"}));
        QVERIFY2(r.exitCode == 1, show(r));
        const QString folder = instrument.mediumDir() + (tree ? QStringLiteral("/F") : QString());
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"T.DAT"});
        QCOMPARE(readFile(folder + QStringLiteral("/T.DAT")), QByteArray("one"));
        QVERIFY2(saysOnce(r, QDir::toNativeSeparators(cli.host(QStringLiteral("F/t.dat"))) +
                                 QStringLiteral(": its name differs only in case from one this copy sent")),
                 show(r));
    }

    // A rename that only changes letter case is a rename of the one entry: no question about an
    // entry in the way, no "FDL " (which, matching without regard to case, would delete the entry
    // itself). A medium that cannot rename in place gets it through a temporary name.
    void renameThatOnlyChangesCase_data()
    {
        QTest::addColumn<QStringList>("instrumentOptions");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addRow("file in place") << QStringList() << "TOP.TXT"
                                       << "top.txt";
        QTest::addRow("file through a temporary name") << QStringList{"--no-case-rename"} << "TOP.TXT"
                                                       << "top.txt";
        QTest::addRow("folder in place") << QStringList() << "DATA"
                                         << "Data";
        QTest::addRow("folder through a temporary name") << QStringList{"--no-case-rename"} << "DATA"
                                                         << "Data";
    }

    void renameThatOnlyChangesCase()
    {
        QFETCH(QStringList, instrumentOptions);
        QFETCH(QString, from);
        QFETCH(QString, to);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument(instrumentOptions);
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString m = instrument.mediumDir();
        const bool folder = !from.contains('.');
        QVERIFY(writeFile(m + "/" + (folder ? from + "/IN.DAT" : from), "measured"));
        const CliResult r = cli.run(on(instrument, {"mv", "M:\\" + from, "M:\\" + to}));
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(QDir(m).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{to});
        QCOMPARE(readFile(m + "/" + (folder ? to + "/IN.DAT" : to)), QByteArray("measured"));
        for (const QString& line : instrument.transcript())
            QVERIFY2(!line.startsWith("CMD FDL"), qPrintable(line));
    }

    void format()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(writeFile(instrument.mediumDir(QStringLiteral("2")) + QStringLiteral("/X/A.DAT"), "a"));
        QVERIFY(writeFile(instrument.mediumDir() + QStringLiteral("/KEEP.DAT"), "k"));

        CliResult r = cli.run(on(instrument, {"format", "2:"}));
        QCOMPARE(r.exitCode, 2);
        QVERIFY(QFileInfo::exists(instrument.mediumDir(QStringLiteral("2")) + QStringLiteral("/X/A.DAT")));
        r = cli.run(on(instrument, {"--yes", "format", "2:"}));
        QVERIFY2(r.exitCode == 0, show(r));
        QVERIFY(instrument.transcript().contains(QStringLiteral("CMD FMT 3")));
        QVERIFY(QDir(instrument.mediumDir(QStringLiteral("2"))).isEmpty());
        QVERIFY(QFileInfo::exists(instrument.mediumDir() + QStringLiteral("/KEEP.DAT")));
        // A medium without a command code cannot be formatted.
        r = cli.run(on(instrument, {"--yes", "format", "A:"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY(saysOnce(r, QStringLiteral("It is only a measurement device drive to complete a format")));
    }

    void shortNameInstrument()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument({"--short-names"});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(writeFile(cli.host(QStringLiteral("report.dat")), "report"));
        QVERIFY(writeFile(cli.host(QStringLiteral("longfilename.dat")), "long"));
        QVERIFY(writeFile(cli.host(QStringLiteral("lower/X.DAT")), "x"));

        const CliResult r =
            cli.run(on(instrument, {"put", "-r", "longfilename.dat", "report.dat", "lower", "M:\\"}));
        QVERIFY2(r.exitCode == 1, show(r));
        // The short name serves where it is the same name in capitals.
        QCOMPARE(QDir(instrument.mediumDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"REPORT.DAT"});
        QCOMPARE(readFile(instrument.mediumDir() + QStringLiteral("/REPORT.DAT")), QByteArray("report"));
        // Otherwise the name dialog's texts tell what a name needs, and the file is not sent.
        QVERIFY2(
            r.err.contains(QStringLiteral(": LONGFI~1.DAT\nThe character which can be used for the name of "
                                          "the measurement device\nChange the filename.  8.3 format\n"
                                          "12345678.DAT\nA to Z  0 to 9 . ! # $ & % ' ( ) ^ @ _ { }\n")),
            show(r));
        QVERIFY(
            saysOnce(r, QStringLiteral("lower: This Folder can't be handled with the measurement device")));
    }

    void interruptionFinishesTheFileInHand()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        // A paced line, so that the first file is still on its way when Ctrl+C comes.
        InstrumentProcess instrument({"--baud", "38400"});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QByteArray first = pattern(8000, 1);
        QVERIFY(writeFile(instrument.mediumDir() + QStringLiteral("/A.DAT"), first));
        QVERIFY(writeFile(instrument.mediumDir() + QStringLiteral("/B.DAT"), pattern(8000, 2)));

        QProcess process;
        cli.start(process, on(instrument, {"get", "M:\\A.DAT", "M:\\B.DAT", "."}));
        QVERIFY(process.waitForStarted());
        const QString asked =
            QStringLiteral("BLK 3 10 ") + QString::fromLatin1(QByteArray("FRD? A.DAT").toHex());
        QTRY_VERIFY_WITH_TIMEOUT(instrument.transcript().contains(asked), 30000);
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        const CliResult r = CliRig::finish(process);
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY(saysOnce(r, QStringLiteral("Terminated by user. Please wait a while.")));
        // The file never started is named, so that nobody takes it for fetched.
        QVERIFY2(saysOnce(r, QStringLiteral("M:\\B.DAT: not started")), show(r));
        QCOMPARE(readFile(cli.host(QStringLiteral("A.DAT"))), first);
        QVERIFY(!QFileInfo::exists(cli.host(QStringLiteral("B.DAT"))));
        QVERIFY(!instrument.transcript().contains(QStringLiteral("BLK 3 10 ") +
                                                  QString::fromLatin1(QByteArray("FRD? B.DAT").toHex())));
    }

    // A second Ctrl+C drops the file in hand at once, on both sides, and ends the program the way
    // a shell reports Ctrl+C (130): the old contents kept, no part of the file left anywhere. A
    // measurement file, compressed as by default and in plain blocks.
    void secondInterruptionDropsTheFileInHand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("packed");
        QTest::addRow("get, compressed") << "get" << true;
        QTest::addRow("get, plain") << "get" << false;
        QTest::addRow("put, compressed") << "put" << true;
        QTest::addRow("put, plain") << "put" << false;
    }

    void secondInterruptionDropsTheFileInHand()
    {
        QFETCH(QString, command);
        QFETCH(bool, packed);
        CliRig cli;
        QVERIFY(cli.isReady());
        const bool get = command == QLatin1String("get");
        InstrumentProcess instrument({"--baud", "9600", packed ? "--transcript-packed" : "--no-pack"});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString source =
            get ? instrument.mediumDir() + QStringLiteral("/BIG.DAT") : cli.host(QStringLiteral("BIG.DAT"));
        const QString target =
            get ? cli.host(QStringLiteral("BIG.DAT")) : instrument.mediumDir() + QStringLiteral("/BIG.DAT");
        QVERIFY(writeFile(source, orvalt::test::measurementRows(30000, 1)));
        QVERIFY(writeFile(target, "old contents"));

        QProcess process;
        cli.start(process, on(instrument, get ? QStringList{"get", "--yes", "M:\\BIG.DAT", "."}
                                              : QStringList{"put", "--yes", "BIG.DAT", "M:\\"}));
        QVERIFY(process.waitForStarted());
        // The blocks of the file on the line: plain ones (not the request that opens the read), or
        // those of the compressed stream.
        const QRegularExpression onTheLine(packed ? QStringLiteral("^PAK ") : QStringLiteral("^BLK [0124] "));
        auto blocks = [&instrument, &onTheLine] {
            return static_cast<int>(instrument.transcript().filter(onTheLine).size());
        };
        QTRY_VERIFY_WITH_TIMEOUT(blocks() > 5, 30000);
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        // Two signals at once would be one: the second goes once the first was taken.
        process.setReadChannel(QProcess::StandardError);
        QTRY_VERIFY_WITH_TIMEOUT(process.peek(1 << 16).contains("Terminated by user"), 30000);
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        const int blocksAtStop = blocks();
        const CliResult r = CliRig::finish(process);
        QVERIFY2(r.exitCode == 130, show(r));
        // The block in hand, and the three the link may have had in flight in its window at 9600
        // baud (about a second of line time).
        QVERIFY2(blocks() - blocksAtStop <= 4, qPrintable(QString::number(blocks() - blocksAtStop)));
        QCOMPARE(readFile(target), QByteArray("old contents"));
        QCOMPARE(QDir(QFileInfo(target).absolutePath())
                     .entryList(QDir::Files | QDir::Hidden)
                     .filter(QStringLiteral("BIG")),
                 QStringList{"BIG.DAT"});
        QVERIFY2(saysOnce(r, QStringLiteral(
                                 "Stopping now. The file in hand is not kept, unless all of it has gone "
                                 "already.")),
                 show(r));
        // And which file that was, once it is known to be dropped.
        QVERIFY2(saysOnce(r, (get ? QStringLiteral("M:\\BIG.DAT") : QDir::toNativeSeparators(source)) +
                                 QStringLiteral(": stopped by the user; not copied, what was there is kept")),
                 show(r));
        // The line was left in order: the next command is answered.
        QVERIFY(writeFile(cli.host(QStringLiteral("NEXT.DAT")), "next"));
        const CliResult next = cli.run(on(instrument, {"put", "NEXT.DAT", "M:\\"}));
        QVERIFY2(next.exitCode == 0, show(next));
        QCOMPARE(readFile(instrument.mediumDir() + QStringLiteral("/NEXT.DAT")), QByteArray("next"));
    }

    // The progress line keeps within the terminal's width, whatever the name, and follows the
    // terminal when it is resized: a wider one shows the job's figures too.
    void progressFitsTheTerminal()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        // Plain blocks: compressed, the file would arrive in a few bursts, each one redraw.
        InstrumentProcess instrument({"--baud", "38400", "--no-pack"});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString name = QStringLiteral("NORTH_PIER_INSPECTION_2026.CSV");
        QVERIFY(writeFile(instrument.mediumDir() + QLatin1Char('/') + name, pattern(40000, 1)));
        Terminal terminal;
        QVERIFY(terminal.isOpen() && terminal.resize(40));
        QProcess process;
        process.setStandardErrorFile(terminal.device());
        cli.start(process, on(instrument, {"get", "M:\\" + name, "."}));
        QByteArray narrow;
        QTRY_VERIFY_WITH_TIMEOUT((narrow += terminal.read()).count('\r') >= 3, 30000);
        QVERIFY(terminal.resize(100));
        ::kill(static_cast<pid_t>(process.processId()), SIGWINCH);
        QByteArray wide;
        QTRY_VERIFY_WITH_TIMEOUT((wide += terminal.read()).contains("of 1 file,"), 30000);
        const CliResult r = CliRig::finish(process);
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(readFile(cli.host(name)), pattern(40000, 1));
        const auto lines = [](const QByteArray& shown) {
            return QString::fromLocal8Bit(shown)
                .remove(QStringLiteral("\x1b[K"))
                .split(QRegularExpression("[\r\n]"));
        };
        for (const QString& line : lines(narrow)) {
            QVERIFY2(line.size() < 40, qPrintable(line));
            QVERIFY2(!line.contains(QStringLiteral("of 1 file,")), qPrintable(line));
        }
        // The file's name shortened to its end, the bytes kept.
        QVERIFY2(lines(narrow)
                         .filter(QRegularExpression(
                             QStringLiteral("^\\.\\.\\.[A-Z_0-9]*2026\\.CSV  [0-9,]+ of 40,000 bytes")))
                         .size() >= 2,
                 narrow.constData());
        for (const QString& line : lines(wide))
            QVERIFY2(line.size() < 100, qPrintable(line));
    }

    // The instrument goes away in the middle of the first of three files: the copy stops there,
    // says once why, and names the files it did not come to.
    void linkLostStopsTheRest()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument({"--baud", "38400"});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        for (const char* name : {"/A.DAT", "/B.DAT", "/C.DAT"})
            QVERIFY(writeFile(instrument.mediumDir() + QLatin1String(name), pattern(8000, 1)));

        QProcess process;
        cli.start(process, on(instrument, {"get", "M:\\A.DAT", "M:\\B.DAT", "M:\\C.DAT", "."}));
        QVERIFY(process.waitForStarted());
        const QString asked =
            QStringLiteral("BLK 3 10 ") + QString::fromLatin1(QByteArray("FRD? A.DAT").toHex());
        QTRY_VERIFY_WITH_TIMEOUT(instrument.transcript().contains(asked), 30000);
        instrument.process().kill();
        const CliResult r = CliRig::finish(process);
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY2(saysOnce(r, QStringLiteral("cannot be reached any more, so the copy was stopped")), show(r));
        QVERIFY2(saysOnce(r, QStringLiteral("M:\\A.DAT: not copied")), show(r));
        QVERIFY2(saysOnce(r, QStringLiteral("M:\\B.DAT: not copied")), show(r));
        QVERIFY2(saysOnce(r, QStringLiteral("M:\\C.DAT: not copied")), show(r));
        // Why the copy stopped (two lines, the cause told once), then the three files.
        QCOMPARE(r.err.count(QStringLiteral(" went away: the adapter was unplugged or the line was closed.")),
                 1);
        QCOMPARE(r.err.count(QLatin1Char('\n')), 5);
        QCOMPARE(QDir(cli.host()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // The instrument stores the file, then answers only after the time-out: put does not call it
    // "not copied"; the listing it asks for once the instrument answers again says it was written.
    void putNotConfirmedIsSettled()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument({"--stall-after-upload", "8000"});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(writeFile(cli.host(QStringLiteral("A.DAT")), pattern(700, 4)));
        const CliResult r = cli.run(on(instrument, {"put", "A.DAT", "M:\\"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY2(saysOnce(r, QStringLiteral("cannot be reached any more, so the copy was stopped")), show(r));
        QVERIFY2(saysOnce(r, QStringLiteral("M:\\A.DAT: written after all")), show(r));
        QVERIFY2(!r.err.contains(QStringLiteral("not copied")), show(r));
        QCOMPARE(readFile(instrument.mediumDir() + QStringLiteral("/A.DAT")), pattern(700, 4));
    }

    void wrongCommandLinesSendNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addRow("unknown option") << QStringList{"--colour", "ls", "M:\\"};
        QTest::addRow("malformed remote path") << QStringList{"get", "M:DATA\\A.DAT", "."};
        QTest::addRow("remote path with ..") << QStringList{"put", "a.dat", "M:\\..\\X"};
        QTest::addRow("unknown command") << QStringList{"dir", "M:\\"};
    }

    void wrongCommandLinesSendNothing()
    {
        QFETCH(QStringList, arguments);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const CliResult r = cli.run(on(instrument, arguments));
        QVERIFY2(r.exitCode == 2, show(r));
        QVERIFY(r.err.startsWith(QStringLiteral("orvalt-cli: ")));
        QVERIFY(r.err.contains(QStringLiteral("--help")));
        QCOMPARE(r.out, QString());
        QCOMPARE(instrument.transcript(), QStringList());
    }

    // Standard output that cannot be written fails the run, as in coreutils: a script must not take
    // a cut-off listing for a whole one.
    void outputThatCannotBeWritten_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addRow("ls") << QStringList{"ls", "M:\\"};
        QTest::addRow("info") << QStringList{"info"};
        QTest::addRow("sync summary") << QStringList{"sync", "-n", "M:\\", "card"};
        QTest::addRow("help") << QStringList{"--help"};
    }

    void outputThatCannotBeWritten()
    {
        QFETCH(QStringList, arguments);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        for (int i = 0; i < 300; ++i)
            QVERIFY(writeFile(instrument.mediumDir() + QStringLiteral("/FILE%1.DAT").arg(i), "x"));
        QProcess process;
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        cli.start(process, on(instrument, arguments));
        const CliResult r = CliRig::finish(process);
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY2(r.err.endsWith(QStringLiteral("orvalt-cli: write error: No space left on device\n")),
                 show(r));
        QVERIFY(saysOnce(r, QStringLiteral("write error")));
    }

    void failuresAreToldAndTheRestGoesOn()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument({"--quiet-dummy"});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(writeFile(instrument.mediumDir() + QStringLiteral("/B.DAT"), "b"));
        QDir().mkpath(cli.host(QStringLiteral("in")));

        CliResult r = cli.run(on(instrument, {"get", "M:\\A.DAT", "M:\\B.DAT", "in"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QCOMPARE(r.err, QStringLiteral("orvalt-cli: M:\\A.DAT: This Path can't be chosen\n"));
        QCOMPARE(readFile(cli.host(QStringLiteral("in/B.DAT"))), QByteArray("b"));
        // Several items, or a path written as a folder, go into a folder that is there.
        r = cli.run(on(instrument, {"get", "M:\\B.DAT", "M:\\B.DAT", "nowhere"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY(saysOnce(r, QStringLiteral("nowhere: no such folder")));
        r = cli.run(on(instrument, {"get", "M:\\B.DAT", "nowhere/"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY(!QFileInfo::exists(cli.host(QStringLiteral("nowhere"))));
        QVERIFY(instrument.transcript().count(QStringLiteral("CMD STS?")) == 1);
        // A host file that is not there.
        r = cli.run(on(instrument, {"put", "missing.dat", "M:\\"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY(saysOnce(r, QStringLiteral("could not be read (no such file)")));
        // A write the instrument refuses (a folder of that name is there) fails, though "DUMMY"
        // reports nothing after the refusal.
        QVERIFY(QDir().mkpath(instrument.mediumDir() + QStringLiteral("/OUT.DAT")));
        QVERIFY(writeFile(cli.host(QStringLiteral("OUT.DAT")), "out"));
        QVERIFY(writeFile(cli.host(QStringLiteral("NEXT.DAT")), "next"));
        r = cli.run(on(instrument, {"put", "OUT.DAT", "NEXT.DAT", "M:\\"}));
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY2(saysOnce(r, QStringLiteral("OUT.DAT: Send or Rec Error (DEVICE BUSY) -1")), show(r));
        QCOMPARE(readFile(instrument.mediumDir() + QStringLiteral("/NEXT.DAT")), QByteArray("next"));
    }
};

ORVALT_TEST(CliProgramTest);

#include "CliProgramTest.moc"
