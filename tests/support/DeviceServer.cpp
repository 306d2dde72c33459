#include "support/DeviceServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSet>
#include <QTcpServer>
#include <QThread>

namespace orvalt::test {

namespace {

constexpr int kStartMs = 15000;

// The TCP ports listening on this machine, from /proc/net/tcp: a probing connection would make
// ser2net open the device, and hold it a moment after.
QSet<quint16> listeningPorts()
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

} // namespace

quint16 DeviceServer::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

DeviceServer::DeviceServer(const QStringList& devices)
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
    if (!m_process.waitForStarted(kStartMs)) {
        m_error = QStringLiteral("cannot start ser2net: %1").arg(m_process.errorString());
        return;
    }
    const QDeadlineTimer deadline(kStartMs);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        const QSet<quint16> listening = listeningPorts();
        if (listening.contains(taken)) {
            m_ready = true;
            return;
        }
        QThread::msleep(20);
    }
    m_error = QStringLiteral("ser2net did not listen: %1").arg(QString::fromLocal8Bit(m_process.readAll()));
}

DeviceServer::~DeviceServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(kStartMs)) {
            m_process.kill();
            m_process.waitForFinished(kStartMs);
        }
    }
}

void DeviceServer::kill()
{
    m_process.kill();
    m_process.waitForFinished(kStartMs);
}

QString DeviceServer::rfc2217(int i) const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_rfcPorts.value(i));
}

QString DeviceServer::tcp(int i) const
{
    return QStringLiteral("tcp://127.0.0.1:%1").arg(m_tcpPorts.value(i));
}

} // namespace orvalt::test
