#pragma once

#include <QFile>
#include <QString>

namespace orvalt::instrument {

// The record of what the instrument received, one line per distinct request (a retransmission is
// not recorded again), flushed at once so that a test can read it while the instrument runs:
//   CMD <command text>
//   RAW <raw line without its line feed>
//   BLK <block type> <length> <first 16 bytes in lower-case hex, no separators; absent when empty>
//   PAK <block type> <length>   with --transcript-packed: a block of a compressed stream as the line
//                               carried it (its contents are recorded as the BLK lines of the plain
//                               exchange)
// (with --transcript-times, each line after "<milliseconds since the epoch> ").
// Control characters in texts are written as \xNN so that every record stays on one line.
class Transcript
{
public:
    // An empty path records nothing.
    bool open(const QString& path, QString* error);
    // Each line begins with the time it was written, in milliseconds since the epoch and a blank,
    // so that what two instruments received can be laid side by side.
    void setTimed(bool timed) { m_timed = timed; }
    // Records the blocks of compressed streams too, so that a test can count what the line carried.
    void setPacked(bool packed) { m_packed = packed; }

    void command(const QByteArray& text);
    void rawLine(const QByteArray& line);
    void block(qint32 type, const QByteArray& payload);
    void packedBlock(qint32 type, const QByteArray& packed);

    static QString printable(const QByteArray& text);

private:
    void write(const QString& line);

    QFile m_file;
    bool m_timed = false;
    bool m_packed = false;
};

} // namespace orvalt::instrument
