#include "link/SerialTransport.h"

#include <QDeadlineTimer>
#include <QFile>

#ifdef Q_OS_UNIX
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
    return true; // elsewhere a port held by another program is refused as access denied
#endif
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
    m_port = std::make_unique<QSerialPort>();
    m_port->setPortName(device);
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_openProblem = portProblemOf(m_port->error(), mayOpenDevice(device));
        m_systemReason = m_port->errorString();
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
