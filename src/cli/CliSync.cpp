// sync: makes a host folder hold what an instrument folder holds, fetching only what is missing on
// the host or differs from the instrument's listing, through the receiver every copy uses. What to
// fetch, keep or delete is decided by planSync; this file walks the folders and tells the user.

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/ConsoleTerminal.h"
#include "cli/SyncReport.h"
#include "fileops/CommandFailure.h"
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
#include <QSet>
#include <algorithm>
#include <optional>

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

    // The contents of remote into the host folder hostFolder (a HostFs path).
    void folder(const RemotePath& remote, const QString& hostFolder, int depth);

    SyncTotals totals;

private:
    void say(const QString& text) { writeStdout(text + QLatin1Char('\n')); }
    void failed(const QString& subject, const QString& text)
    {
        m_s.about(subject);
        m_s.fail(text);
        ++totals.failed;
    }
    std::optional<QList<SyncHostEntry>> hostEntries(const QString& native);
    void step(const RemotePath& remote, const QString& hostFolder, const QString& native,
              const SyncStep& step, int depth);
    void fetchStep(const RemotePath& item, const QString& hostFolder, const QString& native,
                   const SyncStep& step);
    bool fetch(const RemotePath& remote, const SyncStep& step, const QString& hostPath);
    bool removeThere(const RemotePath& item, const ListingEntry& fetched);
    // Reads the instrument's file once more beside the one fetched as name and compares the two;
    // false, told, when they differ or the second reading failed.
    bool readAgainTheSame(const RemotePath& item, const SyncStep& step, const QString& hostFolder,
                          const QString& native, const QString& name);
    void deleteHere(const QString& native, const SyncStep& step);
    // A free name beside the host file of step's name, none of the host folder's names in any case.
    QString besideFree(const QString& native, const SyncStep& step) const;

    CliSession& m_s;
    const CliRequest& m_request;
    QList<SyncHostEntry> m_hostHere; // the entries of the host folder in hand
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
    case SyncReason::HostCopy:
        return QStringLiteral("beside the host's file of that name");
    case SyncReason::FolderOnHost:
        return QStringLiteral("a file here, a folder of that name on the host");
    case SyncReason::FileOnHost:
        return QStringLiteral("a folder here, a file of that name on the host");
    case SyncReason::HostLink:
        return QStringLiteral("a symbolic link of that name on the host, which is not followed; left alone");
    case SyncReason::HostSpecial:
        return QStringLiteral("a device, FIFO or socket of that name on the host; left alone");
    case SyncReason::CaseCollision:
        return QStringLiteral("names that differ only in case stand for it; left alone");
    case SyncReason::None:
    case SyncReason::NotDeleted:
    case SyncReason::MovedHome:
        break;
    }
    return QString();
}

// The journal of a host folder is read up to this size; a longer one is not ours.
constexpr qint64 kMaxMovedHomeBytes = 16 * 1024 * 1024;

// The names --remove-source brought into a host folder (kSyncMovedHomeFile).
QSet<QString> movedHome(const QString& native)
{
    QSet<QString> names;
    const QString path = QDir(native).filePath(kSyncMovedHomeFile);
    QFile file(path);
    if (!QFileInfo(path).isFile() || QFileInfo(path).isSymLink() || !file.open(QIODevice::ReadOnly))
        return names;
    for (const QByteArray& line : file.read(kMaxMovedHomeBytes).split('\n'))
        if (!line.isEmpty() && !line.startsWith('#'))
            names.insert(QString::fromUtf8(line));
    return names;
}

// Adds a name to the journal of a host folder before the instrument's copy goes, so that whatever
// happens next, a later --delete keeps the file.
bool noteMovedHome(const QString& native, const QString& name)
{
    const QString path = QDir(native).filePath(kSyncMovedHomeFile);
    if (QFileInfo(path).isSymLink() || (QFileInfo::exists(path) && !QFileInfo(path).isFile()))
        return false;
    QFile file(path);
    const bool fresh = !file.exists();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    QByteArray text;
    if (fresh)
        text = "# Files orvalt-cli sync --remove-source brought home: sync --delete keeps them.\n";
    text += name.toUtf8() + '\n';
    return file.write(text) == text.size() && file.flush();
}

// Whether two host files hold the same bytes; false when either cannot be read to the end.
bool sameContents(const QString& nativeA, const QString& nativeB)
{
    QFile a(nativeA);
    QFile b(nativeB);
    if (!QFileInfo(nativeA).isFile() || !QFileInfo(nativeB).isFile() || !a.open(QIODevice::ReadOnly) ||
        !b.open(QIODevice::ReadOnly) || a.size() != b.size())
        return false;
    constexpr qint64 kChunk = 64 * 1024;
    for (;;) {
        const QByteArray x = a.read(kChunk);
        const QByteArray y = b.read(kChunk);
        if (x != y)
            return false;
        if (x.isEmpty())
            return a.atEnd() && b.atEnd() && a.error() == QFileDevice::NoError &&
                   b.error() == QFileDevice::NoError;
    }
}

std::optional<QList<SyncHostEntry>> Sync::hostEntries(const QString& native)
{
    QList<SyncHostEntry> entries;
    const QFileInfo folder(native);
    if (!folder.exists())
        return entries; // made by this run (or, with -n, it would be)
    // A folder whose names cannot be read would look empty, and every file in it new.
    if (!folder.isDir() || !QDir(native).isReadable())
        return std::nullopt;
    const QFileInfoList infos =
        QDir(native).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    const QSet<QString> moved = movedHome(native);
    for (const QFileInfo& info : infos) {
        if (info.fileName() == kSyncMovedHomeFile)
            continue;
        SyncHostEntry e;
        e.name = info.fileName();
        e.kind = info.isSymLink() ? SyncHostKind::Link
                 : info.isDir()   ? SyncHostKind::Folder
                 : info.isFile()  ? SyncHostKind::File
                                  : SyncHostKind::Other;
        e.size = info.size();
        e.modified = info.lastModified();
        e.movedHome = e.kind == SyncHostKind::File && moved.contains(e.name);
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
        failed(remote.path(), transferFailureText(ctx, result, hostFailure, remote.path()));
        return false;
    }
    // The receiver stores a file only when the length it announced arrived whole; that length is
    // checked once more against the listing before the instrument's copy may go.
    const qint64 got = QFileInfo(HostFs::nativePath(hostPath)).size();
    if (step.size >= 0 && got != step.size) {
        failed(remote.path(),
               QStringLiteral("%1 bytes arrived, the listing says %2").arg(got).arg(step.size));
        return false;
    }
    totals.bytes += got;
    if (step.sizeOnly)
        ++totals.sizeOnly;
    m_s.noteReceived(remote.path(), result, step.listedTime);
    return true;
}

QString Sync::besideFree(const QString& native, const SyncStep& step) const
{
    return besideName(step.remote.name, [&](const QString& name) {
        const QString folded = name.toCaseFolded();
        for (const SyncHostEntry& e : m_hostHere)
            if (e.name.toCaseFolded() == folded)
                return true;
        const QFileInfo there(QDir(native).filePath(name));
        return there.exists() || there.isSymLink() || !hostCanTakeName(name);
    });
}

void Sync::fetchStep(const RemotePath& item, const QString& hostFolder, const QString& native,
                     const SyncStep& step)
{
    if (m_request.dryRun) {
        say(QStringLiteral("would fetch %1 (%2)").arg(item.path(), reasonText(step.reason)));
        ++totals.fetched;
        totals.bytes += qMax<qint64>(step.size, 0);
        if (step.removeAfter)
            say(QStringLiteral("would remove %1 from the instrument").arg(item.path()));
        return;
    }
    const QString name = step.keepBoth ? besideFree(native, step) : step.hostName;
    if (name.isEmpty()) {
        failed(item.path(), QStringLiteral("no free name beside the host's file of that name; not fetched"));
        return;
    }
    const QString hostPath = hostChild(hostFolder, name);
    const quint64 repeatsBefore = m_s.ctx().link.retransmissions();
    if (!fetch(item, step, hostPath))
        return;
    // Before the instrument's copy goes, a file that crossed a damaged line is read once more: a
    // frame put together again after damage could pass its check with wrong bytes, and then the
    // only good copy would be the one removed.
    if (step.removeAfter && m_s.ctx().link.retransmissions() != repeatsBefore &&
        !readAgainTheSame(item, step, hostFolder, native, name))
        return;
    if (step.keepBoth) {
        const QString fetched = QDir(native).filePath(name);
        const QString existing = QDir(native).filePath(step.hostName);
        if (sameContents(fetched, existing)) {
            // The host had these very bytes already: the second copy goes again.
            QFile::remove(fetched);
            ++totals.sameOnHost;
        } else {
            ++totals.keptBeside;
            ++totals.fetched;
            say(QStringLiteral("fetched %1 as %2: the host's %3 differs and is kept")
                    .arg(item.path(), QDir::toNativeSeparators(fetched), step.hostName));
        }
    } else {
        ++totals.fetched;
    }
    if (!step.removeAfter)
        return;
    // The host file that holds the instrument's bytes now.
    const QString home = QFileInfo::exists(QDir(native).filePath(name)) ? name : step.hostName;
    if (!noteMovedHome(native, home)) {
        failed(item.path(), QStringLiteral("%1 could not be written; the file stays on the instrument")
                                .arg(QDir::toNativeSeparators(QDir(native).filePath(kSyncMovedHomeFile))));
        return;
    }
    removeThere(item, step.remote);
}

bool Sync::readAgainTheSame(const RemotePath& item, const SyncStep& step, const QString& hostFolder,
                            const QString& native, const QString& name)
{
    // The second reading goes beside the first under a free numbered name. Should the two differ,
    // both stay: one of them is what the instrument held, and the instrument keeps its file.
    const QString again = besideName(name, [&](const QString& candidate) {
        const QFileInfo there(QDir(native).filePath(candidate));
        return there.exists() || there.isSymLink() || !hostCanTakeName(candidate);
    });
    if (again.isEmpty())
        return false;
    const QString againPath = QDir(native).filePath(again);
    QString hostFailure;
    const qint32 result =
        RmtReceiveFile(m_s.ctx(), item.path(), hostChild(hostFolder, again), &hostFailure, step.listedTime);
    m_s.noteResult(result);
    if (result == TransferResult::Done && sameContents(againPath, QDir(native).filePath(name))) {
        QFile::remove(againPath);
        return true;
    }
    failed(item.path(),
           result == TransferResult::Done
               ? QStringLiteral(
                     "the line damaged it on the way and a second reading, kept as %1, does not match "
                     "the first; both stay on the host and the file stays on the instrument")
                     .arg(QDir::toNativeSeparators(againPath))
               : QStringLiteral(
                     "the line damaged it on the way and it could not be read a second time; it stays "
                     "on the instrument"));
    return false;
}

// "FDL " of one file in the folder that holds it, once that file is on the host whole. Never a
// folder: "FDL " takes a folder with everything in it, and a file may have been written into it
// since it was listed.
bool Sync::removeThere(const RemotePath& item, const ListingEntry& fetched)
{
    if (m_s.linkLost())
        return false;
    m_s.about(item.path());
    // Listed once more just before it goes: a file the instrument wrote again since it was fetched
    // (a new measurement under the same name) is not the one on the host, and stays.
    const std::optional<QList<ListingEntry>> now = m_s.listFolder(item.parent());
    if (!now)
        return false;
    const auto same = std::find_if(now->cbegin(), now->cend(), [&](const ListingEntry& e) {
        return !e.folder && e.name == fetched.name && e.sizeField == fetched.sizeField &&
               e.dateField == fetched.dateField && e.timeField == fetched.timeField;
    });
    if (same == now->cend()) {
        failed(item.path(), QStringLiteral("changed on the instrument since it was fetched; it stays there"));
        return false;
    }
    const qint32 result =
        m_s.ctx().instrument.sendIn(m_s.ctx(), MediumCode(item.medium), wireFolder(item.parent().panePath()),
                                    CommandWords::kDelete + item.name());
    m_s.noteResult(result);
    if (result != 0) {
        m_s.fail(commandFailureText(m_s.ctx(), CommandWords::kDelete, result, item.path()));
        return false;
    }
    ++totals.removedThere;
    return true;
}

void Sync::deleteHere(const QString& native, const SyncStep& step)
{
    const QString path = QDir(native).filePath(step.hostName);
    const QString shown = QDir::toNativeSeparators(path);
    // A link goes itself; what it points to is outside what this run looks after.
    const bool link = step.hostKind == SyncHostKind::Link;
    const bool tree = step.hostKind == SyncHostKind::Folder;
    const QString what = link ? QStringLiteral("the link ") + shown : shown;
    if (m_request.dryRun) {
        say(QStringLiteral("would delete %1").arg(what));
        return;
    }
    // Looked at again as it stands now: a folder may have become a link since it was listed.
    const QFileInfo now(path);
    if (now.isSymLink() != link || (!link && now.isDir() != tree)) {
        failed(shown, QStringLiteral("changed since it was listed; not deleted"));
        return;
    }
    // removeRecursively never follows a link inside the folder; it removes the link.
    const bool gone = tree ? QDir(path).removeRecursively() : QFile::remove(path);
    if (!gone) {
        failed(shown, QStringLiteral("could not be deleted"));
        return;
    }
    ++totals.deletedHere;
    say(QStringLiteral("deleted %1").arg(what));
}

void Sync::step(const RemotePath& remote, const QString& hostFolder, const QString& native,
                const SyncStep& step, int depth)
{
    if (step.action == SyncAction::Delete) {
        deleteHere(native, step);
        return;
    }
    if (step.action == SyncAction::Keep) {
        // Only what --delete would otherwise have taken is worth a word.
        if (step.reason == SyncReason::CaseCollision && m_request.deleteExtra)
            failed(QDir::toNativeSeparators(QDir(native).filePath(step.hostName)),
                   QStringLiteral("not deleted: its name differs from one on the instrument only in case"));
        return;
    }
    const RemotePath item = remote.child(step.remote.name);
    // A name from the instrument must name one entry of the host folder, nothing else.
    if (!hostCanTakeName(step.remote.name) || !hostCanTakeName(step.hostName)) {
        failed(remote.path(), TransferTexts::entryNameNotUsableHere(step.remote.name));
        return;
    }
    const QString hostPath = hostChild(hostFolder, step.hostName);
    switch (step.action) {
    case SyncAction::Conflict:
        failed(item.path(), reasonText(step.reason));
        break;
    case SyncAction::Descend: {
        const QString nativeSub = HostFs::nativePath(hostPath);
        if (m_request.dryRun && !QFileInfo(nativeSub).isDir()) {
            say(QStringLiteral("would make %1").arg(QDir::toNativeSeparators(nativeSub)));
        } else if (!step.onHost && !QDir(native).mkdir(step.hostName)) {
            failed(QDir::toNativeSeparators(nativeSub), QStringLiteral("the folder could not be made"));
            break;
        }
        folder(item, hostPath, depth + 1);
        break;
    }
    case SyncAction::Fetch:
        fetchStep(item, hostFolder, native, step);
        break;
    case SyncAction::Current:
        ++totals.current;
        if (step.sizeOnly)
            ++totals.sizeOnly;
        m_s.dialogs().skipped(item.path(), step.sizeOnly ? kCurrentBySize : kCurrent);
        break;
    case SyncAction::Delete:
    case SyncAction::Keep:
        break;
    }
}

void Sync::folder(const RemotePath& remote, const QString& hostFolder, int depth)
{
    ProgramContext& ctx = m_s.ctx();
    if (depth > kMaxSyncDepth) {
        failed(remote.path(), QStringLiteral("folders nested too deep; not followed"));
        return;
    }
    const QString native = HostFs::nativePath(hostFolder);
    const std::optional<QList<SyncHostEntry>> host = hostEntries(native);
    if (!host) {
        failed(QDir::toNativeSeparators(native),
               QStringLiteral("the folder cannot be read; nothing is fetched into it"));
        return;
    }
    m_s.about(remote.path());
    if (!m_s.selectFolder(remote)) {
        ++totals.failed;
        return;
    }
    qint32 listed = 0;
    const QList<ListingEntry> entries = splitListing(DirList(ctx, QString(), &listed));
    m_s.noteResult(listed);
    SyncOptions options;
    options.deleteExtra = m_request.deleteExtra;
    options.removeSource = m_request.removeSource;
    options.listingComplete = listed == 0;
    if (!options.listingComplete)
        failed(remote.path(),
               QStringLiteral("the listing was cut short (%1); what arrived is fetched, nothing is deleted")
                   .arg(listingFailureText(ctx, listed)));
    for (const SyncStep& s : planSync(entries, *host, options)) {
        if (m_s.stopping() || m_s.linkLost())
            return;
        // Each folder's own entries: a sub-folder's walk replaces them, so they are set again.
        m_hostHere = *host;
        step(remote, hostFolder, native, s, depth);
    }
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
    if (t.keptBeside > 0)
        summary += QStringLiteral("Fetched beside a host file of the same name, whose contents differ: %1\n")
                       .arg(t.keptBeside);
    if (t.sameOnHost > 0)
        summary += QStringLiteral("On the host already with the same contents: %1\n").arg(t.sameOnHost);
    if (t.sizeOnly > 0)
        summary += QStringLiteral("Dates that could not be read, files compared by size alone: %1\n")
                       .arg(t.sizeOnly);
    writeStdout(summary);
}

} // namespace orvalt::cli
