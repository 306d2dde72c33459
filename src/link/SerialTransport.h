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
    int m_writeTimeoutMs = 6000;
    bool m_failed = false;
};

} // namespace orvalt::link
