#pragma once

#include <QFile>
#include <QString>

namespace orvalt::instrument {

// The record of what the instrument received, one line per distinct request (a retransmission is
// not recorded again), flushed at once so that a test can read it while the instrument runs:
//   CMD <command text>
//   RAW <raw line without its line feed>
//   BLK <block type> <length> <first 16 bytes in lower-case hex, no separators; absent when empty>
// Control characters in texts are written as \xNN so that every record stays on one line.
class Transcript
{
public:
    // An empty path records nothing.
    bool open(const QString& path, QString* error);

    void command(const QByteArray& text);
    void rawLine(const QByteArray& line);
    void block(qint32 type, const QByteArray& payload);

    static QString printable(const QByteArray& text);

private:
    void write(const QString& line);

    QFile m_file;
};

} // namespace orvalt::instrument
