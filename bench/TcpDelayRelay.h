#pragma once

// The network between the program and a serial device server: a TCP relay on 127.0.0.1 that hands
// every byte on a fixed time after it arrived, each way, as a network with that one-way delay does
// (its round trip twice that). Each connection made to it gets a connection of its own to the
// target port. Bytes are handed on as they came, never paced: the serial line's rate is the
// device server's and the instrument's.

#include <QtGlobal>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvalt::bench {

class TcpDelayRelay
{
public:
    using Clock = std::chrono::steady_clock;

    TcpDelayRelay(quint16 target, std::chrono::microseconds oneWay)
        : m_target(target)
        , m_delay(oneWay)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(0);
        socklen_t size = sizeof address;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listen, 16) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &size) != 0 || ::pipe(m_wake) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~TcpDelayRelay()
    {
        m_stop = true;
        if (m_wake[1] >= 0) {
            [[maybe_unused]] const ssize_t woken = ::write(m_wake[1], "x", 1); // else seen within 100 ms
        }
        if (m_thread.joinable())
            m_thread.join();
        for (Pair& pair : m_pairs)
            closePair(pair);
        for (const int fd : {m_listen, m_wake[0], m_wake[1]})
            if (fd >= 0)
                ::close(fd);
    }
    TcpDelayRelay(const TcpDelayRelay&) = delete;
    TcpDelayRelay& operator=(const TcpDelayRelay&) = delete;

    // The port the program connects to; 0 when the relay could not be set up.
    quint16 port() const { return m_port; }

private:
    struct Chunk
    {
        Clock::time_point due;
        std::vector<char> bytes;
    };
    struct Pair
    {
        int fd[2] = {-1, -1};        // the client's side, the target's side
        std::deque<Chunk> toward[2]; // bytes on their way to fd[i]
        bool open = true;
    };

    static sockaddr_in loopback(quint16 port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    static void noDelay(int fd)
    {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }

    static void closePair(Pair& pair)
    {
        for (int& fd : pair.fd) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
        pair.open = false;
    }

    void accept()
    {
        Pair pair;
        pair.fd[0] = ::accept(m_listen, nullptr, nullptr);
        if (pair.fd[0] < 0)
            return;
        pair.fd[1] = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in target = loopback(m_target);
        if (pair.fd[1] < 0 ||
            ::connect(pair.fd[1], reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
            closePair(pair);
            return;
        }
        noDelay(pair.fd[0]);
        noDelay(pair.fd[1]);
        m_pairs.push_back(std::move(pair));
    }

    // Hands on what is due; a side that went away closes the pair once what it sent is delivered.
    void deliver(Pair& pair, Clock::time_point now)
    {
        for (int to = 0; to < 2; ++to) {
            auto& queue = pair.toward[to];
            while (!queue.empty() && queue.front().due <= now) {
                const std::vector<char>& bytes = queue.front().bytes;
                size_t sent = 0;
                while (sent < bytes.size()) {
                    const ssize_t n =
                        ::send(pair.fd[to], bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                    if (n <= 0) {
                        closePair(pair);
                        return;
                    }
                    sent += static_cast<size_t>(n);
                }
                queue.pop_front();
            }
        }
    }

    void run()
    {
        std::vector<char> buffer(65536);
        while (!m_stop) {
            std::vector<pollfd> fds{{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            for (const Pair& pair : m_pairs)
                for (const int fd : pair.fd)
                    fds.push_back({fd, POLLIN, 0});
            // Until the next chunk falls due.
            auto next = Clock::now() + std::chrono::milliseconds(100);
            for (const Pair& pair : m_pairs)
                for (const auto& queue : pair.toward)
                    if (!queue.empty())
                        next = std::min(next, queue.front().due);
            const auto waitUs =
                std::chrono::duration_cast<std::chrono::microseconds>(next - Clock::now()).count();
            const timespec wait{0, static_cast<long>(std::max<qint64>(0, waitUs) * 1000)};
            ::ppoll(fds.data(), fds.size(), &wait, nullptr);
            const auto now = Clock::now();
            if (fds[0].revents & POLLIN)
                accept();
            size_t at = 2;
            for (Pair& pair : m_pairs) {
                for (int from = 0; from < 2; ++from) {
                    const short events = at < fds.size() ? fds[at].revents : 0;
                    ++at;
                    if (!pair.open || !(events & (POLLIN | POLLHUP | POLLERR)))
                        continue;
                    const ssize_t n = ::recv(pair.fd[from], buffer.data(), buffer.size(), 0);
                    if (n <= 0) {
                        // Whatever is still on its way goes first, then the other side is told.
                        for (int to = 0; to < 2; ++to)
                            for (Chunk& chunk : pair.toward[to])
                                chunk.due = now;
                        deliver(pair, now);
                        closePair(pair);
                        break;
                    }
                    pair.toward[1 - from].push_back({now + m_delay, {buffer.begin(), buffer.begin() + n}});
                }
                if (pair.open)
                    deliver(pair, Clock::now());
            }
            m_pairs.erase(
                std::remove_if(m_pairs.begin(), m_pairs.end(), [](const Pair& pair) { return !pair.open; }),
                m_pairs.end());
        }
    }

    quint16 m_target;
    std::chrono::microseconds m_delay;
    quint16 m_port = 0;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stop{false};
    std::vector<Pair> m_pairs;
    std::thread m_thread;
};

} // namespace orvalt::bench
