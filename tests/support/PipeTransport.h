#pragma once

#include "link/ByteTransport.h"

#include <QtGlobal>
#include <memory>
#include <utility>

namespace orvalt::test {

// Two ends of an in-process byte pipe, for running PexLink against LinkServer in one test program
// (one end per thread). Faults hit an exact byte of what one end writes, counted from 0 over all of
// that end's writes, so a test can damage exactly the frame it means.
class PipeTransport : public link::ByteTransport
{
public:
    static std::pair<std::unique_ptr<PipeTransport>, std::unique_ptr<PipeTransport>> createPair();
    ~PipeTransport() override;

    bool write(const QByteArray& bytes) override;
    QByteArray read(int timeoutMs) override;
    bool isOpen() const override;
    QString errorString() const override;

    // Faults on the bytes this end writes.
    void flipByteAt(qint64 offset, quint8 mask = 0xFF); // the byte arrives XOR mask
    void dropByteAt(qint64 offset);                     // the byte is lost
    void dropWriteAt(qint64 offset);                    // the whole write holding that byte is lost
    void goAwayAt(qint64 offset);                       // the pipe closes before that byte
    void setMute(bool mute);                            // everything written is lost
    // A stalled line: from the byte at offset on, nothing arrives for holdMs; then what was held
    // back, and all written after it, arrives at bytesPerSecond, as a serial line delivers a backlog.
    void holdAt(qint64 offset, int holdMs, int bytesPerSecond);
    qint64 bytesWritten() const;

    // Closes both directions: the other end's reads come back empty and isOpen() turns false.
    void close();

    struct Shared;

private:
    PipeTransport(std::shared_ptr<Shared> shared, int side);
    std::shared_ptr<Shared> m_shared;
    int m_side;
};

} // namespace orvalt::test
