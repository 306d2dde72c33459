// sync: makes a host folder hold what an instrument folder holds, fetching only what is missing on
// the host or differs from the instrument's listing, through the receiver every copy uses. What to
// fetch, keep or delete is decided by planSync; this file walks the folders and tells the user.

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/ConsoleTerminal.h"
#include "cli/SyncReport.h"
#include "link/CommandWords.h"
#include "panes/HostFs.h"
#include "panes/RemoteListing.h"
#include "session/CommandExchange.h"
#include "transfer/CopyFolderTree.h"
#include "transfer/FileTransfer.h"
#include "transfer/SyncPlan.h"
#include "transfer/TransferTexts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

namespace orvalt::cli {

namespace {

// Deeper than any instrument's media go; a listing that claims more is not followed.
constexpr int kMaxSyncDepth = 64;

class Sync
{
public:
    explicit Sync(CliSession& s)
        : m_s(s)
        , m_request(s.request())
    {}

    // The contents of remote into the host folder hostFolder (a HostFs path); true when everything
    // in it is on the host and, with --remove-source, gone from the instrument.
    bool folder(const RemotePath& remote, const QString& hostFolder, int depth);

    SyncTotals totals;

private:
    void say(const QString& text) { writeStdout(text + QLatin1Char('\n')); }
    QList<SyncHostEntry> hostEntries(const QString& native);
    bool fetch(const RemotePath& remote, const SyncStep& step, const QString& hostPath);
    bool removeThere(const RemotePath& item);
    void deleteHere(const QString& native, const SyncStep& step);

    CliSession& m_s;
    const CliRequest& m_request;
};

QString hostChild(const QString& hostFolder, const QString& name)
{
    return hostFolder.endsWith(QLatin1Char('\\')) ? hostFolder + name : hostFolder + QLatin1Char('\\') + name;
}

// Why sync -v passes a file over.
const QString kCurrent = QStringLiteral("current");
const QString kCurrentBySize = QStringLiteral("current by its size (its date could not be read)");

QString reasonText(SyncReason reason)
{
    switch (reason) {
    case SyncReason::New:
        return QStringLiteral("new");
    case SyncReason::Size:
        return QStringLiteral("size differs");
    case SyncReason::Date:
        return QStringLiteral("date differs");
    case SyncReason::None:
        break;
    }
    return QString();
}

QList<SyncHostEntry> Sync::hostEntries(const QString& native)
{
    QList<SyncHostEntry> entries;
    const QFileInfoList infos =
        QDir(native).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : infos) {
        SyncHostEntry e;
        e.name = info.fileName();
        e.folder = info.isDir();
        e.size = info.size();
        e.modified = info.lastModified();
        entries.append(e);
    }
    return entries;
}

bool Sync::fetch(const RemotePath& remote, const SyncStep& step, const QString& hostPath)
{
    ProgramContext& ctx = m_s.ctx();
    QString hostFailure;
    const qint32 result = RmtReceiveFile(ctx, remote.path(), hostPath, &hostFailure, step.listedTime);
    m_s.noteResult(result);
    if (result != TransferResult::Done) {
        m_s.about(remote.path());
        m_s.fail(transferFailureText(ctx, result, hostFailure, remote.path()));
        ++totals.failed;
        return false;
    }
    // A file cut short would have failed above; the size is checked once more against the listing
    // before the instrument's copy may go.
    const qint64 got = QFileInfo(HostFs::nativePath(hostPath)).size();
    if (step.size >= 0 && got != step.size) {
        m_s.about(remote.path());
        m_s.fail(QStringLiteral("%1 bytes arrived, the listing says %2").arg(got).arg(step.size));
        ++totals.failed;
        return false;
    }
    ++totals.fetched;
    totals.bytes += got;
    if (step.sizeOnly)
        ++totals.sizeOnly;
    m_s.noteReceived(remote.path(), result, step.listedTime);
    return true;
}

// "FDL " in the folder that holds the item.
bool Sync::removeThere(const RemotePath& item)
{
    if (m_request.dryRun) {
        say(QStringLiteral("would remove %1 from the instrument").arg(item.path()));
        return true;
    }
    m_s.about(item.path());
    if (!m_s.selectFolder(item.parent()))
        return false;
    const qint32 result =
        SendCmd(m_s.state(), m_s.ctx().link, m_s.dialogs(), CommandWords::kDelete + item.name());
    m_s.noteResult(result);
    if (result != 0) {
        m_s.fail(QStringLiteral("FDL Error ") + QString::number(result));
        return false;
    }
    ++totals.removedThere;
    return true;
}

void Sync::deleteHere(const QString& native, const SyncStep& step)
{
    const QString path = QDir(native).filePath(step.hostName);
    const QString shown = QDir::toNativeSeparators(path);
    if (m_request.dryRun) {
        say(QStringLiteral("would delete %1").arg(shown));
        return;
    }
    const bool gone = step.remote.folder ? QDir(path).removeRecursively() : QFile::remove(path);
    if (!gone) {
        m_s.about(shown);
        m_s.fail(QStringLiteral("could not be deleted"));
        return;
    }
    ++totals.deletedHere;
    say(QStringLiteral("deleted %1").arg(shown));
}

bool Sync::folder(const RemotePath& remote, const QString& hostFolder, int depth)
{
    ProgramContext& ctx = m_s.ctx();
    m_s.about(remote.path());
    if (depth > kMaxSyncDepth) {
        m_s.fail(QStringLiteral("folders nested too deep; not followed"));
        ++totals.failed;
        return false;
    }
    if (!m_s.selectFolder(remote)) {
        ++totals.failed;
        return false;
    }
    qint32 listed = 0;
    const QList<ListingEntry> entries = splitListing(DirList(ctx, QString(), &listed));
    m_s.noteResult(listed);
    const bool complete = listed == 0;
    if (!complete) {
        m_s.about(remote.path());
        m_s.fail(QStringLiteral("the listing was cut short (%1); what arrived is fetched, nothing is deleted")
                     .arg(listingFailureText(ctx, listed)));
        ++totals.failed;
    }
    const QString native = HostFs::nativePath(hostFolder);
    bool whole = complete;
    for (const SyncStep& step : planSync(entries, hostEntries(native))) {
        if (m_s.stopping() || m_s.linkLost())
            return false;
        if (step.action == SyncAction::Extra) {
            if (m_request.deleteExtra && complete)
                deleteHere(native, step);
            continue;
        }
        const RemotePath item = remote.child(step.remote.name);
        // A name from the instrument must name one entry of the host folder, nothing else.
        if (!hostCanTakeName(step.remote.name) || !hostCanTakeName(step.hostName)) {
            m_s.about(remote.path());
            m_s.fail(TransferTexts::entryNameNotUsableHere(step.remote.name));
            ++totals.failed;
            whole = false;
            continue;
        }
        const QString hostPath = hostChild(hostFolder, step.hostName);
        switch (step.action) {
        case SyncAction::Conflict:
            m_s.about(item.path());
            m_s.fail(step.remote.folder ? QStringLiteral("a folder here, a file of that name on the host")
                                        : QStringLiteral("a file here, a folder of that name on the host"));
            ++totals.failed;
            whole = false;
            break;
        case SyncAction::Descend: {
            if (m_request.dryRun && !QFileInfo(HostFs::nativePath(hostPath)).isDir()) {
                say(QStringLiteral("would make %1")
                        .arg(QDir::toNativeSeparators(HostFs::nativePath(hostPath))));
            } else if (!QDir().mkpath(HostFs::nativePath(hostPath))) {
                m_s.about(QDir::toNativeSeparators(HostFs::nativePath(hostPath)));
                m_s.fail(QStringLiteral("the folder could not be made"));
                ++totals.failed;
                whole = false;
                break;
            }
            const bool sub = folder(item, hostPath, depth + 1);
            // The folder goes from the instrument only when nothing is left in it.
            if (sub && m_request.removeSource && !m_s.linkLost())
                whole = removeThere(item) && whole;
            else
                whole = false;
            break;
        }
        case SyncAction::Fetch:
            if (m_request.dryRun) {
                say(QStringLiteral("would fetch %1 (%2)").arg(item.path(), reasonText(step.reason)));
                ++totals.fetched;
                totals.bytes += qMax<qint64>(step.size, 0);
                if (m_request.removeSource)
                    removeThere(item);
                break;
            }
            if (!fetch(item, step, hostPath)) {
                whole = false;
                break;
            }
            if (m_request.removeSource)
                whole = removeThere(item) && whole;
            else
                whole = false;
            break;
        case SyncAction::Current:
            ++totals.current;
            if (step.sizeOnly)
                ++totals.sizeOnly;
            m_s.dialogs().skipped(item.path(), step.sizeOnly ? kCurrentBySize : kCurrent);
            // Only a file whose date matched is taken for the one on the host: equal sizes alone
            // do not make two files the same.
            if (m_request.removeSource && !step.sizeOnly)
                whole = removeThere(item) && whole;
            else
                whole = false;
            break;
        case SyncAction::Extra:
            break;
        }
    }
    return whole;
}

} // namespace

void runSync(CliSession& s)
{
    const CliRequest& r = s.request();
    const RemotePath& remote = r.remotes.constFirst();
    const QString local = r.locals.constFirst();
    const QString shownLocal =
        QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(local)));
    const QString hostLocal = hostPathOf(local);
    if (hostLocal.isEmpty() || QFileInfo(shownLocal).isFile()) {
        s.about(shownLocal);
        s.fail(QStringLiteral("not a folder"));
        return;
    }
    if (!r.dryRun && !QDir().mkpath(HostFs::nativePath(hostLocal))) {
        s.about(shownLocal);
        s.fail(QStringLiteral("the folder could not be made"));
        return;
    }
    if (!s.connect())
        return;
    s.panesForReceive();
    QElapsedTimer clock;
    clock.start();
    Sync sync(s);
    sync.folder(remote, hostLocal, 0);
    s.tellLinkLost();
    s.tellCopyTimeDated();
    const SyncTotals& t = sync.totals;
    s.noteSyncTotals(t);
    QString summary = QStringLiteral("%1 %2, %3 bytes; %4 skipped as current; %5 failed; %6 s\n")
                          .arg(r.dryRun ? QStringLiteral("Would fetch") : QStringLiteral("Fetched"))
                          .arg(t.fetched)
                          .arg(t.bytes)
                          .arg(t.current)
                          .arg(t.failed)
                          .arg(QString::number(static_cast<double>(clock.elapsed()) / 1000.0, 'f', 1));
    if (t.deletedHere > 0)
        summary += QStringLiteral("Deleted on the host: %1\n").arg(t.deletedHere);
    if (t.removedThere > 0)
        summary += QStringLiteral("Removed from the instrument: %1\n").arg(t.removedThere);
    if (t.sizeOnly > 0)
        summary += QStringLiteral("Dates that could not be read, files compared by size alone: %1\n")
                       .arg(t.sizeOnly);
    writeStdout(summary);
}

} // namespace orvalt::cli
