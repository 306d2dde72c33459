#include "transfer/TransferTexts.h"

#include "core/ResourceTexts.h"
#include "panes/FileEntry.h"
#include "panes/HostFs.h"
#include "panes/ListingText.h"
#include "transfer/FileTransfer.h"

#include <QDir>

namespace orvalt {

namespace {

constexpr qsizetype kMaxShownName = 64;
constexpr qsizetype kMaxSizeShown = 20;
// The closing notice names this many items at most, and counts the rest.
constexpr int kMaxNamedNotCopied = 20;

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
    return QStringLiteral("Stopping now. The file in hand is not kept.");
}

QString stoppedByUser()
{
    return QStringLiteral("stopped by the user; not copied, what was there is kept");
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

QString tooLarge(const QString& file, qint64 size)
{
    return QStringLiteral("The file %1 has %2 bytes. The measurement device takes files of less than "
                          "2147483648 bytes, so it was not sent.")
        .arg(file)
        .arg(size);
}

QString cannotWrite(const QString& file, const QString& why)
{
    return QStringLiteral("The file %1 could not be written (%2). A file of that name that was there "
                          "before is kept.")
        .arg(file, why);
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

} // namespace TransferTexts

QString linkLostText(const QString& why)
{
    QString text =
        QStringLiteral("The measurement device cannot be reached any more, so the copy was stopped.");
    if (!why.isEmpty())
        text += QStringLiteral("\n\n") + why;
    return text;
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
    for (qsizetype i = 0; i < items.size() && i < kMaxNamedNotCopied; ++i)
        text += QLatin1Char('\n') + items.at(i);
    if (items.size() > kMaxNamedNotCopied)
        text += QStringLiteral("\n... and %1 more").arg(items.size() - kMaxNamedNotCopied);
    return text;
}

QString shownName(const QString& name)
{
    QString shown;
    for (const QChar c : name.left(kMaxShownName)) {
        if (c.category() == QChar::Other_Control)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    if (name.size() > kMaxShownName)
        shown += QStringLiteral("...");
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

QString transferFailureText(qint32 result, const QString& hostFailure)
{
    switch (result) {
    case 160:
        return ResourceTexts::text(8303);
    case 60:
        return QStringLiteral("DEVICE BUSY");
    case 20:
        return QStringLiteral("Command Format (DEVICE BUSY)");
    case TransferResult::Stopped:
        return TransferTexts::stoppedByUser();
    default:
        break;
    }
    if (TransferResult::isHostFailure(result) && !hostFailure.isEmpty())
        return hostFailure;
    return QStringLiteral("Send or Rec Error (DEVICE BUSY) ") + QString::number(result);
}

} // namespace orvalt
