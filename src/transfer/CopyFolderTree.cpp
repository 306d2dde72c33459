#include "transfer/CopyFolderTree.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "fileops/CommandFailure.h"
#include "link/CommandWords.h"
#include "panes/Endpoint.h"
#include "panes/HostFs.h"
#include "panes/ListingText.h"
#include "panes/ProgramContext.h"
#include "panes/RemoteListing.h"
#include "panes/RemotePaths.h"
#include "session/CommandExchange.h"
#include "session/ErrorText.h"
#include "transfer/FileTransfer.h"
#include "transfer/TransferTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace orvalt {

namespace {

// Folders inside folders deeper than this are not followed: no real tree of the instrument's media
// is that deep, and a host tree this deep could not be named on the instrument's command line.
constexpr int kMaxDepth = 128;
constexpr qsizetype kMaxNameBytes = 255;

QString wirePath(const QString& remotePath)
{
    return SlashPath(remotePath.mid(2));
}

QString hostShown(const QString& hostPath)
{
    const QString native = HostFs::nativePath(hostPath);
    return native.isEmpty() ? hostPath : QDir::toNativeSeparators(native);
}

void note(CopyRun& run, const QString& item, const QString& why)
{
    run.notCopied << TransferTexts::notCopied(item, why);
}

// A name that goes into an instrument command: a comma would start another field of it, a "/"
// another folder, so such a name is not sent at all.
bool commandCanCarry(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char(',') || c == QLatin1Char('/') || c == QLatin1Char('\\') ||
            c.category() == QChar::Other_Control || c.unicode() > 0xFF)
            return false;
    }
    return true;
}

// A symbolic link where the copy would make a host folder: what it points to may lie anywhere, and
// nothing outside the folder copied into is written.
bool hostLinkInTheWay(CopyRun& run, const QString& item, const QString& hostPath)
{
    if (!QFileInfo(HostFs::nativePath(hostPath)).isSymLink())
        return false;
    note(run, item, QStringLiteral("a symbolic link of that name on the host, which is not followed"));
    return true;
}

// Makes a host folder of the copy; one that exists is merged into. False when this folder's copy
// must end (the user has been told why).
bool madeHostFolder(ProgramContext& ctx, const QString& hostPath)
{
    const HostFsResult made = ctx.hostFs.createFolder(hostPath);
    switch (made.error) {
    case HostFsError::None:
    case HostFsError::AlreadyExists:
        return true;
    case HostFsError::InvalidPath:
        ctx.dialogs.notice(ResourceTexts::text(8106));
        return false;
    default:
        ctx.dialogs.notice(made.text);
        return false;
    }
}

class TreeCopy
{
public:
    TreeCopy(ProgramContext& ctx, CopyRun& run, bool overwrite, const Endpoint& from, const Endpoint& to)
        : m_ctx(ctx)
        , m_st(ctx.state)
        , m_run(run)
        , m_overwrite(overwrite)
        , m_from(from)
        , m_to(to)
    {}

    void copy(const QString& source, const QString& destination, int depth);

private:
    void hostToHost(const QString& source, const QString& destination);
    void instrumentToInstrument(const QString& source, const QString& destination);
    void makeTopOnInstrument(const QString& source, const QString& destination);
    void makeTopOnHost(const QString& source, const QString& destination);
    void sendContents(const QString& source, const QString& destination, int depth);
    void receiveContents(const QString& source, const QString& destination, int depth);
    QString nameOnInstrument(const FileEntry& entry) const
    {
        return m_st.LongNames ? entry.name : entry.shortName;
    }
    // False once the instrument is out of reach, or the user stopped the copy: the item is then
    // only named, as not reached or not started.
    bool reached(const QString& item)
    {
        if (m_st.StopRequested) {
            note(m_run, item, TransferTexts::notStarted());
            return false;
        }
        if (!m_run.linkLost)
            return true;
        m_run.notReached << item;
        return false;
    }
    bool lost(qint32 result) { return noteLinkLost(m_ctx, m_run, result); }
    // "MKDR " names the folder from the medium's root: its medium is selected first.
    qint32 makeOnInstrument(const QString& path)
    {
        return m_ctx.instrument.sendIn(m_ctx, MediumCode(path), QString(),
                                       CommandWords::kMakeFolder + wirePath(path));
    }

    ProgramContext& m_ctx;
    AppState& m_st;
    CopyRun& m_run;
    bool m_overwrite;
    Endpoint m_from;
    Endpoint m_to;
    // The host folders being copied into the instrument, from the top down, by their real paths:
    // a symbolic link back to one of them would otherwise copy the tree into itself without end.
    QStringList m_hostChain;
};

void TreeCopy::copy(const QString& source, const QString& destination, int depth)
{
    if (m_st.StopRequested || m_run.linkLost)
        return;
    m_ctx.dialogs.setBusyPointer(true);
    if (m_from.host && m_to.host) {
        hostToHost(source, destination);
        return;
    }
    if (m_from.isInstrument() && m_to.isInstrument()) {
        instrumentToInstrument(source, destination);
        return;
    }
    const bool fromInstrument = m_from.isInstrument();
    if (!m_run.TopFolderMade) {
        if (fromInstrument)
            makeTopOnHost(source, destination);
        else
            makeTopOnInstrument(source, destination);
        return;
    }
    if (depth > kMaxDepth) {
        note(m_run, fromInstrument ? source : hostShown(source),
             QStringLiteral("too many folders inside each other; not copied"));
        return;
    }
    if (fromInstrument)
        receiveContents(source, destination, depth);
    else
        sendContents(source, destination, depth);
}

void TreeCopy::hostToHost(const QString& source, const QString& destination)
{
    const HostFsResult copied = m_ctx.hostFs.copyFolder(source, destination, m_overwrite);
    switch (copied.error) {
    case HostFsError::None:
    case HostFsError::AlreadyExists: // files kept without overwrite, or merged into: nothing to say
        return;
    case HostFsError::InvalidPath:
        m_ctx.dialogs.notice(ResourceTexts::text(8106));
        return;
    default:
        m_ctx.dialogs.notice(copied.text);
        return;
    }
}

void TreeCopy::instrumentToInstrument(const QString& source, const QString& destination)
{
    // The instrument copies the whole folder by itself; the destination path names the new folder.
    const QString command = CommandWords::kCopy + MediumCode(source) + QLatin1Char(',') + wirePath(source) +
                            QStringLiteral("/,") + MediumCode(destination) + QLatin1Char(',') +
                            wirePath(destination) + NameOfPath(source) + QLatin1Char('/');
    const qint32 result = m_ctx.instrument.send(m_ctx, command);
    // A refused folder copy is told as a refused file copy is; passing over it would report a copy
    // that did not happen as done.
    if (result != 0)
        m_ctx.dialogs.plain(commandFailureText(m_ctx, CommandWords::kCopy, result, source));
    if (lost(result))
        m_run.notReached << source;
}

void TreeCopy::makeTopOnInstrument(const QString& source, const QString& destination)
{
    const std::optional<HostItem> top = m_ctx.hostFs.folderEntry(source, HostFs::FolderSizes::Skip);
    if (!top) {
        m_ctx.dialogs.notice(ResourceTexts::text(8106));
        return;
    }
    const QString name = nameOnInstrument(top->entry);
    if (!commandCanCarry(name)) {
        note(m_run, hostShown(source), QStringLiteral("its name cannot be sent to the measurement device"));
        return;
    }
    const QString made = destination + name;
    // Refused or not, the folder is copied into: it may be there already. Only a link that is gone
    // ends the copy here.
    if (lost(makeOnInstrument(made))) {
        m_run.notReached << hostShown(source);
        return;
    }
    m_run.TopFolderMade = true;
    copy(source, made, 1);
}

void TreeCopy::makeTopOnHost(const QString& source, const QString& destination)
{
    const QString made = destination + NameOfPath(source);
    if (hostLinkInTheWay(m_run, source, made) || !madeHostFolder(m_ctx, made))
        return;
    m_run.TopFolderMade = true;
    copy(source, made, 1);
}

void TreeCopy::sendContents(const QString& source, const QString& destination, int depth)
{
    const QString real = QFileInfo(HostFs::nativePath(source)).canonicalFilePath();
    if (!real.isEmpty() && m_hostChain.contains(real)) {
        note(m_run, hostShown(source), QStringLiteral("a link back to a folder being copied; not copied"));
        return;
    }
    m_hostChain.append(real);
    const QString separator = QStringLiteral("\\");
    QList<HostFs::LeftOut> leftOut;
    const QList<HostItem> items = m_ctx.hostFs.listFolder(source, HostFs::FolderSizes::Skip, &leftOut);
    // What the listing passed over is named, so that a folder that arrives incomplete (or empty) is
    // never taken for a whole one.
    for (const HostFs::LeftOut& item : leftOut)
        note(m_run, hostShown(item.name.isEmpty() ? source : source + separator + item.name),
             item.why + QStringLiteral("; not copied"));
    // Folders first, then files, as the host lists them. The host item keeps its own (long) name:
    // a short name stands for it on the instrument alone, and on most hosts names no file.
    // The names this folder's copy gives on the instrument, in folded case: the media tell names
    // apart without regard to case, so of two host names that differ only in case the second would
    // land on the first.
    QSet<QString> namesThere;
    const auto secondOfCase = [&](const QString& name, const QString& subSource) {
        if (!namesThere.contains(name.toCaseFolded())) {
            namesThere.insert(name.toCaseFolded());
            return false;
        }
        note(m_run, hostShown(subSource), TransferTexts::sameNameButCase());
        return true;
    };
    for (const HostItem& item : items) {
        if (!item.entry.isFolder())
            continue;
        const QString name = nameOnInstrument(item.entry);
        const QString subSource = source + separator + item.entry.name;
        if (!reached(hostShown(subSource)) || secondOfCase(name, subSource))
            continue;
        if (!commandCanCarry(name)) {
            note(m_run, hostShown(subSource),
                 QStringLiteral("its name cannot be sent to the measurement device"));
            continue;
        }
        const QString subDestination = destination + separator + name;
        if (lost(makeOnInstrument(subDestination))) {
            m_run.notReached << hostShown(subSource);
            continue;
        }
        copy(subSource, subDestination, depth + 1);
    }
    for (const HostItem& item : items) {
        if (item.entry.isFolder())
            continue;
        const QString name = nameOnInstrument(item.entry);
        const QString subSource = source + separator + item.entry.name;
        if (!reached(hostShown(subSource)) || secondOfCase(name, subSource))
            continue;
        if (!commandCanCarry(name)) {
            note(m_run, hostShown(subSource),
                 QStringLiteral("its name cannot be sent to the measurement device"));
            continue;
        }
        QString hostFailure;
        const QString target = destination + separator + name;
        const qint32 result = RmtSendFile(m_ctx, subSource, target, &hostFailure);
        // The instrument out of reach is told once, at the end, with what it kept from the copy.
        const bool gone = lost(result);
        if (result == TransferResult::NotConfirmed)
            m_run.notConfirmed.append({target, QFileInfo(HostFs::nativePath(subSource)).size(), {}});
        else if (gone)
            m_run.notReached << hostShown(subSource);
        else if (result != TransferResult::Done)
            note(m_run, hostShown(subSource), transferFailureText(m_ctx, result, hostFailure, target));
    }
    m_hostChain.removeLast();
}

void TreeCopy::receiveContents(const QString& source, const QString& destination, int depth)
{
    // Without the folder change the listing would be of whatever folder is current, and its
    // contents would be copied under this folder's name.
    const qint32 changed =
        m_ctx.instrument.select(m_ctx, MediumCode(source), wireFolder(source.mid(2))).result();
    if (changed != 0) {
        note(m_run, source, transferFailureText(m_ctx, changed, QString(), source));
        lost(changed);
        return;
    }
    QStringList refused;
    qint32 listed = 0;
    const QList<FileEntry> entries = usableListing(DirList(m_ctx, QString(), &listed), &refused);
    // The entries that arrived are copied; the rest of the folder is not, and the user is told.
    if (listed != 0)
        note(m_run, source,
             QStringLiteral("the listing was cut short (%1); some entries were not copied")
                 .arg(transferFailureText(m_ctx, listed, QString(), source)));
    lost(listed);
    for (const QString& name : std::as_const(refused))
        note(m_run, source, TransferTexts::entryNameNotUsableHere(name));
    const QString separator = QStringLiteral("\\");
    for (const FileEntry& entry : entries) {
        const QString subSource = source + separator + entry.name;
        const QString subDestination = destination + separator + entry.name;
        if (!reached(subSource))
            continue;
        if (entry.isFolder()) {
            if (hostLinkInTheWay(m_run, subSource, subDestination))
                continue;
            if (!madeHostFolder(m_ctx, subDestination))
                return;
            copy(subSource, subDestination, depth + 1);
            continue;
        }
        // The receiver changes to the file's folder itself, so a sub-folder copied before it does not
        // need another "CDR " here.
        QString hostFailure;
        const QDateTime listedTime = shownDateTime(entry.date);
        const qint32 result = RmtReceiveFile(m_ctx, subSource, subDestination, &hostFailure, listedTime);
        noteReceivedDate(m_run, subSource, result, listedTime);
        if (lost(result))
            m_run.notReached << subSource;
        else if (result != TransferResult::Done)
            note(m_run, subSource, transferFailureText(m_ctx, result, hostFailure, subSource));
    }
}

} // namespace

void CopyFolderTree(ProgramContext& ctx, CopyRun& run, const QString& source, const QString& destination,
                    bool overwrite, const Endpoint& from, const Endpoint& to)
{
    TreeCopy(ctx, run, overwrite, from, to).copy(source, destination, run.TopFolderMade ? 1 : 0);
}

bool noteLinkLost(ProgramContext& ctx, CopyRun& run, qint32 result)
{
    // The receiver reports a block it did not get as -1, whatever the link said; the link keeps it.
    const qint32 code = result == 0 || TransferResult::linkGone(result) ? result : ctx.link.lastFailure();
    if (!TransferResult::linkGone(code))
        return false;
    if (!run.linkLost) {
        run.linkLost = code;
        run.linkLostWhy = ErrorText::linkCause(ctx.link);
    }
    return true;
}

void noteReceivedDate(CopyRun& run, const QString& remotePath, qint32 result, const QDateTime& modified)
{
    if (result == TransferResult::Done && !modified.isValid())
        run.copyTimeDated << remotePath;
}

bool hostCanTakeName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (QFile::encodeName(name).size() > kMaxNameBytes)
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            return false;
#ifdef Q_OS_WIN
        if (QStringView(u"<>:\"|?*").contains(c))
            return false;
#endif
    }
#ifdef Q_OS_WIN
    // Windows drops a final dot or blank (two names would meet in one file) and keeps device names.
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return false;
    const QString base = name.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    for (const char* device : {"CON", "PRN", "AUX", "NUL"})
        if (base == QLatin1String(device))
            return false;
    if (base.size() == 4 &&
        (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))) &&
        base.at(3) >= QLatin1Char('1') && base.at(3) <= QLatin1Char('9'))
        return false;
#endif
    return true;
}

QList<FileEntry> usableListing(const QString& listing, QStringList* refused)
{
    QList<FileEntry> usable;
    for (const FileEntry& entry : ParseListing(listing)) {
        if (hostCanTakeName(entry.name))
            usable.append(entry);
        else if (refused)
            refused->append(entry.name);
    }
    return usable;
}

} // namespace orvalt
