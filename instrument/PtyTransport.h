#pragma once

#include "link/ByteTransport.h"

#include <QString>
#include <memory>

namespace orvalt::instrument {

// A byte transport over the master side of a pseudo-terminal that the instrument created (POSIX
// systems only; a serial device goes through QSerialPort instead). The descriptor is non-blocking;
// waits use poll() and end early when the wake descriptor becomes readable, so a stop request never
// waits out a time-out.
class FdTransport : public link::ByteTransport
{
public:
    // Takes ownership of fd and of keepFd (-1 for none), which is only held open.
    FdTransport(int fd, int keepFd, QString name);
    ~FdTransport() override;
    FdTransport(const FdTransport&) = delete;
    FdTransport& operator=(const FdTransport&) = delete;

    // A readable wakeFd ends every wait at once; it is not read here, so it keeps doing so.
    void setWakeFd(int wakeFd) { m_wakeFd = wakeFd; }
    // Watches the client side at path (the slave of the pseudo-terminal, held open as keepFd): when a
    // client closes it, whether it ended cleanly or was killed, the terminal's exclusive flag is
    // cleared. A serial port library sets that flag on open and clears it on close; a client killed
    // in between would otherwise leave the line refused to every later client but root's.
    void watchClients(const QString& path);
    const QString& name() const { return m_name; }

    bool write(const QByteArray& bytes) override;
    QByteArray read(int timeoutMs) override;
    bool isOpen() const override { return m_open; }
    QString errorString() const override { return m_error; }

private:
    bool wakeRequested() const;
    void fail(const QString& what, int error);
    void takeClientEvents();

    int m_fd = -1;
    int m_keepFd = -1;
    int m_wakeFd = -1;
    int m_clientWatch = -1; // inotify on the client side, or -1
    bool m_open = true;
    QString m_name;
    QString m_error;
};

// Creates a pseudo-terminal in raw mode. The slave side stays open inside the transport, so that the
// master neither sees a hang-up while no client is connected nor loses the terminal when a client
// closes it and opens it again. slavePath receives the path for clients.
std::unique_ptr<FdTransport> openPseudoTerminal(QString* slavePath, QString* error);

} // namespace orvalt::instrument
