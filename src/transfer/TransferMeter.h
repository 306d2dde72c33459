#pragma once

#include <QString>
#include <QtGlobal>
#include <deque>

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
// The rate is the bytes moved over the last few seconds, across files: the line runs at one speed,
// and a copy of many small files would otherwise never show one, each file being over before its
// own rate could be told. The commands between files count as time, so the rate is what the copy
// really moves. The clock is the caller's, in milliseconds.
class TransferMeter
{
public:
    // The rate is taken over this much time, and is not known over less than the minimum.
    static constexpr qint64 kWindowMs = 3000;
    static constexpr qint64 kMinimumSpanMs = 250;

    FileProgress update(const QString& file, qint64 done, qint64 total, qint64 nowMs);
    void reset();

private:
    struct Sample
    {
        qint64 ms;
        qint64 bytes; // moved since the meter began
    };
    QString m_file;
    qint64 m_lastDone = 0;
    qint64 m_moved = 0;
    std::deque<Sample> m_samples;
};

// The texts of the record: "1,536 of 4,096 bytes", "1,150 bytes/s", "0:03 left" (hours shown only
// when there are any); empty for what is not known.
QString progressBytesText(const FileProgress& progress);
QString progressRateText(const FileProgress& progress);
QString progressTimeLeftText(const FileProgress& progress);

} // namespace orvalt
