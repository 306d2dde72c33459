#include "link/LinePacer.h"

#include <algorithm>
#include <thread>

namespace orvalt::link {

namespace {
constexpr qint64 kBitsPerByte = 10; // start bit, 8 data bits, stop bit
}

LinePacer::LinePacer(qint64 baud)
{
    setBaud(baud);
}

void LinePacer::setBaud(qint64 baud)
{
    m_baud = std::max<qint64>(baud, 0);
    reset();
}

LinePacer::Clock::duration LinePacer::durationOf(qint64 bytes) const
{
    if (m_baud <= 0 || bytes <= 0)
        return Clock::duration::zero();
    // Nanoseconds through long double: 64 MiB at 300 baud would overflow a 64-bit product.
    const long double nanos = static_cast<long double>(bytes) * kBitsPerByte * 1e9L / m_baud;
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(static_cast<std::chrono::nanoseconds::rep>(nanos)));
}

LinePacer::Clock::time_point LinePacer::reserve(qint64 bytes)
{
    const Clock::time_point now = Clock::now();
    if (m_baud <= 0)
        return now;
    m_freeAt = std::max(now, m_freeAt) + durationOf(bytes);
    return m_freeAt;
}

void LinePacer::pace(qint64 bytes)
{
    if (m_baud <= 0)
        return;
    std::this_thread::sleep_until(reserve(bytes));
}

void LinePacer::reset()
{
    m_freeAt = Clock::time_point{};
}

} // namespace orvalt::link
