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

FileProgress TransferMeter::update(const QString& file, qint64 done, qint64 total, qint64 nowMs)
{
    // Another file, or the same name sent again from its start, begins a new average.
    if (file != m_file || done < m_lastDone) {
        m_file = file;
        m_firstDone = done;
        m_firstMs = nowMs;
    }
    m_lastDone = done;

    FileProgress p;
    p.file = file;
    p.done = qMax<qint64>(0, done);
    p.total = qMax<qint64>(0, total);
    const qint64 spanMs = nowMs - m_firstMs;
    const qint64 bytes = done - m_firstDone;
    if (spanMs >= kMinimumSpanMs && bytes > 0) {
        p.bytesPerSecond = bytes * 1000 / spanMs;
        if (p.bytesPerSecond > 0) {
            const qint64 left = qMax<qint64>(0, p.total - p.done);
            p.secondsLeft = (left + p.bytesPerSecond - 1) / p.bytesPerSecond;
        }
    }
    return p;
}

QString ProgressBytesText(const FileProgress& progress)
{
    return QStringLiteral("%1 of %2 bytes").arg(grouped(progress.done), grouped(progress.total));
}

QString ProgressRateText(const FileProgress& progress)
{
    if (progress.bytesPerSecond < 0)
        return QString();
    return QStringLiteral("%1 bytes/s").arg(grouped(progress.bytesPerSecond));
}

QString ProgressTimeLeftText(const FileProgress& progress)
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
