#include "transfer/TransferTexts.h"

#include "core/AppState.h"
#include "core/ResourceTexts.h"
#include "core/Settings.h"
#include "core/ShownName.h"
#include "link/RefusalReason.h"
#include "panes/FileEntry.h"
#include "panes/HostFs.h"
#include "panes/ListingText.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"
#include "session/ErrorText.h"
#include "transfer/FileTransfer.h"

#include <QDir>

namespace orvalt {

namespace {

constexpr qsizetype kMaxSizeShown = 20;
// The closing notice names this many items at most, and counts the rest.
constexpr int kMaxNamedNotCopied = 20;
// The files that got the time of the copy are named up to this many; more are only counted, as a
// long list of names on one line would be read by nobody.
constexpr qsizetype kMaxNamedCopyTimeDated = 3;

} // namespace

namespace TransferTexts {

QString describeItem(const QString& date, const QString& bytes, bool folder)
{
    if (folder)
        return date;
    return date + QLatin1Char(' ') + bytes.trimmed().left(kMaxSizeShown) + QStringLiteral("Byte");
}

QString describeItem(const FileEntry& entry)
{
    return describeItem(entry.date, QString::number(entry.size), entry.isFolder());
}

QString describeItem(const HostItem& item)
{
    return describeItem(item.entry.date, QString::number(item.size), item.entry.isFolder());
}

QString describeItem(const ListingEntry& entry)
{
    return describeItem(listingDateText(entry), entry.sizeField, entry.folder);
}

QString notCopied(const QString& item, const QString& why)
{
    return item + QStringLiteral(": ") + why;
}

QString droppedItemNotUsable()
{
    return QStringLiteral("not a file or folder of this computer; not copied");
}

QString stoppingFileNow()
{
    return QStringLiteral("Stopping now. The file in hand is not kept, unless all of it has gone already.");
}

QString stoppedByUser()
{
    return QStringLiteral("stopped by the user; not copied, what was there is kept");
}

QString sameNameButCase()
{
    return QStringLiteral(
        "its name differs only in case from one this copy sent, which the measurement device "
        "takes for the same name; not copied");
}

QString notStarted()
{
    return QStringLiteral("not started");
}

QString settled(UnconfirmedOutcome outcome)
{
    switch (outcome) {
    case UnconfirmedOutcome::Written:
        return QStringLiteral("written after all");
    case UnconfirmedOutcome::NotWritten:
        return QStringLiteral("not written; the measurement device keeps what it had");
    case UnconfirmedOutcome::Unknown:
        break;
    }
    return mayHaveBeenWritten();
}

QString mayHaveBeenWritten()
{
    return QStringLiteral("may have been written; check the measurement device");
}

QString nameNotUsableHere()
{
    return QStringLiteral("the name cannot be used on this computer; not copied");
}

QString entryNameNotUsableHere(const QString& name)
{
    return QStringLiteral("the entry %1 has a name that cannot be used on this computer; not copied")
        .arg(shownName(name));
}

QString hostFileName(const QString& hostPath, const QString& nativePath)
{
    return nativePath.isEmpty() ? hostPath : QDir::toNativeSeparators(nativePath);
}

QString cannotRead(const QString& file, const QString& why)
{
    return QStringLiteral("The file %1 could not be read (%2). It was not sent.").arg(file, why);
}

QString cannotReadToTheEnd(const QString& file, const QString& why)
{
    // A file that shrank is one another program is still writing; a disk that failed says so itself.
    QString cause;
    if (why.isEmpty()) {
        cause = QStringLiteral("It became shorter while it was sent: copy it again once the program that "
                               "writes it has finished.");
    } else {
        cause = why.trimmed();
        if (!cause.isEmpty())
            cause[0] = cause.at(0).toUpper();
        if (!cause.endsWith(QLatin1Char('.')))
            cause += QLatin1Char('.');
        cause += QStringLiteral(" Check the disk the file is on, then copy it again.");
    }
    return ErrorText::twoLines(
        QStringLiteral("The file %1 could not be read to its end, so it was not sent. A "
                       "file of that name that was on the instrument before is kept.")
            .arg(file),
        cause);
}

QString tooLarge(const QString& file, qint64 size)
{
    return QStringLiteral("The file %1 has %2 bytes. The measurement device takes files of less than "
                          "2147483648 bytes, so it was not sent.")
        .arg(file)
        .arg(size);
}

QString cannotWrite(const QString& file, const QString& why)
{
    return ErrorText::twoLines(
        QStringLiteral("The file %1 could not be written. A file of that name that was "
                       "there before is kept.")
            .arg(file),
        ErrorText::hostCause(why));
}

QString tooLargeToReceive(const QString& remotePath, qint64 size)
{
    return QStringLiteral("The file %1 has %2 bytes, more than the 2147483647 bytes a file from the "
                          "measurement device may have. It was not received; a file of that name that was "
                          "there before is kept.")
        .arg(remotePath)
        .arg(size);
}

QString pathNotSendable(const QString& remotePath, const QString& why)
{
    return QStringLiteral("%1 cannot be sent to the measurement device: %2.").arg(remotePath, why);
}

QString copyTimeDated(const QStringList& files)
{
    if (files.isEmpty())
        return QString();
    if (files.size() == 1)
        return QStringLiteral("The date of %1 on the measurement device could not be read, so the file got "
                              "the time of the copy instead.")
            .arg(files.constFirst());
    if (files.size() <= kMaxNamedCopyTimeDated)
        return QStringLiteral("The dates of %1 on the measurement device could not be read, so these files "
                              "got the time of the copy instead.")
            .arg(files.join(QStringLiteral(", ")));
    return QStringLiteral("The dates of %1 files on the measurement device could not be read, so these files "
                          "got the time of the copy instead.")
        .arg(files.size());
}

} // namespace TransferTexts

QString notConfirmedText(const CopyRun& run)
{
    QStringList parts;
    if (!run.notConfirmed.isEmpty()) {
        QString text =
            QStringLiteral("The measurement device stopped answering after these were sent whole:");
        for (const UnconfirmedWrite& write : run.notConfirmed)
            text += QStringLiteral("\n\u2022 ") +
                    TransferTexts::notCopied(write.remotePath, TransferTexts::mayHaveBeenWritten());
        parts << text;
    }
    if (!run.settled.isEmpty())
        parts << QStringLiteral("When the measurement device answered again:\n\u2022 ") +
                     run.settled.join(QStringLiteral("\n\u2022 "));
    return parts.join(QStringLiteral("\n\n"));
}

QString copyEndText(const CopyRun& run)
{
    QStringList parts{notCopiedText(run), notConfirmedText(run),
                      TransferTexts::copyTimeDated(run.copyTimeDated)};
    parts.removeAll(QString());
    return parts.join(QStringLiteral("\n\n"));
}

QString linkLostText(const QString& why)
{
    return ErrorText::twoLines(
        QStringLiteral("The measurement device cannot be reached any more, so the copy was stopped."), why);
}

QString notCopiedText(const CopyRun& run)
{
    const QStringList items = run.notCopied + run.notReached;
    if (items.isEmpty() && !run.linkLost)
        return QString();
    QString text;
    if (run.linkLost) {
        text = linkLostText(run.linkLostWhy);
        if (items.isEmpty())
            return text;
        text += QStringLiteral("\n\n");
    }
    text += QStringLiteral("These were not copied:");
    // A mark before each item, so an item whose cause wraps in the box is still told from the next.
    for (qsizetype i = 0; i < items.size() && i < kMaxNamedNotCopied; ++i)
        text += QStringLiteral("\n\u2022 ") + items.at(i);
    if (items.size() > kMaxNamedNotCopied)
        text += QStringLiteral("\n... and %1 more").arg(items.size() - kMaxNamedNotCopied);
    return text;
}

QString shownName(const QString& name)
{
    return QLatin1Char('"') + escapedName(name) + QLatin1Char('"');
}

QString TransferFailure::text() const
{
    return ErrorText::twoLines(first, cause);
}

QString TransferFailure::oneLine() const
{
    return cause.isEmpty() ? first : cause;
}

TransferFailure transferFailure(ProgramContext& ctx, qint32 result, const QString& hostFailure,
                                const QString& remotePath)
{
    TransferFailure failure;
    switch (result) {
    case 160:
        failure.first = ResourceTexts::text(8303);
        failure.information = true;
        break;
    case 60:
        failure.first = QStringLiteral("DEVICE BUSY");
        break;
    case 20:
        failure.first = QStringLiteral("Command Format (DEVICE BUSY)");
        break;
    case TransferResult::Stopped:
        failure.first = TransferTexts::stoppedByUser();
        return failure;
    default:
        if (TransferResult::isHostFailure(result) && !hostFailure.isEmpty()) {
            failure.first = hostFailure;
            failure.information = true;
            return failure;
        }
        failure.first = QStringLiteral("Send or Rec Error (DEVICE BUSY) ") + QString::number(result);
        break;
    }
    failure.cause = ErrorText::linkCauseOf(ctx.link, result);
    if (failure.cause.isEmpty()) {
        const int reason = ctx.state.lastRefusal;
        failure.cause = ErrorText::refusalCause(reason, remotePath, mediumNameOf(ctx, remotePath));
        if (reason == static_cast<int>(link::RefusalReason::NameRefused)) {
            // The name dialog's own words for the form the instrument takes.
            failure.cause = ErrorText::refusalCause(reason, shownName(NameOfPath(remotePath)), QString()) +
                            QLatin1Char(' ') + ResourceTexts::text(ctx.state.LongNames ? 8004 : 8001);
        }
    }
    return failure;
}

QString transferFailureText(ProgramContext& ctx, qint32 result, const QString& hostFailure,
                            const QString& remotePath)
{
    return transferFailure(ctx, result, hostFailure, remotePath).oneLine();
}

} // namespace orvalt
