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
#include "transfer/OneFileCopy.h"
#include "transfer/TransferTexts.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace orvalt::cli {

namespace {

constexpr int kMaxSizeShown = 20;

QString hostChild(const QString& hostFolder, const QString& name)
{
    return hostFolder.endsWith(QLatin1Char('\\')) ? hostFolder + name : hostFolder + QLatin1Char('\\') + name;
}

QString shownHostPath(const QString& localPath)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(localPath)));
}

// How the overwrite question describes an item: the date, and for a file its size in bytes.
QString remoteDescription(const ListingEntry& entry)
{
    const QString date = ListingDateText(entry);
    if (entry.folder)
        return date;
    return date + QLatin1Char(' ') + entry.sizeField.trimmed().left(kMaxSizeShown) + QStringLiteral("Byte");
}

QString hostDescription(const HostItem& item)
{
    if (item.entry.isFolder())
        return item.entry.date;
    return item.entry.date + QLatin1Char(' ') + QString::number(item.size) + QStringLiteral("Byte");
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

// Whether an existing target is replaced: the overwrite question (or the option that answers it).
// Cancel leaves the rest of the command undone.
bool replaceExisting(CliSession& s, const QString& name, const QString& source, const QString& dest)
{
    const qint16 answer = CheckOverWrite(s.ctx(), name, source, dest);
    return answer == 0 || answer == 1;
}

// --- get --------------------------------------------------------------------------------------

void receiveFile(CliSession& s, const RemotePath& remote, const ListingEntry& entry,
                 const QString& hostTarget)
{
    ProgramContext& ctx = s.ctx();
    if (const std::optional<HostItem> existing = ctx.hostFs.fileEntry(hostTarget)) {
        if (!replaceExisting(s, NameOfPath(hostTarget), remoteDescription(entry), hostDescription(*existing)))
            return;
    }
    // The medium is the current one: looking the file up has just selected its folder.
    QString hostFailure;
    const qint32 result = RmtReceiveFile(ctx, remote.path(), hostTarget, &hostFailure);
    ShowTransferResult(ctx, result, hostFailure);
    s.noteResult(result);
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
        if (s.stopping())
            return;
        const RemotePath item = root.child(e.name);
        if (run.linkLost) {
            run.notReached << item.path();
            continue;
        }
        // A name from the instrument must name one entry of the folder copied into, nothing else.
        if (!HostCanTakeName(e.name)) {
            run.notCopied << root.path() + QStringLiteral(": the entry %1 has a name that cannot be used on "
                                                          "this computer; not copied")
                                               .arg(ShownName(e.name));
            continue;
        }
        if (e.folder) {
            run.TopFolderMade = false;
            CopyFolderTree(ctx, run, item.path(), hostChild(hostTarget, QString()), true,
                           QStringLiteral("R"));
            continue;
        }
        QString hostFailure;
        const qint32 result = RmtReceiveFile(ctx, item.path(), hostChild(hostTarget, e.name), &hostFailure);
        if (result != TransferResult::Done)
            run.notCopied << item.path() + QStringLiteral(": ") + TransferFailureText(result, hostFailure);
        NoteLinkLost(ctx, run, result);
    }
}

void receiveFolder(CliSession& s, const RemotePath& remote, const ListingEntry& entry,
                   const QString& hostTarget)
{
    ProgramContext& ctx = s.ctx();
    const QString native = HostFs::nativePath(hostTarget);
    const QFileInfo info(native);
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
        if (!replaceExisting(s, name, remote.isRoot() ? QString() : remoteDescription(entry),
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
        CopyFolderTree(ctx, run, remote.path(), hostTarget, true, QStringLiteral("R"));
    }
    tellNotCopied(s, run);
}

// --- put --------------------------------------------------------------------------------------

// The entries of the folder sent into, by their names without regard to case, as the instrument's
// medium tells them apart.
class RemoteNames
{
public:
    void insert(const ListingEntry& entry) { m_entries.insert(entry.name.toCaseFolded(), entry); }
    const ListingEntry* find(const QString& name) const
    {
        const auto found = m_entries.constFind(name.toCaseFolded());
        return found == m_entries.constEnd() ? nullptr : &*found;
    }

private:
    QHash<QString, ListingEntry> m_entries;
};

void sendFile(CliSession& s, const QString& hostPath, const RemotePath& dest, RemoteNames& there)
{
    ProgramContext& ctx = s.ctx();
    const std::optional<HostItem> item = ctx.hostFs.fileEntry(hostPath);
    if (!item) {
        s.fail(TransferTexts::cannotRead(s.dialogs().subject(), QStringLiteral("no such file")));
        return;
    }
    // The window's name check: the name as it is, its short name where that serves, else the name
    // dialog, which refuses it here with its texts.
    const qint16 check =
        NameCheck(ctx, item->entry.name, item->entry.shortName, kWarnKindFile, kWarnModeCheck);
    if (check == 3)
        return;
    const bool changedName = check == -1;
    const QString name = changedName ? ctx.state.WarnName : item->entry.name;
    const ListingEntry* existing = there.find(name);
    if (existing && !existing->folder &&
        !replaceExisting(s, name, hostDescription(*item), remoteDescription(*existing)))
        return;
    const int failuresBefore = s.dialogs().failures();
    s.noteResult(CopyOneFile(ctx, hostPath, dest.folderPath(), true, changedName));
    if (s.dialogs().failures() == failuresBefore) {
        ListingEntry sent;
        sent.name = name;
        sent.sizeField = QString::number(item->size);
        there.insert(sent);
    }
}

void sendFolder(CliSession& s, const QString& hostPath, const RemotePath& dest, RemoteNames& there)
{
    ProgramContext& ctx = s.ctx();
    const std::optional<HostItem> item = ctx.hostFs.folderEntry(hostPath, HostFs::FolderSizes::Skip);
    if (!item) {
        s.fail(ResourceTexts::text(8106));
        return;
    }
    if (NameIsBadAtDest(ctx.state, item->entry.name, kWarnModeCheck)) {
        s.fail(ResourceTexts::text(8305));
        return;
    }
    // The folder copy names it on the instrument by its short name unless long names are taken.
    const QString name = ctx.state.LongNames ? item->entry.name : item->entry.shortName;
    const ListingEntry* existing = there.find(name);
    if (existing && existing->folder &&
        !replaceExisting(s, name, item->entry.date, remoteDescription(*existing)))
        return;
    CopyRun run;
    CopyFolderTree(ctx, run, hostPath, dest.folderPath(), true, QStringLiteral("L"));
    tellNotCopied(s, run);
    ListingEntry made;
    made.name = name;
    made.folder = true;
    there.insert(made);
}

} // namespace

void RunGet(CliSession& s)
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
    const QString hostLocal = HostPathOf(local);
    if (hostLocal.isEmpty()) {
        s.about(shownHostPath(local));
        s.fail(ResourceTexts::text(8106));
        return;
    }
    if (!s.connect())
        return;
    s.panesForReceive();
    for (const RemotePath& remote : r.remotes) {
        if (s.stopping())
            break;
        if (s.linkLost()) {
            s.tellLinkLost();
            s.notReached(remote.path());
            continue;
        }
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
        // Into a folder under the item's own name; otherwise the host path is the item's new name
        // (and a medium's root goes into the folder given).
        const QString target =
            intoFolder && !remote.isRoot() ? hostChild(hostLocal, remote.name()) : hostLocal;
        if (kind == CliSession::Kind::File)
            receiveFile(s, remote, entry, target);
        else
            receiveFolder(s, remote, entry, target);
    }
    s.tellLinkLost();
}

void RunPut(CliSession& s)
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

    for (const QString& local : r.locals) {
        if (s.stopping())
            break;
        const QString shown = shownHostPath(local);
        if (s.linkLost()) {
            s.tellLinkLost();
            s.notReached(shown);
            continue;
        }
        s.about(shown);
        const QString hostPath = HostPathOf(local);
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
}

} // namespace orvalt::cli
