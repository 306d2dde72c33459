#pragma once

#include "link/ByteTransport.h"

#include <QSerialPort>
#include <QStringList>
#include <memory>

namespace orvalt::link {

// Line settings as values (PexLink turns the program's list positions into these).
struct SerialSettings
{
    qint32 baud = 9600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;
};

// Why a device could not be opened, as far as the system (or the device server) tells.
enum class PortProblem
{
    None,
    NoSuchDevice,     // no device of that name (an adapter unplugged, a port mistyped)
    PermissionDenied, // the user may not open it (on Linux: not in the dialout group)
    InUse,            // another program holds it open or locked
    LockLeftBehind,   // a lock file of a program that has ended, which this user may not remove
    Other,
    // A device on the network (NetworkTransport):
    BadAddress,        // rfc2217:// or tcp:// without a host and a port
    HostNotFound,      // the host name does not resolve
    ConnectionRefused, // nothing listens at that port
    NoRoute,           // the network or host cannot be reached
    NoAnswer,          // the connection or its negotiation did not come within the connect time-out
    ServerBusy,        // the server closed the connection at once, serving another client
    SettingRefused     // the server refused or changed a line setting, or the COM port option
};

// The problem that QSerialPort's error on opening means. A permission error is also what a lock
// held by another program gives; mayOpen (the user may read and write the device) tells the two
// apart.
PortProblem portProblemOf(QSerialPort::SerialPortError error, bool mayOpen);

// ByteTransport over a serial device, used blocking from the thread that opened it.
class SerialTransport : public ByteTransport
{
public:
    SerialTransport();
    ~SerialTransport() override;

    // Opens the device. A setting the device refuses (a pseudo-terminal knows no parity, 7 data bits
    // or modem lines) does not stop it from opening: it is noted in settingNotes() and the device
    // keeps what it can do. Returns false only when the device itself cannot be opened.
    bool open(const QString& device, const SerialSettings& settings);
    void close();
    QStringList settingNotes() const { return m_notes; }
    // Why the last open failed (None after a successful one), and what the system said.
    PortProblem openProblem() const { return m_openProblem; }
    QString systemReason() const { return m_systemReason; }
    // Who holds the port's lock, as the lock file says ("orvalt-cli, process 1234"), when the port
    // was in use; empty when no lock says.
    QString lockHolder() const { return m_lockHolder; }
    // The lock file that holds the port, when one does.
    QString lockFile() const { return m_lockFile; }
    // Longest wait for written bytes to leave (hardware flow control can hold them back).
    void setWriteTimeoutMs(int ms) { m_writeTimeoutMs = qMax(1, ms); }

    bool write(const QByteArray& bytes) override;
    QByteArray read(int timeoutMs) override;
    bool isOpen() const override;
    QString errorString() const override { return m_error; }

private:
    void fail(const QString& what);

    std::unique_ptr<QSerialPort> m_port;
    QString m_device;
    QString m_error;
    QStringList m_notes;
    PortProblem m_openProblem = PortProblem::None;
    QString m_systemReason;
    QString m_lockHolder;
    QString m_lockFile;
    int m_writeTimeoutMs = 6000;
    bool m_failed = false;
};

} // namespace orvalt::link
