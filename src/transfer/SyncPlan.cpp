#include "transfer/SyncPlan.h"

#include <QHash>
#include <QSet>

namespace orvalt {

namespace {

// More copies of one name than any folder holds; past this a name is not looked for further.
constexpr int kMaxBesideNumber = 9999;

// The host entry an instrument name stands for: the one in the same case, else the only one that
// matches without regard to case. nullopt with *collision set when several match and none in the
// same case: which one the instrument's file belongs to cannot be told.
std::optional<qsizetype> matchHost(const QString& name, const QList<qsizetype>& candidates,
                                   const QList<SyncHostEntry>& host, bool* collision)
{
    *collision = false;
    for (const qsizetype i : candidates)
        if (host.at(i).name == name)
            return i;
    if (candidates.size() == 1)
        return candidates.constFirst();
    *collision = candidates.size() > 1;
    return std::nullopt;
}

void planFile(SyncStep& step, const SyncHostEntry* there, int resolution, const SyncOptions& options)
{
    step.action = SyncAction::Fetch;
    step.removeAfter = options.removeSource;
    if (!there) {
        step.reason = SyncReason::New;
        return;
    }
    // Moving files home never replaces one: the host's file may be the only copy of an earlier
    // measurement that had this name, and the instrument's file is about to go.
    if (options.removeSource) {
        step.reason = SyncReason::HostCopy;
        step.keepBoth = true;
        return;
    }
    if (step.size < 0 || there->size != step.size) {
        step.reason = SyncReason::Size;
    } else if (!step.sizeOnly && !sameListedTime(step.listedTime, resolution, there->modified)) {
        step.reason = SyncReason::Date;
    } else {
        step.action = SyncAction::Current;
        step.removeAfter = false;
        return;
    }
    // A file --remove-source brought home is gone from the instrument: the host holds its only copy,
    // which a file of the same name written on the instrument since must not replace.
    if (there->movedHome) {
        step.reason = SyncReason::HostCopy;
        step.keepBoth = true;
    }
}

} // namespace

bool sameListedTime(const QDateTime& listed, int resolution, const QDateTime& hostModified)
{
    if (!listed.isValid() || !hostModified.isValid() || resolution < 1)
        return false;
    const qint64 step = resolution;
    return listed.toSecsSinceEpoch() / step == hostModified.toSecsSinceEpoch() / step;
}

QList<SyncStep> planSync(const QList<ListingEntry>& remote, const QList<SyncHostEntry>& host,
                         const SyncOptions& options)
{
    QHash<QString, QList<qsizetype>> hostByName;
    for (qsizetype i = 0; i < host.size(); ++i)
        hostByName[host.at(i).name.toCaseFolded()].append(i);
    QSet<qsizetype> matched;
    QSet<qsizetype> collided; // host entries that share a name with an instrument entry but not its case
    QSet<QString> remoteNames;
    QList<SyncStep> steps;
    for (const ListingEntry& e : remote) {
        SyncStep step;
        step.remote = e;
        step.hostName = e.name;
        int resolution = 1;
        step.listedTime = listingDateTime(e, &resolution);
        step.sizeOnly = !e.folder && !step.listedTime.isValid();
        step.size = listingBytes(e).value_or(-1);
        const QString folded = e.name.toCaseFolded();
        const QList<qsizetype> candidates = hostByName.value(folded);
        bool collision = false;
        const std::optional<qsizetype> found = matchHost(e.name, candidates, host, &collision);
        for (const qsizetype i : candidates)
            if (!found || i != *found)
                collided.insert(i);
        // Two instrument entries whose names differ only in case would both land on one host name.
        if (remoteNames.contains(folded) || collision) {
            step.action = SyncAction::Conflict;
            step.reason = SyncReason::CaseCollision;
            steps.append(step);
            continue;
        }
        remoteNames.insert(folded);
        const SyncHostEntry* there = found ? &host.at(*found) : nullptr;
        if (there) {
            matched.insert(*found);
            step.hostName = there->name;
            step.hostKind = there->kind;
            step.onHost = true;
        }
        if (there && there->kind == SyncHostKind::Link) {
            step.action = SyncAction::Conflict;
            step.reason = SyncReason::HostLink;
        } else if (there && there->kind == SyncHostKind::Other) {
            step.action = SyncAction::Conflict;
            step.reason = SyncReason::HostSpecial;
        } else if (there && there->folder() != e.folder) {
            step.action = SyncAction::Conflict;
            step.reason = e.folder ? SyncReason::FileOnHost : SyncReason::FolderOnHost;
        } else if (e.folder) {
            step.action = SyncAction::Descend;
        } else {
            planFile(step, there, resolution, options);
        }
        steps.append(step);
    }
    for (qsizetype i = 0; i < host.size(); ++i) {
        if (matched.contains(i))
            continue;
        SyncStep step;
        step.hostName = host.at(i).name;
        step.hostKind = host.at(i).kind;
        step.onHost = true;
        step.remote.folder = host.at(i).folder();
        if (collided.contains(i)) {
            step.action = SyncAction::Keep;
            step.reason = SyncReason::CaseCollision;
        } else if (host.at(i).movedHome) {
            step.action = SyncAction::Keep;
            step.reason = SyncReason::MovedHome;
        } else if (options.deleteExtra && options.listingComplete) {
            step.action = SyncAction::Delete;
        } else {
            step.action = SyncAction::Keep;
            step.reason = SyncReason::NotDeleted;
        }
        steps.append(step);
    }
    return steps;
}

QString besideName(const QString& name, const std::function<bool(const QString&)>& taken)
{
    // The number goes before the last extension, as file managers keep both: "DATA001 (2).CSV".
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const bool hasExtension = dot > 0;
    const QString base = hasExtension ? name.left(dot) : name;
    const QString extension = hasExtension ? name.mid(dot) : QString();
    for (int n = 2; n <= kMaxBesideNumber; ++n) {
        // Put together, not through arg(): a name may hold "%1" itself.
        const QString candidate =
            base + QStringLiteral(" (") + QString::number(n) + QLatin1Char(')') + extension;
        if (!taken(candidate))
            return candidate;
    }
    return QString();
}

} // namespace orvalt
