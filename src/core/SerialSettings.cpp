#include "core/SerialSettings.h"

#include "core/AppState.h"
#include "core/ResourceTexts.h"
#include "core/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <algorithm>

namespace orvalt {

namespace SerialSettings {

namespace {

const QString kComSection = QStringLiteral("Com");
const QString kNumberKey = QStringLiteral("Number");
const QString kSettingKey = QStringLiteral("Setting");
const QString kHandShakeKey = QStringLiteral("HandShake");
const QString kDeviceKey = QStringLiteral("Device");

// The place of text in list; an empty text matches nothing, so a field that is missing from the
// stored string reads as position 0 rather than as a place the list does not have.
int16_t positionIn(const QList<ListEntry>& list, const QString& text)
{
    if (text.isEmpty())
        return 0;
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list.at(i).text == text)
            return static_cast<int16_t>(i);
    }
    return 0;
}

// The list's text at position, or the first entry's for a position the list does not have.
QString entryAt(const QList<ListEntry>& list, int position)
{
    return list.at(position >= 0 && position < list.size() ? position : 0).text;
}

bool isPortSlot(int n)
{
    return n >= 0 && n < AppState::kPortSlots;
}

} // namespace

const QList<ListEntry>& speedList()
{
    static const QList<ListEntry> list = {
        {QStringLiteral("9600"), 9600},     {QStringLiteral("19200"), 19200},
        {QStringLiteral("38400"), 38400},   {QStringLiteral("57600"), 57600},
        {QStringLiteral("115200"), 115200},
    };
    return list;
}

const QList<ListEntry>& parityList()
{
    static const QList<ListEntry> list = {
        {ResourceTexts::text(32085), QSerialPort::NoParity},
        {ResourceTexts::text(32086), QSerialPort::EvenParity},
        {ResourceTexts::text(32087), QSerialPort::OddParity},
    };
    return list;
}

const QList<ListEntry>& dataBitsList()
{
    static const QList<ListEntry> list = {{QStringLiteral("8"), QSerialPort::Data8}};
    return list;
}

const QList<ListEntry>& stopBitsList()
{
    static const QList<ListEntry> list = {
        {QStringLiteral("1"), QSerialPort::OneStop},
        {QStringLiteral("2"), QSerialPort::TwoStop},
    };
    return list;
}

const QList<ListEntry>& handShakeList()
{
    static const QList<ListEntry> list = {
        {ResourceTexts::text(32013), QSerialPort::NoFlowControl},
        {ResourceTexts::text(32014), QSerialPort::HardwareControl},
    };
    return list;
}

QString portSection(int port)
{
    return kComSection + QString::number(port);
}

int16_t parseSpeed(const QString& s, qsizetype comma)
{
    return positionIn(speedList(), s.left(comma));
}

int16_t parseParity(const QString& s, qsizetype comma)
{
    const QString letter = s.mid(comma + 1, 1).toUpper();
    if (letter == QLatin1String("E"))
        return 1;
    if (letter == QLatin1String("O"))
        return 2;
    return 0; // "N", and any other letter
}

int16_t parseDataBits(const QString& s, qsizetype comma)
{
    return positionIn(dataBitsList(), s.mid(comma + 3, 1));
}

int16_t parseStopBits(const QString& s, qsizetype comma)
{
    return positionIn(stopBitsList(), s.mid(comma + 5));
}

PortLine parseSetting(const QString& s)
{
    qsizetype comma = s.indexOf(QLatin1Char(','));
    // Without a comma the speed field has no end; such a string is not a setting at all.
    const QString& setting = comma < 0 ? kDefaultSetting : s;
    if (comma < 0)
        comma = setting.indexOf(QLatin1Char(','));
    return {parseSpeed(setting, comma), parseParity(setting, comma), parseDataBits(setting, comma),
            parseStopBits(setting, comma)};
}

QString composeSetting(const AppState& state, int port)
{
    if (!isPortSlot(port))
        return kDefaultSetting;
    static const char* const kParityLetters[] = {"N", "E", "O"};
    const int parity = state.PortParity[port];
    const char* letter = parity >= 0 && parity < 3 ? kParityLetters[parity] : kParityLetters[0];
    return entryAt(speedList(), state.PortSpeed[port]) + QLatin1Char(',') + QLatin1String(letter) +
           QLatin1Char(',') + entryAt(dataBitsList(), state.PortDataBits[port]) + QLatin1Char(',') +
           entryAt(stopBitsList(), state.PortStopBits[port]);
}

QString defaultPortDevice(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM") + QString::number(port);
#else
    return QStringLiteral("/dev/ttyS") + QString::number(port - 1);
#endif
}

QString usableDevice(const QString& device, int port)
{
    const QString d = device.trimmed();
    const bool control =
        std::any_of(d.cbegin(), d.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
    if (d.isEmpty() || d.size() > kMaxDeviceLength || control)
        return defaultPortDevice(port);
    return d;
}

QStringList availablePortDevices()
{
    QStringList devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        devices << info.portName();
#else
        devices << info.systemLocation();
#endif
    }
    devices.removeDuplicates();
    return devices;
}

QList<PortFacts> systemPorts()
{
    QList<PortFacts> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        const QString device = info.portName();
#else
        const QString device = info.systemLocation();
#endif
        ports.append({device, info.description(), info.manufacturer(), info.serialNumber()});
    }
    return ports;
}

namespace {

QString factsText(const PortFacts& port)
{
    QStringList parts;
    for (const QString& part : {port.description, port.manufacturer})
        if (!part.trimmed().isEmpty() && !parts.contains(part.trimmed()))
            parts << part.trimmed();
    if (!port.serialNumber.trimmed().isEmpty())
        parts << QStringLiteral("serial %1").arg(port.serialNumber.trimmed());
    return parts.join(QStringLiteral(" · "));
}

} // namespace

QList<PortChoice> portChoices(const QList<PortFacts>& ports, const QString& stableFolder)
{
    QList<PortChoice> choices;
    const QDir folder(stableFolder);
    const QFileInfoList links =
        stableFolder.isEmpty()
            ? QFileInfoList()
            : folder.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links) {
        const QString target = link.canonicalFilePath();
        if (!link.isSymLink() || target.isEmpty())
            continue;
        QString details = QStringLiteral("→ %1").arg(target);
        for (const PortFacts& port : ports) {
            if (QFileInfo(port.device).canonicalFilePath() == target && !factsText(port).isEmpty())
                details += QStringLiteral(" · ") + factsText(port);
        }
        choices.append({link.absoluteFilePath(), details});
    }
    QList<PortFacts> sorted = ports;
    std::sort(sorted.begin(), sorted.end(),
              [](const PortFacts& a, const PortFacts& b) { return a.device < b.device; });
    for (const PortFacts& port : sorted) {
        if (!port.device.isEmpty() &&
            std::none_of(choices.cbegin(), choices.cend(),
                         [&port](const PortChoice& c) { return c.device == port.device; }))
            choices.append({port.device, factsText(port)});
    }
    return choices;
}

int selectedSlot(const AppState& state)
{
    const int n = state.PortNumber;
    return n >= kFirstPort && n <= kLastReadPort ? n : -1;
}

} // namespace SerialSettings

using namespace SerialSettings;

void PortIni(AppState& state, const Settings& settings)
{
    const QString& app = settings.exeName();
    state.PortNumber = static_cast<int16_t>(
        settings.getInt(app, kComSection, kNumberKey, kDefaultPortNumber, kFirstPort, kLastWrittenPort));
    for (int i = kFirstPort; i <= kLastReadPort; ++i) {
        const QString section = portSection(i);
        const PortLine line = parseSetting(settings.get(app, section, kSettingKey, kDefaultSetting));
        state.PortSpeed[i] = line.speed;
        state.PortParity[i] = line.parity;
        state.PortDataBits[i] = line.dataBits;
        state.PortStopBits[i] = line.stopBits;
        // A flow control outside the list would select nothing in the dialog and reach the link
        // as a value it does not know.
        const int lastHandShake = static_cast<int>(handShakeList().size()) - 1;
        state.PortHandShake[i] =
            static_cast<int16_t>(settings.getInt(app, section, kHandShakeKey, 0, 0, lastHandShake));
        state.PortDevice[i] = usableDevice(settings.get(app, section, kDeviceKey, defaultPortDevice(i)), i);
    }
}

void saveSerialSettings(const AppState& state, Settings& settings)
{
    const QString& app = settings.exeName();
    const int number = state.PortNumber >= kFirstPort && state.PortNumber <= kLastWrittenPort
                           ? state.PortNumber
                           : kDefaultPortNumber;
    settings.save(app, kComSection, kNumberKey, QString::number(number));
    for (int i = kFirstPort; i <= kLastWrittenPort; ++i) {
        const QString section = portSection(i);
        settings.save(app, section, kSettingKey, composeSetting(state, i));
        settings.save(app, section, kHandShakeKey, QString::number(state.PortHandShake[i]));
        settings.save(app, section, kDeviceKey, usableDevice(state.PortDevice[i], i));
    }
}

void saveSerialSettingsOnExit(AppState& state, Settings& settings)
{
    PortIni(state, settings);
    saveSerialSettings(state, settings);
}

SerialOpenValues openValuesOf(const AppState& state)
{
    const int slot = selectedSlot(state) < 0 ? kDefaultPortNumber : selectedSlot(state);
    return {slot - 1,
            state.PortSpeed[slot],
            state.PortParity[slot],
            state.PortDataBits[slot],
            state.PortStopBits[slot],
            state.PortHandShake[slot]};
}

QString deviceOf(const AppState& state)
{
    const int slot = selectedSlot(state) < 0 ? kDefaultPortNumber : selectedSlot(state);
    return usableDevice(state.PortDevice[slot], slot);
}

QString lineSettingsText(const AppState& state)
{
    const int slot = selectedSlot(state) < 0 ? kDefaultPortNumber : selectedSlot(state);
    // "9600,N,8,1" as a serial terminal writes it: "9600 8N1".
    const QStringList fields = composeSetting(state, slot).split(QLatin1Char(','));
    const QString line = fields.size() == 4
                             ? fields.at(0) + QLatin1Char(' ') + fields.at(2) + fields.at(1) + fields.at(3)
                             : QString();
    return deviceOf(state) + QStringLiteral(" \u00b7 ") + line;
}

QString lineStatusText(const AppState& state)
{
    if (!state.Connected)
        return QStringLiteral("Not connected");
    const QString line = state.OpenLine.isEmpty() ? lineSettingsText(state) : state.OpenLine;
    return state.ModelName + QStringLiteral(" \u00b7 ") + line;
}

} // namespace orvalt
