#include "link/SerialTransport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <limits>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace orvalt::link {

namespace {

QString parityName(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::NoParity:
        return QStringLiteral("None");
    case QSerialPort::EvenParity:
        return QStringLiteral("Even");
    case QSerialPort::OddParity:
        return QStringLiteral("Odd");
    case QSerialPort::SpaceParity:
        return QStringLiteral("Space");
    case QSerialPort::MarkParity:
        return QStringLiteral("Mark");
    }
    return QString::number(static_cast<int>(parity));
}

QString stopBitsName(QSerialPort::StopBits stopBits)
{
    switch (stopBits) {
    case QSerialPort::OneStop:
        return QStringLiteral("1");
    case QSerialPort::OneAndHalfStop:
        return QStringLiteral("1.5");
    case QSerialPort::TwoStop:
        return QStringLiteral("2");
    }
    return QString::number(static_cast<int>(stopBits));
}

QString flowName(QSerialPort::FlowControl flow)
{
    switch (flow) {
    case QSerialPort::NoFlowControl:
        return QStringLiteral("None");
    case QSerialPort::HardwareControl:
        return QStringLiteral("Hardware");
    case QSerialPort::SoftwareControl:
        return QStringLiteral("Software");
    }
    return QString::number(static_cast<int>(flow));
}

// True when the user's rights allow opening the device for reading and writing (as far as the
// system can tell without opening it).
bool mayOpenDevice(const QString& device)
{
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
#else
    Q_UNUSED(device);
    return true;   // elsewhere a port held by another program is refused as access denied
#endif
}

// The port's own path: one device under two names (a link and what it points to) is one port, and
// opened by its own path it takes one lock, whichever name the user chose.
QString portPathOf(const QString& device)
{
#ifdef Q_OS_UNIX
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
#else
    return device; // COM3 and the like name the port itself
#endif
}

// The lock QSerialPort takes for a port, as its file tells: "LCK.." and the port's name ("/dev/"
// left out, "/" as "_") in the first of the lock folders where it is.
struct PortLock
{
    QString file;
    QString holder;     // "orvalt-cli, process 1234"
    bool ended = false; // the process that took it has ended
};

PortLock portLockOf(const QString& portPath)
{
    QString name = portPath.startsWith(QLatin1String("/dev/")) ? portPath.mid(5) : portPath;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QStringList folders{QStringLiteral("/var/lock"),
                              QStringLiteral("/etc/locks"),
                              QStringLiteral("/var/spool/locks"),
                              QStringLiteral("/var/spool/uucp"),
                              QStringLiteral("/tmp"),
                              QStringLiteral("/var/tmp"),
                              QStringLiteral("/var/lock/lockdev"),
                              QStringLiteral("/run/lock"),
                              QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
    for (const QString& folder : folders) {
        const QString path = folder + QStringLiteral("/LCK..") + name;
        if (!QFileInfo::exists(path))
            continue;
        QLockFile lock(path);
        qint64 pid = 0;
        QString host;
        QString application;
        if (!lock.getLockInfo(&pid, &host, &application) || pid <= 0 ||
            pid > std::numeric_limits<pid_t>::max())
            continue;
        PortLock found;
        found.file = path;
        found.holder = application.isEmpty() ? QStringLiteral("process %1").arg(pid)
                                             : QStringLiteral("%1, process %2").arg(application).arg(pid);
#ifdef Q_OS_UNIX
        // A lock of an ended process is one QSerialPort would have taken over, unless it belongs to
        // another user (a run as root killed, say): then only that user can remove it.
        found.ended = ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
#endif
        return found;
    }
    return {};
}

} // namespace

PortProblem portProblemOf(QSerialPort::SerialPortError error, bool mayOpen)
{
    switch (error) {
    case QSerialPort::NoError:
        return PortProblem::None;
    case QSerialPort::DeviceNotFoundError:
        return PortProblem::NoSuchDevice;
    case QSerialPort::PermissionError:
        return mayOpen ? PortProblem::InUse : PortProblem::PermissionDenied;
    case QSerialPort::OpenError:
        return PortProblem::InUse;
    default:
        return PortProblem::Other;
    }
}

SerialTransport::SerialTransport() = default;

SerialTransport::~SerialTransport()
{
    close();
}

bool SerialTransport::open(const QString& device, const SerialSettings& settings)
{
    close();
    m_device = device;
    m_error.clear();
    m_notes.clear();
    m_failed = false;
    m_openProblem = PortProblem::None;
    m_systemReason.clear();
    m_lockHolder.clear();
    m_lockFile.clear();
    m_port = std::make_unique<QSerialPort>();
    const QString portPath = portPathOf(device);
    m_port->setPortName(portPath);
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_openProblem = portProblemOf(m_port->error(), mayOpenDevice(device));
        m_systemReason = m_port->errorString();
        if (m_openProblem == PortProblem::InUse) {
            const PortLock lock = portLockOf(portPath);
            m_lockHolder = lock.holder;
            m_lockFile = lock.file;
            if (lock.ended)
                m_openProblem = PortProblem::LockLeftBehind;
        }
        m_error = QStringLiteral("cannot open %1: %2").arg(device, m_systemReason);
        m_port.reset();
        return false;
    }

    // Each refused setting is noted with what the device kept, and the link goes on with that.
    auto note = [this](const QString& what, const QString& wanted, const QString& kept) {
        m_notes.append(
            QStringLiteral("%1 %2 not supported by %3; using %4").arg(what, wanted, m_device, kept));
        m_port->clearError();
    };
    if (!m_port->setBaudRate(settings.baud))
        note(QStringLiteral("speed"), QString::number(settings.baud), QString::number(m_port->baudRate()));
    if (!m_port->setDataBits(settings.dataBits))
        note(QStringLiteral("data bits"), QString::number(settings.dataBits),
             QString::number(m_port->dataBits()));
    if (!m_port->setParity(settings.parity))
        note(QStringLiteral("parity"), parityName(settings.parity), parityName(m_port->parity()));
    if (!m_port->setStopBits(settings.stopBits))
        note(QStringLiteral("stop bits"), stopBitsName(settings.stopBits), stopBitsName(m_port->stopBits()));
    if (!m_port->setFlowControl(settings.flowControl))
        note(QStringLiteral("flow control"), flowName(settings.flowControl), flowName(m_port->flowControl()));
    // Whatever arrived before the link was opened belongs to no exchange of ours.
    m_port->clear(QSerialPort::Input);
    m_port->clearError();
    return true;
}

void SerialTransport::close()
{
    if (m_port) {
        m_port->close();
        m_port.reset();
    }
}

bool SerialTransport::isOpen() const
{
    return m_port && m_port->isOpen() && !m_failed;
}

void SerialTransport::fail(const QString& what)
{
    m_failed = true;
    m_error = QStringLiteral("%1 on %2: %3").arg(what, m_device, m_port ? m_port->errorString() : QString());
}

bool SerialTransport::write(const QByteArray& bytes)
{
    if (!isOpen()) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("the port is not open");
        return false;
    }
    if (m_port->write(bytes) != bytes.size()) {
        fail(QStringLiteral("write failed"));
        return false;
    }
    QDeadlineTimer deadline(m_writeTimeoutMs);
    while (m_port->bytesToWrite() > 0) {
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("write timed out on %1").arg(m_device);
            m_port->clear(QSerialPort::Output);
            return false;
        }
        if (!m_port->waitForBytesWritten(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))) {
            const QSerialPort::SerialPortError error = m_port->error();
            if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError) {
                fail(QStringLiteral("write failed"));
                return false;
            }
        }
    }
    return true;
}

QByteArray SerialTransport::read(int timeoutMs)
{
    if (!isOpen())
        return {};
    if (m_port->bytesAvailable() == 0 && !m_port->waitForReadyRead(qMax(0, timeoutMs))) {
        const QSerialPort::SerialPortError error = m_port->error();
        if (error == QSerialPort::TimeoutError) {
            m_port->clearError();
        } else if (error != QSerialPort::NoError) {
            // The other end went away (a pseudo-terminal whose instrument ended, an unplugged adapter).
            fail(QStringLiteral("read failed"));
            return {};
        }
    }
    return m_port->readAll();
}

} // namespace orvalt::link
