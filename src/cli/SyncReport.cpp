#include "cli/SyncReport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace orvalt::cli {

namespace {

// The time as ISO 8601 with the offset from UTC: a report read elsewhere, or after the clocks
// changed, still tells when the run was.
QString isoTime(const QDateTime& time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

SyncReport::SyncReport()
    : m_start(QDateTime::currentDateTime())
{}

QJsonObject SyncReport::toJson(int exitStatus) const
{
    QJsonArray told;
    for (const ToldFailure& f : failures)
        told.append(QJsonObject{{QStringLiteral("item"), f.item}, {QStringLiteral("cause"), f.cause}});
    QJsonObject report{
        {QStringLiteral("start"), isoTime(m_start)},
        {QStringLiteral("end"), isoTime(QDateTime::currentDateTime())},
        {QStringLiteral("instrument"),
         QJsonObject{{QStringLiteral("device"), device}, {QStringLiteral("model"), model}}},
        {QStringLiteral("remote"), remote},
        {QStringLiteral("local"), local},
        {QStringLiteral("dry_run"), dryRun},
        {QStringLiteral("fetched"), totals.fetched},
        {QStringLiteral("bytes"), static_cast<double>(totals.bytes)},
        {QStringLiteral("skipped"), totals.current},
        {QStringLiteral("failed"), totals.failed},
        {QStringLiteral("size_only"), totals.sizeOnly},
        {QStringLiteral("deleted_here"), totals.deletedHere},
        {QStringLiteral("removed_there"), totals.removedThere},
        {QStringLiteral("kept_beside"), totals.keptBeside},
        {QStringLiteral("same_on_host"), totals.sameOnHost},
        {QStringLiteral("failures"), told},
        {QStringLiteral("exit_status"), exitStatus},
    };
    if (unlistedFailures > 0)
        report.insert(QStringLiteral("failures_not_listed"), unlistedFailures);
    return report;
}

bool SyncReport::appendTo(const QString& path, int exitStatus, QString* why) const
{
    const QByteArray line = QJsonDocument(toJson(exitStatus)).toJson(QJsonDocument::Compact) + '\n';
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *why = file.errorString();
        return false;
    }
    if (file.write(line) != line.size() || !file.flush()) {
        *why = file.errorString();
        return false;
    }
    return true;
}

} // namespace orvalt::cli
