#include "support/PipeTransport.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMutex>
#include <QWaitCondition>
#include <map>
#include <set>

namespace orvalt::test {

struct PipeTransport::Shared
{
    struct Direction
    {
        QByteArray queue; // written, not yet read
        qint64 written = 0;
        std::set<qint64> drops;
        std::set<qint64> dropWrites;
        std::map<qint64, quint8> flips;
        qint64 goAway = -1;
        bool mute = false;
        // The stall of holdAt(): bytes from holdFrom on wait in held; paceMs is when the next of
        // them may go, on the clock started by the first one held.
        qint64 holdFrom = -1;
        int holdMs = 0;
        double msPerByte = 0;
        QByteArray held;
        QElapsedTimer heldClock;
        double paceMs = 0;

        bool holding(qint64 offset) const { return holdFrom >= 0 && offset >= holdFrom; }
        void hold(char c)
        {
            if (!heldClock.isValid())
                heldClock.start();
            // A line that had nothing to send has no time in hand.
            if (held.isEmpty())
                paceMs = qMax(paceMs, static_cast<double>(heldClock.elapsed()));
            held.append(c);
        }
        // Moves what the line has delivered by now from held to queue.
        void release()
        {
            if (held.isEmpty())
                return;
            const double now = static_cast<double>(heldClock.elapsed());
            paceMs = qMax(paceMs, static_cast<double>(holdMs));
            qsizetype n = 0;
            while (n < held.size() && paceMs <= now) {
                ++n;
                paceMs += msPerByte;
            }
            queue.append(held.left(n));
            held.remove(0, n);
        }
    };
    mutable QMutex mutex;
    QWaitCondition arrived;
    Direction dir[2]; // dir[s]: bytes written by side s
    bool closed = false;
};

std::pair<std::unique_ptr<PipeTransport>, std::unique_ptr<PipeTransport>> PipeTransport::createPair()
{
    auto shared = std::make_shared<Shared>();
    return {std::unique_ptr<PipeTransport>(new PipeTransport(shared, 0)),
            std::unique_ptr<PipeTransport>(new PipeTransport(shared, 1))};
}

PipeTransport::PipeTransport(std::shared_ptr<Shared> shared, int side)
    : m_shared(std::move(shared))
    , m_side(side)
{}

PipeTransport::~PipeTransport() = default;

bool PipeTransport::write(const QByteArray& bytes)
{
    QMutexLocker lock(&m_shared->mutex);
    if (m_shared->closed)
        return false;
    Shared::Direction& d = m_shared->dir[m_side];
    const qint64 first = d.written;
    d.written += bytes.size();
    if (d.mute)
        return true;
    for (qint64 offset : d.dropWrites) {
        if (offset >= first && offset < d.written)
            return true;
    }
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const qint64 offset = first + i;
        if (offset == d.goAway) {
            d.queue.append(out);
            m_shared->closed = true;
            m_shared->arrived.wakeAll();
            return false;
        }
        if (d.drops.count(offset))
            continue;
        char c = bytes.at(i);
        if (auto it = d.flips.find(offset); it != d.flips.end())
            c = static_cast<char>(static_cast<quint8>(c) ^ it->second);
        if (d.holding(offset))
            d.hold(c);
        else
            out.append(c);
    }
    d.queue.append(out);
    m_shared->arrived.wakeAll();
    return true;
}

QByteArray PipeTransport::read(int timeoutMs)
{
    QDeadlineTimer deadline(qMax(0, timeoutMs));
    QMutexLocker lock(&m_shared->mutex);
    Shared::Direction& in = m_shared->dir[1 - m_side];
    for (;;) {
        in.release();
        if (!in.queue.isEmpty() || m_shared->closed)
            break;
        // Held bytes fall due without a write to wake us: look again every millisecond.
        const bool timedOut = in.held.isEmpty() ? !m_shared->arrived.wait(&m_shared->mutex, deadline)
                                                : !m_shared->arrived.wait(&m_shared->mutex, 1);
        if (timedOut && deadline.hasExpired())
            break;
    }
    QByteArray bytes;
    bytes.swap(in.queue);
    return bytes;
}

bool PipeTransport::isOpen() const
{
    QMutexLocker lock(&m_shared->mutex);
    return !m_shared->closed;
}

QString PipeTransport::errorString() const
{
    return isOpen() ? QString() : QStringLiteral("the pipe was closed");
}

void PipeTransport::flipByteAt(qint64 offset, quint8 mask)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->dir[m_side].flips[offset] = mask;
}

void PipeTransport::dropByteAt(qint64 offset)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->dir[m_side].drops.insert(offset);
}

void PipeTransport::dropWriteAt(qint64 offset)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->dir[m_side].dropWrites.insert(offset);
}

void PipeTransport::goAwayAt(qint64 offset)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->dir[m_side].goAway = offset;
}

void PipeTransport::setMute(bool mute)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->dir[m_side].mute = mute;
}

void PipeTransport::holdAt(qint64 offset, int holdMs, int bytesPerSecond)
{
    QMutexLocker lock(&m_shared->mutex);
    Shared::Direction& d = m_shared->dir[m_side];
    d.holdFrom = offset;
    d.holdMs = holdMs;
    d.msPerByte = 1000.0 / qMax(1, bytesPerSecond);
}

qint64 PipeTransport::bytesWritten() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->dir[m_side].written;
}

void PipeTransport::close()
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->closed = true;
    m_shared->arrived.wakeAll();
}

} // namespace orvalt::test
