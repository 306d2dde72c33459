#include "window/frmSerial.h"

#include "core/AppState.h"
#include "core/SerialSettings.h"
#include "support/SerialStore.h"
#include "support/TestMain.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSerialPort>
#include <QTest>

using namespace orvalt;
using orvalt::test::SerialStore;

class frmSerialTest : public QObject
{
    Q_OBJECT

private:
    static QStringList itemsOf(const QComboBox* box)
    {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    }

private slots:
    void emptyStoreShowsPortOne()
    {
        SerialStore store;
        AppState state;
        frmSerial dialog(state, store.settings);
        const auto& c = dialog.controls();

        QCOMPARE(dialog.windowTitle(), QStringLiteral("Setup of RS232C"));
        QCOMPARE(c.fraPortNumber->title(), QStringLiteral("Port No."));
        QCOMPARE(c.fraPortSet->title(), QStringLiteral("Setup"));
        QCOMPARE(c.optPortNumber->button(1)->text(), QStringLiteral("Com1"));
        QCOMPARE(c.optPortNumber->button(0)->text(), QStringLiteral("Com4"));
        QCOMPARE(c.lblDataBit->text(), QStringLiteral("Length of Data:"));
        QCOMPARE(c.lblFlow->text(), QStringLiteral("Flow Control:"));
        QCOMPARE(c.cmdOK->text(), QStringLiteral("OK"));
        QCOMPARE(c.cmdCancel->text(), QStringLiteral("Cancel"));

        QVERIFY(c.optPortNumber->button(1)->isEnabled());
        QVERIFY(c.optPortNumber->button(2)->isEnabled());
        QVERIFY(!c.optPortNumber->button(3)->isEnabled());
        QVERIFY(!c.optPortNumber->button(0)->isEnabled());

        QCOMPARE(itemsOf(c.cboBaud),
                 QStringList({QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400"),
                              QStringLiteral("57600"), QStringLiteral("115200")}));
        QCOMPARE(itemsOf(c.cboParity),
                 QStringList({QStringLiteral("None"), QStringLiteral("Even"), QStringLiteral("Odd")}));
        QCOMPARE(itemsOf(c.cboDBits), QStringList({QStringLiteral("8")}));
        QCOMPARE(itemsOf(c.cboSBits), QStringList({QStringLiteral("1"), QStringLiteral("2")}));
        QCOMPARE(itemsOf(c.cboHandShake), QStringList({QStringLiteral("None"), QStringLiteral("Hardware")}));
        QCOMPARE(c.cboParity->itemData(1).toInt(), int(QSerialPort::EvenParity));

        QCOMPARE(c.optPortNumber->checkedId(), 1);
        QCOMPARE(c.cboBaud->currentText(), QStringLiteral("9600"));
        QCOMPARE(c.cboParity->currentIndex(), 0);
        QCOMPARE(c.cboDBits->currentIndex(), 0);
        QCOMPARE(c.cboSBits->currentIndex(), 0);
        QCOMPARE(c.cboHandShake->currentIndex(), 0);
        QCOMPARE(c.cboDevice->currentText(), SerialSettings::defaultPortDevice(1));
    }

    void fontRuleApplies()
    {
        SerialStore store;
        AppState state;
        frmSerial dialog(state, store.settings);
        for (const QWidget* w : {static_cast<QWidget*>(dialog.controls().cboBaud),
                                 static_cast<QWidget*>(dialog.controls().lblParity)}) {
            QCOMPARE(w->font().pointSize(), 9);
            QCOMPARE(w->font().families().value(0), QStringLiteral("MS Sans Serif"));
        }
    }

    void showsStoredPort()
    {
        SerialStore store;
        store.put(QStringLiteral("Com"), QStringLiteral("Number"), QStringLiteral("2"));
        store.put(QStringLiteral("Com2"), QStringLiteral("Setting"), QStringLiteral("38400,e,8,2"));
        store.put(QStringLiteral("Com2"), QStringLiteral("HandShake"), QStringLiteral("1"));
        store.put(QStringLiteral("Com2"), QStringLiteral("Device"), QStringLiteral("/dev/ttyUSB0"));
        AppState state;
        frmSerial dialog(state, store.settings);
        const auto& c = dialog.controls();
        QCOMPARE(c.optPortNumber->checkedId(), 2);
        QCOMPARE(c.cboBaud->currentText(), QStringLiteral("38400"));
        QCOMPARE(c.cboParity->currentText(), QStringLiteral("Even"));
        QCOMPARE(c.cboDBits->currentText(), QStringLiteral("8"));
        QCOMPARE(c.cboSBits->currentText(), QStringLiteral("2"));
        QCOMPARE(c.cboHandShake->currentText(), QStringLiteral("Hardware"));
        QCOMPARE(c.cboDevice->currentText(), QStringLiteral("/dev/ttyUSB0"));

        // Back to Com1: its own settings, and port 2's are kept.
        c.optPortNumber->button(1)->click();
        QCOMPARE(state.PortNumber, int16_t(1));
        QCOMPARE(c.cboBaud->currentText(), QStringLiteral("9600"));
        QCOMPARE(c.cboHandShake->currentIndex(), 0);
        QCOMPARE(c.cboDevice->currentText(), SerialSettings::defaultPortDevice(1));
        QCOMPARE(state.PortSpeed[2], int16_t(2));
        QCOMPARE(state.PortDevice[2], QStringLiteral("/dev/ttyUSB0"));
    }

    // A stored Com3 is shown on its (disabled) button and written back unchanged.
    void storedComThreeIsKept()
    {
        SerialStore store;
        store.put(QStringLiteral("Com"), QStringLiteral("Number"), QStringLiteral("3"));
        store.put(QStringLiteral("Com3"), QStringLiteral("Setting"), QStringLiteral("19200,O,8,1"));
        AppState state;
        frmSerial dialog(state, store.settings);
        QCOMPARE(dialog.controls().optPortNumber->checkedId(), 3);
        QCOMPARE(dialog.controls().cboBaud->currentText(), QStringLiteral("19200"));
        dialog.controls().cmdOK->click();
        QCOMPARE(store.stored(QStringLiteral("Com"), QStringLiteral("Number")), QStringLiteral("3"));
        QCOMPARE(store.stored(QStringLiteral("Com3"), QStringLiteral("Setting")),
                 QStringLiteral("19200,O,8,1"));
    }

    void portsThatAreNoPortAreIgnored()
    {
        SerialStore store;
        AppState state;
        frmSerial dialog(state, store.settings);
        dialog.controls().optPortNumber->button(0)->click(); // Com4: disabled
        dialog.optPortNumber_Click(0);
        dialog.optPortNumber_Click(6);
        dialog.optPortNumber_Click(-1);
        QCOMPARE(state.PortNumber, int16_t(1));
        QCOMPARE(dialog.controls().optPortNumber->checkedId(), 1);
    }

    void listChoicesStoreAtOnce()
    {
        SerialStore store;
        AppState state;
        frmSerial dialog(state, store.settings);
        const auto& c = dialog.controls();
        c.optPortNumber->button(2)->click();
        c.cboBaud->setCurrentIndex(3);
        c.cboParity->setCurrentIndex(2);
        c.cboSBits->setCurrentIndex(1);
        c.cboHandShake->setCurrentIndex(1);
        c.cboDevice->setEditText(QStringLiteral("/dev/pts/4"));
        QCOMPARE(state.PortNumber, int16_t(2));
        QCOMPARE(state.PortSpeed[2], int16_t(3));
        QCOMPARE(state.PortParity[2], int16_t(2));
        QCOMPARE(state.PortStopBits[2], int16_t(1));
        QCOMPARE(state.PortHandShake[2], int16_t(1));
        QCOMPARE(state.PortDevice[2], QStringLiteral("/dev/pts/4"));
        QCOMPARE(state.PortSpeed[1], int16_t(0));
        QCOMPARE(state.PortHandShake[1], int16_t(0));

        // A cleared device field means the port's default, never no device.
        c.cboDevice->setEditText(QString());
        QCOMPARE(state.PortDevice[2], SerialSettings::defaultPortDevice(2));
        QVERIFY(store.keys().isEmpty());
    }

    void okSavesAndCloses()
    {
        SerialStore store;
        AppState state;
        frmSerial dialog(state, store.settings);
        const auto& c = dialog.controls();
        c.optPortNumber->button(2)->click();
        c.cboBaud->setCurrentIndex(4);
        c.cboParity->setCurrentIndex(2);
        c.cboSBits->setCurrentIndex(1);
        c.cboHandShake->setCurrentIndex(1);
        c.cboDevice->setEditText(QStringLiteral("/dev/ttyUSB0"));
        c.cmdOK->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(store.stored(QStringLiteral("Com"), QStringLiteral("Number")), QStringLiteral("2"));
        QCOMPARE(store.stored(QStringLiteral("Com2"), QStringLiteral("Setting")),
                 QStringLiteral("115200,O,8,2"));
        QCOMPARE(store.stored(QStringLiteral("Com2"), QStringLiteral("HandShake")), QStringLiteral("1"));
        QCOMPARE(store.stored(QStringLiteral("Com2"), QStringLiteral("Device")),
                 QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(store.stored(QStringLiteral("Com1"), QStringLiteral("Setting")),
                 QStringLiteral("9600,N,8,1"));
        QVERIFY(!store.raw()->contains(QStringLiteral("Com4/Setting")));
    }

    // Cancel stores nothing but keeps the choice for the next connect; the next dialog reads the
    // stored settings again and the connect after it uses those.
    void cancelKeepsStateUntilReopened()
    {
        SerialStore store;
        AppState state;
        {
            frmSerial dialog(state, store.settings);
            dialog.controls().optPortNumber->button(2)->click();
            dialog.controls().cboBaud->setCurrentIndex(3);
            dialog.controls().cmdCancel->click();
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        QVERIFY(store.keys().isEmpty());
        SerialOpenValues open = openValuesOf(state);
        QCOMPARE(open.port, 1);
        QCOMPARE(open.speed, 3);

        frmSerial again(state, store.settings);
        QCOMPARE(again.controls().optPortNumber->checkedId(), 1);
        QCOMPARE(again.controls().cboBaud->currentText(), QStringLiteral("9600"));
        open = openValuesOf(state);
        QCOMPARE(open.port, 0);
        QCOMPARE(open.speed, 0);
        QCOMPARE(state.PortSpeed[2], int16_t(0));
    }
};

ORVALT_TEST(frmSerialTest);
#include "frmSerialTest.moc"
