#pragma once

#include "panes/ListingText.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>

namespace orvalt {

// What stands under a name of the host folder a sync brings up to date. A symbolic link is a link
// whatever it points to: a sync never follows one, neither to write nor to delete.
enum class SyncHostKind
{
    File,
    Folder,
    Link,
    Other // a FIFO, a device, a socket: never opened, never written over
};

// An entry of the host folder a sync brings up to date.
struct SyncHostEntry
{
    QString name;
    SyncHostKind kind = SyncHostKind::File;
    qint64 size = 0;
    QDateTime modified;
    // Brought home by an earlier run with --remove-source (syncMovedHomeFile): gone from the
    // instrument because it came home, so --delete leaves it.
    bool movedHome = false;

    bool folder() const { return kind == SyncHostKind::Folder; }
};

// The file in each host folder that names the files --remove-source brought into it, one name a
// line: what keeps a later --delete from taking them as gone from the instrument. Never synced
// itself.
inline const QString kSyncMovedHomeFile = QStringLiteral(".orvalt-moved-home");

// How a run of sync may change the two sides.
struct SyncOptions
{
    // Host entries the instrument does not hold are deleted.
    bool deleteExtra = false;
    // Each file of the instrument is removed there once this run has fetched it whole. With it,
    // a host file is never replaced: a file of the same name comes home beside it (keepBoth).
    bool removeSource = false;
    // The instrument's listing of the folder arrived whole. A listing cut short says nothing of
    // what the instrument holds beyond it, so nothing is deleted on its word.
    bool listingComplete = true;
};

// What a sync does with one name of an instrument folder or of the host folder beside it.
enum class SyncAction
{
    Fetch,    // the instrument's file is brought home (see keepBoth and removeAfter)
    Current,  // the host holds the same file: nothing to do
    Descend,  // a folder on the instrument (and on the host, or to be made there): its contents in turn
    Conflict, // the two sides cannot be matched safely: left as they are and told (reason)
    Delete,   // on the host only: deleted (a link itself, never what it points to)
    Keep      // on the host only, or a case collision: left as it is
};

enum class SyncReason
{
    None,
    New,           // Fetch: nothing of that name on the host
    Size,          // Fetch: the sizes differ (or the instrument's does not read as a number)
    Date,          // Fetch: the dates differ at the listing's resolution
    HostCopy,      // Fetch with keepBoth: a host file of that name, which stays
    FolderOnHost,  // Conflict: a file on the instrument, a folder of that name on the host
    FileOnHost,    // Conflict: a folder on the instrument, something else of that name on the host
    HostLink,      // Conflict: a symbolic link of that name on the host
    HostSpecial,   // Conflict: a FIFO, device or socket of that name on the host
    CaseCollision, // Conflict or Keep: names that differ only in case, with no exact match to settle it
    NotDeleted,    // Keep: --delete not given, or the listing was cut short
    MovedHome      // Keep: brought home by --remove-source, so never deleted as gone from the instrument
};

struct SyncStep
{
    SyncAction action = SyncAction::Current;
    SyncReason reason = SyncReason::None;
    ListingEntry remote; // empty for a host entry alone (Delete, Keep)
    QString hostName;    // the host entry's own name when there is one, else the instrument's
    SyncHostKind hostKind = SyncHostKind::File; // of the host entry, when there is one
    bool onHost = false;   // a host entry is matched (or, for Delete and Keep, is the step)
    QDateTime listedTime;  // the instrument's date (invalid where it could not be read)
    bool sizeOnly = false; // compared by size alone: the date could not be read
    qint64 size = 0;       // the instrument's size in bytes; -1 when it does not read as a number
    // Fetch: the host file of that name stays; the fetched file goes under a free numbered name
    // beside it and is kept only when its contents differ.
    bool keepBoth = false;
    // Fetch: the instrument's file is removed once it is on the host whole.
    bool removeAfter = false;
};

// Whether a host file's modification time is the instrument's date at the listing's resolution (in
// seconds): both are cut to whole steps of it before they are compared.
bool sameListedTime(const QDateTime& listed, int resolution, const QDateTime& hostModified);

// The steps that make a host folder hold what an instrument folder holds. Names match without
// regard to case, as the instrument's media compare them; where several host names match one
// instrument name, the one in the same case is taken, and without one the name is a conflict. An
// entry whose size does not read as a number is fetched. Folders are descended into and never
// removed from the instrument. The steps follow the instrument's order, the host's own entries
// last.
QList<SyncStep> planSync(const QList<ListingEntry>& remote, const QList<SyncHostEntry>& host,
                         const SyncOptions& options = {});

// The name under which a file comes home beside a host file of its own name: "DATA001 (2).CSV",
// with the lowest number from 2 for which taken(name) is false. Empty when none up to a bound is
// free.
QString besideName(const QString& name, const std::function<bool(const QString&)>& taken);

} // namespace orvalt
