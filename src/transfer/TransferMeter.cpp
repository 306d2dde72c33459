#include "transfer/TransferMeter.h"

#include <QLocale>

namespace orvalt {

namespace {

// Thousands grouped as the program's English texts write them, whatever the system's locale.
QString grouped(qint64 n)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(n);
}

} // namespace

void TransferMeter::reset()
{
    m_file.clear();
    m_lastDone = 0;
    m_moved = 0;
    m_samples.clear();
}

FileProgress TransferMeter::update(const QString& file, qint64 done, qint64 total, qint64 nowMs)
{
    done = qMax<qint64>(0, done);
    // Another file, or the same name sent again from its start: its first bytes are new ones.
    const bool sameFile = file == m_file && done >= m_lastDone;
    m_moved += sameFile ? done - m_lastDone : done;
    m_file = file;
    m_lastDone = done;
    m_samples.push_back({nowMs, m_moved});
    while (!m_samples.empty() && m_samples.front().ms < nowMs - kWindowMs)
        m_samples.pop_front();

    FileProgress p;
    p.file = file;
    p.done = done;
    p.total = qMax<qint64>(0, total);
    const qint64 spanMs = nowMs - m_samples.front().ms;
    const qint64 bytes = m_moved - m_samples.front().bytes;
    if (spanMs >= kMinimumSpanMs && bytes > 0) {
        p.bytesPerSecond = bytes * 1000 / spanMs;
        if (p.bytesPerSecond > 0) {
            const qint64 left = qMax<qint64>(0, p.total - p.done);
            p.secondsLeft = (left + p.bytesPerSecond - 1) / p.bytesPerSecond;
        }
    }
    return p;
}

QString progressBytesText(const FileProgress& progress)
{
    return QStringLiteral("%1 of %2 bytes").arg(grouped(progress.done), grouped(progress.total));
}

QString progressRateText(const FileProgress& progress)
{
    if (progress.bytesPerSecond < 0)
        return QString();
    return QStringLiteral("%1 bytes/s").arg(grouped(progress.bytesPerSecond));
}

QString progressTimeLeftText(const FileProgress& progress)
{
    if (progress.secondsLeft < 0)
        return QString();
    const qint64 hours = progress.secondsLeft / 3600;
    const qint64 minutes = progress.secondsLeft / 60 % 60;
    const qint64 seconds = progress.secondsLeft % 60;
    const QString ss = QStringLiteral("%1").arg(seconds, 2, 10, QLatin1Char('0'));
    if (hours > 0) {
        return QStringLiteral("%1:%2:%3 left")
            .arg(hours)
            .arg(QStringLiteral("%1").arg(minutes, 2, 10, QLatin1Char('0')), ss);
    }
    return QStringLiteral("%1:%2 left").arg(minutes).arg(ss);
}

} // namespace orvalt
