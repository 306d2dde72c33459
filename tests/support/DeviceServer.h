#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace orvalt::test {

// Debian's ser2net, run in the foreground for a test as a serial device server in front of the
// given devices (the virtual instruments' pseudo-terminals): for each, one RFC 2217 port and one
// raw TCP port on 127.0.0.1, on ports found free, at 115200 8N1. Its configuration is written to a
// temporary folder; the destructor stops it.
class DeviceServer
{
public:
    explicit DeviceServer(const QStringList& devices);
    ~DeviceServer();
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;

    // True once ser2net listens on every port.
    bool isReady() const { return m_ready; }
    QString errorString() const { return m_error; }
    // "rfc2217://127.0.0.1:PORT" and "tcp://127.0.0.1:PORT" of the i-th device.
    QString rfc2217(int i) const;
    QString tcp(int i) const;
    // A port on 127.0.0.1 where nothing listens.
    static quint16 freePort();
    // Ends ser2net at once (SIGKILL), as a device server that fails.
    void kill();

private:
    QTemporaryDir m_temp;
    QProcess m_process;
    QList<quint16> m_rfcPorts;
    QList<quint16> m_tcpPorts;
    bool m_ready = false;
    QString m_error;
};

} // namespace orvalt::test
