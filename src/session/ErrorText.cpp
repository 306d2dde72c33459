#include "session/ErrorText.h"

#include "link/PexLink.h"
#include "link/RefusalReason.h"

#include <QFileInfo>

namespace orvalt::ErrorText {

namespace {

PortChoice g_portChoice = PortChoice::Window;

// How the advice tells the user to choose the port, its device or its speed.
struct PortWords
{
    QString chooseIt;      // another device
    QString chooseOne;     // a device, where the port has none
    QString chooseAnother; // another port
    QString check;         // the port's settings
    QString lowerSpeed;
    QString where; // where a device is given
};

const PortWords& portWords()
{
    static const PortWords window{QStringLiteral("choose it in Tool > Option..."),
                                  QStringLiteral("choose one in Tool > Option..."),
                                  QStringLiteral("choose another port in Tool > Option..."),
                                  QStringLiteral("Check the port in Tool > Option..."),
                                  QStringLiteral("choose a lower speed in Tool > Option..."),
                                  QStringLiteral("in Tool > Option...")};
    static const PortWords commandLine{
        QStringLiteral("give it with --device"),
        QStringLiteral("give one with --device"),
        QStringLiteral("give another with --device"),
        QStringLiteral("Check the device given with --device, or the port chosen in Orvalt's window"),
        QStringLiteral("give a lower speed with --baud"),
        QStringLiteral("with --device")};
    return g_portChoice == PortChoice::Window ? window : commandLine;
}

// The mode of a file as ls shows it in octal ("0660").
QString octalMode(QFile::Permissions p)
{
    const int owner =
        (p & QFile::ReadOwner ? 4 : 0) | (p & QFile::WriteOwner ? 2 : 0) | (p & QFile::ExeOwner ? 1 : 0);
    const int group =
        (p & QFile::ReadGroup ? 4 : 0) | (p & QFile::WriteGroup ? 2 : 0) | (p & QFile::ExeGroup ? 1 : 0);
    const int other =
        (p & QFile::ReadOther ? 4 : 0) | (p & QFile::WriteOther ? 2 : 0) | (p & QFile::ExeOther ? 1 : 0);
    return QStringLiteral("0%1%2%3").arg(owner).arg(group).arg(other);
}

QString portName(const QString& device)
{
    return device.isEmpty() ? QStringLiteral("the port") : device;
}

QString openCause(const link::PexLink& link)
{
    const QString device = link.device();
    const QString system = link.portSystemReason();
    switch (link.portProblem()) {
    case link::PortProblem::None:
        break;
    case link::PortProblem::NoSuchDevice:
        if (device.isEmpty())
            return QStringLiteral("No device is set for this port: %1").arg(portWords().chooseOne);
        return QStringLiteral("There is no device %1. The adapter may be unplugged, or another port may be "
                              "meant: %2")
            .arg(device, portWords().chooseIt);
    case link::PortProblem::PermissionDenied:
        return QStringLiteral("You may not open %1 (%2). %3").arg(device, system, permissionAdvice(device));
    case link::PortProblem::InUse: {
        // The lock names who holds it, when there is one: the run of ours that still has the line.
        const QString holder = link.portHolder();
        const QString why =
            holder.isEmpty() ? system : QStringLiteral("%1; the lock names %2").arg(system, holder);
        return QStringLiteral("%1 is in use by another program (%2). Close that program, or %3")
            .arg(device, why, portWords().chooseAnother);
    }
    case link::PortProblem::LockLeftBehind:
        // Nothing holds the port, but a lock says so that this user may not remove: waiting mends
        // nothing, and closing a program cannot, as it has ended.
        return QStringLiteral("%1 is locked by %2, which has ended without removing its lock file %3; the "
                              "file belongs to another user. Remove it (sudo rm %3), then try again.")
            .arg(device, link.portHolder(), link.portLockFile());
    case link::PortProblem::Other:
        return QStringLiteral("%1 could not be opened (%2). %3").arg(device, system, portWords().check);
    case link::PortProblem::BadAddress:
        return QStringLiteral("%1 is no network device: give it as rfc2217://HOST:PORT or tcp://HOST:PORT, "
                              "the port included, %2")
            .arg(device, portWords().where);
    case link::PortProblem::HostNotFound:
        return QStringLiteral("The host of %1 could not be found (%2). Correct its name, or give the device "
                              "server's address %3")
            .arg(device, system, portWords().where);
    case link::PortProblem::ConnectionRefused:
        return QStringLiteral(
                   "Nothing listens at %1: the device server refused the connection (%2). Check that "
                   "the server runs and that the port is the one set up for this instrument, then "
                   "press Connection.")
            .arg(device, system);
    case link::PortProblem::NoRoute:
        return QStringLiteral("%1 cannot be reached (%2). Check this computer's network connection and the "
                              "device server's address, then press Connection.")
            .arg(device, system);
    case link::PortProblem::NoAnswer:
        return QStringLiteral(
                   "The device server at %1 did not answer (%2). Check that it is switched on and on "
                   "the network, and that no firewall drops the connection, then press Connection.")
            .arg(device, system);
    case link::PortProblem::ServerBusy:
        return QStringLiteral("The device server at %1 is serving another client; it said \"%2\". Close the "
                              "other program or wait until it is done, then press Connection.")
            .arg(device, system);
    case link::PortProblem::SettingRefused:
        return QStringLiteral(
                   "The device server at %1 refused the line settings (%2). Choose settings its port "
                   "takes %3, or set the port up on the server.")
            .arg(device, system, portWords().where);
    }
    return QString();
}

} // namespace

void setPortChoice(PortChoice choice)
{
    g_portChoice = choice;
}

QString permissionAdvice(const QString& device)
{
    const QFileInfo info(device); // a link such as /dev/serial/by-id/... is looked at through
    const QString group = info.group();
    const QFile::Permissions mode = info.permissions();
    if (!info.exists() || group.isEmpty())
        return QStringLiteral(
            "On Linux a serial port usually belongs to the dialout group: join it with \"sudo "
            "adduser $USER dialout\", then log out and in again.");
    // A group opens the device when it may read and write it; the root group is none a user joins.
    if (info.groupId() != 0 && mode.testFlag(QFile::ReadGroup) && mode.testFlag(QFile::WriteGroup))
        return QStringLiteral(
                   "On Linux the port belongs to the %1 group: join it with \"sudo adduser $USER %1\", "
                   "then log out and in again.")
            .arg(group);
    return QStringLiteral("No group you could join may use it (owner %1, group %2, mode %3): ask the "
                          "administrator to give you access to it.")
        .arg(info.owner(), group, octalMode(mode));
}

QString twoLines(const QString& first, const QString& cause)
{
    return cause.isEmpty() ? first : first + QLatin1Char('\n') + cause;
}

QString linkCause(const link::PexLink& link)
{
    using namespace link::PexResult;
    const qint32 failure = link.lastFailure();
    if (failure == OpenFailed || failure == NotOpen) {
        const QString cause = openCause(link);
        if (!cause.isEmpty())
            return cause;
    }
    switch (failure) {
    case Done:
        return QString();
    case NotOpen:
        return QStringLiteral("The port is not open: press Connection.");
    case TimeOut: {
        const qint32 seconds = (link.timeOutMs() + 999) / 1000;
        return QStringLiteral("The instrument stopped answering (no reply in %1 s). Check that it is "
                              "switched on and its cable is plugged in, then press Connection.")
            .arg(seconds);
    }
    case LinkLost: {
        if (link.onNetwork() && !link.lostReason().isEmpty()) {
            QString why = link.lostReason();
            why[0] = why.at(0).toUpper();
            return QStringLiteral(
                       "%1. Check that the server still runs and that the network reaches it, then "
                       "press Connection.")
                .arg(why);
        }
        const QString port = link.device().isEmpty() ? QStringLiteral("The port")
                                                     : QStringLiteral("The port ") + link.device();
        return QStringLiteral("%1 went away: the adapter was unplugged or the line was closed. Plug it back "
                              "in, then press Connection.")
            .arg(port);
    }
    case WriteFailed:
        return QStringLiteral(
                   "Sending to the instrument on %1 failed. Check the cable, then press Connection.")
            .arg(portName(link.device()));
    case RetriesExhausted:
        return QStringLiteral("The line is too noisy: the exchange arrived damaged every time it was tried. "
                              "Check the cable and its plugs, or %1, then try again.")
            .arg(portWords().lowerSpeed);
    default:
        break;
    }
    // The rarer failures (an answer out of turn, a request the link cannot carry) say it themselves.
    QString why = link.errorString().trimmed();
    if (!why.isEmpty() && !why.endsWith(QLatin1Char('.')))
        why += QLatin1Char('.');
    return why;
}

QString linkCauseOf(const link::PexLink& link, qint32 result)
{
    if (result == 0 || link.lastFailure() == 0)
        return QString();
    // A result of the link's own, or one that hides it (the receiver's -1).
    if (result > link::PexResult::Done && result < link::PexResult::NotOpen)
        return QString();
    return linkCause(link);
}

QString refusalCause(int reason, const QString& what, const QString& medium)
{
    switch (static_cast<link::RefusalReason>(reason)) {
    case link::RefusalReason::None:
        break;
    case link::RefusalReason::NotFound:
        return QStringLiteral("%1 is not on the instrument; press Renew to see what is there.").arg(what);
    case link::RefusalReason::MediumFull:
        return QStringLiteral("The medium %1 is full. Delete files on it, or choose another medium.")
            .arg(medium);
    case link::RefusalReason::NameRefused:
        return QStringLiteral("The instrument does not take the name %1.").arg(what);
    case link::RefusalReason::AlreadyExists:
        return QStringLiteral("%1 is already on the instrument.").arg(what);
    case link::RefusalReason::NoSuchMedium:
        return QStringLiteral("The instrument has no medium %1. Press Connection to read its media again.")
            .arg(medium);
    }
    return QString();
}

QString hostCause(const QString& systemReason)
{
    // The system's own words first; then what to do, for the failures a user meets most.
    QString cause = systemReason.trimmed();
    if (cause.isEmpty())
        return cause;
    cause[0] = cause.at(0).toUpper();
    if (!cause.endsWith(QLatin1Char('.')))
        cause += QLatin1Char('.');
    const QString reason = systemReason.toLower();
    if (reason.contains(QLatin1String("no space")) || reason.contains(QLatin1String("quota")) ||
        reason.contains(QLatin1String("too large")))
        cause += QStringLiteral(" Make room on that disk, or copy to another folder.");
    else if (reason.contains(QLatin1String("read-only")))
        cause += QStringLiteral(" That disk cannot be written: copy to another folder.");
    else if (reason.contains(QLatin1String("permission")) || reason.contains(QLatin1String("access")))
        cause += QStringLiteral(" You may not write there: copy to another folder.");
    return cause;
}

} // namespace orvalt::ErrorText
