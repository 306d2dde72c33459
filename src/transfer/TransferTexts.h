#pragma once

#include "panes/MediumName.h"
#include "transfer/CopyRun.h"
#include "transfer/Unconfirmed.h"

#include <QString>

namespace orvalt {

struct FileEntry;
struct HostItem;
struct ListingEntry;
struct ProgramContext;

// The texts of a copy: what the overwrite question says of the two items, what the closing notice
// says of what was not copied, and the host's failures.

namespace TransferTexts {

// How the overwrite question describes an item: its date, and for a file its size in bytes after
// it ("2002/05/10 12:00:00 1024Byte"). bytes is shown as it came, at most 20 characters of it.
QString describeItem(const QString& date, const QString& bytes, bool folder);
QString describeItem(const FileEntry& entry);
QString describeItem(const HostItem& item);
QString describeItem(const ListingEntry& entry);

// One line of the closing notice: the item, and why it was not copied.
QString notCopied(const QString& item, const QString& why);
// Why an item of the instrument was not copied: its name cannot be a host file's.
QString nameNotUsableHere();
QString entryNameNotUsableHere(const QString& name);
// Why a dropped item was not copied: it is not a file or folder this computer can name.
QString droppedItemNotUsable();
// The progress window's notice after the second Interruption, and why the file then in hand was
// not copied.
QString stoppingFileNow();
// Why a host item was not sent: one this copy sent has the same name but for letter case, and the
// instrument would take the two for one.
QString sameNameButCase();
// The cause of an item the copy never came to because the user stopped it.
QString notStarted();
QString stoppedByUser();

// How a write the instrument never confirmed turned out, as a line of the closing notice says it
// ("written after all"); and what is said of one that could not be settled.
QString settled(UnconfirmedOutcome outcome);
QString mayHaveBeenWritten();

// Texts for failures on the host's side of a transfer, each naming the file concerned.

// The name to show for a host file: its native path when it has one, else the path as given.
QString hostFileName(const QString& hostPath, const QString& nativePath);

QString cannotRead(const QString& file, const QString& why);
// A file that could not be read to its end while it was sent; why is empty when it became shorter.
QString cannotReadToTheEnd(const QString& file, const QString& why);
QString tooLarge(const QString& file, qint64 size);
QString cannotWrite(const QString& file, const QString& why);
QString tooLargeToReceive(const QString& remotePath, qint64 size);
QString pathNotSendable(const QString& remotePath, const QString& why);

// Files received whole whose date on the instrument could not be read (remote paths): they have
// the time of the copy. A few are named, more are counted; empty for none.
QString copyTimeDated(const QStringList& files);

} // namespace TransferTexts

// What the user is told of a copy that could not do everything: why it stopped when the link was
// lost, then what was not copied, at most a screenful of it. Empty when there is nothing to tell.
QString notCopiedText(const CopyRun& run);

// What the user is told of writes the instrument never confirmed: those still not known to have
// been stored, and how the others turned out once it answered again. Empty for none.
QString notConfirmedText(const CopyRun& run);

// What the user is told at the end of a copy: notCopiedText, notConfirmedText, then the files that
// got the time of the copy (TransferTexts::copyTimeDated). Empty when there is nothing to tell.
QString copyEndText(const CopyRun& run);

// The first lines of that text: the copy stopped because the instrument cannot be reached, and why
// (the link's cause, ErrorText::linkCause).
QString linkLostText(const QString& why);

// A name as a message shows it: in quotes, with control characters written as \xNN.
QString shownName(const QString& name);

// What the user is told of a failed transfer. The first line is the one-file copy's message: text
// 8303 for 160, "DEVICE BUSY" for 60, "Command Format (DEVICE BUSY)" for 20, stoppedByUser for
// Stopped (without a cause), the host's text where there is one, else "Send or Rec Error (DEVICE BUSY) " and
// the number. The cause, when the program knows it, says what really happened: the link's failure (the
// instrument stopped answering, the port went away, the line too noisy) or what the instrument refused (the
// file remotePath is not there, the medium is full, the name is not taken), from the reason its refusal gave.
struct TransferFailure
{
    QString first;
    QString cause;
    bool information = false; // the box carries the information icon (160 and the host's failures)

    // The two lines of the one-file copy's message box.
    QString text() const;
    // One line for a list of what was not copied: the cause where there is one.
    QString oneLine() const;
};
TransferFailure transferFailure(ProgramContext& ctx, qint32 result, const QString& hostFailure,
                                const QString& remotePath);
QString transferFailureText(ProgramContext& ctx, qint32 result, const QString& hostFailure,
                            const QString& remotePath);

} // namespace orvalt
