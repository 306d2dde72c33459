#include "link/NetworkTransport.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QMap>
#include <QStandardPaths>
#include <QStringList>
#include <QTcpSocket>
#include <QtEndian>
#include <array>

namespace orvalt::link {

namespace {

// The longest refusal text of a server that is kept to be shown.
constexpr int kMaxBannerBytes = 200;
// What is taken from the socket ahead of the link's reads: a server that sends without end (while
// the window waits for the user, say) fills this and then waits, as TCP makes it.
constexpr qint64 kReadBufferBytes = 64 * 1024;

// RFC 2217's numbers for the line settings.
quint8 paritySetting(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::NoParity:
        return 1;
    case QSerialPort::OddParity:
        return 2;
    case QSerialPort::EvenParity:
        return 3;
    case QSerialPort::MarkParity:
        return 4;
    case QSerialPort::SpaceParity:
        return 5;
    }
    return 1;
}

quint8 stopSetting(QSerialPort::StopBits stopBits)
{
    switch (stopBits) {
    case QSerialPort::OneStop:
        return 1;
    case QSerialPort::TwoStop:
        return 2;
    case QSerialPort::OneAndHalfStop:
        return 3;
    }
    return 1;
}

// SET-CONTROL: 1 no flow control, 3 hardware; 8 DTR on, 11 RTS on.
constexpr quint8 kNoFlow = 1;
constexpr quint8 kSoftwareFlow = 2;
constexpr quint8 kHardwareFlow = 3;
constexpr quint8 kDtrOn = 8;
constexpr quint8 kRtsOn = 11;

quint8 flowSetting(QSerialPort::FlowControl flow)
{
    switch (flow) {
    case QSerialPort::NoFlowControl:
        return kNoFlow;
    case QSerialPort::SoftwareControl:
        return kSoftwareFlow;
    case QSerialPort::HardwareControl:
        return kHardwareFlow;
    }
    return kNoFlow;
}

QString settingName(quint8 command)
{
    switch (command) {
    case TelnetCodec::SetBaudRate:
        return QStringLiteral("speed");
    case TelnetCodec::SetDataSize:
        return QStringLiteral("data bits");
    case TelnetCodec::SetParity:
        return QStringLiteral("parity");
    case TelnetCodec::SetStopSize:
        return QStringLiteral("stop bits");
    default:
        return QStringLiteral("flow control");
    }
}

// A setting as the user knows it, from RFC 2217's value.
QString settingText(quint8 command, const QByteArray& value)
{
    if (command == TelnetCodec::SetBaudRate) {
        if (value.size() != 4)
            return QStringLiteral("nothing readable");
        return QString::number(qFromBigEndian<quint32>(value.constData()));
    }
    if (value.size() != 1)
        return QStringLiteral("nothing readable");
    const auto v = static_cast<quint8>(value.at(0));
    static const QStringList parities{QStringLiteral("none"), QStringLiteral("odd"), QStringLiteral("even"),
                                      QStringLiteral("mark"), QStringLiteral("space")};
    static const QStringList stops{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("1.5")};
    static const QStringList flows{QStringLiteral("none"), QStringLiteral("software"),
                                   QStringLiteral("hardware")};
    switch (command) {
    case TelnetCodec::SetDataSize:
        return QString::number(v);
    case TelnetCodec::SetParity:
        return v >= 1 && v <= parities.size() ? parities.at(v - 1) : QString::number(v);
    case TelnetCodec::SetStopSize:
        return v >= 1 && v <= stops.size() ? stops.at(v - 1) : QString::number(v);
    default:
        return v >= 1 && v <= flows.size() ? flows.at(v - 1) : QString::number(v);
    }
}

// What a server said before it closed the connection, as one line: printable text only, bounded.
QString bannerText(const QByteArray& bytes)
{
    QString text;
    for (const char c : bytes.left(kMaxBannerBytes)) {
        const auto b = static_cast<quint8>(c);
        text.append(b >= 0x20 && b < 0x7f ? QChar(QLatin1Char(c)) : QChar(QLatin1Char(' ')));
    }
    return text.simplified();
}

} // namespace

QString NetworkTransport::lockPathOf(const NetworkDevice& device)
{
    // Where serial ports are locked, so runs started by hand and the collecting service see each
    // other; the temporary folder where that cannot be written.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    for (const QString& candidate : {QStringLiteral("/run/lock"), QStringLiteral("/var/lock")}) {
        const QFileInfo info(candidate);
        if (info.isDir() && info.isWritable()) {
            folder = candidate;
            break;
        }
    }
    // The host and port alone: rfc2217:// and tcp:// to one server port are one instrument.
    QString name = device.host.toLower() + QLatin1Char('_') + QString::number(device.port);
    for (QChar& c : name) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('.') && c != QLatin1Char('-'))
            c = QLatin1Char('_');
    }
    return folder + QStringLiteral("/LCK..orvalt-net-") + name;
}

NetworkTransport::NetworkTransport() = default;

NetworkTransport::~NetworkTransport()
{
    close();
}

void NetworkTransport::close()
{
    if (m_socket) {
        m_socket->abort();
        m_socket.reset();
    }
    m_lock.reset(); // unlocks
    m_telnet.reset();
    m_pending.clear();
    m_opened = false;
}

bool NetworkTransport::refuse(PortProblem problem, const QString& reason)
{
    m_openProblem = problem;
    m_systemReason = reason;
    m_error = QStringLiteral("cannot open %1: %2").arg(m_device, reason);
    close();
    return false;
}

bool NetworkTransport::open(const QString& device, const SerialSettings& settings)
{
    close();
    m_device = device.trimmed();
    m_error.clear();
    m_openProblem = PortProblem::None;
    m_systemReason.clear();
    m_lockHolder.clear();
    m_lost = false;
    const std::optional<NetworkDevice> parsed = parseNetworkDevice(m_device);
    if (!parsed)
        return refuse(PortProblem::BadAddress,
                      QStringLiteral("not of the form rfc2217://HOST:PORT or tcp://HOST:PORT"));
    if (!lock(*parsed) || !connectSocket(*parsed))
        return false;
    if (parsed->kind == NetworkDevice::Kind::Rfc2217) {
        m_telnet.emplace();
        if (!negotiate(settings))
            return false;
    } else if (!watchForRefusal()) {
        return false;
    }
    // Whatever arrived before the link was opened belongs to no exchange of ours.
    m_pending.clear();
    m_opened = true;
    return true;
}

bool NetworkTransport::lock(const NetworkDevice& device)
{
    m_lock = std::make_unique<QLockFile>(lockPathOf(device));
    m_lock->setStaleLockTime(0); // stale only when the process that holds it is gone
    if (m_lock->tryLock(0))
        return true;
    qint64 pid = 0;
    QString host;
    QString application;
    if (m_lock->getLockInfo(&pid, &host, &application) && pid > 0)
        m_lockHolder = application.isEmpty() ? QStringLiteral("process %1").arg(pid)
                                             : QStringLiteral("%1, process %2").arg(application).arg(pid);
    const bool held = m_lock->error() == QLockFile::LockFailedError;
    m_lock.reset();
    return refuse(held ? PortProblem::InUse : PortProblem::Other,
                  held ? QStringLiteral("The device is already locked")
                       : QStringLiteral("its lock file %1 cannot be made").arg(lockPathOf(device)));
}

bool NetworkTransport::connectSocket(const NetworkDevice& device)
{
    m_socket = std::make_unique<QTcpSocket>();
    m_socket->setReadBufferSize(kReadBufferBytes);
    m_socket->connectToHost(device.host, device.port);
    if (!m_socket->waitForConnected(m_connectTimeOutMs)) {
        const QAbstractSocket::SocketError error = m_socket->error();
        const QString reason = m_socket->errorString();
        switch (error) {
        case QAbstractSocket::HostNotFoundError:
            return refuse(PortProblem::HostNotFound, reason);
        case QAbstractSocket::ConnectionRefusedError:
            return refuse(PortProblem::ConnectionRefused, reason);
        case QAbstractSocket::NetworkError:
            return refuse(PortProblem::NoRoute, reason);
        case QAbstractSocket::SocketTimeoutError:
            return refuse(PortProblem::NoAnswer,
                          QStringLiteral("no connection within %1 s").arg((m_connectTimeOutMs + 999) / 1000));
        default:
            return refuse(PortProblem::Other, reason);
        }
    }
    // The link's requests are small and each waits for its answer: never held back to fill a packet.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    return true;
}

bool NetworkTransport::pump(int waitMs)
{
    if (m_socket->bytesAvailable() == 0 && !m_socket->waitForReadyRead(qMax(0, waitMs)))
        return false;
    const QByteArray bytes = m_socket->readAll();
    m_pending += m_telnet ? m_telnet->receive(bytes) : bytes;
    // Before the line is open, data is only kept to show what a server that turns us away said.
    if (!m_opened && m_pending.size() > kMaxBannerBytes)
        m_pending.truncate(kMaxBannerBytes);
    if (!m_telnet)
        return true;
    const QByteArray replies = m_telnet->takeReplies();
    if (!replies.isEmpty()) {
        m_socket->write(replies);
        m_socket->flush();
    }
    return true;
}

// A server that serves another client accepts the connection, says so and closes it.
bool NetworkTransport::refusedByServer()
{
    const QString said = bannerText(m_pending);
    return refuse(PortProblem::ServerBusy,
                  said.isEmpty() ? QStringLiteral("the server closed the connection at once") : said);
}

bool NetworkTransport::watchForRefusal()
{
    const QDeadlineTimer deadline(kRefusalWatchMs);
    while (!deadline.hasExpired()) {
        pump(static_cast<int>(deadline.remainingTime()));
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return refusedByServer();
    }
    return true;
}

bool NetworkTransport::negotiate(const SerialSettings& settings)
{
    const QDeadlineTimer deadline(m_connectTimeOutMs);
    const auto wait = [this, &deadline](const char* what) {
        pump(static_cast<int>(qMax<qint64>(0, deadline.remainingTime())));
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return refusedByServer();
        if (deadline.hasExpired())
            return refuse(PortProblem::NoAnswer, QStringLiteral("the server did not %1 within %2 s")
                                                     .arg(QLatin1String(what))
                                                     .arg((m_connectTimeOutMs + 999) / 1000));
        return true;
    };

    m_socket->write(m_telnet->start());
    while (!(m_telnet->binaryBothWays() && m_telnet->comPortAgreed())) {
        if (m_telnet->refused())
            return refuse(PortProblem::SettingRefused,
                          m_telnet->comPortAgreed()
                              ? QStringLiteral("the server does not carry binary data (Telnet BINARY)")
                              : QStringLiteral("the server takes no line settings (RFC 2217's COM port "
                                               "option); give the device as tcp://"));
        if (!wait("finish the Telnet negotiation"))
            return false;
    }

    // The line settings, each answered by the server with what it now has.
    std::array<char, 4> baud{};
    qToBigEndian(static_cast<quint32>(settings.baud), baud.data());
    const QMap<quint8, QByteArray> asked{
        {TelnetCodec::SetBaudRate, QByteArray(baud.data(), 4)},
        {TelnetCodec::SetDataSize, QByteArray(1, static_cast<char>(settings.dataBits))},
        {TelnetCodec::SetParity, QByteArray(1, static_cast<char>(paritySetting(settings.parity)))},
        {TelnetCodec::SetStopSize, QByteArray(1, static_cast<char>(stopSetting(settings.stopBits)))},
        {TelnetCodec::SetControl, QByteArray(1, static_cast<char>(flowSetting(settings.flowControl)))}};
    QByteArray commands;
    for (auto it = asked.cbegin(); it != asked.cend(); ++it)
        commands += TelnetCodec::comPortCommand(it.key(), it.value());
    // The modem lines as a serial port's open sets them; their answers are not waited for, since a
    // server may never give them (one in front of a pseudo-terminal gives none).
    commands +=
        TelnetCodec::comPortCommand(TelnetCodec::SetControl, QByteArray(1, static_cast<char>(kDtrOn)));
    if (settings.flowControl != QSerialPort::HardwareControl)
        commands +=
            TelnetCodec::comPortCommand(TelnetCodec::SetControl, QByteArray(1, static_cast<char>(kRtsOn)));
    m_socket->write(commands);

    // Answers that came with the negotiation count as well as later ones.
    QMap<quint8, QByteArray> answered;
    for (;;) {
        for (const TelnetCodec::ComPortAnswer& answer : m_telnet->takeAnswers()) {
            // SET-CONTROL's answers to the modem lines are not the flow control's.
            const bool flow = answer.command == TelnetCodec::SetControl && answer.value.size() == 1 &&
                              static_cast<quint8>(answer.value.at(0)) <= kHardwareFlow;
            if (asked.contains(answer.command) && (answer.command != TelnetCodec::SetControl || flow) &&
                !answered.contains(answer.command))
                answered.insert(answer.command, answer.value);
        }
        if (answered.size() == asked.size())
            break;
        if (!wait("answer the line settings"))
            return false;
    }
    QStringList changed;
    for (auto it = asked.cbegin(); it != asked.cend(); ++it) {
        if (answered.value(it.key()) != it.value())
            changed << QStringLiteral("%1 %2 asked, %3 answered")
                           .arg(settingName(it.key()), settingText(it.key(), it.value()),
                                settingText(it.key(), answered.value(it.key())));
    }
    if (!changed.isEmpty())
        return refuse(PortProblem::SettingRefused, changed.join(QStringLiteral("; ")));
    return true;
}

bool NetworkTransport::isOpen() const
{
    return m_socket && !m_lost && m_socket->state() == QAbstractSocket::ConnectedState;
}

QString NetworkTransport::lostText() const
{
    const bool closed = m_socket && m_socket->error() == QAbstractSocket::RemoteHostClosedError;
    return closed ? QStringLiteral("the device server closed the connection to %1").arg(m_device)
                  : QStringLiteral("the connection to %1 broke: %2")
                        .arg(m_device, m_socket ? m_socket->errorString() : QString());
}

void NetworkTransport::lose()
{
    m_lost = true;
    m_error = lostText();
}

QString NetworkTransport::errorString() const
{
    if (m_error.isEmpty() && m_socket && m_socket->state() != QAbstractSocket::ConnectedState)
        return lostText();
    return m_error;
}

bool NetworkTransport::usable()
{
    // A window's event loop may have seen the connection end while nothing was read or written.
    if (m_socket && !m_lost && m_socket->state() != QAbstractSocket::ConnectedState)
        lose();
    return isOpen();
}

bool NetworkTransport::write(const QByteArray& bytes)
{
    if (!usable()) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("the connection is not open");
        return false;
    }
    const QByteArray wire = m_telnet ? TelnetCodec::escape(bytes) : bytes;
    if (m_socket->write(wire) != wire.size()) {
        lose();
        return false;
    }
    const QDeadlineTimer deadline(m_writeTimeoutMs);
    while (m_socket->bytesToWrite() > 0) {
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            lose();
            return false;
        }
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("write timed out on %1").arg(m_device);
            return false;
        }
        m_socket->waitForBytesWritten(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
    return true;
}

QByteArray NetworkTransport::read(int timeoutMs)
{
    if (!usable())
        return {};
    const QDeadlineTimer deadline(qMax(0, timeoutMs));
    // Bytes of Telnet's own carry no data: go on waiting for some until the time is up.
    while (m_pending.isEmpty()) {
        pump(static_cast<int>(qMax<qint64>(0, deadline.remainingTime())));
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            lose();
            break;
        }
        if (deadline.hasExpired())
            break;
    }
    QByteArray data;
    data.swap(m_pending);
    return data;
}

} // namespace orvalt::link
