#pragma once

#include <QByteArray>
#include <QString>

namespace orvalt::link {

// A byte stream to the other end of the link: a serial port, a pseudo-terminal or, in tests, an
// in-process pipe. Both ends of the link (the program's PexLink and the instrument's LinkServer)
// work only through this interface, used blocking from one thread.
class ByteTransport
{
public:
    virtual ~ByteTransport() = default;
    // Writes all bytes, or returns false (errorString() says why).
    virtual bool write(const QByteArray& bytes) = 0;
    // Waits up to timeoutMs for at least one byte and returns what is there; empty on time-out or
    // when the transport has failed (isOpen() then turns false).
    virtual QByteArray read(int timeoutMs) = 0;
    virtual bool isOpen() const = 0;
    virtual QString errorString() const = 0;
};

} // namespace orvalt::link
