#pragma once

#include "panes/ListingText.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace orvalt {

// An entry of the host folder a sync brings up to date.
struct SyncHostEntry
{
    QString name;
    bool folder = false;
    qint64 size = 0;
    QDateTime modified;
};

// What a sync does with one name of an instrument folder or of the host folder beside it.
enum class SyncAction
{
    Fetch,    // missing on the host, or differing in size or date: the instrument's copy is brought home
    Current,  // the host holds the same file
    Descend,  // a folder on both sides (or one to be made on the host): its contents in turn
    Conflict, // a file on one side and a folder of that name on the other: left as it is and told
    Extra     // on the host only: deleted with --delete
};

enum class SyncReason
{
    None,
    New,
    Size,
    Date
};

struct SyncStep
{
    SyncAction action = SyncAction::Current;
    SyncReason reason = SyncReason::None;
    ListingEntry remote;   // empty for Extra
    QString hostName;      // the host entry's own name when there is one, else the instrument's
    QDateTime listedTime;  // the instrument's date (invalid where it could not be read)
    bool sizeOnly = false; // compared by size alone: the date could not be read
    qint64 size = 0;       // the instrument's size in bytes
};

// Whether a host file's modification time is the instrument's date at the listing's resolution (in
// seconds): both are cut to whole steps of it before they are compared.
bool sameListedTime(const QDateTime& listed, int resolution, const QDateTime& hostModified);

// The steps that make a host folder hold what an instrument folder holds. Names match without
// regard to case, as the instrument's media compare them. An entry whose size does not read as a
// number is fetched. The steps follow the instrument's order, the host's extra entries last.
QList<SyncStep> planSync(const QList<ListingEntry>& remote, const QList<SyncHostEntry>& host);

} // namespace orvalt
