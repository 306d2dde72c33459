#pragma once

#include "link/ByteTransport.h"
#include "link/NetworkDevice.h"
#include "link/SerialTransport.h"
#include "link/TelnetCodec.h"

#include <QString>
#include <memory>
#include <optional>

class QLockFile;
class QTcpSocket;

namespace orvalt::link {

// ByteTransport over TCP to a serial device server, used blocking from the thread that opened it.
// TCP_NODELAY, since the link's requests are small and wait for their answers. A network device is
// locked by its host and port (a lock file, as a serial port's), so two runs on one machine never
// share it.
class NetworkTransport : public ByteTransport
{
public:
    // The longest wait for the connection, and then for the server's negotiation and its answers to
    // the line settings.
    static constexpr int kConnectTimeOutMs = 10000;
    // How long a raw TCP connection is watched after it opened for a server that closes it at once
    // (one that serves another client and says so).
    static constexpr int kRefusalWatchMs = 300;

    NetworkTransport();
    ~NetworkTransport() override;
    NetworkTransport(const NetworkTransport&) = delete;
    NetworkTransport& operator=(const NetworkTransport&) = delete;

    // Connects and, for rfc2217://, negotiates binary data and the COM port option and sets the line
    // settings, checking each answer. False when the device cannot be used: openProblem() and
    // systemReason() say why.
    bool open(const QString& device, const SerialSettings& settings);
    void close();
    void setConnectTimeOutMs(int ms) { m_connectTimeOutMs = qMax(1, ms); }
    PortProblem openProblem() const { return m_openProblem; }
    // What the system or the server said: the socket's error, the server's refusal text, or the
    // settings it answered otherwise.
    QString systemReason() const { return m_systemReason; }
    // Who holds the device's lock ("orvalt-cli, process 1234") when another run uses it.
    QString lockHolder() const { return m_lockHolder; }
    void setWriteTimeoutMs(int ms) { m_writeTimeoutMs = qMax(1, ms); }
    // The lock file a network device is locked by.
    static QString lockPathOf(const NetworkDevice& device);

    bool write(const QByteArray& bytes) override;
    QByteArray read(int timeoutMs) override;
    bool isOpen() const override;
    QString errorString() const override;

private:
    bool refuse(PortProblem problem, const QString& reason);
    bool lock(const NetworkDevice& device);
    bool connectSocket(const NetworkDevice& device);
    bool negotiate(const SerialSettings& settings);
    bool watchForRefusal();
    // Reads what the server sent within the deadline into m_pending (its data) and answers its
    // negotiation; false when the connection ended or nothing came.
    bool pump(int waitMs);
    bool refusedByServer();
    void lose();
    bool usable();
    QString lostText() const;

    std::unique_ptr<QTcpSocket> m_socket;
    std::unique_ptr<QLockFile> m_lock;
    std::optional<TelnetCodec> m_telnet; // for rfc2217:// only
    QString m_device;
    QByteArray m_pending; // data taken from the server, not yet read
    QString m_error;
    PortProblem m_openProblem = PortProblem::None;
    QString m_systemReason;
    QString m_lockHolder;
    int m_connectTimeOutMs = kConnectTimeOutMs;
    int m_writeTimeoutMs = 6000;
    bool m_lost = false;
    bool m_opened = false; // open() succeeded: what comes now is the instrument's
};

} // namespace orvalt::link
