#pragma once

#include <QString>
#include <QtGlobal>

namespace orvalt {

// What the progress window shows of the file in hand, read as a whole: bytes done of its size, the
// rate in bytes a second and the time left for it. A rate or time not known yet is -1.
struct FileProgress
{
    QString file;
    qint64 done = 0;
    qint64 total = 0;
    qint64 bytesPerSecond = -1;
    qint64 secondsLeft = -1;
};

// Turns the sender's and the receiver's reports (file, bytes done, size) into FileProgress records.
// The rate is the file's own average since its first report: the line runs at one speed, so the
// average is steady where a momentary rate would jump with every acknowledgement. The clock is the
// caller's, in milliseconds, so the figures do not depend on when they are computed.
class TransferMeter
{
public:
    // Below this much time since a file's first report the rate is not known yet.
    static constexpr qint64 kMinimumSpanMs = 250;

    FileProgress update(const QString& file, qint64 done, qint64 total, qint64 nowMs);
    void reset() { m_file.clear(); }

private:
    QString m_file;
    qint64 m_firstDone = 0;
    qint64 m_firstMs = 0;
    qint64 m_lastDone = 0;
};

// The texts of the record: "1,536 of 4,096 bytes", "1,150 bytes/s", "0:03 left" (hours shown only
// when there are any); empty for what is not known.
QString ProgressBytesText(const FileProgress& progress);
QString ProgressRateText(const FileProgress& progress);
QString ProgressTimeLeftText(const FileProgress& progress);

} // namespace orvalt
