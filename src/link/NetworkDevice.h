#pragma once

#include <QString>
#include <optional>

namespace orvalt::link {

// An instrument's serial port on a serial device server, named "rfc2217://HOST:PORT" (Telnet with
// the COM port option: the line settings go to the server) or "tcp://HOST:PORT" (raw bytes: the
// server's own port settings stand). The port is required: neither form has a standard one.
struct NetworkDevice
{
    enum class Kind
    {
        Rfc2217,
        RawTcp
    };
    Kind kind = Kind::Rfc2217;
    QString host; // a name or an address; an IPv6 address without its brackets
    quint16 port = 0;
};

// Whether a device name is of a network form (its scheme), well formed or not.
bool isNetworkDevice(const QString& device);
// The parts of a network device name; nothing when it is not one, or lacks a host or a valid port.
std::optional<NetworkDevice> parseNetworkDevice(const QString& device);

} // namespace orvalt::link
