#include "panes/HostFs.h"

#include "panes/HostFsInternal.h"
#include "panes/RowText.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>
#include <limits>

// The listing side of HostFs. Its other jobs live beside it: HostPaths.cpp (pane paths to native
// paths), HostDrives.cpp, ShortNames.cpp, FolderSize.cpp and HostFileOps.cpp.

namespace orvalt {

using hostfs::isReadOnly;
using hostfs::kEverything;
using hostfs::NativeTarget;
using hostfs::shortNameOf;
using hostfs::shortNamesIn;
using hostfs::toNative;
using hostfs::treeSize;

namespace {

// A name that a pane path can carry and that is real text (not bytes the file name encoding could
// not decode).
bool listable(const QString& name)
{
    return !name.contains(QLatin1Char('\\')) && !name.contains(QChar(QChar::ReplacementCharacter));
}

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

} // namespace

QList<HostItem> HostFs::listFolder(const QString& hostFolder, FolderSizes sizes,
                                   QList<LeftOut>* leftOut) const
{
    const std::optional<NativeTarget> folder = toNative(hostFolder);
    if (!folder)
        return {};
    const auto leave = [leftOut](const QString& name, const QString& why) {
        if (leftOut)
            leftOut->append({name, why});
    };
    // An unreadable folder lists as empty, which a copy would take for a folder with nothing in it.
    if (!QDir(folder->path).isReadable()) {
        leave(QString(), QStringLiteral("the folder cannot be read"));
        return {};
    }
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
            leave(info.fileName(), QStringLiteral("a name that cannot be used here"));
        else if (info.isDir())
            folders.append(entries.size() - 1);
        else if (info.isFile())
            files.append(entries.size() - 1);
        else if (info.isSymLink() && !info.exists())
            leave(info.fileName(), QStringLiteral("a link to something that is not there"));
        else
            leave(info.fileName(), info.isSymLink() ? QStringLiteral("a link to a device, FIFO or socket")
                                                    : QStringLiteral("a device, FIFO or socket, not a file"));
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

} // namespace orvalt
