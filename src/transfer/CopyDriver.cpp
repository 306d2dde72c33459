#include "transfer/CopyDriver.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "core/StatusPanel.h"
#include "fileops/NameRules.h"
#include "fileops/Rename.h"
#include "link/CommandWords.h"
#include "panes/Endpoint.h"
#include "panes/HostFs.h"
#include "panes/HostListing.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"
#include "session/CommandExchange.h"
#include "session/Connection.h"
#include "transfer/CheckOverWrite.h"
#include "transfer/CopyFolderTree.h"
#include "transfer/CopyProgress.h"
#include "transfer/FileTransfer.h"
#include "transfer/JobProgress.h"
#include "transfer/OneFileCopy.h"
#include "transfer/RowCopy.h"
#include "transfer/TransferTexts.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <exception>
#include <functional>

namespace orvalt {

namespace {

bool isHost(const AppState& st, const QString& side)
{
    return st.devId(side) == QLatin1String("0");
}

// CheckConnect for one pane with its media list's text. A host pane's prefix is its drive, which
// the check would replace by the end of that (hidden) list's text, so a host pane keeps its own.
bool paneConnected(ProgramContext& ctx, const QString& side)
{
    AppState& st = ctx.state;
    const QString drive = st.medium(side);
    const bool connected = CheckConnect(ctx, paneList(ctx, side).choosers().mediumText(), side);
    if (isHost(st, side))
        st.medium(side) = drive;
    return connected;
}

// An item of the source as the closing notice names it: a host item by its native path.
QString shownItem(const Endpoint& from, const QString& panePath)
{
    if (from.isInstrument())
        return panePath;
    const QString native = HostFs::nativePath(panePath);
    return native.isEmpty() ? panePath : QDir::toNativeSeparators(native);
}

struct Row
{
    QString text;
    bool folder = false;
    bool selected = false;
    QString base; // the folder it is in, when not the source pane's (a dropped host item)
};

// The rows as they were when the copy was asked for: what the user selected then is what is
// copied, whatever happens to the list while the copy lets the window run.
QList<Row> rowsOf(const PaneModel& pane)
{
    QList<Row> rows;
    for (int i = 0; i < pane.rowCount(); ++i)
        rows.append({pane.row(i).name, pane.row(i).folder, pane.isSelected(i), QString()});
    return rows;
}

class CopyDriver
{
public:
    // A copy from the pane of side from into the other pane.
    CopyDriver(ProgramContext& ctx, const QString& from)
        : m_ctx(ctx)
        , m_st(ctx.state)
        , m_toSide(otherSide(from))
        , m_fromSide(from)
    {}

    // The source pane's selection; activeSide names the pane whose list had the focus last.
    void run(const QString& activeSide);
    // Dropped host items instead of the source pane's selection.
    void runDropped(const QList<Row>& rows);

private:
    enum class Next
    {
        Row,
        Leave // the rest of the selection is dropped
    };

    void copyRows(const QList<Row>& rows);
    // The selected rows counted before the copy starts, for the progress of the whole job.
    void countJob(const QList<Row>& rows);
    QString sourceOf(const Row& row) const
    {
        return (row.base.isEmpty() ? m_from.folderPath() : row.base) + row.text;
    }
    Next copyFolderRow(const Row& row);
    Next copyFileRow(const Row& row);
    void finish();
    FileEntry entryOn(const QString& path, const Endpoint& where);

    ProgramContext& m_ctx;
    AppState& m_st;
    QString m_toSide;   // the pane copied into, listed again at the end
    QString m_fromSide; // the source pane
    Endpoint m_from;
    Endpoint m_to;
    CopyRun m_run;
};

// The destination as a row copy looks at it: the host for a host folder, the rows of the pane that
// shows an instrument folder; an instrument file is described from a fresh listing of its folder.
class PaneDestination : public CopyDestination
{
public:
    PaneDestination(const std::function<FileEntry(const QString& path)>& fileOnDest, ProgramContext& ctx,
                    const Endpoint& to)
        : m_fileOnDest(fileOnDest)
        , m_ctx(ctx)
        , m_to(to)
    {}

    bool has(const QString& name, bool folder) override
    {
        return folder ? folderIn(m_ctx, m_to, m_to.pathOf(name)) : fileIn(m_ctx, m_to, m_to.pathOf(name));
    }
    QString describe(const QString& name, bool folder) override
    {
        if (folder)
            return GetFolderEntry(m_ctx, m_to.pathOf(name), m_to).date;
        return TransferTexts::describeItem(m_fileOnDest(m_to.pathOf(name)));
    }
    // The instrument pane lists the folder copied into, as it stood before the copy.
    ListedBefore listedBefore(const QString& name) override
    {
        if (m_to.host || m_to.pane.isEmpty())
            return {};
        const PaneModel& pane = paneList(m_ctx, m_to.pane);
        ListedBefore before;
        before.known = true;
        const int row = pane.rowNamed(name);
        if (row >= 0 && !pane.row(row).folder) {
            before.exists = true;
            before.date = pane.row(row).date;
            before.bytes = pane.row(row).bytes;
        }
        return before;
    }

private:
    std::function<FileEntry(const QString&)> m_fileOnDest;
    ProgramContext& m_ctx;
    Endpoint m_to;
};

// Whichever way a copy ends, the other actions of the window work again afterwards.
struct EndOfCopy
{
    AppState& st;
    ~EndOfCopy()
    {
        st.StopRequested = false;
        st.StopFileNow = false;
        st.TransferBusy = false;
    }
};

void CopyDriver::run(const QString& activeSide)
{
    if (m_st.TransferBusy)
        return;
    m_st.TransferBusy = true;
    const EndOfCopy end{m_st};
    // Interruption pressed while no copy ran is not meant for this one.
    m_st.StopRequested = false;
    m_st.StopFileNow = false;
    if (activeSide != m_fromSide) {
        m_ctx.dialogs.plain(ResourceTexts::text(8300));
        return;
    }
    if (!paneConnected(m_ctx, QStringLiteral("L")) || !paneConnected(m_ctx, QStringLiteral("R")))
        return;
    m_ctx.statusPanel1.setText(ResourceTexts::text(1022));
    m_st.OverwriteAll = false;

    const QList<Row> rows = rowsOf(paneList(m_ctx, m_fromSide));
    const bool anySelected = std::any_of(rows.cbegin(), rows.cend(), [](const Row& r) { return r.selected; });
    if (!anySelected) {
        m_ctx.dialogs.plain(ResourceTexts::text(8300));
        finish();
        return;
    }
    m_from = paneEndpoint(m_st, m_fromSide);
    m_to = paneEndpoint(m_st, m_toSide);
    try {
        copyRows(rows);
    } catch (const std::exception& e) {
        // Nothing in the copy is expected to throw; should it, the copy ends as it ends otherwise.
        m_run.notCopied << QString::fromLocal8Bit(e.what());
    }
    finish();
}

void CopyDriver::runDropped(const QList<Row>& rows)
{
    if (m_st.TransferBusy || isHost(m_st, m_toSide) || rows.isEmpty())
        return;
    m_st.TransferBusy = true;
    const EndOfCopy end{m_st};
    m_st.StopRequested = false;
    m_st.StopFileNow = false;
    if (!paneConnected(m_ctx, m_toSide))
        return;
    m_ctx.statusPanel1.setText(ResourceTexts::text(1022));
    m_st.OverwriteAll = false;
    // Dropped items are the host's, each in a folder of its own, whatever the other pane shows.
    m_from = Endpoint();
    m_to = paneEndpoint(m_st, m_toSide);
    try {
        copyRows(rows);
    } catch (const std::exception& e) {
        m_run.notCopied << QString::fromLocal8Bit(e.what());
    }
    finish();
}

void CopyDriver::copyRows(const QList<Row>& rows)
{
    ProgressOpen(m_ctx, 1, static_cast<int>(rows.size()));
    countJob(rows);
    for (int i = 1; i <= rows.size(); ++i) {
        m_ctx.dialogs.yield();
        if (m_st.StopRequested) {
            // Interruption: the rest of the selection is named, so nobody takes it for copied.
            for (int k = i; k <= rows.size(); ++k)
                if (rows.at(k - 1).selected)
                    m_run.notCopied << TransferTexts::notCopied(shownItem(m_from, sourceOf(rows.at(k - 1))),
                                                                TransferTexts::notStarted());
            break;
        }
        const Row& row = rows.at(i - 1);
        // With the instrument out of reach every row would wait out the time-out in turn.
        if (row.selected && m_run.linkLost) {
            m_run.notReached << shownItem(m_from, sourceOf(row));
        } else if (row.selected) {
            Next next = Next::Row;
            try {
                next = row.folder ? copyFolderRow(row) : copyFileRow(row);
            } catch (const std::exception& e) {
                // An unexpected failure costs this row only.
                m_run.notCopied << TransferTexts::notCopied(sourceOf(row), QString::fromLocal8Bit(e.what()));
                m_run.TopFolderMade = false;
            }
            if (next == Next::Leave)
                break;
        }
        ProgressStep(m_ctx, i);
    }
}

void CopyDriver::countJob(const QList<Row>& rows)
{
    QStringList paths;
    QList<bool> folders;
    QList<int> at; // the row of each item counted
    for (int i = 0; i < rows.size(); ++i) {
        if (!rows.at(i).selected)
            continue;
        paths << sourceOf(rows.at(i));
        folders << rows.at(i).folder;
        at << i;
    }
    const QList<JobTotals> counted = countCopyItems(m_ctx, m_from, paths, folders);
    QList<JobTotals> items(rows.size());
    for (qsizetype k = 0; k < at.size() && k < counted.size(); ++k)
        items[at.at(k)] = counted.at(k);
    ProgressJob(m_ctx, items);
}

CopyDriver::Next CopyDriver::copyFolderRow(const Row& row)
{
    const QString source = sourceOf(row);
    if (m_from.isInstrument() && !hostCanTakeName(row.text)) {
        m_run.notCopied << TransferTexts::notCopied(m_from.folderPath() + shownName(row.text),
                                                    TransferTexts::nameNotUsableHere());
        return Next::Row;
    }
    const FileEntry sourceEntry = GetFolderEntry(m_ctx, source, m_from);
    CopyItem item;
    item.path = source;
    item.name = sourceEntry.name.isEmpty() ? row.text : sourceEntry.name;
    item.shortName = sourceEntry.shortName.isEmpty() ? item.name : sourceEntry.shortName;
    item.folder = true;
    item.describe = [&sourceEntry] {
        return sourceEntry.date;
    };
    PaneDestination destination({}, m_ctx, m_to);
    const RowCopied copied = copyRow(m_ctx, m_run, item, m_from, m_to, destination);
    if (copied.attempted)
        m_run.TopFolderMade = false;
    return copied.stop ? Next::Leave : Next::Row;
}

CopyDriver::Next CopyDriver::copyFileRow(const Row& row)
{
    const QString source = sourceOf(row);
    const bool fromInstrument = m_from.isInstrument();
    if (fromInstrument && !hostCanTakeName(row.text)) {
        m_run.notCopied << TransferTexts::notCopied(m_from.folderPath() + shownName(row.text),
                                                    TransferTexts::nameNotUsableHere());
        return Next::Row;
    }
    // An instrument file's record is its row; its size is asked for only if a question needs it.
    FileEntry sourceEntry;
    if (!fromInstrument)
        sourceEntry = GetFileEntry(m_ctx, source, m_from);
    if (sourceEntry.name.isEmpty()) {
        sourceEntry.name = row.text;
        sourceEntry.shortName = row.text;
    }
    CopyItem item;
    item.path = source;
    item.name = sourceEntry.name;
    item.shortName = sourceEntry.shortName;
    item.describe = [&] {
        if (fromInstrument)
            sourceEntry = entryOn(source, m_from);
        return TransferTexts::describeItem(sourceEntry);
    };
    PaneDestination destination([this](const QString& path) { return entryOn(path, m_to); }, m_ctx, m_to);
    const RowCopied copied = copyRow(m_ctx, m_run, item, m_from, m_to, destination);
    if (copied.stop)
        return Next::Leave;
    if (copied.attempted && copied.result == TransferResult::Stopped)
        m_run.notCopied << TransferTexts::notCopied(shownItem(m_from, source),
                                                    TransferTexts::stoppedByUser());
    // A write that may have been stored is named with those not confirmed, not as not copied.
    if (copied.attempted && noteLinkLost(m_ctx, m_run, copied.result) &&
        copied.result != TransferResult::NotConfirmed)
        m_run.notReached << shownItem(m_from, source);
    return Next::Row;
}

FileEntry CopyDriver::entryOn(const QString& path, const Endpoint& where)
{
    const FileEntry entry = GetFileEntry(m_ctx, path, where);
    noteLinkLost(m_ctx, m_run, m_ctx.link.lastFailure());
    return entry;
}

void CopyDriver::finish()
{
    ProgressClose(m_ctx);
    // A write the instrument never confirmed is settled if it answers again: one more request,
    // which may wait out one more time-out.
    settleUnconfirmed(m_ctx, m_run);
    // An instrument out of reach could not be listed; trying would cost one more time-out and a
    // message about the listing on top of the one below.
    if (!m_run.linkLost || isHost(m_st, m_toSide) || !m_run.settled.isEmpty())
        LoadListview(m_ctx, m_toSide);
    const QString told = copyEndText(m_run);
    if (!told.isEmpty())
        m_ctx.dialogs.notice(told);
}

} // namespace

void copyToLeft(ProgramContext& ctx, const QString& activeSide)
{
    CopyDriver(ctx, QStringLiteral("R")).run(activeSide);
}

void copyToRight(ProgramContext& ctx, const QString& activeSide)
{
    CopyDriver(ctx, QStringLiteral("L")).run(activeSide);
}

void copyHostItemsInto(ProgramContext& ctx, const QString& side, const QStringList& nativePaths)
{
    QList<Row> rows;
    QStringList refused;
    for (const QString& native : nativePaths) {
        const QString host = HostFs::hostPath(native);
        const qsizetype cut = host.lastIndexOf(QLatin1Char('\\'));
        const QFileInfo info(native);
        if (host.isEmpty() || cut < 0 || cut == host.size() - 1 || !info.exists()) {
            refused << TransferTexts::notCopied(QDir::toNativeSeparators(native),
                                                TransferTexts::droppedItemNotUsable());
            continue;
        }
        rows.append({host.mid(cut + 1), info.isDir(), true, host.left(cut + 1)});
    }
    if (!refused.isEmpty() && !ctx.state.TransferBusy)
        ctx.dialogs.notice(refused.join(QLatin1Char('\n')));
    CopyDriver(ctx, otherSide(side)).runDropped(rows);
}

void interruption(ProgramContext& ctx)
{
    AppState& st = ctx.state;
    if (!st.TransferBusy)
        return;
    // The first press lets the file in hand finish; a second one drops it at once.
    if (st.StopRequested) {
        st.StopFileNow = true;
        ctx.dialogs.progressNotice(TransferTexts::stoppingFileNow());
        return;
    }
    st.StopRequested = true;
    ProgressNotice(ctx);
}

} // namespace orvalt
