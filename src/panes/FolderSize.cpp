// The size walk: the total of the regular files beneath a folder.

#include "panes/HostFs.h"
#include "panes/HostFsInternal.h"

#include <QFileInfo>

#ifdef Q_OS_WIN
#include <QDirIterator>
#else
#include <QFile>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#endif

namespace orvalt {

#ifndef Q_OS_WIN
namespace {

// The size walk with the system's own directory calls: one fstatat per entry, relative to an open
// folder, as du does. Listing a folder of big sub-folders is dominated by this walk.
struct InodeKey
{
    dev_t device;
    ino_t inode;
    bool operator==(const InodeKey& o) const { return device == o.device && inode == o.inode; }
};
struct InodeHash
{
    size_t operator()(const InodeKey& k) const
    {
        return std::hash<ino_t>()(k.inode) ^ (std::hash<dev_t>()(k.device) << 1);
    }
};

qint64 treeSizeAt(int folderFd, dev_t device, std::unordered_set<InodeKey, InodeHash>& visited)
{
    DIR* dir = fdopendir(folderFd);
    if (!dir) {
        ::close(folderFd);
        return 0;
    }
    qint64 total = 0;
    while (const dirent* e = readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        struct stat st;
        if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue; // unreadable entries are skipped
        if (S_ISREG(st.st_mode)) {
            total += st.st_size;
        } else if (S_ISDIR(st.st_mode) && st.st_dev == device &&
                   visited.insert({st.st_dev, st.st_ino}).second) {
            const int child = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                total += treeSizeAt(child, device, visited);
        }
    }
    closedir(dir);
    return total;
}

} // namespace
#endif

namespace hostfs {

#ifndef Q_OS_WIN
qint64 treeSize(const QString& nativeFolder)
{
    const int fd = ::open(QFile::encodeName(nativeFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        ::close(fd);
        return 0;
    }
    std::unordered_set<InodeKey, InodeHash> visited{{st.st_dev, st.st_ino}};
    return treeSizeAt(fd, st.st_dev, visited);
}
#else
qint64 treeSize(const QString& nativeFolder)
{
    qint64 total = 0;
    QStringList pending{nativeFolder};
    while (!pending.isEmpty()) {
        QDirIterator it(pending.takeLast(), kEverything);
        while (it.hasNext()) {
            it.next();
            const QFileInfo info = it.fileInfo();
            if (info.isSymLink() || info.isJunction())
                continue;
            if (info.isDir())
                pending.append(info.filePath());
            else if (info.isFile())
                total += info.size();
        }
    }
    return total;
}
#endif

} // namespace hostfs

qint64 HostFs::folderSize(const QString& hostFolder) const
{
    const std::optional<hostfs::NativeTarget> folder = hostfs::toNative(hostFolder);
    return folder && QFileInfo(folder->path).isDir() ? hostfs::treeSize(folder->path) : 0;
}

} // namespace orvalt
