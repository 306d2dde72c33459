#pragma once

#include "link/ByteTransport.h"
#include "link/LinePacer.h"

#include <atomic>
#include <random>

namespace orvalt::instrument {

// Carries bytes no faster than a serial line of the pacer's rate, in each direction on its own:
// what is written leaves when the line would have sent it, and what is read is handed on when the
// line would have delivered it.
class PacedTransport : public link::ByteTransport
{
public:
    // A set stop flag cuts waits short, so that a slow line never holds up the end.
    PacedTransport(link::ByteTransport& inner, qint64 baud, const std::atomic<bool>* stop = nullptr);

    bool write(const QByteArray& bytes) override;
    QByteArray read(int timeoutMs) override;
    bool isOpen() const override { return m_inner.isOpen(); }
    QString errorString() const override { return m_inner.errorString(); }

private:
    void waitFor(link::LinePacer& pacer, qint64 bytes);

    link::ByteTransport& m_inner;
    const std::atomic<bool>* m_stop;
    link::LinePacer m_sendPacer;
    link::LinePacer m_receivePacer;
};

// Line noise: every byte sent or received is lost with probability drop, or else has one bit
// flipped with probability corrupt. Seeded, so a failing run can be repeated.
class NoisyTransport : public link::ByteTransport
{
public:
    NoisyTransport(link::ByteTransport& inner, double corrupt, double drop, quint32 seed);

    bool write(const QByteArray& bytes) override;
    QByteArray read(int timeoutMs) override;
    bool isOpen() const override { return m_inner.isOpen(); }
    QString errorString() const override { return m_inner.errorString(); }

    qint64 bytesCorrupted() const { return m_corrupted; }
    qint64 bytesDropped() const { return m_dropped; }

private:
    QByteArray disturb(const QByteArray& bytes);

    link::ByteTransport& m_inner;
    std::mt19937 m_random;
    std::bernoulli_distribution m_corrupt;
    std::bernoulli_distribution m_drop;
    std::uniform_int_distribution<int> m_bit{0, 7};
    qint64 m_corrupted = 0;
    qint64 m_dropped = 0;
};

} // namespace orvalt::instrument
