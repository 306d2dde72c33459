#include "LineConditions.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace orvalt::instrument {

PacedTransport::PacedTransport(link::ByteTransport& inner, qint64 baud, const std::atomic<bool>* stop)
    : m_inner(inner)
    , m_stop(stop)
    , m_sendPacer(baud)
    , m_receivePacer(baud)
{}

void PacedTransport::waitFor(link::LinePacer& pacer, qint64 bytes)
{
    constexpr auto kSlice = std::chrono::milliseconds(50);
    const link::LinePacer::Clock::time_point due = pacer.reserve(bytes);
    for (auto now = link::LinePacer::Clock::now(); now < due && !(m_stop && m_stop->load());
         now = link::LinePacer::Clock::now())
        std::this_thread::sleep_until(std::min(due, now + kSlice));
}

bool PacedTransport::write(const QByteArray& bytes)
{
    waitFor(m_sendPacer, bytes.size());
    return m_inner.write(bytes);
}

QByteArray PacedTransport::read(int timeoutMs)
{
    const QByteArray bytes = m_inner.read(timeoutMs);
    waitFor(m_receivePacer, bytes.size());
    return bytes;
}

NoisyTransport::NoisyTransport(link::ByteTransport& inner, double corrupt, double drop, quint32 seed)
    : m_inner(inner)
    , m_random(seed)
    , m_corrupt(corrupt)
    , m_drop(drop)
{}

QByteArray NoisyTransport::disturb(const QByteArray& bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (const char byte : bytes) {
        if (m_drop(m_random)) {
            ++m_dropped;
            continue;
        }
        if (m_corrupt(m_random)) {
            ++m_corrupted;
            out.append(static_cast<char>(static_cast<unsigned char>(byte) ^ (1u << m_bit(m_random))));
            continue;
        }
        out.append(byte);
    }
    return out;
}

bool NoisyTransport::write(const QByteArray& bytes)
{
    const QByteArray disturbed = disturb(bytes);
    return disturbed.isEmpty() || m_inner.write(disturbed);
}

QByteArray NoisyTransport::read(int timeoutMs)
{
    // Bytes lost on the way must not end the wait early: the caller asked for the time-out.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const QByteArray bytes = m_inner.read(static_cast<int>(std::max<qint64>(left.count(), 0)));
        if (bytes.isEmpty())
            return {};
        QByteArray disturbed = disturb(bytes);
        if (!disturbed.isEmpty() || Clock::now() >= deadline)
            return disturbed;
    }
}

} // namespace orvalt::instrument
