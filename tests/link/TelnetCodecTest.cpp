// The Telnet side of a device server connection without a socket: what the server sends is handed
// in, as it may arrive (split anywhere), and what comes out as data, as answers and as the
// server's COM port answers is checked.

#include "link/TelnetCodec.h"

#include "link/NetworkTransport.h"
#include "support/TestMain.h"

#include <QTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace orvalt;
using namespace orvalt::link;

namespace {

using T = TelnetCodec;

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// A device server that says what it is given to say, whatever it is asked, and closes the
// connection after when told: what ser2net in front of a pseudo-terminal never does (refuse the
// COM port option, answer another speed, stay silent).
class ScriptedServer
{
public:
    ScriptedServer(const QByteArray& says, bool closes)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listen, 1);
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, says, closes] {
            const int fd = ::accept(m_listen, nullptr, nullptr);
            if (fd < 0)
                return;
            ::send(fd, says.constData(), static_cast<size_t>(says.size()), MSG_NOSIGNAL);
            if (!closes) {
                char buffer[256];
                while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
                }
            }
            ::close(fd);
        });
    }
    ~ScriptedServer()
    {
        ::shutdown(m_listen, SHUT_RDWR);
        m_thread.join();
        ::close(m_listen);
    }
    QString device() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_port); }

private:
    int m_listen = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

QByteArray answer(int command, const QByteArray& value)
{
    return bytes({255, 250, 44, command + 100}) + T::escape(value) + bytes({255, 240});
}

const QByteArray kAgrees = bytes({255, 253, 0, 255, 251, 0, 255, 253, 44});

} // namespace

class TelnetCodecTest : public QObject
{
    Q_OBJECT

private slots:
    // What the server sends, fed one byte at a time (so every split is met), gives this data and
    // these answers; nothing of Telnet's own reaches the data.
    void receive_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("replies");
        QTest::newRow("doubled 0xFF is one data byte") << bytes({'a', 255, 255, 'b', 255, 255, 255, 255})
                                                       << bytes({'a', 255, 'b', 255, 255}) << QByteArray();
        QTest::newRow("NOP, Data Mark, AYT, GA dropped")
            << bytes({'x', 255, 241, 255, 242, 255, 246, 255, 249, 'y'}) << QByteArray("xy") << QByteArray();
        QTest::newRow("ECHO refused: our bytes never come back")
            << bytes({255, 251, 1}) << QByteArray() << bytes({255, 254, 1});
        QTest::newRow("unknown DO refused") << bytes({255, 253, 24}) << QByteArray() << bytes({255, 252, 24});
        QTest::newRow("suppress go-ahead taken both ways")
            << bytes({255, 251, 3, 255, 253, 3}) << QByteArray() << bytes({255, 253, 3, 255, 251, 3});
        QTest::newRow("DONT of an option not in force: no answer, no loop")
            << bytes({255, 254, 1, 255, 252, 1}) << QByteArray() << QByteArray();
        QTest::newRow("a repeated WILL is answered once")
            << bytes({255, 251, 3, 255, 251, 3}) << QByteArray() << bytes({255, 253, 3});
        QTest::newRow("modem state notice is no data")
            << bytes({'a', 255, 250, 44, 107, 0, 255, 240, 'b'}) << QByteArray("ab") << QByteArray();
        QTest::newRow("subnegotiation never closed: dropped, the command after read")
            << bytes({255, 250, 44, 101, 0, 255, 251, 1, 'z'}) << QByteArray("z") << bytes({255, 254, 1});
        QTest::newRow("over-long subnegotiation dropped, data after kept")
            << (bytes({255, 250, 0}) + QByteArray(5000, 'q') + bytes({255, 240, 'k'})) << QByteArray("k")
            << QByteArray();
    }
    void receive()
    {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, replies);
        TelnetCodec codec;
        QByteArray got;
        for (const char c : in)
            got += codec.receive(QByteArray(1, c));
        QCOMPARE(got, data);
        QCOMPARE(codec.takeReplies(), replies);
    }

    // The opening: BINARY both ways and COM-PORT-OPTION asked; the server's DO and WILL in answer
    // are taken without answering again. A server that sent its own requests first (as ser2net
    // does) gets no second request either.
    void negotiation()
    {
        TelnetCodec codec;
        QCOMPARE(codec.start(), bytes({255, 251, 0, 255, 253, 0, 255, 251, 44}));
        QVERIFY(!codec.binaryBothWays());
        codec.receive(bytes({255, 253, 0, 255, 251, 0, 255, 253, 44}));
        QVERIFY(codec.binaryBothWays());
        QVERIFY(codec.comPortAgreed());
        QVERIFY(!codec.refused());
        QCOMPARE(codec.takeReplies(), QByteArray());

        TelnetCodec refusing;
        refusing.start();
        refusing.receive(bytes({255, 253, 0, 255, 251, 0, 255, 254, 44}));
        QVERIFY(refusing.refused());
        QVERIFY(!refusing.comPortAgreed());
    }

    // A COM port answer, split anywhere and with a doubled 0xFF in its value, comes out whole; the
    // baud rate's four bytes are taken as they are.
    void comPortAnswer()
    {
        const QByteArray in = bytes({255, 250, 44, 101, 0, 1, 255, 255, 0, 255, 240, 'd'});
        for (int cut = 1; cut < in.size(); ++cut) {
            TelnetCodec split;
            QByteArray data = split.receive(in.left(cut));
            data += split.receive(in.mid(cut));
            const QList<T::ComPortAnswer> answers = split.takeAnswers();
            QCOMPARE(data, QByteArray("d"));
            QCOMPARE(answers.size(), 1);
            QCOMPARE(int(answers.first().command), int(T::SetBaudRate));
            QCOMPARE(answers.first().value, bytes({0, 1, 255, 0}));
        }
    }

    void escape()
    {
        QCOMPARE(T::escape(bytes({1, 255, 2, 255})), bytes({1, 255, 255, 2, 255, 255}));
        QCOMPARE(T::comPortCommand(T::SetBaudRate, bytes({0, 0, 255, 1})),
                 bytes({255, 250, 44, 1, 0, 0, 255, 255, 1, 255, 240}));
    }

    void deviceNames_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("network");
        QTest::addColumn<QString>("parsed"); // kind host port, or "-" when refused
        QTest::newRow("rfc2217") << "rfc2217://lab-7.example:4001" << true << "r lab-7.example 4001";
        QTest::newRow("tcp, upper case scheme") << "TCP://10.0.0.5:2001" << true << "t 10.0.0.5 2001";
        QTest::newRow("IPv6") << "rfc2217://[::1]:7000" << true << "r ::1 7000";
        QTest::newRow("no port") << "rfc2217://lab" << true << "-";
        QTest::newRow("empty port") << "tcp://lab:" << true << "-";
        QTest::newRow("port 0") << "tcp://lab:0" << true << "-";
        QTest::newRow("port too big") << "tcp://lab:65536" << true << "-";
        QTest::newRow("no host") << "tcp://:4001" << true << "-";
        QTest::newRow("a path after") << "tcp://lab:4001/x" << true << "-";
        QTest::newRow("IPv6 unbracketed") << "tcp://::1:4001" << true << "-";
        QTest::newRow("serial device") << "/dev/ttyUSB0" << false << "-";
    }
    void deviceNames()
    {
        QFETCH(QString, device);
        QFETCH(bool, network);
        QFETCH(QString, parsed);
        QCOMPARE(isNetworkDevice(device), network);
        const std::optional<NetworkDevice> d = parseNetworkDevice(device);
        const QString got = d ? QStringLiteral("%1 %2 %3")
                                    .arg(d->kind == NetworkDevice::Kind::Rfc2217 ? "r" : "t", d->host)
                                    .arg(d->port)
                              : QStringLiteral("-");
        QCOMPARE(got, parsed);
    }

    // A server that refuses or changes a setting, or never finishes, fails the open with the cause
    // and what it said; what 8N1 at 115200 gets back unchanged opens.
    void openAgainstServer_data()
    {
        QTest::addColumn<QByteArray>("says");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("problem");
        QTest::addColumn<QString>("reason");
        const QByteArray fine = answer(1, bytes({0, 1, 0xC2, 0})) + answer(2, bytes({8})) +
                                answer(3, bytes({1})) + answer(4, bytes({1})) + answer(5, bytes({1}));
        QTest::newRow("every setting as asked") << kAgrees + fine << false << int(PortProblem::None) << "";
        QTest::newRow("another speed answered")
            << kAgrees + answer(1, bytes({0, 0, 0x25, 0x80})) + answer(2, bytes({8})) +
                   answer(3, bytes({1})) + answer(4, bytes({1})) + answer(5, bytes({1}))
            << false << int(PortProblem::SettingRefused) << "speed 115200 asked, 9600 answered";
        QTest::newRow("parity changed, the modem line's answer apart")
            << kAgrees + answer(5, bytes({8})) + answer(1, bytes({0, 1, 0xC2, 0})) + answer(2, bytes({8})) +
                   answer(3, bytes({3})) + answer(4, bytes({1})) + answer(5, bytes({1}))
            << false << int(PortProblem::SettingRefused) << "parity none asked, even answered";
        QTest::newRow("COM port option refused")
            << bytes({255, 253, 0, 255, 251, 0, 255, 254, 44}) << false << int(PortProblem::SettingRefused)
            << "takes no line settings";
        QTest::newRow("silent") << QByteArray() << false << int(PortProblem::NoAnswer)
                                << "did not finish the Telnet negotiation";
        QTest::newRow("turned away") << kAgrees + QByteArray("\r\nPort already in use\r\n") << true
                                     << int(PortProblem::ServerBusy) << "Port already in use";
    }
    void openAgainstServer()
    {
        QFETCH(QByteArray, says);
        QFETCH(bool, closes);
        QFETCH(int, problem);
        QFETCH(QString, reason);
        ScriptedServer server(says, closes);
        NetworkTransport transport;
        transport.setConnectTimeOutMs(500);
        SerialSettings settings;
        settings.baud = 115200;
        const bool opened = transport.open(server.device(), settings);
        QCOMPARE(opened, problem == int(PortProblem::None));
        QCOMPARE(int(transport.openProblem()), problem);
        QVERIFY2(transport.systemReason().contains(reason), qPrintable(transport.systemReason()));
    }

    // One lock a server port, whichever form and case names it.
    void lockByHostAndPort()
    {
        const NetworkDevice a = *parseNetworkDevice(QStringLiteral("rfc2217://Lab:4001"));
        const NetworkDevice b = *parseNetworkDevice(QStringLiteral("tcp://lab:4001"));
        const NetworkDevice c = *parseNetworkDevice(QStringLiteral("tcp://lab:4002"));
        QCOMPARE(NetworkTransport::lockPathOf(a), NetworkTransport::lockPathOf(b));
        QVERIFY(NetworkTransport::lockPathOf(a) != NetworkTransport::lockPathOf(c));
    }
};

ORVALT_TEST(TelnetCodecTest);
#include "TelnetCodecTest.moc"
