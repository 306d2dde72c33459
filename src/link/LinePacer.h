#pragma once

#include <QtGlobal>
#include <chrono>

namespace orvalt::link {

// Holds bytes back to the rate of a serial line of a given baud rate, 8N1 (ten bit times a byte),
// so that a pseudo-terminal, which carries bytes as fast as they are written, behaves like a real
// line. One pacer serves one direction: a full-duplex line needs two.
//
// The line is modelled as busy until the last byte handed to it has gone out; bytes handed to an
// idle line start at once. A baud rate of 0 leaves the line unpaced.
class LinePacer
{
public:
    using Clock = std::chrono::steady_clock;

    explicit LinePacer(qint64 baud = 0);

    qint64 baud() const { return m_baud; }
    void setBaud(qint64 baud);
    bool isPaced() const { return m_baud > 0; }

    // Time the line needs for this many bytes (zero when unpaced).
    Clock::duration durationOf(qint64 bytes) const;

    // Books the line for this many bytes and returns when the last of them is through.
    Clock::time_point reserve(qint64 bytes);
    // Books the line for this many bytes and waits until the last of them is through.
    void pace(qint64 bytes);
    // Forgets what was booked: the line is idle now.
    void reset();

private:
    qint64 m_baud = 0;
    Clock::time_point m_freeAt{};
};

} // namespace orvalt::link
