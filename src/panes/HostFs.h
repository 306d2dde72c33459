#pragma once

#include "panes/FileEntry.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace orvalt {

// What a host file operation could not do. The callers turn these into their own messages.
enum class HostFsError
{
    None,
    InvalidPath,   // not a path HostFs accepts (".." or "." in it, a "/" in a name), a drive's root
                   // where an item is meant, or a folder copied or moved into itself
    FileNotFound,  // the file to copy, move or delete is not there (or is a folder)
    PathNotFound,  // the folder to act on, or the folder that would hold the result, is not there
    AlreadyExists, // the target exists and may not be replaced
    ReadOnly,      // a read-only item stands in the way and overwrite or force was not given
    Failed,        // the system refused; the text says why
};

struct HostFsResult
{
    HostFsError error = HostFsError::None;
    QString text; // the failure and the native path it concerns, empty on success
    int kept = 0; // folder copy: existing files left in place because overwrite was off

    bool ok() const { return error == HostFsError::None; }
};

// One mounted volume the drive lists offer.
struct HostDrive
{
    QString prefix;      // what goes before a pane path: "C:" on Windows, the mount point without
                         // its final "/" elsewhere ("" for "/", "/media/usb")
    QString rootPath;    // the mount point, native form with "/"
    QString displayName; // the volume's name, or its mount point when it has none
    bool isRoot = false; // the system volume, which text 8111 warns about
};

// A listed file or folder with what a pane row needs beyond the shared record.
struct HostItem
{
    FileEntry entry;   // the size saturated at the largest qint32
    QDateTime created; // birth time where the file system keeps it, else the last modification
    qint64 size = 0;   // a folder's size only when it was asked for
};

// The host file system as the rest of the program sees it. Paths come in the form the panes use
// on every platform: a drive prefix followed by a "\"-separated path from the drive's root
// ("C:\DATA\A.DAT", "\DATA\A.DAT" on the root volume elsewhere); a final "\" names a folder into
// which something is copied or moved. This class alone turns them into native paths, and refuses
// any that could climb out of the folder it names.
class HostFs
{
public:
    enum class FolderSizes
    {
        Skip, // folders listed with size 0
        Walk, // each folder's size is the total of the files beneath it
    };

    // Mounted volumes that hold real files, the system volume first. Elsewhere than on Windows,
    // the kernel's own file systems (proc, sysfs, devpts, cgroup, ...), memory-backed ones (tmpfs,
    // ramfs), package images (squashfs) and anything mounted under /proc, /sys, /dev or /run (but
    // /run/media, where removable media appear) are left out.
    QList<HostDrive> drives() const;

    // Where drives() looks: the mounted volumes unless another source is set. Volumes come and
    // go, and a test cannot mount one; it sets a list of its own instead.
    using DriveSource = std::function<QList<HostDrive>()>;
    void setDriveSource(DriveSource source) { m_driveSource = std::move(source); }

    // The native path of a pane path on a drive, or an empty text when the pane path does not
    // start with "\", has an empty, "." or ".." component, or a "/" or NUL in a name (":" too on
    // Windows). The root "\" gives the drive's root with its final "/".
    static QString nativePath(const QString& drivePrefix, const QString& panePath);
    // The same for a whole host path: the prefix is everything before its first "\".
    static QString nativePath(const QString& hostPath);
    // A native path of the host as a host path ("/data/a.csv" gives "\data\a.csv" here, "C:\a.csv"
    // on Windows); empty for a path a host path cannot carry.
    static QString hostPath(const QString& native);

    // An entry listFolder leaves out, and why; an empty name stands for the folder itself, which
    // could not be read.
    struct LeftOut
    {
        QString name;
        QString why;
    };
    // Sub-folders, then files, each group in name order without regard to case. Entries whose
    // names a pane path cannot carry (a "\" in them, or bytes that are not text) and entries that
    // are neither a folder nor a regular file are left out (each in leftOut, when given). Empty for
    // a folder that cannot be read.
    QList<HostItem> listFolder(const QString& hostFolder, FolderSizes sizes,
                               QList<LeftOut>* leftOut = nullptr) const;
    std::optional<HostItem> fileEntry(const QString& hostPath) const;
    std::optional<HostItem> folderEntry(const QString& hostPath, FolderSizes sizes) const;

    // Total size of the regular files beneath a folder. Symbolic links are not followed, other
    // mounted file systems not entered, unreadable folders skipped.
    qint64 folderSize(const QString& hostFolder) const;

    bool fileExists(const QString& hostPath) const;
    bool folderExists(const QString& hostPath) const;

    // The parent must exist; an existing item of that name is AlreadyExists.
    HostFsResult createFolder(const QString& hostPath) const;
    // Copies a file to a path, or into a folder given with a final "\". An existing target is
    // replaced only with overwrite, and never when read-only; the copy is written beside the target
    // and renamed over it, so a failure leaves the old target whole.
    HostFsResult copyFile(const QString& source, const QString& destination, bool overwrite) const;
    // Copies a folder and everything in it to a path, or into a folder given with a final "\",
    // merging into a folder that exists. Files that exist are kept without overwrite (counted in
    // kept, not a failure); a failing item is skipped and the copy goes on; the first failure is
    // reported. Symbolic links are copied as links.
    HostFsResult copyFolder(const QString& source, const QString& destination, bool overwrite) const;
    // Renames or moves; the target must not exist. Moving an item onto its own path does nothing.
    HostFsResult moveFile(const QString& source, const QString& destination) const;
    HostFsResult moveFolder(const QString& source, const QString& destination) const;
    // A read-only file is deleted only with force.
    HostFsResult deleteFile(const QString& hostPath, bool force) const;
    // Deletes a folder with everything in it. Without force, a read-only item anywhere in it keeps
    // the whole folder in place (nothing is deleted). A symbolic link is removed, never followed.
    HostFsResult deleteFolder(const QString& hostPath, bool force) const;

    // The short (8.3) names of the entries of one folder, given all their names, in the same order.
    // A name that is a valid 8.3 name once upper-cased keeps that form; any other gets an alias
    // BASIS~N.EXT with N the smallest number that no other entry of the folder uses.
    static QStringList shortNames(const QStringList& names);
    // A valid 8.3 name: 1 to 8 characters, optionally a "." and 1 to 3 more, all of them upper-case
    // letters, digits or the symbols FAT allows.
    static bool isShortName(const QString& name);

private:
    DriveSource m_driveSource;
};

} // namespace orvalt
