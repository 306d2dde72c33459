// The mounted volumes the drive lists offer.

#include "panes/HostFs.h"
#include "panes/HostFsInternal.h"

#include <QByteArray>
#include <QSet>
#include <QStorageInfo>
#include <algorithm>

namespace orvalt {

using hostfs::isDriveLetterPrefix;
using hostfs::prefixAccepted;

namespace {

// Kernel, memory-backed and image file systems hold no files a user keeps measurements in.
bool isPseudoVolume(const QStorageInfo& volume)
{
    static const QSet<QByteArray> kPseudoTypes = {
        "proc",    "sysfs",      "devtmpfs",  "devpts",   "tmpfs",       "ramfs",       "cgroup",
        "cgroup2", "securityfs", "pstore",    "debugfs",  "tracefs",     "configfs",    "fusectl",
        "mqueue",  "hugetlbfs",  "bpf",       "autofs",   "binfmt_misc", "efivarfs",    "rpc_pipefs",
        "nsfs",    "nfsd",       "selinuxfs", "squashfs", "fuse.lxcfs",  "fuse.portal", "fuse.gvfsd-fuse",
    };
    if (kPseudoTypes.contains(volume.fileSystemType()))
        return true;
    const QString root = volume.rootPath();
    if (root.startsWith(QLatin1String("/run/media/")))
        return false;
    for (const char* system : {"/proc", "/sys", "/dev", "/run"}) {
        const QLatin1String top(system);
        if (root == top || root.startsWith(top + QLatin1Char('/')))
            return true;
    }
    return false;
}

} // namespace

QList<HostDrive> HostFs::drives() const
{
    if (m_driveSource)
        return m_driveSource();
    QList<HostDrive> drives;
    QSet<QString> seen;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid())
            continue;
        QString root = volume.rootPath();
        QString prefix = root.endsWith(QLatin1Char('/')) ? root.chopped(1) : root;
#ifdef Q_OS_WIN
        if (!isDriveLetterPrefix(prefix))
            continue;
        prefix = prefix.toUpper();
#else
        if (!volume.isRoot() && isPseudoVolume(volume))
            continue;
        // Containers bind-mount single files (/etc/hosts); only folders are drives.
        if (!QFileInfo(root).isDir() || !prefixAccepted(prefix))
            continue;
#endif
        if (seen.contains(prefix))
            continue;
        seen.insert(prefix);
        HostDrive drive;
        drive.prefix = prefix;
        drive.rootPath = root;
        drive.displayName = volume.displayName();
        drive.isRoot = volume.isRoot();
        drives.append(drive);
    }
    std::sort(drives.begin(), drives.end(), [](const HostDrive& a, const HostDrive& b) {
        if (a.isRoot != b.isRoot)
            return a.isRoot;
        return a.prefix < b.prefix;
    });
    return drives;
}

} // namespace orvalt
