#pragma once

// What the parts of HostFs share among themselves; not for its callers, who see only HostFs.h.

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <optional>

namespace orvalt::hostfs {

inline constexpr QDir::Filters kEverything =
    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;

// HostPaths.cpp: pane paths to native paths.
struct NativeTarget
{
    QString path;            // native, "/" separators
    bool folderForm = false; // the pane path ended with "\": something goes into this folder
    bool isRoot = false;
};

// A pane path on a drive, or a whole host path, in native form; nothing when the path is not one
// HostFs accepts (see HostFs::nativePath).
std::optional<NativeTarget> toNative(const QString& prefix, const QString& panePath);
std::optional<NativeTarget> toNative(const QString& hostPath);
bool isDriveLetterPrefix(const QString& prefix);
bool prefixAccepted(const QString& prefix);
QString joined(const QString& folder, const QString& name);
// The item a copy or move writes: the destination itself, or the source's name inside a
// destination given as a folder.
QString targetOf(const NativeTarget& destination, const QFileInfo& source);

// HostFileOps.cpp:
// Read-only by the owner's permission bit, which is what the attribute maps to on Windows. A
// process with every right (root) could still write, so access() would not tell.
bool isReadOnly(const QFileInfo& info);

// ShortNames.cpp:
// Short names for the entries of one folder: the volume's own on Windows, generated elsewhere
// (and where the volume keeps none).
QStringList shortNamesIn(const QString& nativeFolder, const QStringList& names);
// Short name of one entry, worked out against the other entries of its folder.
QString shortNameOf(const QFileInfo& info);

// FolderSize.cpp: the total size of the regular files beneath a native folder.
qint64 treeSize(const QString& nativeFolder);

} // namespace orvalt::hostfs
