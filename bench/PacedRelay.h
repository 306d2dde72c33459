#pragma once

// A serial line between two pseudo-terminals: a relay that holds every byte back to the line rate
// in each direction, may delay every byte by a fixed time more (the latency a USB serial adapter
// adds), may damage bytes, and may stall (carry nothing for a while, then deliver what waited at the
// line rate), as a line whose far end stopped for a moment does.

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace orvalt::bench {

struct Pty
{
    int master = -1;
    int slave = -1;
    QString path;
};

inline bool openPty(Pty& pty)
{
    pty.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0)
        return false;
    pty.path = QString::fromLocal8Bit(ptsname(pty.master));
    // Holding the slave open keeps the master readable before and between the programs' opens.
    pty.slave = ::open(ptsname(pty.master), O_RDWR | O_NOCTTY);
    if (pty.slave < 0)
        return false;
    termios mode{};
    tcgetattr(pty.slave, &mode);
    cfmakeraw(&mode);
    tcsetattr(pty.slave, TCSANOW, &mode);
    fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    return true;
}

inline void closePty(Pty& pty)
{
    for (int* fd : {&pty.master, &pty.slave}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

// One direction of the line: every byte leaves one character time after the one before it, and no
// earlier than it arrived plus its own character time; it is delivered the latency after that.
class PacedDirection
{
public:
    using Clock = std::chrono::steady_clock;

    PacedDirection(int from, int to, double bytesPerSecond, double noise, quint32 seed,
                   Clock::duration latency = {})
        : m_from(from)
        , m_to(to)
        , m_byteTime(std::chrono::nanoseconds(static_cast<qint64>(1e9 / bytesPerSecond)))
        , m_latency(latency)
        , m_noise(noise)
        , m_random(seed)
    {}

    // A real line holds back a writer that runs ahead of it; so does the relay, by reading no more
    // while a few hundred bytes wait, which leaves the rest in the pseudo-terminal's buffer.
    bool wantsInput() const { return m_queue.size() < kHoldBack; }

    void readAvailable()
    {
        char buffer[kHoldBack];
        while (wantsInput()) {
            const ssize_t n = ::read(m_from, buffer, kHoldBack - m_queue.size());
            if (n <= 0)
                return;
            const Clock::time_point now = Clock::now();
            for (ssize_t i = 0; i < n; ++i) {
                m_lineFree = std::max(now, m_lineFree) + m_byteTime;
                if (m_noise > 0 && m_random.generateDouble() < m_noise) {
                    if (m_random.bounded(2) == 0)
                        continue; // lost
                    buffer[i] = static_cast<char>(static_cast<unsigned char>(buffer[i]) ^
                                                  (1u << m_random.bounded(8)));
                }
                m_queue.push_back({m_lineFree + m_latency, buffer[i]});
            }
        }
    }

    // Nothing is delivered before until; what waits then goes at the line rate from that moment.
    void stallUntil(Clock::time_point until)
    {
        Clock::time_point next = until;
        for (Pending& p : m_queue) {
            next += m_byteTime;
            p.due = std::max(p.due, next + m_latency);
        }
        m_lineFree = std::max(m_lineFree, next);
    }

    // Writes what is due; returns the time the next byte is due (or max when none waits).
    Clock::time_point deliver()
    {
        const Clock::time_point now = Clock::now();
        QByteArray due;
        while (!m_queue.empty() && m_queue.front().due <= now) {
            due.append(m_queue.front().byte);
            m_queue.pop_front();
        }
        if (!due.isEmpty()) {
            m_unwritten.append(due);
        }
        if (!m_unwritten.isEmpty()) {
            const ssize_t n = ::write(m_to, m_unwritten.constData(), static_cast<size_t>(m_unwritten.size()));
            if (n > 0)
                m_unwritten.remove(0, n);
        }
        if (!m_unwritten.isEmpty())
            return now + std::chrono::microseconds(200);
        return m_queue.empty() ? Clock::time_point::max() : m_queue.front().due;
    }

private:
    static constexpr size_t kHoldBack = 2048;
    struct Pending
    {
        Clock::time_point due;
        char byte;
    };
    int m_from;
    int m_to;
    Clock::duration m_byteTime;
    Clock::duration m_latency;
    double m_noise;
    QRandomGenerator m_random;
    Clock::time_point m_lineFree{};
    std::deque<Pending> m_queue;
    QByteArray m_unwritten;
};

// Both directions between the masters of two pseudo-terminals, on a thread of their own.
class PacedRelay
{
public:
    using Clock = PacedDirection::Clock;

    // latency: added to every byte in each direction (half the round trip).
    PacedRelay(int masterA, int masterB, double bytesPerSecond, double noise = 0,
               Clock::duration latency = {})
        : m_thread([this, masterA, masterB, bytesPerSecond, noise, latency] {
            run(masterA, masterB, bytesPerSecond, noise, latency);
        })
    {}
    ~PacedRelay() { stop(); }
    PacedRelay(const PacedRelay&) = delete;
    PacedRelay& operator=(const PacedRelay&) = delete;

    // After delayUs, the line carries nothing either way for ms, then delivers its backlog at the
    // line rate. A delay puts the stall anywhere, in the middle of a frame too.
    void stall(int ms, int delayUs = 0)
    {
        m_stallDelayUs = delayUs;
        m_stallMs = ms;
    }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void run(int a, int b, double bytesPerSecond, double noise, Clock::duration latency)
    {
        PacedDirection forward(a, b, bytesPerSecond, noise, 1, latency);
        PacedDirection backward(b, a, bytesPerSecond, noise, 2, latency);
        Clock::time_point stallAt = Clock::time_point::max();
        int stallMs = 0;
        while (!m_stop.load()) {
            if (const int ms = m_stallMs.exchange(0); ms > 0) {
                stallMs = ms;
                stallAt = Clock::now() + std::chrono::microseconds(m_stallDelayUs.load());
            }
            if (Clock::now() >= stallAt) {
                const Clock::time_point until = Clock::now() + std::chrono::milliseconds(stallMs);
                forward.stallUntil(until);
                backward.stallUntil(until);
                stallAt = Clock::time_point::max();
            }
            const Clock::time_point next = std::min({forward.deliver(), backward.deliver(), stallAt});
            pollfd fds[2] = {{a, static_cast<short>(forward.wantsInput() ? POLLIN : 0), 0},
                             {b, static_cast<short>(backward.wantsInput() ? POLLIN : 0), 0}};
            // Bytes go out in batches of about a millisecond; the line's clock runs on regardless, so
            // batching adds latency, never lost line time.
            const qint64 waitNs =
                next == Clock::time_point::max()
                    ? 20'000'000
                    : std::chrono::duration_cast<std::chrono::nanoseconds>(next - Clock::now()).count();
            const timespec ts{0, static_cast<long>(std::clamp<qint64>(waitNs, 1'000'000, 20'000'000))};
            if (ppoll(fds, 2, &ts, nullptr) > 0) {
                if (fds[0].revents & POLLIN)
                    forward.readAvailable();
                if (fds[1].revents & POLLIN)
                    backward.readAvailable();
            }
        }
    }

    std::atomic<bool> m_stop{false};
    std::atomic<int> m_stallMs{0};
    std::atomic<int> m_stallDelayUs{0};
    std::thread m_thread;
};

} // namespace orvalt::bench
