#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace orvalt {

struct ProgramContext;

// What one run of Copy to Left or Copy to Right carries from row to row and into a folder copy.
struct CopyRun
{
    // The top folder of the folder copy in hand exists at the destination, so the calls of
    // CopyFolderTree now copy contents. The driver clears it after each selected folder.
    bool TopFolderMade = false;
    // What was passed over on the way, one line each ("M:\DATA\X.DAT: DEVICE BUSY"); the driver tells
    // the user once, at the end, rather than stopping a long copy for every item.
    QStringList notCopied;
    // The instrument's current medium and folder as this run last set them ("M:\DATA"); empty
    // when something may have moved it since.
    QString instrumentPlace;
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
};

// Records a result that means the instrument is out of reach in run (the first one only); true
// when it is one. A failure whose result hides the link's (the receiver's -1) is taken for what the
// link last failed with.
bool noteLinkLost(ProgramContext& ctx, CopyRun& run, qint32 result);

// Records remotePath in run.copyTimeDated when the receiver stored it (result 0) without a date
// to give it (modified invalid).
void noteReceivedDate(CopyRun& run, const QString& remotePath, qint32 result, const QDateTime& modified);

} // namespace orvalt
