// orvalt-cli with instruments on the network: the virtual instrument's pseudo-terminal behind
// Debian's ser2net, reached as rfc2217://127.0.0.1:PORT and tcp://127.0.0.1:PORT. Every byte value
// both ways (0xFF is Telnet's escape), the line settings as the server applied them, each cause of
// a failed open, and a device server that dies mid-file.

#include "CliRig.h"
#include "link/NetworkTransport.h"
#include "support/DeviceServer.h"
#include "support/InstrumentProcess.h"
#include "support/TestMain.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <csignal>

using orvalt::test::CliResult;
using orvalt::test::CliRig;
using orvalt::test::DeviceServer;
using orvalt::test::InstrumentProcess;
using orvalt::test::readFile;
using orvalt::test::show;
using orvalt::test::writeFile;

namespace {

// Every byte value, then random bytes (which deflate cannot shrink, so the file goes as it is).
QByteArray everyByte(qsizetype randomBytes)
{
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        for (int v = 0; v < 256; ++v)
            bytes.append(static_cast<char>(v));
    bytes.append(QByteArray(256, static_cast<char>(0xFF))); // a run of escapes
    QRandomGenerator random(27);
    for (qsizetype i = 0; i < randomBytes; ++i)
        bytes.append(static_cast<char>(random.bounded(256)));
    return bytes;
}

// What stty says of a terminal's settings.
QString sttyOf(const QString& device)
{
    QProcess stty;
    stty.start(QStringLiteral("stty"), {QStringLiteral("-F"), device, QStringLiteral("-a")});
    stty.waitForFinished(10000);
    return QString::fromLocal8Bit(stty.readAllStandardOutput());
}

// ser2net lets go of the device a moment after a client left; the next client waits for that.
void settle()
{
    QThread::msleep(300);
}

} // namespace

class NetworkDeviceTest : public QObject
{
    Q_OBJECT

private slots:
    // Through either form: a put of every byte value lands whole on the instrument, the listing
    // shows it, and a get brings the same bytes back.
    void everyByteBothWays_data()
    {
        QTest::addColumn<bool>("rfc2217");
        QTest::newRow("rfc2217://") << true;
        QTest::newRow("tcp://") << false;
    }
    void everyByteBothWays()
    {
        QFETCH(bool, rfc2217);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument({QStringLiteral("--baud"), QStringLiteral("115200")});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        DeviceServer server({instrument.devicePath()});
        QVERIFY2(server.isReady(), qPrintable(server.errorString()));
        const QString device = rfc2217 ? server.rfc2217(0) : server.tcp(0);
        const QStringList line{QStringLiteral("--device"), device, QStringLiteral("--baud"),
                               QStringLiteral("115200")};

        const QByteArray bytes = everyByte(6000);
        QVERIFY(writeFile(cli.host(QStringLiteral("ALL.BIN")), bytes));
        CliResult r = cli.run(line + QStringList{"put", "ALL.BIN", "M:\\"});
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(readFile(instrument.mediumDir() + QStringLiteral("/ALL.BIN")), bytes);
        settle();
        r = cli.run(line + QStringList{"ls", "M:\\"});
        QVERIFY2(r.exitCode == 0 && r.out.contains(QStringLiteral("ALL.BIN")), show(r));
        settle();
        r = cli.run(line + QStringList{"get", "M:\\ALL.BIN", "BACK.BIN"});
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(readFile(cli.host(QStringLiteral("BACK.BIN"))), bytes);
    }

    // The dialog's line settings reach the port behind the server, as stty reads them there while
    // the connection is open; a second open of the same server port from this machine is refused
    // by its lock, naming who holds it.
    void settingsAppliedAndLocked()
    {
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        DeviceServer server({instrument.devicePath()});
        QVERIFY2(server.isReady(), qPrintable(server.errorString()));
        orvalt::link::SerialSettings settings;
        settings.baud = 57600;
        settings.stopBits = QSerialPort::TwoStop;
        orvalt::link::NetworkTransport transport;
        QVERIFY2(transport.open(server.rfc2217(0), settings), qPrintable(transport.errorString()));
        const QString stty = sttyOf(instrument.devicePath());
        QVERIFY2(stty.contains(QStringLiteral("speed 57600 baud")), qPrintable(stty));
        // A pseudo-terminal keeps 8 data bits and no parity whatever it is told (the server answers
        // what it asked for, as it does not know), so the speed and the stop bits tell.
        QVERIFY2(stty.contains(QStringLiteral(" cstopb ")), qPrintable(stty));

        CliRig cli;
        QVERIFY(cli.isReady());
        // The same server port under the other form and another case is the same instrument.
        const QString other =
            QStringLiteral("TCP://127.0.0.1:%1").arg(server.rfc2217(0).section(QLatin1Char(':'), -1));
        const CliResult r = cli.run({"--device", other, "ls", "M:\\"});
        QVERIFY2(r.exitCode == 75, show(r));
        QVERIFY2(
            r.err.contains(QStringLiteral("is in use by another program (The device is already locked; the "
                                          "lock names")),
            show(r));
    }

    // Each cause of a failed open is named, with what to do, and the exit status says whether
    // trying again later may help (75) or not (1).
    void openErrors_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("nothing listens") << "closed" << 1 << "Nothing listens at rfc2217://127.0.0.1:";
        QTest::newRow("name does not resolve")
            << "unresolved" << 1 << "The host of rfc2217://no-such-host.invalid:";
        QTest::newRow("another client served")
            << "busy" << 75 << "is serving another client; it said \"Port already in use\"";
        QTest::newRow("port left out") << "no port" << 2 << "--device takes a device on the network as";
    }
    void openErrors()
    {
        QFETCH(QString, cause);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        DeviceServer server({instrument.devicePath()});
        QVERIFY2(server.isReady(), qPrintable(server.errorString()));
        QString device = server.rfc2217(0);
        QTcpSocket other; // another program's client, on another machine as far as the server knows
        if (cause == QLatin1String("closed"))
            device = QStringLiteral("rfc2217://127.0.0.1:%1").arg(DeviceServer::freePort());
        else if (cause == QLatin1String("unresolved"))
            device = QStringLiteral("rfc2217://no-such-host.invalid:4001");
        else if (cause == QLatin1String("no port"))
            device = QStringLiteral("rfc2217://127.0.0.1");
        if (cause == QLatin1String("busy")) {
            other.connectToHost(QStringLiteral("127.0.0.1"), device.section(QLatin1Char(':'), -1).toUShort());
            QVERIFY(other.waitForConnected(5000));
            QVERIFY(other.waitForReadyRead(5000)); // the server has taken it
        }
        CliRig cli;
        QVERIFY(cli.isReady());
        const CliResult r = cli.run({"--device", device, "ls", "M:\\"});
        QVERIFY2(r.exitCode == exitCode, show(r));
        QVERIFY2(r.err.contains(said), show(r));
        if (exitCode != 2)
            QVERIFY2(r.err.startsWith(QStringLiteral("orvalt-cli: It failed in the connection\n")), show(r));
    }

    // A run stopped in the middle of a file leaves the instrument to the next run through the same
    // server port, as a serial port: Ctrl+C, which finishes the file in hand and ends; asked to end,
    // which drops it; killed outright, its lock left behind.
    void interruptedMidFile_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("whole");
        QTest::newRow("Ctrl+C") << int(SIGINT) << 1 << true;
        QTest::newRow("asked to end") << int(SIGTERM) << 130 << false;
        QTest::newRow("killed") << int(SIGKILL) << -1 << false;
    }
    void interruptedMidFile()
    {
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        QFETCH(bool, whole);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument({QStringLiteral("--baud"), QStringLiteral("115200")});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QByteArray bytes = everyByte(40000);
        QVERIFY(writeFile(instrument.mediumDir() + QStringLiteral("/BIG.BIN"), bytes));
        DeviceServer server({instrument.devicePath()});
        QVERIFY2(server.isReady(), qPrintable(server.errorString()));
        QProcess first;
        cli.start(first, {"--device", server.rfc2217(0), "get", "--yes", "M:\\BIG.BIN", "BIG.BIN"});
        QTRY_VERIFY_WITH_TIMEOUT(
            instrument.transcript().filter(QRegularExpression(QStringLiteral("^BLK 4"))).size() > 2, 30000);
        ::kill(static_cast<pid_t>(first.processId()), signal);
        const CliResult ended = CliRig::finish(first);
        QVERIFY2(ended.exitCode == exitCode, show(ended));
        if (whole)
            QCOMPARE(readFile(cli.host(QStringLiteral("BIG.BIN"))), bytes);
        else
            QVERIFY(!QFileInfo::exists(cli.host(QStringLiteral("BIG.BIN"))));

        // ser2net lets go of the line once the instrument has stopped sending.
        CliResult r;
        for (QDeadlineTimer deadline(10000); r.exitCode != 0 && !deadline.hasExpired(); QTest::qWait(200))
            r = cli.run({"--device", server.rfc2217(0), "info"});
        QVERIFY2(r.exitCode == 0, show(r));
    }

    // The device server dies in the middle of a file: the host file of that name keeps what it
    // held, and the cause is named.
    void serverLostMidFile()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument({QStringLiteral("--baud"), QStringLiteral("115200")});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(writeFile(instrument.mediumDir() + QStringLiteral("/BIG.BIN"), everyByte(120000)));
        DeviceServer server({instrument.devicePath()});
        QVERIFY2(server.isReady(), qPrintable(server.errorString()));
        const QByteArray old("the file as it was before");
        QVERIFY(writeFile(cli.host(QStringLiteral("BIG.BIN")), old));

        QProcess process;
        cli.start(process, {"--device", server.rfc2217(0), "--baud", "115200", "--yes", "get", "M:\\BIG.BIN",
                            "BIG.BIN"});
        // Once the file's blocks flow (the instrument was asked for a few), the server dies.
        QTRY_VERIFY_WITH_TIMEOUT(
            instrument.transcript().filter(QRegularExpression(QStringLiteral("^BLK 4"))).size() > 2, 30000);
        QVERIFY2(process.state() == QProcess::Running, "the file arrived before the server could die");
        server.kill();
        const CliResult r = CliRig::finish(process);
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY2(
            r.err.contains(QStringLiteral("The device server closed the connection to rfc2217://127.0.0.1:")),
            show(r));
        QCOMPARE(readFile(cli.host(QStringLiteral("BIG.BIN"))), old);
    }
};

ORVALT_TEST(NetworkDeviceTest);
#include "NetworkDeviceTest.moc"
