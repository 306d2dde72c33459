#include "support/PipeTransport.h"

#include <QDeadlineTimer>
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
    while (in.queue.isEmpty() && !m_shared->closed) {
        if (!m_shared->arrived.wait(&m_shared->mutex, deadline))
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
