// File operations on the host: create, copy, move and delete files and folders.

#include "panes/HostFs.h"
#include "panes/HostFsInternal.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <filesystem>
#include <system_error>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace orvalt {

using hostfs::joined;
using hostfs::kEverything;
using hostfs::NativeTarget;
using hostfs::targetOf;
using hostfs::toNative;

namespace hostfs {

bool isReadOnly(const QFileInfo& info)
{
    return !info.isSymLink() && !(info.permissions() & QFileDevice::WriteOwner);
}

} // namespace hostfs

using hostfs::isReadOnly;

namespace {

constexpr qint64 kCopyChunk = 256 * 1024;
constexpr QFileDevice::Permissions kUserView =
    QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;

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

bool lexists(const QFileInfo& info)
{
    return info.exists() || info.isSymLink();
}

bool addOwnerPermissions(const QString& path, QFileDevice::Permissions wanted)
{
    const QFileDevice::Permissions now = QFile::permissions(path) & ~kUserView;
    return (now & wanted) == wanted || QFile::setPermissions(path, now | wanted);
}

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

} // namespace orvalt
