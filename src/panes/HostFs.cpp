#include "panes/HostFs.h"

#include "panes/RowText.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <QStorageInfo>
#include <algorithm>
#include <filesystem>
#include <limits>
#include <numeric>
#include <system_error>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#endif

namespace orvalt {

namespace {

constexpr QDir::Filters kEverything = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
constexpr qint64 kCopyChunk = 256 * 1024;
constexpr QFileDevice::Permissions kUserView =
    QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;

// ---------------------------------------------------------------------------------------------
// Platform specifics.

// Identifies a folder on the machine, so that a walk can tell another mounted file system and a
// folder it has already been through (a bind mount of a parent).
struct NodeId
{
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const NodeId& other) const { return device == other.device && inode == other.inode; }
};

size_t qHash(const NodeId& id, size_t seed = 0)
{
    return qHashMulti(seed, id.device, id.inode);
}

// Windows reports no such numbers through Qt; there a walk relies on not following links and
// junctions alone.
#ifdef Q_OS_WIN
constexpr bool kHasNodeIds = false;
#else
constexpr bool kHasNodeIds = true;
#endif

std::optional<NodeId> nodeIdOf(const QString& nativePath)
{
#ifdef Q_OS_WIN
    Q_UNUSED(nativePath);
    return std::nullopt;
#else
    struct stat status = {};
    if (::stat(QFile::encodeName(nativePath).constData(), &status) != 0)
        return std::nullopt;
    return NodeId{static_cast<quint64>(status.st_dev), static_cast<quint64>(status.st_ino)};
#endif
}

// The volume's own 8.3 name of an entry; empty where the volume keeps none.
QString realShortName(const QString& nativePath)
{
#ifdef Q_OS_WIN
    const std::wstring longPath = QDir::toNativeSeparators(nativePath).toStdWString();
    const DWORD needed = GetShortPathNameW(longPath.c_str(), nullptr, 0);
    if (needed == 0)
        return QString();
    std::wstring shortPath(needed, L'\0');
    const DWORD written = GetShortPathNameW(longPath.c_str(), shortPath.data(), needed);
    if (written == 0 || written >= needed)
        return QString();
    shortPath.resize(written);
    return QFileInfo(QString::fromStdWString(shortPath)).fileName().toUpper();
#else
    Q_UNUSED(nativePath);
    return QString();
#endif
}

// Whether a folder lies on the file system a walk started on (always, where that cannot be told).
bool sameDevice(const std::optional<NodeId>& top, const QString& nativeFolder)
{
    if (!top)
        return true;
    const std::optional<NodeId> id = nodeIdOf(nativeFolder);
    return id && id->device == top->device;
}

std::filesystem::path fsPath(const QString& nativePath)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(nativePath.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(nativePath).toStdString());
#endif
}

[[maybe_unused]] bool isDriveLetterPrefix(const QString& prefix)
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

// ---------------------------------------------------------------------------------------------
// Paths.

struct NativeTarget
{
    QString path;            // native, "/" separators
    bool folderForm = false; // the pane path ended with "\": something goes into this folder
    bool isRoot = false;
};

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

// The item a copy or move writes: the destination itself, or the source's name inside a
// destination given as a folder.
QString targetOf(const NativeTarget& destination, const QFileInfo& source)
{
    return destination.folderForm ? joined(destination.path, source.fileName()) : destination.path;
}

// A name that a pane path can carry and that is real text (not bytes the file name encoding could
// not decode).
bool listable(const QString& name)
{
    return !name.contains(QLatin1Char('\\')) && !name.contains(QChar(QChar::ReplacementCharacter));
}

bool lexists(const QFileInfo& info)
{
    return info.exists() || info.isSymLink();
}

// Read-only by the owner's permission bit, which is what the attribute maps to on Windows. A
// process with every right (root) could still write, so access() would not tell.
bool isReadOnly(const QFileInfo& info)
{
    return !info.isSymLink() && !(info.permissions() & QFileDevice::WriteOwner);
}

bool addOwnerPermissions(const QString& path, QFileDevice::Permissions wanted)
{
    const QFileDevice::Permissions now = QFile::permissions(path) & ~kUserView;
    return (now & wanted) == wanted || QFile::setPermissions(path, now | wanted);
}

// ---------------------------------------------------------------------------------------------
// Results.

HostFsResult failure(HostFsError error, const QString& nativeOrHostPath, const QString& why = QString())
{
    QString description = why;
    if (description.isEmpty()) {
        switch (error) {
        case HostFsError::None:
            break;
        case HostFsError::InvalidPath:
            description = QStringLiteral("Invalid path");
            break;
        case HostFsError::FileNotFound:
            description = QStringLiteral("File not found");
            break;
        case HostFsError::PathNotFound:
            description = QStringLiteral("Path not found");
            break;
        case HostFsError::AlreadyExists:
            description = QStringLiteral("File already exists");
            break;
        case HostFsError::ReadOnly:
            description = QStringLiteral("Permission denied (read-only)");
            break;
        case HostFsError::Failed:
            description = QStringLiteral("Failed");
            break;
        }
    }
    HostFsResult result;
    result.error = error;
    result.text = description + QLatin1String(": ") + QDir::toNativeSeparators(nativeOrHostPath);
    return result;
}

// Keeps the first failure of a walk that goes on after one.
void note(HostFsResult& result, const HostFsResult& step)
{
    if (result.ok() && !step.ok())
        result = HostFsResult{step.error, step.text, result.kept};
}

HostFsResult invalidPath(const QString& hostPath)
{
    return failure(HostFsError::InvalidPath, hostPath);
}

// ---------------------------------------------------------------------------------------------
// Short names.

bool shortNameChar(QChar c)
{
    const char16_t u = c.unicode();
    if ((u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9'))
        return true;
    return QStringView(u"$%'-_@~`!(){}^#&").contains(c);
}

QString asciiUpper(const QString& name)
{
    QString upper = name;
    for (QChar& c : upper) {
        if (c.unicode() >= u'a' && c.unicode() <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return upper;
}

// A character of a long name as it goes into an alias: upper case, or "_" for one an 8.3 name
// cannot hold.
QChar aliasChar(QChar c)
{
    const QChar upper = asciiUpper(QString(c)).at(0);
    return shortNameChar(upper) ? upper : QLatin1Char('_');
}

struct AliasParts
{
    QString basis;
    QString extension;
};

// Blanks go, leading dots go, the last "." starts the extension and the other dots go too.
AliasParts aliasPartsOf(const QString& name)
{
    QString stripped = name;
    stripped.remove(QLatin1Char(' '));
    while (stripped.startsWith(QLatin1Char('.')))
        stripped.remove(0, 1);
    const qsizetype lastDot = stripped.lastIndexOf(QLatin1Char('.'));
    const QString primary = lastDot < 0 ? stripped : stripped.left(lastDot);
    const QString extension = lastDot < 0 ? QString() : stripped.mid(lastDot + 1);

    AliasParts parts;
    for (QChar c : primary) {
        if (c != QLatin1Char('.'))
            parts.basis += aliasChar(c);
    }
    for (QChar c : extension.left(3))
        parts.extension += aliasChar(c);
    if (parts.basis.isEmpty())
        parts.basis = QStringLiteral("_");
    return parts;
}

// Short names for the entries of one folder: the volume's own on Windows, generated elsewhere
// (and where the volume keeps none).
QStringList shortNamesIn(const QString& nativeFolder, const QStringList& names)
{
    QStringList shortNames = HostFs::shortNames(names);
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString real = realShortName(joined(nativeFolder, names.at(i)));
        if (!real.isEmpty())
            shortNames[i] = real;
    }
    return shortNames;
}

// ---------------------------------------------------------------------------------------------
// Walks.

#ifndef Q_OS_WIN
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

HostItem itemOf(const QFileInfo& info, const QString& shortName, qint64 size)
{
    HostItem item;
    item.entry.name = info.fileName();
    item.entry.shortName = shortName;
    item.created = info.birthTime().isValid() ? info.birthTime() : info.lastModified();
    item.entry.date = dateText(item.created);
    item.size = size;
    item.entry.size = static_cast<qint32>(std::min<qint64>(size, std::numeric_limits<qint32>::max()));
    qint16 attributes = 0;
    if (info.isDir())
        attributes |= FileEntry::kFolder;
    if (isReadOnly(info))
        attributes |= FileEntry::kReadOnly;
    if (info.isHidden())
        attributes |= FileEntry::kHidden;
    item.entry.attributes = attributes;
    return item;
}

// Short name of one entry, worked out against the other entries of its folder.
QString shortNameOf(const QFileInfo& info)
{
    const QString folder = info.absolutePath();
    const QStringList names = QDir(folder).entryList(kEverything, QDir::NoSort);
    const qsizetype index = names.indexOf(info.fileName());
    if (index < 0)
        return HostFs::shortNames({info.fileName()}).constFirst();
    return shortNamesIn(folder, names).at(index);
}

// The first read-only item in a folder, the folder itself included; empty when there is none.
QString firstReadOnly(const QString& nativeFolder)
{
    if (isReadOnly(QFileInfo(nativeFolder)))
        return nativeFolder;
    const std::optional<NodeId> top = nodeIdOf(nativeFolder);
    QStringList pending{nativeFolder};
    while (!pending.isEmpty()) {
        QDirIterator it(pending.takeLast(), kEverything);
        while (it.hasNext()) {
            it.next();
            const QFileInfo info = it.fileInfo();
            if (info.isSymLink() || info.isJunction())
                continue;
            if (isReadOnly(info))
                return info.filePath();
            if (info.isDir() && sameDevice(top, info.filePath()))
                pending.append(info.filePath());
        }
    }
    return QString();
}

HostFsResult removeFile(const QString& nativePath, bool force)
{
    QFile file(nativePath);
    if (file.remove())
        return HostFsResult{};
    // Windows will not delete a file with the read-only attribute; force clears it first.
    if (force && addOwnerPermissions(nativePath, QFileDevice::WriteOwner) && file.remove())
        return HostFsResult{};
    return failure(HostFsError::Failed, nativePath, file.errorString());
}

// Deletes what it can and reports the first failure. Another mounted file system is not entered.
void removeTree(const QString& nativeFolder, bool force, const std::optional<NodeId>& top,
                HostFsResult& result)
{
    if (force)
        addOwnerPermissions(nativeFolder,
                            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDirIterator it(nativeFolder, kEverything);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir() && !info.isSymLink() && !info.isJunction()) {
            if (!sameDevice(top, info.filePath())) {
                note(result, failure(HostFsError::Failed, info.filePath(),
                                     QStringLiteral("Another file system is mounted here")));
                continue;
            }
            removeTree(info.filePath(), force, top, result);
        } else {
            note(result, removeFile(info.filePath(), force));
        }
    }
    std::error_code error;
    std::filesystem::remove(fsPath(nativeFolder), error);
    if (error && force && addOwnerPermissions(nativeFolder, QFileDevice::WriteOwner)) {
        error.clear();
        std::filesystem::remove(fsPath(nativeFolder), error);
    }
    if (error)
        note(result, failure(HostFsError::Failed, nativeFolder, QString::fromLocal8Bit(error.message())));
}

HostFsResult streamCopy(const QFileInfo& source, const QString& target)
{
    QFile in(source.filePath());
    if (!in.open(QIODevice::ReadOnly))
        return failure(HostFsError::Failed, source.filePath(), in.errorString());
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return failure(HostFsError::Failed, target, out.errorString());
    QByteArray buffer(kCopyChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(buffer.data(), buffer.size());
        if (got < 0) {
            out.cancelWriting();
            return failure(HostFsError::Failed, source.filePath(), in.errorString());
        }
        if (got == 0)
            break;
        if (out.write(buffer.constData(), got) != got) {
            out.cancelWriting();
            return failure(HostFsError::Failed, target, out.errorString());
        }
    }
    if (!out.commit())
        return failure(HostFsError::Failed, target, out.errorString());
    // The copy keeps the source's permissions, so a read-only file stays read-only.
    QFile::setPermissions(target, source.permissions() & ~kUserView);
    return HostFsResult{};
}

// One file of a copy onto a target path whose folder exists. Inside a folder copy (kept given) a
// file that exists without overwrite is counted and left; alone it is a failure.
HostFsResult copyOne(const QFileInfo& source, const QString& target, bool overwrite, int* kept)
{
    const QFileInfo existing(target);
    if (lexists(existing)) {
        if (existing.isDir())
            return failure(HostFsError::AlreadyExists, target,
                           QStringLiteral("A folder of that name exists"));
        if (!overwrite && kept) {
            ++*kept;
            return HostFsResult{};
        }
        if (!overwrite)
            return failure(HostFsError::AlreadyExists, target);
        if (isReadOnly(existing))
            return failure(HostFsError::ReadOnly, target);
    }
    return streamCopy(source, target);
}

HostFsResult copyLink(const QFileInfo& source, const QString& target, bool overwrite, int& kept)
{
    const QFileInfo existing(target);
    if (lexists(existing)) {
        if (!overwrite) {
            ++kept;
            return HostFsResult{};
        }
        if (existing.isDir() && !existing.isSymLink())
            return failure(HostFsError::AlreadyExists, target,
                           QStringLiteral("A folder of that name exists"));
        if (isReadOnly(existing))
            return failure(HostFsError::ReadOnly, target);
        if (!QFile::remove(target))
            return failure(HostFsError::Failed, target, QStringLiteral("Cannot replace"));
    }
    std::error_code error;
    std::filesystem::copy_symlink(fsPath(source.filePath()), fsPath(target), error);
    if (error)
        return failure(HostFsError::Failed, target, QString::fromLocal8Bit(error.message()));
    return HostFsResult{};
}

// Copies the contents of one folder into another that exists, merging.
void copyTree(const QString& from, const QString& to, bool overwrite, QSet<NodeId>& visited,
              HostFsResult& result)
{
    if (!QFileInfo(from).isReadable()) {
        note(result, failure(HostFsError::Failed, from, QStringLiteral("Cannot read the folder")));
        return;
    }
    QDirIterator it(from, kEverything);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString target = joined(to, info.fileName());
        if (info.isSymLink() || info.isJunction()) {
            note(result, copyLink(info, target, overwrite, result.kept));
        } else if (info.isDir()) {
            // A bind mount can show a folder inside itself; it is copied once.
            if (const std::optional<NodeId> id = nodeIdOf(info.filePath())) {
                if (visited.contains(*id))
                    continue;
                visited.insert(*id);
            }
            const QFileInfo existing(target);
            if (lexists(existing) && !existing.isDir()) {
                note(result, failure(HostFsError::AlreadyExists, target));
                continue;
            }
            if (!existing.exists() && !QDir().mkdir(target)) {
                note(result,
                     failure(HostFsError::Failed, target, QStringLiteral("Cannot create the folder")));
                continue;
            }
            copyTree(info.filePath(), target, overwrite, visited, result);
        } else if (info.isFile()) {
            note(result, copyOne(info, target, overwrite, &result.kept));
        }
        // Pipes, sockets and devices have no contents to copy: they are passed over.
    }
}

} // namespace

// -------------------------------------------------------------------------------------------------

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

QString HostFs::nativePath(const QString& drivePrefix, const QString& panePath)
{
    const std::optional<NativeTarget> target = toNative(drivePrefix, panePath);
    return target ? target->path : QString();
}

QString HostFs::nativePath(const QString& hostPath)
{
    const std::optional<NativeTarget> target = toNative(hostPath);
    return target ? target->path : QString();
}

QList<HostItem> HostFs::listFolder(const QString& hostFolder, FolderSizes sizes) const
{
    const std::optional<NativeTarget> folder = toNative(hostFolder);
    if (!folder)
        return {};
    // Every entry counts for the short names, also those not listed, as a pane would see them.
    QList<QFileInfo> entries;
    QStringList names;
    QList<qsizetype> folders;
    QList<qsizetype> files;
    QDirIterator it(folder->path, kEverything);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        entries.append(info);
        names.append(info.fileName());
        if (!listable(info.fileName()))
            continue;
        if (info.isDir())
            folders.append(entries.size() - 1);
        else if (info.isFile())
            files.append(entries.size() - 1);
    }
    const QStringList shortNames = shortNamesIn(folder->path, names);
    // Disk order differs between file systems (hash order on ext4); a pane lists by name, case-blind
    // as the desktop's own file lists do, with the exact name settling names that differ in case only.
    const auto byName = [&names](qsizetype a, qsizetype b) {
        const int blind = names.at(a).compare(names.at(b), Qt::CaseInsensitive);
        return blind != 0 ? blind < 0 : names.at(a) < names.at(b);
    };
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);

    QList<HostItem> items;
    items.reserve(folders.size() + files.size());
    for (qsizetype i : folders) {
        const QFileInfo& info = entries.at(i);
        const bool walk = sizes == FolderSizes::Walk && !info.isSymLink() && !info.isJunction();
        items.append(itemOf(info, shortNames.at(i), walk ? treeSize(info.filePath()) : 0));
    }
    for (qsizetype i : files)
        items.append(itemOf(entries.at(i), shortNames.at(i), entries.at(i).size()));
    return items;
}

std::optional<HostItem> HostFs::fileEntry(const QString& hostPath) const
{
    const std::optional<NativeTarget> path = toNative(hostPath);
    if (!path || path->isRoot)
        return std::nullopt;
    const QFileInfo info(path->path);
    if (!info.isFile())
        return std::nullopt;
    return itemOf(info, shortNameOf(info), info.size());
}

std::optional<HostItem> HostFs::folderEntry(const QString& hostPath, FolderSizes sizes) const
{
    const std::optional<NativeTarget> path = toNative(hostPath);
    if (!path)
        return std::nullopt;
    const QFileInfo info(path->path);
    if (!info.isDir())
        return std::nullopt;
    const qint64 size = sizes == FolderSizes::Walk ? treeSize(info.filePath()) : 0;
    return itemOf(info, path->isRoot ? QString() : shortNameOf(info), size);
}

qint64 HostFs::folderSize(const QString& hostFolder) const
{
    const std::optional<NativeTarget> folder = toNative(hostFolder);
    return folder && QFileInfo(folder->path).isDir() ? treeSize(folder->path) : 0;
}

bool HostFs::fileExists(const QString& hostPath) const
{
    const std::optional<NativeTarget> path = toNative(hostPath);
    return path && !path->folderForm && QFileInfo(path->path).isFile();
}

bool HostFs::folderExists(const QString& hostPath) const
{
    const std::optional<NativeTarget> path = toNative(hostPath);
    return path && QFileInfo(path->path).isDir();
}

HostFsResult HostFs::createFolder(const QString& hostPath) const
{
    const std::optional<NativeTarget> path = toNative(hostPath);
    if (!path)
        return invalidPath(hostPath);
    const QFileInfo info(path->path);
    if (lexists(info))
        return failure(HostFsError::AlreadyExists, path->path);
    if (!QFileInfo(info.absolutePath()).isDir())
        return failure(HostFsError::PathNotFound, info.absolutePath());
    if (!QDir().mkdir(path->path))
        return failure(HostFsError::Failed, path->path, QStringLiteral("Cannot create the folder"));
    return HostFsResult{};
}

HostFsResult HostFs::copyFile(const QString& source, const QString& destination, bool overwrite) const
{
    const std::optional<NativeTarget> from = toNative(source);
    if (!from || from->folderForm)
        return invalidPath(source);
    const std::optional<NativeTarget> to = toNative(destination);
    if (!to)
        return invalidPath(destination);
    const QFileInfo info(from->path);
    if (!info.isFile())
        return failure(HostFsError::FileNotFound, from->path);
    const QString target = targetOf(*to, info);
    const QString parent = QFileInfo(target).absolutePath();
    if (!QFileInfo(parent).isDir())
        return failure(HostFsError::PathNotFound, parent);
    return copyOne(info, target, overwrite, nullptr);
}

HostFsResult HostFs::copyFolder(const QString& source, const QString& destination, bool overwrite) const
{
    const std::optional<NativeTarget> from = toNative(source);
    if (!from || from->isRoot)
        return invalidPath(source);
    const std::optional<NativeTarget> to = toNative(destination);
    if (!to)
        return invalidPath(destination);
    const QFileInfo info(from->path);
    if (!info.isDir())
        return failure(HostFsError::PathNotFound, from->path);
    const QString target = targetOf(*to, info);
    const QFileInfo targetInfo(target);
    const QString parent = targetInfo.absolutePath();
    if (!QFileInfo(parent).isDir())
        return failure(HostFsError::PathNotFound, parent);
    const QString sourceCanonical = info.canonicalFilePath();
    const QString targetCanonical = joined(QFileInfo(parent).canonicalFilePath(), targetInfo.fileName());
    if (targetCanonical == sourceCanonical || targetCanonical.startsWith(joined(sourceCanonical, QString())))
        return failure(HostFsError::InvalidPath, target, QStringLiteral("Cannot copy a folder into itself"));
    if (lexists(targetInfo) && !targetInfo.isDir())
        return failure(HostFsError::AlreadyExists, target);
    if (!targetInfo.exists() && !QDir().mkdir(target))
        return failure(HostFsError::Failed, target, QStringLiteral("Cannot create the folder"));

    HostFsResult result;
    QSet<NodeId> visited;
    if (const std::optional<NodeId> id = nodeIdOf(from->path))
        visited.insert(*id);
    copyTree(from->path, target, overwrite, visited, result);
    return result;
}

HostFsResult HostFs::moveFile(const QString& source, const QString& destination) const
{
    const std::optional<NativeTarget> from = toNative(source);
    if (!from || from->folderForm)
        return invalidPath(source);
    const std::optional<NativeTarget> to = toNative(destination);
    if (!to)
        return invalidPath(destination);
    const QFileInfo info(from->path);
    if (!info.isFile() && !info.isSymLink())
        return failure(HostFsError::FileNotFound, from->path);
    const QString target = targetOf(*to, info);
    if (target == from->path)
        return HostFsResult{};
    const QFileInfo targetInfo(target);
    if (lexists(targetInfo))
        return failure(HostFsError::AlreadyExists, target);
    if (!QFileInfo(targetInfo.absolutePath()).isDir())
        return failure(HostFsError::PathNotFound, targetInfo.absolutePath());
    QFile file(from->path);
    if (!file.rename(target))
        return failure(HostFsError::Failed, from->path, file.errorString());
    return HostFsResult{};
}

HostFsResult HostFs::moveFolder(const QString& source, const QString& destination) const
{
    const std::optional<NativeTarget> from = toNative(source);
    if (!from || from->isRoot)
        return invalidPath(source);
    const std::optional<NativeTarget> to = toNative(destination);
    if (!to)
        return invalidPath(destination);
    const QFileInfo info(from->path);
    if (!info.isDir())
        return failure(HostFsError::PathNotFound, from->path);
    const QString target = targetOf(*to, info);
    if (target == from->path)
        return HostFsResult{};
    const QFileInfo targetInfo(target);
    if (lexists(targetInfo))
        return failure(HostFsError::AlreadyExists, target);
    const QString parent = targetInfo.absolutePath();
    if (!QFileInfo(parent).isDir())
        return failure(HostFsError::PathNotFound, parent);
    const QString sourceCanonical = info.canonicalFilePath();
    const QString targetCanonical = joined(QFileInfo(parent).canonicalFilePath(), targetInfo.fileName());
    if (!info.isSymLink() && targetCanonical.startsWith(joined(sourceCanonical, QString())))
        return failure(HostFsError::InvalidPath, target, QStringLiteral("Cannot move a folder into itself"));

    std::error_code error;
    std::filesystem::rename(fsPath(from->path), fsPath(target), error);
    if (!error)
        return HostFsResult{};
    if (error != std::errc::cross_device_link)
        return failure(HostFsError::Failed, from->path, QString::fromLocal8Bit(error.message()));

    // Onto another volume: copy, and delete the source only once the copy is whole.
    if (!QDir().mkdir(target))
        return failure(HostFsError::Failed, target, QStringLiteral("Cannot create the folder"));
    HostFsResult copied;
    QSet<NodeId> visited;
    copyTree(from->path, target, false, visited, copied);
    if (!copied.ok()) {
        HostFsResult ignored;
        removeTree(target, true, nodeIdOf(target), ignored);
        return copied;
    }
    HostFsResult removed;
    removeTree(from->path, true, nodeIdOf(from->path), removed);
    return removed;
}

HostFsResult HostFs::deleteFile(const QString& hostPath, bool force) const
{
    const std::optional<NativeTarget> path = toNative(hostPath);
    if (!path || path->folderForm)
        return invalidPath(hostPath);
    const QFileInfo info(path->path);
    if (!info.isSymLink() && !info.isFile())
        return failure(HostFsError::FileNotFound, path->path);
    if (!force && isReadOnly(info))
        return failure(HostFsError::ReadOnly, path->path);
    return removeFile(path->path, force);
}

HostFsResult HostFs::deleteFolder(const QString& hostPath, bool force) const
{
    const std::optional<NativeTarget> path = toNative(hostPath);
    if (!path || path->isRoot)
        return invalidPath(hostPath);
    const QFileInfo info(path->path);
    if (!info.isDir())
        return failure(HostFsError::PathNotFound, path->path);
    if (info.isSymLink() || info.isJunction())
        return removeFile(path->path, force);
    if (!force) {
        const QString readOnly = firstReadOnly(path->path);
        if (!readOnly.isEmpty())
            return failure(HostFsError::ReadOnly, readOnly);
    }
    HostFsResult result;
    removeTree(path->path, force, nodeIdOf(path->path), result);
    return result;
}

QStringList HostFs::shortNames(const QStringList& names)
{
    QStringList shortNames(names.size());
    QSet<QString> used;
    for (const QString& name : names)
        used.insert(asciiUpper(name));

    // A name already in upper case keeps its 8.3 form before one that differs only in case, and
    // aliases are numbered in name order, so the result does not depend on the enumeration order.
    QList<qsizetype> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const bool aUpper = names.at(a) == asciiUpper(names.at(a));
        const bool bUpper = names.at(b) == asciiUpper(names.at(b));
        if (aUpper != bUpper)
            return aUpper;
        return names.at(a) < names.at(b);
    });

    QSet<QString> taken;
    for (qsizetype i : order) {
        const QString upper = asciiUpper(names.at(i));
        if (isShortName(upper) && !taken.contains(upper)) {
            shortNames[i] = upper;
            taken.insert(upper);
        }
    }
    // Numbers below a basis' cursor are known to be in use; the search goes on from there.
    QHash<QString, int> nextNumber;
    for (qsizetype i : order) {
        if (!shortNames.at(i).isEmpty())
            continue;
        const AliasParts parts = aliasPartsOf(names.at(i));
        const QString suffix = parts.extension.isEmpty() ? QString() : QLatin1Char('.') + parts.extension;
        int& number = nextNumber[parts.basis + suffix];
        for (number = std::max(number, 1);; ++number) {
            const QString tail = QLatin1Char('~') + QString::number(number);
            const QString candidate = parts.basis.left(8 - tail.size()) + tail + suffix;
            if (!used.contains(candidate) && !taken.contains(candidate)) {
                shortNames[i] = candidate;
                taken.insert(candidate);
                break;
            }
        }
    }
    return shortNames;
}

bool HostFs::isShortName(const QString& name)
{
    const QString upper = asciiUpper(name);
    const qsizetype dot = upper.indexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? upper : upper.left(dot);
    const QString extension = dot < 0 ? QString() : upper.mid(dot + 1);
    if (base.isEmpty() || base.size() > 8 || (dot >= 0 && (extension.isEmpty() || extension.size() > 3)))
        return false;
    return std::all_of(base.begin(), base.end(), shortNameChar) &&
           std::all_of(extension.begin(), extension.end(), shortNameChar);
}

} // namespace orvalt
