#include "core/SerialSettings.h"

#include "core/AppState.h"
#include "support/SerialStore.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

using namespace orvalt;
using namespace orvalt::SerialSettings;
using orvalt::test::SerialStore;

namespace {

using Row = std::array<int, 4>; // speed, parity, data bits, stop bits

Row rowOf(const PortLine& line)
{
    return {line.speed, line.parity, line.dataBits, line.stopBits};
}

Row rowOf(const AppState& state, int port)
{
    return {state.PortSpeed[port], state.PortParity[port], state.PortDataBits[port],
            state.PortStopBits[port]};
}

} // namespace

Q_DECLARE_METATYPE(Row)

class SerialSettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void parseSetting_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<Row>("expected");
        QTest::newRow("default") << QStringLiteral("9600,N,8,1") << Row{0, 0, 0, 0};
        QTest::newRow("lower-case parity") << QStringLiteral("38400,e,8,2") << Row{2, 1, 0, 1};
        QTest::newRow("fastest, odd") << QStringLiteral("115200,O,8,2") << Row{4, 2, 0, 1};
        QTest::newRow("57600 even") << QStringLiteral("57600,E,8,1") << Row{3, 1, 0, 0};
        QTest::newRow("speed not in list") << QStringLiteral("4800,N,8,1") << Row{0, 0, 0, 0};
        QTest::newRow("seven data bits") << QStringLiteral("9600,N,7,1") << Row{0, 0, 0, 0};
        QTest::newRow("unknown parity letter") << QStringLiteral("19200,M,8,2") << Row{1, 0, 0, 1};
        QTest::newRow("stop bits not in list") << QStringLiteral("19200,E,8,1.5") << Row{1, 1, 0, 0};
        // A string without a comma is not a setting: it reads as the default, whatever it holds.
        QTest::newRow("no comma") << QStringLiteral("57600") << Row{0, 0, 0, 0};
        QTest::newRow("other separator") << QStringLiteral("38400;E;8;2") << Row{0, 0, 0, 0};
        QTest::newRow("empty") << QString() << Row{0, 0, 0, 0};
        // Empty fields match no entry of their list and read as its first entry.
        QTest::newRow("empty speed") << QStringLiteral(",E,8,2") << Row{0, 1, 0, 1};
        QTest::newRow("empty stop bits") << QStringLiteral("19200,O,8,") << Row{1, 2, 0, 0};
        QTest::newRow("ends after parity") << QStringLiteral("38400,E") << Row{2, 1, 0, 0};
        QTest::newRow("ends at comma") << QStringLiteral("38400,") << Row{2, 0, 0, 0};
        QTest::newRow("empty parity") << QStringLiteral("19200,,8,2") << Row{1, 0, 0, 0};
    }
    void parseSetting()
    {
        QFETCH(QString, setting);
        QFETCH(Row, expected);
        QCOMPARE(rowOf(SerialSettings::parseSetting(setting)), expected);
    }

    void composeSetting_data()
    {
        QTest::addColumn<Row>("positions");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first entries") << Row{0, 0, 0, 0} << QStringLiteral("9600,N,8,1");
        QTest::newRow("even") << Row{2, 1, 0, 1} << QStringLiteral("38400,E,8,2");
        QTest::newRow("odd") << Row{4, 2, 0, 1} << QStringLiteral("115200,O,8,2");
        QTest::newRow("positions outside the lists") << Row{9, 3, 5, -1} << QStringLiteral("9600,N,8,1");
    }
    void composeSetting()
    {
        QFETCH(Row, positions);
        QFETCH(QString, expected);
        AppState state;
        state.PortSpeed[2] = static_cast<int16_t>(positions[0]);
        state.PortParity[2] = static_cast<int16_t>(positions[1]);
        state.PortDataBits[2] = static_cast<int16_t>(positions[2]);
        state.PortStopBits[2] = static_cast<int16_t>(positions[3]);
        QCOMPARE(SerialSettings::composeSetting(state, 2), expected);
    }

    // Everything the OK action can write reads back as the same positions.
    void composeThenParseIsIdentity()
    {
        AppState state;
        for (int speed = 0; speed < speedList().size(); ++speed)
            for (int parity = 0; parity < parityList().size(); ++parity)
                for (int stop = 0; stop < stopBitsList().size(); ++stop) {
                    state.PortSpeed[1] = static_cast<int16_t>(speed);
                    state.PortParity[1] = static_cast<int16_t>(parity);
                    state.PortStopBits[1] = static_cast<int16_t>(stop);
                    QCOMPARE(rowOf(SerialSettings::parseSetting(SerialSettings::composeSetting(state, 1))),
                             (Row{speed, parity, 0, stop}));
                }
    }

    void listsCarryLineValues()
    {
        QCOMPARE(speedList().at(4).text, QStringLiteral("115200"));
        QCOMPARE(speedList().at(4).lineValue, 115200);
        QCOMPARE(parityList().at(1).text, QStringLiteral("Even"));
        QCOMPARE(parityList().at(2).lineValue, int(QSerialPort::OddParity));
        QCOMPARE(stopBitsList().at(1).lineValue, int(QSerialPort::TwoStop));
        QCOMPARE(handShakeList().at(1).text, QStringLiteral("Hardware"));
        QCOMPARE(handShakeList().at(1).lineValue, int(QSerialPort::HardwareControl));
    }

    void emptyStoreGivesDefaults()
    {
        SerialStore store;
        AppState state;
        state.PortNumber = 2;
        state.PortSpeed[3] = 4;
        PortIni(state, store.settings);
        QCOMPARE(state.PortNumber, int16_t(1));
        for (int i = 1; i <= 4; ++i) {
            QCOMPARE(rowOf(state, i), (Row{0, 0, 0, 0}));
            QCOMPARE(state.PortHandShake[i], int16_t(0));
            QCOMPARE(state.PortDevice[i], defaultPortDevice(i));
        }
#ifndef Q_OS_WIN
        QCOMPARE(state.PortDevice[1], QStringLiteral("/dev/ttyS0"));
        QCOMPARE(state.PortDevice[4], QStringLiteral("/dev/ttyS3"));
#endif
    }

    void storedNumber_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("Com2") << QStringLiteral("2") << 2;
        // Com3 cannot be chosen in the dialog, but a stored 3 is kept and its settings used.
        QTest::newRow("Com3") << QStringLiteral("3") << 3;
        QTest::newRow("blanks around") << QStringLiteral(" 2 ") << 2;
        // 0 is Com4's button, which is no port; 4 has no button; 6 and more lie outside the arrays.
        QTest::newRow("zero") << QStringLiteral("0") << 1;
        QTest::newRow("four") << QStringLiteral("4") << 1;
        QTest::newRow("six") << QStringLiteral("6") << 1;
        QTest::newRow("negative") << QStringLiteral("-1") << 1;
        QTest::newRow("past 16 bits") << QStringLiteral("65538") << 1;
        QTest::newRow("not a number") << QStringLiteral("Com2") << 1;
        QTest::newRow("empty") << QString() << 1;
    }
    void storedNumber()
    {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        SerialStore store;
        store.put(QStringLiteral("Com"), QStringLiteral("Number"), stored);
        AppState state;
        PortIni(state, store.settings);
        QCOMPARE(int(state.PortNumber), expected);
        QCOMPARE(openValuesOf(state).port, expected - 1);
    }

    void storedHandShake_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("hardware") << QStringLiteral("1") << 1;
        QTest::newRow("none") << QStringLiteral("0") << 0;
        QTest::newRow("not in list") << QStringLiteral("2") << 0;
        QTest::newRow("not a number") << QStringLiteral("yes") << 0;
    }
    void storedHandShake()
    {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        SerialStore store;
        store.put(QStringLiteral("Com4"), QStringLiteral("HandShake"), stored);
        AppState state;
        PortIni(state, store.settings);
        QCOMPARE(int(state.PortHandShake[4]), expected);
    }

    void storedDevice_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected"); // empty: the port's default
        QTest::newRow("USB adapter") << QStringLiteral("/dev/ttyUSB0") << QStringLiteral("/dev/ttyUSB0");
        QTest::newRow("blanks trimmed") << QStringLiteral("  /dev/pts/7 ") << QStringLiteral("/dev/pts/7");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("blanks only") << QStringLiteral("   ") << QString();
        QTest::newRow("over-long") << QStringLiteral("/dev/") + QString(300, QLatin1Char('x')) << QString();
        QTest::newRow("longest kept")
            << QString(kMaxDeviceLength, QLatin1Char('d')) << QString(kMaxDeviceLength, QLatin1Char('d'));
        QTest::newRow("control character") << QStringLiteral("/dev/tty\nS1") << QString();
    }
    void storedDevice()
    {
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        SerialStore store;
        store.put(QStringLiteral("Com2"), QStringLiteral("Device"), stored);
        AppState state;
        PortIni(state, store.settings);
        QCOMPARE(state.PortDevice[2], expected.isEmpty() ? defaultPortDevice(2) : expected);
    }

    void readsEveryPort()
    {
        SerialStore store;
        store.put(QStringLiteral("Com"), QStringLiteral("Number"), QStringLiteral("2"));
        store.put(QStringLiteral("Com2"), QStringLiteral("Setting"), QStringLiteral("38400,e,8,2"));
        store.put(QStringLiteral("Com2"), QStringLiteral("HandShake"), QStringLiteral("1"));
        store.put(QStringLiteral("Com3"), QStringLiteral("Setting"), QStringLiteral("19200,O,8,1"));
        store.put(QStringLiteral("Com4"), QStringLiteral("Setting"), QStringLiteral("115200,E,8,2"));
        store.put(QStringLiteral("Com4"), QStringLiteral("Device"), QStringLiteral("/dev/ttyUSB3"));
        AppState state;
        PortIni(state, store.settings);
        QCOMPARE(rowOf(state, 1), (Row{0, 0, 0, 0}));
        QCOMPARE(rowOf(state, 2), (Row{2, 1, 0, 1}));
        QCOMPARE(state.PortHandShake[2], int16_t(1));
        QCOMPARE(rowOf(state, 3), (Row{1, 2, 0, 0}));
        QCOMPARE(rowOf(state, 4), (Row{4, 1, 0, 1}));
        QCOMPARE(state.PortDevice[4], QStringLiteral("/dev/ttyUSB3"));

        const SerialOpenValues open = openValuesOf(state);
        QCOMPARE(open.port, 1);
        QCOMPARE(open.speed, 2);
        QCOMPARE(open.parity, 1);
        QCOMPARE(open.dataBits, 0);
        QCOMPARE(open.stopBits, 1);
        QCOMPARE(open.handShake, 1);
        QCOMPARE(deviceOf(state), defaultPortDevice(2));
    }

    void okWritesExactlyTheKeys()
    {
        SerialStore store;
        AppState state;
        PortIni(state, store.settings);
        saveSerialSettings(state, store.settings);
        QStringList expected = {QStringLiteral("Com/Number")};
        for (int i = 1; i <= 3; ++i)
            for (const char* key : {"Setting", "HandShake", "Device"})
                expected << QStringLiteral("Com%1/%2").arg(i).arg(QLatin1String(key));
        expected.sort();
        QCOMPARE(store.keys(), expected);
        QCOMPARE(store.stored(QStringLiteral("Com"), QStringLiteral("Number")), QStringLiteral("1"));
        for (int i = 1; i <= 3; ++i) {
            const QString section = portSection(i);
            QCOMPARE(store.stored(section, QStringLiteral("Setting")), QStringLiteral("9600,N,8,1"));
            QCOMPARE(store.stored(section, QStringLiteral("HandShake")), QStringLiteral("0"));
            QCOMPARE(store.stored(section, QStringLiteral("Device")), defaultPortDevice(i));
        }
    }

    void okWritesStateAndLeavesPortFour()
    {
        SerialStore store;
        store.put(QStringLiteral("Com4"), QStringLiteral("Setting"), QStringLiteral("4800,N,8,1"));
        AppState state;
        PortIni(state, store.settings);
        state.PortNumber = 2;
        state.PortSpeed[2] = 4;
        state.PortParity[2] = 2;
        state.PortStopBits[2] = 1;
        state.PortHandShake[2] = 1;
        state.PortDevice[2] = QStringLiteral("/dev/ttyUSB0");
        state.PortSpeed[4] = 3;
        saveSerialSettings(state, store.settings);
        QCOMPARE(store.stored(QStringLiteral("Com"), QStringLiteral("Number")), QStringLiteral("2"));
        QCOMPARE(store.stored(QStringLiteral("Com2"), QStringLiteral("Setting")),
                 QStringLiteral("115200,O,8,2"));
        QCOMPARE(store.stored(QStringLiteral("Com2"), QStringLiteral("HandShake")), QStringLiteral("1"));
        QCOMPARE(store.stored(QStringLiteral("Com2"), QStringLiteral("Device")),
                 QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(store.stored(QStringLiteral("Com4"), QStringLiteral("Setting")),
                 QStringLiteral("4800,N,8,1"));
        QVERIFY(!store.raw()->contains(QStringLiteral("Com4/HandShake")));
    }

    // The exit save writes what is stored, normalised, not what a cancelled dialog left in memory.
    void exitSaveRereadsTheStore()
    {
        SerialStore store;
        store.put(QStringLiteral("Com"), QStringLiteral("Number"), QStringLiteral("junk"));
        store.put(QStringLiteral("Com1"), QStringLiteral("Setting"), QStringLiteral("4800,N,8,1"));
        store.put(QStringLiteral("Com2"), QStringLiteral("Setting"), QStringLiteral("38400,e,8,2"));
        store.put(QStringLiteral("Com3"), QStringLiteral("Setting"), QStringLiteral("57600"));
        AppState state;
        PortIni(state, store.settings);
        state.PortNumber = 2;
        state.PortSpeed[2] = 3;
        state.PortDevice[1] = QStringLiteral("/dev/ttyUSB9");
        saveSerialSettingsOnExit(state, store.settings);
        QCOMPARE(store.stored(QStringLiteral("Com"), QStringLiteral("Number")), QStringLiteral("1"));
        QCOMPARE(store.stored(QStringLiteral("Com1"), QStringLiteral("Setting")),
                 QStringLiteral("9600,N,8,1"));
        QCOMPARE(store.stored(QStringLiteral("Com2"), QStringLiteral("Setting")),
                 QStringLiteral("38400,E,8,2"));
        QCOMPARE(store.stored(QStringLiteral("Com3"), QStringLiteral("Setting")),
                 QStringLiteral("9600,N,8,1"));
        QCOMPARE(store.stored(QStringLiteral("Com1"), QStringLiteral("Device")), defaultPortDevice(1));
    }

    void openValuesNeverLeaveTheArrays_data()
    {
        QTest::addColumn<int>("portNumber");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -3;
        QTest::newRow("six") << 6;
        QTest::newRow("large") << 30000;
    }
    void openValuesNeverLeaveTheArrays()
    {
        QFETCH(int, portNumber);
        AppState state;
        state.PortSpeed[1] = 2;
        state.PortNumber = static_cast<int16_t>(portNumber);
        const SerialOpenValues open = openValuesOf(state);
        QCOMPARE(open.port, 0);
        QCOMPARE(open.speed, 2);
        QCOMPARE(deviceOf(state), defaultPortDevice(1));
    }

    // The Device list from a stable-name folder made here: a link (relative, as udev makes them)
    // to a port the system reports, a link to a device it does not report, and a link to nothing.
    void portChoicesFromStableNames()
    {
        QTemporaryDir dev;
        QVERIFY(dev.isValid());
        const QString usb = dev.filePath(QStringLiteral("ttyUSB0"));
        const QString other = dev.filePath(QStringLiteral("ttyACM0"));
        for (const QString& path : {usb, other}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(dev.path()).mkpath(QStringLiteral("by-id")));
        const QString byId = dev.filePath(QStringLiteral("by-id"));
        const QString stable = byId + QStringLiteral("/usb-Maker_Adapter_A1B2-if00-port0");
        QVERIFY(QFile::link(QStringLiteral("../ttyUSB0"), stable));
        QVERIFY(QFile::link(QStringLiteral("../ttyACM0"), byId + QStringLiteral("/usb-Other-if00")));
        QVERIFY(QFile::link(QStringLiteral("../ttyGONE"), byId + QStringLiteral("/usb-Gone-if00")));
        const QList<PortFacts> ports{
            {QStringLiteral("/dev/ttyS0"), QString(), QString(), QString()},
            {usb, QStringLiteral("USB UART"), QStringLiteral("Maker"), QStringLiteral("A1B2")}};

        const QList<PortChoice> choices = portChoices(ports, byId);
        QStringList shown;
        for (const PortChoice& c : choices)
            shown << c.device + QStringLiteral(" | ") + c.details;
        const QString usbReal = QFileInfo(usb).canonicalFilePath();
        const QString otherReal = QFileInfo(other).canonicalFilePath();
        QCOMPARE(shown, (QStringList{
                            // The stable name is what is stored when chosen, not the device it leads to.
                            stable + QStringLiteral(" | → ") + usbReal +
                                QStringLiteral(" · USB UART · Maker · serial A1B2"),
                            byId + QStringLiteral("/usb-Other-if00 | → ") + otherReal,
                            QStringLiteral("/dev/ttyS0 | "),
                            usb + QStringLiteral(" | USB UART · Maker · serial A1B2"),
                        }));
        // No stable-name folder (not Linux, no USB adapter): the ports alone.
        QCOMPARE(portChoices(ports, dev.filePath(QStringLiteral("none"))).size(), 2);
    }
};

ORVALT_TEST(SerialSettingsTest);
#include "SerialSettingsTest.moc"
