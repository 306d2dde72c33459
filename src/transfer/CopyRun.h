#pragma once

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace orvalt {

struct ProgramContext;

// What the destination's listing showed under a name before a file was written there, in the
// form a pane shows it (listingRows), when it is known.
struct ListedBefore
{
    bool known = false;
    bool exists = false;
    QString date;
    qint64 bytes = -1; // -1: not a number the listing gave
};

// A file sent to the instrument whose storing the instrument never confirmed: it stopped
// answering after the whole file was on its way (TransferResult::NotConfirmed).
struct UnconfirmedWrite
{
    QString remotePath;
    qint64 size = -1; // the bytes sent
    ListedBefore before;
};

// What one run of Copy to Left or Copy to Right carries from row to row and into a folder copy.
struct CopyRun
{
    // The top folder of the folder copy in hand exists at the destination, so the calls of
    // CopyFolderTree now copy contents. The driver clears it after each selected folder.
    bool TopFolderMade = false;
    // What was passed over on the way, one line each ("M:\DATA\X.DAT: DEVICE BUSY"); the driver tells
    // the user once, at the end, rather than stopping a long copy for every item.
    QStringList notCopied;
    // The result of the request that found the instrument out of reach (TransferResult::linkGone),
    // and what the link said of it; 0 while it is in reach. From then on nothing more is sent,
    // each further request would cost a full time-out: the items the copy did not come to are
    // named in notReached instead, without a reason of their own.
    qint32 linkLost = 0;
    QString linkLostWhy;
    QStringList notReached;
    // The files received whole whose date the instrument's listing gave in a form that could not
    // be read: they carry the time of the copy, which the user would otherwise take for the
    // measurement's.
    QStringList copyTimeDated;
    // Files that may or may not have been stored (settleUnconfirmed), and, once the instrument
    // answered again, how each turned out: one line each ("M:\A.DAT: written after all").
    QList<UnconfirmedWrite> notConfirmed;
    QStringList settled;
    // The instrument files this run wrote, by path in folded case: the media tell names apart
    // without regard to case, so a second host file whose name differs only in case would replace
    // the first.
    QSet<QString> sentToInstrument;
};

// Records a result that means the instrument is out of reach in run (the first one only); true
// when it is one. A failure whose result hides the link's (the receiver's -1) is taken for what the
// link last failed with.
bool noteLinkLost(ProgramContext& ctx, CopyRun& run, qint32 result);

// Where the instrument answers again after a write it never confirmed (the run lost the link by a
// time-out, not a port gone): lists the folder of each such file and moves what the listing tells
// into run.settled: written after all (the size sent, where the name was free or held another
// file before), not written (the entry as it was before), or, where the listing cannot tell, left
// not confirmed. Stops at the first request that gets no answer either.
void settleUnconfirmed(ProgramContext& ctx, CopyRun& run);

// Records remotePath in run.copyTimeDated when the receiver stored it (result 0) without a date
// to give it (modified invalid).
void noteReceivedDate(CopyRun& run, const QString& remotePath, qint32 result, const QDateTime& modified);

} // namespace orvalt
