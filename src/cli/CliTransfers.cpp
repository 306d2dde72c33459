// get and put: the window's copy between a host pane and an instrument pane, one item of the
// command line at a time, through the same routines (name check, overwrite question, one-file copy,
// folder copy, sender and receiver).

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "core/ResourceTexts.h"
#include "fileops/NameRules.h"
#include "fileops/Rename.h"
#include "panes/HostFs.h"
#include "panes/RemoteListing.h"
#include "panes/RemotePaths.h"
#include "transfer/CheckOverWrite.h"
#include "transfer/CopyFolderTree.h"
#include "transfer/FileTransfer.h"
#include "transfer/JobProgress.h"
#include "transfer/OneFileCopy.h"
#include "transfer/RowCopy.h"
#include "transfer/TransferTexts.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace orvalt::cli {

namespace {

QString hostChild(const QString& hostFolder, const QString& name)
{
    return hostFolder.endsWith(QLatin1Char('\\')) ? hostFolder + name : hostFolder + QLatin1Char('\\') + name;
}

QString shownHostPath(const QString& localPath)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(localPath)));
}

// The items a folder copy passed over, each told on its own line (they name themselves); then, when
// it found the instrument out of reach, why it stopped and what it did not come to.
void tellNotCopied(CliSession& s, const CopyRun& run)
{
    const QString subject = s.dialogs().subject();
    s.about(QString());
    for (const QString& line : run.notCopied)
        s.fail(line);
    s.about(subject);
    s.noteRun(run);
    if (run.linkLost)
        s.tellLinkLost();
    for (const QString& item : run.notReached)
        s.notReached(item);
}

// The file in hand when the instrument went out of reach: why, once for the run, then the file as
// not copied. A write that may have been stored is told at the end, with how it turned out.
void tellFileInHandLost(CliSession& s, const RowCopied& copied, const QString& item)
{
    if (copied.attempted && copied.result == TransferResult::Stopped) {
        const QString subject = s.dialogs().subject();
        s.about(item);
        s.fail(TransferTexts::stoppedByUser());
        s.about(subject);
        return;
    }
    if (!copied.attempted || copied.result == TransferResult::Done || !s.linkLost())
        return;
    s.tellLinkLost();
    if (copied.result != TransferResult::NotConfirmed)
        s.notReached(item);
}

// Whether an existing target is replaced: the overwrite question (or the option that answers it).
// Cancel leaves the rest of the command undone.
bool replaceExisting(CliSession& s, const QString& name, const QString& source, const QString& dest)
{
    const qint16 answer = CheckOverWrite(s.ctx(), name, source, dest);
    return answer == 0 || answer == 1;
}

// --- get --------------------------------------------------------------------------------------

// A host file as the destination of a row copy.
class HostDestination : public CopyDestination
{
public:
    HostDestination(ProgramContext& ctx, const QString& folder)
        : m_ctx(ctx)
        , m_folder(folder)
    {}
    bool has(const QString& name, bool folder) override
    {
        return folder ? m_ctx.hostFs.folderExists(m_folder + name) : m_ctx.hostFs.fileExists(m_folder + name);
    }
    QString describe(const QString& name, bool /*folder*/) override
    {
        const std::optional<HostItem> item = m_ctx.hostFs.fileEntry(m_folder + name);
        return item ? TransferTexts::describeItem(*item) : QString();
    }

private:
    ProgramContext& m_ctx;
    QString m_folder;
};

void receiveFile(CliSession& s, const RemotePath& remote, const ListingEntry& entry,
                 const QString& hostTarget)
{
    // The medium is the current one: looking the file up has just selected its folder.
    CopyItem item;
    item.path = remote.path();
    item.name = remote.name();
    item.shortName = remote.name();
    item.targetName = NameOfPath(hostTarget);
    item.describe = [&entry] {
        return TransferTexts::describeItem(entry);
    };
    HostDestination destination(s.ctx(), FolderOfPath(hostTarget));
    CopyRun run;
    const RowCopied copied = copyRow(s.ctx(), run, item, s.instrumentAt(remote.parent()),
                                     s.hostAt(FolderOfPath(hostTarget)), destination);
    s.noteResult(copied.result);
    tellNotCopied(s, run);
    tellFileInHandLost(s, copied, remote.path());
}

// The contents of a medium's root into a host folder. The folder copy takes a folder by its name,
// and the root has none: each entry of the root goes on its own.
void receiveRoot(CliSession& s, const RemotePath& root, const QString& hostTarget, CopyRun& run)
{
    ProgramContext& ctx = s.ctx();
    const std::optional<QList<ListingEntry>> entries = s.listFolder(root);
    if (!entries)
        return;
    for (const ListingEntry& e : *entries) {
        const RemotePath item = root.child(e.name);
        if (s.stopping()) {
            if (s.state().StopRequested)
                run.notCopied << TransferTexts::notCopied(item.path(), TransferTexts::notStarted());
            continue;
        }
        if (run.linkLost) {
            run.notReached << item.path();
            continue;
        }
        // A name from the instrument must name one entry of the folder copied into, nothing else.
        if (!hostCanTakeName(e.name)) {
            run.notCopied << TransferTexts::notCopied(root.path(),
                                                      TransferTexts::entryNameNotUsableHere(e.name));
            continue;
        }
        if (e.folder) {
            run.TopFolderMade = false;
            CopyFolderTree(ctx, run, item.path(), hostChild(hostTarget, QString()), true,
                           s.instrumentAt(root), s.hostAt(hostTarget));
            continue;
        }
        QString hostFailure;
        const QDateTime listed = listingDateTime(e);
        const qint32 result =
            RmtReceiveFile(ctx, item.path(), hostChild(hostTarget, e.name), &hostFailure, listed);
        noteReceivedDate(run, item.path(), result, listed);
        if (result != TransferResult::Done)
            run.notCopied << TransferTexts::notCopied(
                item.path(), transferFailureText(ctx, result, hostFailure, item.path()));
        noteLinkLost(ctx, run, result);
    }
}

void receiveFolder(CliSession& s, const RemotePath& remote, const ListingEntry& entry,
                   const QString& hostTarget, bool intoNamedFolder)
{
    ProgramContext& ctx = s.ctx();
    const QString native = HostFs::nativePath(hostTarget);
    const QFileInfo info(native);
    // A link the user named is theirs to follow; one found inside the folder named is not.
    if (info.isSymLink() && intoNamedFolder) {
        s.fail(QStringLiteral("%1 is a symbolic link, which is not followed; nothing is copied into it")
                   .arg(QDir::toNativeSeparators(native)));
        return;
    }
    if (info.exists() && !info.isDir()) {
        s.fail(TransferTexts::cannotWrite(QDir::toNativeSeparators(native),
                                          QStringLiteral("a file of that name exists")));
        return;
    }
    // The window asks before copying into a folder of the same name; a medium's root goes into the
    // folder named for it, which is asked about only when something is in it already.
    const bool ask =
        info.isDir() && (!remote.isRoot() || !QDir(native).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                                   QDir::Hidden | QDir::System));
    if (ask) {
        const std::optional<HostItem> existing =
            ctx.hostFs.folderEntry(hostTarget, HostFs::FolderSizes::Skip);
        const QString name = remote.isRoot() ? remote.medium : remote.name();
        if (!replaceExisting(s, name, remote.isRoot() ? QString() : TransferTexts::describeItem(entry),
                             existing ? existing->entry.date : QString()))
            return;
    }
    const HostFsResult made = ctx.hostFs.createFolder(hostTarget);
    if (!made.ok() && made.error != HostFsError::AlreadyExists) {
        s.fail(made.text);
        return;
    }
    CopyRun run;
    if (remote.isRoot()) {
        receiveRoot(s, remote, hostTarget, run);
    } else {
        // The host folder is made: the folder copy goes on with the contents.
        run.TopFolderMade = true;
        CopyFolderTree(ctx, run, remote.path(), hostTarget, true, s.instrumentAt(remote.parent()),
                       s.hostAt(hostTarget));
    }
    tellNotCopied(s, run);
}

// --- put --------------------------------------------------------------------------------------

// The entries of the folder sent into, by their names without regard to case, as the instrument's
// medium tells them apart: the listing made before the first item, and what was sent since.
class RemoteNames : public CopyDestination
{
public:
    void insert(const ListingEntry& entry) { m_entries.insert(entry.name.toCaseFolded(), entry); }
    // What this command sent, as a copy's run keeps it (CopyRun::sentToInstrument).
    QSet<QString> sent;
    bool has(const QString& name, bool folder) override
    {
        const ListingEntry* entry = find(name);
        return entry && entry->folder == folder;
    }
    QString describe(const QString& name, bool /*folder*/) override
    {
        const ListingEntry* entry = find(name);
        return entry ? TransferTexts::describeItem(*entry) : QString();
    }
    ListedBefore listedBefore(const QString& name) override
    {
        ListedBefore before;
        before.known = true;
        if (const ListingEntry* entry = find(name); entry && !entry->folder) {
            const PaneRow row = listingRows({*entry}).constFirst();
            before.exists = true;
            before.date = row.date;
            before.bytes = row.bytes;
        }
        return before;
    }

private:
    const ListingEntry* find(const QString& name) const
    {
        const auto found = m_entries.constFind(name.toCaseFolded());
        return found == m_entries.constEnd() ? nullptr : &*found;
    }

    QHash<QString, ListingEntry> m_entries;
};

void sendFile(CliSession& s, const QString& hostPath, const RemotePath& dest, RemoteNames& there)
{
    ProgramContext& ctx = s.ctx();
    const std::optional<HostItem> found = ctx.hostFs.fileEntry(hostPath);
    if (!found) {
        s.fail(TransferTexts::cannotRead(s.dialogs().subject(), QStringLiteral("no such file")));
        return;
    }
    // The window's row copy: the name as it is, its short name where that serves, else the name
    // dialog, which refuses it here with its texts; then the overwrite question.
    CopyItem item;
    item.path = hostPath;
    item.name = found->entry.name;
    item.shortName = found->entry.shortName;
    item.describe = [&found] {
        return TransferTexts::describeItem(*found);
    };
    const int failuresBefore = s.dialogs().failures();
    CopyRun run;
    run.sentToInstrument = there.sent;
    const RowCopied copied =
        copyRow(ctx, run, item, s.hostAt(FolderOfPath(hostPath)), s.instrumentAt(dest), there);
    there.sent = run.sentToInstrument;
    if (!copied.attempted) {
        tellNotCopied(s, run);
        return;
    }
    s.noteResult(copied.result);
    tellNotCopied(s, run);
    tellFileInHandLost(s, copied, s.dialogs().subject());
    if (s.dialogs().failures() == failuresBefore) {
        ListingEntry sent;
        sent.name = copied.targetName;
        sent.sizeField = QString::number(found->size);
        there.insert(sent);
    }
}

void sendFolder(CliSession& s, const QString& hostPath, const RemotePath& dest, RemoteNames& there)
{
    ProgramContext& ctx = s.ctx();
    const std::optional<HostItem> found = ctx.hostFs.folderEntry(hostPath, HostFs::FolderSizes::Skip);
    if (!found) {
        s.fail(ResourceTexts::text(8106));
        return;
    }
    CopyItem item;
    item.path = hostPath;
    item.name = found->entry.name;
    item.shortName = found->entry.shortName;
    item.folder = true;
    item.describe = [&found] {
        return TransferTexts::describeItem(*found);
    };
    CopyRun run;
    run.sentToInstrument = there.sent;
    const bool attempted =
        copyRow(ctx, run, item, s.hostAt(FolderOfPath(hostPath)), s.instrumentAt(dest), there).attempted;
    there.sent = run.sentToInstrument;
    if (!attempted)
        return;
    tellNotCopied(s, run);
    ListingEntry made;
    made.name = ctx.state.LongNames ? item.name : item.shortName;
    made.folder = true;
    there.insert(made);
}

} // namespace

namespace {

// The remote items looked up and counted before the first is copied, for the progress line. A
// medium's root counts as its entries do; an item not found counts for nothing. Without an answer
// from the instrument the line shows the file in hand alone.
void countForProgress(CliSession& s)
{
    QList<JobTotals> items;
    for (const RemotePath& remote : s.request().remotes) {
        const CliSession::Kind kind = s.lookUp(remote);
        if (kind == CliSession::Kind::Unknown)
            return; // the instrument did not answer: the copy tells why, once
        const bool folder = kind == CliSession::Kind::Folder;
        const QString path = remote.isRoot() ? remote.path().chopped(1) : remote.path();
        items << (kind == CliSession::Kind::File || folder
                      ? countCopyItems(s.ctx(), s.instrumentAt(remote.parent()), {path}, {folder}).value(0)
                      : JobTotals{});
    }
    s.dialogs().progressJob(items);
}

} // namespace

void runGet(CliSession& s)
{
    const CliRequest& r = s.request();
    const QString local = r.locals.constFirst();
    const bool intoFolder = QFileInfo(QDir::current().absoluteFilePath(local)).isDir();
    // Several items go into a folder that is there. With -r one folder may make the folder it is
    // copied to, whether its name is written with a final separator or not; a file cannot become a
    // folder, and without -r only a file can be meant.
    const bool folderMeant = local.endsWith(QLatin1Char('/')) || local.endsWith(QDir::separator());
    const auto noSuchFolder = [&s, &local] {
        s.about(shownHostPath(local));
        s.fail(QStringLiteral("no such folder"));
    };
    if (!intoFolder && (r.remotes.size() > 1 || (folderMeant && !r.recursive))) {
        noSuchFolder();
        return;
    }
    const QString hostLocal = hostPathOf(local);
    if (hostLocal.isEmpty()) {
        s.about(shownHostPath(local));
        s.fail(ResourceTexts::text(8106));
        return;
    }
    if (!s.connect())
        return;
    s.panesForReceive();
    if (s.dialogs().showsProgress())
        countForProgress(s);
    int itemsDone = 0;
    for (const RemotePath& remote : r.remotes) {
        s.dialogs().progressStep(itemsDone++);
        if (s.passedOver(remote.path()))
            continue;
        s.about(remote.path());
        ListingEntry entry;
        const CliSession::Kind kind = s.lookUp(remote, &entry);
        if (kind == CliSession::Kind::Unknown)
            continue;
        if (kind == CliSession::Kind::Missing) {
            s.fail(ResourceTexts::text(8304));
            continue;
        }
        if (kind == CliSession::Kind::Folder && !r.recursive) {
            s.fail(QStringLiteral("a folder: give -r to copy folders"));
            continue;
        }
        if (kind == CliSession::Kind::File && folderMeant && !intoFolder) {
            noSuchFolder();
            continue;
        }
        // A stop that came while the item was looked up leaves it not started, and told so.
        if (s.passedOver(remote.path()))
            continue;
        // Into a folder under the item's own name; otherwise the host path is the item's new name
        // (and a medium's root goes into the folder given).
        const QString target =
            intoFolder && !remote.isRoot() ? hostChild(hostLocal, remote.name()) : hostLocal;
        if (kind == CliSession::Kind::File)
            receiveFile(s, remote, entry, target);
        else
            receiveFolder(s, remote, entry, target, intoFolder && !remote.isRoot());
    }
    s.tellLinkLost();
    s.tellCopyTimeDated();
}

void runPut(CliSession& s)
{
    const CliRequest& r = s.request();
    const RemotePath& dest = r.remotes.constFirst();
    if (!s.connect())
        return;
    s.panesForSend();
    s.about(dest.path());
    const CliSession::Kind kind = s.lookUp(dest);
    if (kind == CliSession::Kind::Unknown)
        return;
    if (kind != CliSession::Kind::Folder) {
        s.fail(ResourceTexts::text(8304));
        return;
    }
    const std::optional<QList<ListingEntry>> listed = s.listFolder(dest);
    if (!listed)
        return;
    RemoteNames there;
    for (const ListingEntry& e : *listed)
        there.insert(e);

    // The whole job is counted for the progress line only: a script that shows none does not
    // pay for the walk.
    if (s.dialogs().showsProgress()) {
        QStringList paths;
        QList<bool> folders;
        for (const QString& local : r.locals) {
            paths << hostPathOf(local);
            folders << (r.recursive && QFileInfo(QDir::current().absoluteFilePath(local)).isDir());
        }
        s.dialogs().progressJob(countCopyItems(s.ctx(), Endpoint(), paths, folders));
    }
    int itemsDone = 0;
    for (const QString& local : r.locals) {
        s.dialogs().progressStep(itemsDone++);
        const QString shown = shownHostPath(local);
        if (s.passedOver(shown))
            continue;
        s.about(shown);
        const QString hostPath = hostPathOf(local);
        const QFileInfo info(QDir::current().absoluteFilePath(local));
        if (hostPath.isEmpty()) {
            s.fail(ResourceTexts::text(8106));
        } else if (info.isDir()) {
            if (r.recursive)
                sendFolder(s, hostPath, dest, there);
            else
                s.fail(QStringLiteral("a folder: give -r to copy folders"));
        } else if (info.isFile()) {
            sendFile(s, hostPath, dest, there);
        } else {
            s.fail(TransferTexts::cannotRead(shown, info.exists() ? QStringLiteral("not a file")
                                                                  : QStringLiteral("no such file")));
        }
    }
    s.tellLinkLost();
    s.tellUnconfirmed();
}

} // namespace orvalt::cli
