#pragma once

#include "core/JobTotals.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace orvalt {

struct Endpoint;
struct ProgramContext;

// What the progress window shows of the whole job. secondsLeft is -1 while no rate is known.
struct JobFigures
{
    qint64 filesDone = 0;
    qint64 files = 0;
    qint64 bytesDone = 0;
    qint64 bytes = 0;
    qint64 secondsLeft = -1;
    bool finished = false; // every item has been dealt with
};

// The items of a copy counted before it starts, as file managers do: a host item from the host's
// file system, an instrument item from listings of its folders (selected through the session,
// "DIR?"). from says whether the paths (pane paths, a folder without a final "\") are the host's or
// the instrument's; paths and folders stand for the items, one entry each. An item that cannot be
// counted (gone, unreadable, a listing that failed) counts for what was found of it; after a
// failure of the link nothing more is asked of the instrument.
QList<JobTotals> countCopyItems(ProgramContext& ctx, const Endpoint& from, const QStringList& paths,
                                const QList<bool>& folders);

// The whole job's figures from the copy's own reports: the items' totals at the start, each
// item's end (the rows bar's step), and the reports of the sender and the receiver in between.
// An item's end settles the figures to what was counted for it, so an item passed over or
// refused moves them on as one that was copied does, and the figures never run past the totals.
class JobProgress
{
public:
    void start(const QList<JobTotals>& items);
    // Items 1 to item are done (the rows bar's value).
    void itemsDone(int item);
    // A report of the sender or the receiver: bytes done of the file in hand.
    void transfer(const QString& file, qint64 done, qint64 total);
    // The figures, the time left taken at bytesPerSecond (-1 for not known).
    JobFigures figures(qint64 bytesPerSecond) const;
    bool counted() const { return !m_items.isEmpty(); }

private:
    QList<JobTotals> m_items;
    int m_itemsDone = 0;
    JobTotals m_settled; // the totals of the items done
    JobTotals m_inItem;  // what the reports add within the item in hand
    QString m_file;
    qint64 m_lastDone = 0;
    bool m_fileComplete = false;
};

// "3 of 10 files", "12,288 of 40,960 bytes in all", "1:02 left in all" (empty while not known), and
// the bytes bar's position in thousandths.
QString jobFilesText(const JobFigures& figures);
QString jobBytesText(const JobFigures& figures);
QString jobTimeLeftText(const JobFigures& figures);
int jobPerMille(const JobFigures& figures);

} // namespace orvalt
