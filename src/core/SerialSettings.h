#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <cstdint>

namespace orvalt {

struct AppState;
class Settings;

// The serial line settings as the dialog and the user settings store keep them. The program-wide
// state holds list positions, not line values: a port's speed is "position 2 of the speed list",
// and the connect action hands those positions to the link as they are.
namespace SerialSettings {

// One entry of a fixed list: what the list shows and the line value it stands for (a baud rate,
// or a QSerialPort enumerator), carried as the combo box's item data.
struct ListEntry
{
    QString text;
    int lineValue;
};

const QList<ListEntry>& speedList();
const QList<ListEntry>& parityList();
const QList<ListEntry>& dataBitsList();
const QList<ListEntry>& stopBitsList();
const QList<ListEntry>& handShakeList();

// Ports whose settings are kept: Com1..Com4 are read, Com1..Com3 written back. A stored "Number"
// must name one of the ports the dialog has a button for and the OK action writes (1..3); Com4's
// button has index 0, which is no port slot, so 0 and 4 read as the default port 1.
inline constexpr int kFirstPort = 1;
inline constexpr int kLastReadPort = 4;
inline constexpr int kLastWrittenPort = 3;
inline constexpr int kDefaultPortNumber = 1;
inline constexpr int kMaxDeviceLength = 255;

inline const QString kDefaultSetting = QStringLiteral("9600,N,8,1");

// Section of the user settings store for port i: "Com1".."Com4"; "Com" holds "Number".
QString portSection(int port);

// The list positions of one port's line settings, as parsed from its stored "Setting".
struct PortLine
{
    int16_t speed = 0;
    int16_t parity = 0;
    int16_t dataBits = 0;
    int16_t stopBits = 0;

    friend bool operator==(const PortLine& a, const PortLine& b)
    {
        return a.speed == b.speed && a.parity == b.parity && a.dataBits == b.dataBits &&
               a.stopBits == b.stopBits;
    }
};

// The four field parsers of a stored "Setting" such as "9600,N,8,1". comma is the 0-based index
// of the first ",", and the fields after it are expected at fixed places: parity right after it,
// data bits two characters further, stop bits from four further to the end. Each returns the
// position in its list of the field's text, or 0 when the field is empty or not in the list.
int16_t parseSpeed(const QString& s, qsizetype comma);
int16_t parseParity(const QString& s, qsizetype comma);
int16_t parseDataBits(const QString& s, qsizetype comma);
int16_t parseStopBits(const QString& s, qsizetype comma);

// All four fields; a string without a comma reads as the default "9600,N,8,1".
PortLine parseSetting(const QString& s);

// The "Setting" string of port i from the state, e.g. "115200,E,8,2". A position outside its
// list (which only a fault elsewhere could leave there) is written as the list's first entry.
QString composeSetting(const AppState& state, int port);

// The device a port stands for when none (or no usable one) is stored: COM1..COM4 on Windows,
// /dev/ttyS0../dev/ttyS3 elsewhere.
QString defaultPortDevice(int port);
// A stored or typed device, trimmed; empty, over-long or control characters give the default.
QString usableDevice(const QString& device, int port);
// The serial ports this machine has, as the names the link opens them by.
QStringList availablePortDevices();

// A serial port as the system reports it.
struct PortFacts
{
    QString device; // the name the link opens it by (/dev/ttyUSB0, COM3)
    QString description;
    QString manufacturer;
    QString serialNumber;
};
// One entry of the Device list: the device as it is stored when chosen, and what tells it apart.
struct PortChoice
{
    QString device;
    QString details;
};
QList<PortFacts> systemPorts();
// Where Linux keeps a stable name for each USB serial adapter, a link to its device.
inline const QString kStablePortFolder = QStringLiteral("/dev/serial/by-id");
// The Device list: first each link of stableFolder whose device exists, by its own path (it keeps
// its name when the adapter is plugged in elsewhere), with the device it leads to and that port's
// facts; then each port, with description, maker and serial number. A link to nothing is left out.
QList<PortChoice> portChoices(const QList<PortFacts>& ports, const QString& stableFolder = kStablePortFolder);

// The slot of the state's per-port arrays that PortNumber selects, or -1 when PortNumber is no
// port (the arrays are never indexed past their slots).
int selectedSlot(const AppState& state);

} // namespace SerialSettings

// Reads "Number" and every port's "Setting", "HandShake" and "Device" from the user settings
// store (application: the executable's name) into the state. Missing or unusable values give the
// defaults; no message is shown.
void PortIni(AppState& state, const Settings& settings);

// The OK action's save: "Number", then for ports 1..3 "Setting", "HandShake" and "Device".
// Port 4's keys are never written.
void saveSerialSettings(const AppState& state, Settings& settings);

// Exit: the stored values are read again and written back as the OK action writes them, so
// changes made in a cancelled dialog are not stored.
void saveSerialSettingsOnExit(AppState& state, Settings& settings);

// What the connect action opens the link with: the port index (PortNumber - 1) and the list
// positions of the selected port.
struct SerialOpenValues
{
    qint32 port = 0;
    qint32 speed = 0;
    qint32 parity = 0;
    qint32 dataBits = 0;
    qint32 stopBits = 0;
    qint32 handShake = 0;
};

SerialOpenValues openValuesOf(const AppState& state);
// The device of the selected port (the default of port 1 if PortNumber is no port).
QString deviceOf(const AppState& state);

// The device and line settings of the selected port as the status bar writes them
// ("/dev/ttyUSB0 · 115200 8N1").
QString lineSettingsText(const AppState& state);
// What the status bar says of the line: "Not connected", or the model and the device and line
// settings the link was opened with (OpenLine: "KD7350 · /dev/ttyUSB0 · 115200 8N1").
QString lineStatusText(const AppState& state);

} // namespace orvalt
