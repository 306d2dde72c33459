#pragma once

#include "MediaNamePolicy.h"

#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace orvalt::instrument {

// One medium of the instrument, kept in a sub-folder of the media folder named after the letter of
// its medium code ("M" for "INT MEM", "1" for "Card 1", "D" for "FD", "A" for "Drive A").
struct Medium
{
    QString name;        // as the instrument reports it: "INT MEM"
    QString mediumCode;  // the last two characters of "name:": "M:"
    QString commandCode; // "0", "1", "2", "3" for M:, 1:, D:, 2:; empty for every other medium
    QString folder;      // canonical host folder
};

// A place on a medium, resolved from a slash path and known to lie inside the medium's folder.
struct Location
{
    const Medium* medium = nullptr;
    QStringList components;  // from the medium's root, as stored; empty for the root itself
    QString writtenName;     // the last name as the path wrote it, which may differ in case
    bool folderMark = false; // the path ended with "/"
    QString hostPath;

    bool isRoot() const { return components.isEmpty(); }
    QString name() const { return components.isEmpty() ? QString() : components.constLast(); }
    QString slashPath() const { return QLatin1Char('/') + components.join(QLatin1Char('/')); }
    QString parentHostPath() const;
};

// The entries of a folder as a medium holds them: folders and files whose names the rules take, no
// symbolic links or special files, in name order. A medium's file system does not tell names apart
// by case; where the folder holds names that differ only in case (copied in from outside), the first
// in name order stands for them and the others are passed over, with a warning on standard error.
// Nothing when the folder cannot be read.
std::optional<QFileInfoList> servedEntries(const QString& hostFolder, const MediaNamePolicy& policy);
// Whether the folder's entries can be read at all.
bool isReadableFolder(const QString& hostFolder);

// The media folder and the instrument's paths on it. Nothing the line sends can name a host path
// outside a medium's folder: every component must be a valid instrument name (so never "..", ".",
// empty, or holding "/" or "\"), no component may be a symbolic link, and the canonical result must
// lie in the medium's folder.
class MediaStore
{
public:
    explicit MediaStore(bool shortNames)
        : m_namePolicy(shortNames)
    {}

    // Makes the media folder and a sub-folder per medium where missing.
    bool open(const QString& mediaDir, const QStringList& mediaNames, QString* error);

    const QList<Medium>& media() const { return m_media; }
    const MediaNamePolicy& namePolicy() const { return m_namePolicy; }

    // The medium a command names: by its command code ("0" .. "3"), by its medium code ("A:"), or,
    // when the code is empty, the first medium that has no command code (such a medium cannot be
    // named otherwise, since the program sends "MED " with nothing after it for it).
    const Medium* mediumOf(const QString& code) const;

    // Resolves a slash path: from the medium's root when it begins with "/", else from the folder
    // given by cwd. A name stands for the entry it names without regard to case, and the location
    // carries the entry's stored name; a name that no entry has is kept as written. Nothing when
    // the path breaks the rules above.
    std::optional<Location> resolve(const Medium& medium, const QStringList& cwd, const QString& path) const;

    static QString commandCodeOf(const QString& mediumCode);

private:
    bool staysInside(const Medium& medium, const QStringList& components) const;

    MediaNamePolicy m_namePolicy;
    QList<Medium> m_media;
};

} // namespace orvalt::instrument
