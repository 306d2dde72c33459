// The Telnet side of a device server connection without a socket: what the server sends is handed
// in, as it may arrive (split anywhere), and what comes out as data, as answers and as the
// server's COM port answers is checked.

#include "link/TelnetCodec.h"

#include "link/NetworkTransport.h"
#include "support/TestMain.h"

#include <QTest>

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
