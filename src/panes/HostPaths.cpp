// Pane paths ("C:\DATA\A.DAT", "\DATA\A.DAT") to native paths, refusing any that could climb out.

#include "panes/HostFs.h"
#include "panes/HostFsInternal.h"

#include <QDir>

namespace orvalt {

namespace {

bool nameAccepted(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        return false;
#ifdef Q_OS_WIN
    // "NAME:stream" would reach a hidden stream of another file.
    if (name.contains(QLatin1Char(':')))
        return false;
#endif
    return true;
}

} // namespace

namespace hostfs {

bool isDriveLetterPrefix(const QString& prefix)
{
    return prefix.size() == 2 && prefix.at(0).isLetter() && prefix.at(0).unicode() < 128 &&
           prefix.at(1) == QLatin1Char(':');
}

bool prefixAccepted(const QString& prefix)
{
#ifdef Q_OS_WIN
    return isDriveLetterPrefix(prefix);
#else
    if (prefix.isEmpty())
        return true;
    return prefix.startsWith(QLatin1Char('/')) && !prefix.endsWith(QLatin1Char('/')) &&
           !prefix.contains(QLatin1Char('\\')) && !prefix.contains(QChar(0)) &&
           QDir::cleanPath(prefix) == prefix;
#endif
}

std::optional<NativeTarget> toNative(const QString& prefix, const QString& panePath)
{
    if (!prefixAccepted(prefix) || !panePath.startsWith(QLatin1Char('\\')))
        return std::nullopt;
    QStringList parts = panePath.mid(1).split(QLatin1Char('\\'));
    NativeTarget target;
    if (parts.last().isEmpty()) {
        parts.removeLast();
        target.folderForm = true;
    }
    for (const QString& part : parts) {
        if (!nameAccepted(part))
            return std::nullopt;
    }
    target.path = prefix + QLatin1Char('/') + parts.join(QLatin1Char('/'));
    target.isRoot = parts.isEmpty();
    return target;
}

std::optional<NativeTarget> toNative(const QString& hostPath)
{
    const qsizetype firstSeparator = hostPath.indexOf(QLatin1Char('\\'));
    if (firstSeparator < 0)
        return std::nullopt;
    return toNative(hostPath.left(firstSeparator), hostPath.mid(firstSeparator));
}

QString joined(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

QString targetOf(const NativeTarget& destination, const QFileInfo& source)
{
    return destination.folderForm ? joined(destination.path, source.fileName()) : destination.path;
}

} // namespace hostfs

QString HostFs::nativePath(const QString& drivePrefix, const QString& panePath)
{
    const std::optional<hostfs::NativeTarget> target = hostfs::toNative(drivePrefix, panePath);
    return target ? target->path : QString();
}

QString HostFs::nativePath(const QString& hostPath)
{
    const std::optional<hostfs::NativeTarget> target = hostfs::toNative(hostPath);
    return target ? target->path : QString();
}

QString HostFs::hostPath(const QString& native)
{
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(native));
#ifdef Q_OS_WIN
    const QString host = QDir::toNativeSeparators(clean);
#else
    if (!clean.startsWith(QLatin1Char('/')) || clean.contains(QLatin1Char('\\')))
        return QString();
    QString host = clean;
    host.replace(QLatin1Char('/'), QLatin1Char('\\'));
#endif
    return nativePath(host).isEmpty() ? QString() : host;
}

} // namespace orvalt
