#include "transfer/SyncPlan.h"

#include <QHash>
#include <QSet>

namespace orvalt {

bool sameListedTime(const QDateTime& listed, int resolution, const QDateTime& hostModified)
{
    if (!listed.isValid() || !hostModified.isValid() || resolution < 1)
        return false;
    const qint64 step = resolution;
    return listed.toSecsSinceEpoch() / step == hostModified.toSecsSinceEpoch() / step;
}

QList<SyncStep> planSync(const QList<ListingEntry>& remote, const QList<SyncHostEntry>& host)
{
    QHash<QString, qsizetype> hostByName;
    for (qsizetype i = 0; i < host.size(); ++i)
        hostByName.insert(host.at(i).name.toCaseFolded(), i);
    QSet<qsizetype> matched;
    QList<SyncStep> steps;
    for (const ListingEntry& e : remote) {
        SyncStep step;
        step.remote = e;
        step.hostName = e.name;
        int resolution = 1;
        step.listedTime = listingDateTime(e, &resolution);
        step.sizeOnly = !e.folder && !step.listedTime.isValid();
        step.size = listingBytes(e).value_or(-1);
        const auto found = hostByName.constFind(e.name.toCaseFolded());
        const SyncHostEntry* there = nullptr;
        if (found != hostByName.constEnd()) {
            there = &host.at(*found);
            matched.insert(*found);
            step.hostName = there->name;
        }
        if (there && there->folder != e.folder) {
            step.action = SyncAction::Conflict;
        } else if (e.folder) {
            step.action = SyncAction::Descend;
        } else if (!there) {
            step.action = SyncAction::Fetch;
            step.reason = SyncReason::New;
        } else if (step.size < 0 || there->size != step.size) {
            step.action = SyncAction::Fetch;
            step.reason = SyncReason::Size;
        } else if (!step.sizeOnly && !sameListedTime(step.listedTime, resolution, there->modified)) {
            step.action = SyncAction::Fetch;
            step.reason = SyncReason::Date;
        }
        steps.append(step);
    }
    for (qsizetype i = 0; i < host.size(); ++i) {
        if (matched.contains(i))
            continue;
        SyncStep step;
        step.action = SyncAction::Extra;
        step.hostName = host.at(i).name;
        step.remote.folder = host.at(i).folder;
        steps.append(step);
    }
    return steps;
}

} // namespace orvalt
