#pragma once

#include "cli/ConsoleDialogs.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace orvalt::cli {

// What a sync run did, counted as it went: the summary is written from it, and so is the report.
struct SyncTotals
{
    int fetched = 0;
    int current = 0; // skipped: on the host already
    int failed = 0;
    int sizeOnly = 0; // compared by size alone: the instrument's date could not be read
    int deletedHere = 0;
    int removedThere = 0;
    int keptBeside = 0; // fetched beside a host file of the same name whose contents differ
    int sameOnHost = 0; // fetched, and found the same as the host file of that name
    qint64 bytes = 0;
};

// sync --report FILE: one JSON object a run, on a line of its own, appended to FILE, so that a
// monitoring system reads what happened each night without parsing the summary. The run's start
// and end (ISO 8601 with the offset from UTC), the instrument (device, model), the folders, the
// totals, each failure with its cause, and the exit status.
class SyncReport
{
public:
    // The run starts now.
    SyncReport();

    QString device;
    QString model;
    QString remote;
    QString local;
    bool dryRun = false;
    SyncTotals totals;
    QList<ToldFailure> failures;
    int unlistedFailures = 0; // told, but beyond what the dialogs keep

    // The object of a run that ended now with exitStatus.
    QJsonObject toJson(int exitStatus) const;
    // Appends it to the file at path as one line, in one write, so that runs side by side (sync
    // --parallel) never mix their lines. False, with the system's reason, when it could not be.
    bool appendTo(const QString& path, int exitStatus, QString* why) const;

private:
    QDateTime m_start;
};

} // namespace orvalt::cli
