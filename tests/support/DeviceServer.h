#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

namespace orvalt::test {

// Debian's ser2net, run in the foreground for a test as a serial device server in front of the
// given devices (the virtual instruments' pseudo-terminals): for each, one RFC 2217 port and one
// raw TCP port on 127.0.0.1, on ports found free, at 115200 8N1. Its configuration is written to a
// temporary folder; the destructor stops it. Header-only: the benchmarks start it too.
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

namespace deviceserver {

constexpr int kStartMs = 15000;

// The TCP ports listening on this machine, from /proc/net/tcp: a probing connection would make
// ser2net open the device, and hold it a moment after.
inline QSet<quint16> listeningPorts()
{
    QSet<quint16> ports;
    QFile file(QStringLiteral("/proc/net/tcp"));
    if (!file.open(QIODevice::ReadOnly))
        return ports;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields.at(3) == "0A") { // LISTEN
            bool ok = false;
            const uint port = fields.at(1).split(':').value(1).toUInt(&ok, 16);
            if (ok)
                ports.insert(static_cast<quint16>(port));
        }
    }
    return ports;
}

} // namespace deviceserver

inline quint16 DeviceServer::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

inline DeviceServer::DeviceServer(const QStringList& devices)
{
    QByteArray yaml;
    QSet<quint16> taken;
    auto port = [&taken] {
        quint16 p = freePort();
        while (taken.contains(p))
            p = freePort();
        taken.insert(p);
        return p;
    };
    for (int i = 0; i < devices.size(); ++i) {
        m_rfcPorts << port();
        m_tcpPorts << port();
        for (const bool rfc : {true, false}) {
            yaml += QStringLiteral("connection: &c%1%2\n"
                                   "  accepter: %3tcp,127.0.0.1,%4\n"
                                   "  connector: serialdev,%5,115200n81,local\n"
                                   "  options:\n"
                                   "    mdns: false\n")
                        .arg(i)
                        .arg(rfc ? QStringLiteral("r") : QStringLiteral("t"),
                             rfc ? QStringLiteral("telnet(rfc2217),") : QString())
                        .arg(rfc ? m_rfcPorts.last() : m_tcpPorts.last())
                        .arg(devices.at(i))
                        .toUtf8();
        }
    }
    const QString config = m_temp.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(yaml) != yaml.size()) {
        m_error = QStringLiteral("cannot write %1").arg(config);
        return;
    }
    file.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("ser2net"),
                    {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-c"), config});
    if (!m_process.waitForStarted(deviceserver::kStartMs)) {
        m_error = QStringLiteral("cannot start ser2net: %1").arg(m_process.errorString());
        return;
    }
    const QDeadlineTimer deadline(deviceserver::kStartMs);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        const QSet<quint16> listening = deviceserver::listeningPorts();
        if (listening.contains(taken)) {
            m_ready = true;
            return;
        }
        QThread::msleep(20);
    }
    m_error = QStringLiteral("ser2net did not listen: %1").arg(QString::fromLocal8Bit(m_process.readAll()));
}

inline DeviceServer::~DeviceServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(deviceserver::kStartMs)) {
            m_process.kill();
            m_process.waitForFinished(deviceserver::kStartMs);
        }
    }
}

inline void DeviceServer::kill()
{
    m_process.kill();
    m_process.waitForFinished(deviceserver::kStartMs);
}

inline QString DeviceServer::rfc2217(int i) const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_rfcPorts.value(i));
}

inline QString DeviceServer::tcp(int i) const
{
    return QStringLiteral("tcp://127.0.0.1:%1").arg(m_tcpPorts.value(i));
}

} // namespace orvalt::test
