#include "PtyTransport.h"

#include <QFile>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#ifdef Q_OS_LINUX
#include <sys/inotify.h>
#endif
#include <termios.h>
#include <unistd.h>

namespace orvalt::instrument {

namespace {

// A client that stops reading while we answer would otherwise block us for good once the
// terminal's buffer is full.
constexpr int kWriteStallMs = 10000;
constexpr int kReadChunk = 4096;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool makeRaw(int fd, QString* error)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        *error = QStringLiteral("not a terminal: %1").arg(systemError(errno));
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        *error = QStringLiteral("cannot set raw mode: %1").arg(systemError(errno));
        return false;
    }
    return true;
}

bool setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

FdTransport::FdTransport(int fd, int keepFd, QString name)
    : m_fd(fd)
    , m_keepFd(keepFd)
    , m_name(std::move(name))
{}

FdTransport::~FdTransport()
{
    if (m_clientWatch >= 0)
        ::close(m_clientWatch);
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_keepFd >= 0)
        ::close(m_keepFd);
}

void FdTransport::watchClients(const QString& path)
{
#ifdef Q_OS_LINUX
    m_clientWatch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_clientWatch >= 0 && ::inotify_add_watch(m_clientWatch, QFile::encodeName(path).constData(),
                                                  IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        ::close(m_clientWatch);
        m_clientWatch = -1;
    }
#else
    Q_UNUSED(path);
#endif
}

void FdTransport::takeClientEvents()
{
#ifdef Q_OS_LINUX
    alignas(inotify_event) char events[4096];
    bool closed = false;
    while (::read(m_clientWatch, events, sizeof events) > 0)
        closed = true;
    // Only a client that has the line open may set the flag again; the one that went cannot.
    if (closed && m_keepFd >= 0)
        ::ioctl(m_keepFd, TIOCNXCL);
#endif
}

bool FdTransport::wakeRequested() const
{
    if (m_wakeFd < 0)
        return false;
    pollfd wake{m_wakeFd, POLLIN, 0};
    return ::poll(&wake, 1, 0) > 0 && (wake.revents & POLLIN);
}

void FdTransport::fail(const QString& what, int error)
{
    m_open = false;
    m_error = QStringLiteral("%1 %2: %3").arg(what, m_name, systemError(error));
}

bool FdTransport::write(const QByteArray& bytes)
{
    if (!m_open)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            fail(QStringLiteral("cannot write to"), errno);
            return false;
        }
        pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, m_wakeFd >= 0 ? 2 : 1, kWriteStallMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (fds[1].revents & POLLIN)) {
            // The far end stopped reading, or we are asked to stop: the answer is lost either way
            // and the link's retransmission deals with it; the transport itself stays usable.
            m_error = QStringLiteral("writing to %1 stalled").arg(m_name);
            return false;
        }
    }
    return true;
}

QByteArray FdTransport::read(int timeoutMs)
{
    if (!m_open)
        return {};
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        if (wakeRequested())
            return {};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd fds[3] = {{m_fd, POLLIN, 0}, {m_clientWatch, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        const int ready =
            ::poll(fds, m_wakeFd >= 0 ? 3 : 2, static_cast<int>(std::max<qint64>(left.count(), 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            fail(QStringLiteral("cannot wait on"), errno);
            return {};
        }
        if (fds[1].revents & POLLIN) {
            takeClientEvents();
            continue;
        }
        if (ready == 0 || (fds[2].revents & POLLIN))
            return {};
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            QByteArray buffer(kReadChunk, Qt::Uninitialized);
            const ssize_t n = ::read(m_fd, buffer.data(), static_cast<size_t>(buffer.size()));
            if (n > 0) {
                buffer.truncate(n);
                return buffer;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
                continue;
            // End of file or EIO: the device went away (a serial adapter unplugged, the other end
            // of a socat pair ended).
            fail(QStringLiteral("lost"), n == 0 ? EIO : errno);
            return {};
        }
        if (Clock::now() >= deadline)
            return {};
    }
}

std::unique_ptr<FdTransport> openPseudoTerminal(QString* slavePath, QString* error)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(systemError(errno));
        return nullptr;
    }
    const char* name = nullptr;
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || (name = ::ptsname(master)) == nullptr) {
        *error = QStringLiteral("cannot prepare the pseudo-terminal: %1").arg(systemError(errno));
        ::close(master);
        return nullptr;
    }
    const QString path = QFile::decodeName(name);
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, systemError(errno));
        ::close(master);
        return nullptr;
    }
    QString why;
    if (!makeRaw(slave, &why) || !setNonBlocking(master)) {
        *error = QStringLiteral("cannot prepare %1: %2").arg(path, why.isEmpty() ? systemError(errno) : why);
        ::close(slave);
        ::close(master);
        return nullptr;
    }
    *slavePath = path;
    auto transport = std::make_unique<FdTransport>(master, slave, path);
    transport->watchClients(path);
    return transport;
}

} // namespace orvalt::instrument
