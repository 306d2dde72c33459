#include "link/NetworkDevice.h"

#include <QHostAddress>

namespace orvalt::link {

namespace {

const QString kRfc2217Scheme = QStringLiteral("rfc2217://");
const QString kTcpScheme = QStringLiteral("tcp://");

} // namespace

bool isNetworkDevice(const QString& device)
{
    const QString d = device.trimmed();
    return d.startsWith(kRfc2217Scheme, Qt::CaseInsensitive) || d.startsWith(kTcpScheme, Qt::CaseInsensitive);
}

std::optional<NetworkDevice> parseNetworkDevice(const QString& device)
{
    const QString d = device.trimmed();
    NetworkDevice parsed;
    QString rest;
    if (d.startsWith(kRfc2217Scheme, Qt::CaseInsensitive)) {
        rest = d.mid(kRfc2217Scheme.size());
    } else if (d.startsWith(kTcpScheme, Qt::CaseInsensitive)) {
        parsed.kind = NetworkDevice::Kind::RawTcp;
        rest = d.mid(kTcpScheme.size());
    } else {
        return std::nullopt;
    }
    QString host;
    QString port;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QStringLiteral("]:"));
        if (close < 0)
            return std::nullopt;
        host = rest.mid(1, close - 1);
        port = rest.mid(close + 2);
        if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
            return std::nullopt;
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return std::nullopt;
        host = rest.left(colon);
        port = rest.mid(colon + 1);
        for (const QChar c : host) {
            if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('.') &&
                c != QLatin1Char('-') && c != QLatin1Char('_'))
                return std::nullopt;
        }
    }
    bool ok = false;
    const uint number = port.toUInt(&ok);
    if (host.isEmpty() || !ok || number < 1 || number > 65535 || port.startsWith(QLatin1Char('+')))
        return std::nullopt;
    parsed.host = host;
    parsed.port = static_cast<quint16>(number);
    return parsed;
}

} // namespace orvalt::link
