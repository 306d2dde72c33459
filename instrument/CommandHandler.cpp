#include "CommandHandler.h"

#include "link/CommandWords.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <thread>

namespace orvalt::instrument {

namespace {

link::Answer reply(qint32 code, const QByteArray& text = {})
{
    return {link::Answer::Kind::Reply, code, text};
}

link::Answer blockAnswer(qint32 type, const QByteArray& data = {})
{
    return {link::Answer::Kind::Block, type, data};
}

link::Answer refused()
{
    return blockAnswer(kBlockRefused);
}

bool startsWith(const QStringList& list, const QStringList& prefix)
{
    if (prefix.size() > list.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        if (list.at(i) != prefix.at(i))
            return false;
    }
    return true;
}

bool isInside(const Location& inner, const Location& outer)
{
    return inner.hostPath == outer.hostPath || inner.hostPath.startsWith(outer.hostPath + QLatin1Char('/'));
}

} // namespace

CommandHandler::CommandHandler(const InstrumentOptions& options, const MediaStore& store,
                               Transcript& transcript)
    : m_options(options)
    , m_store(store)
    , m_transcript(transcript)
    , m_medium(store.media().isEmpty() ? nullptr : &store.media().constFirst())
{}

QByteArray CommandHandler::productReply() const
{
    QStringList fields{CommandWords::kProductField + m_options.model};
    for (const Medium& medium : m_store.media())
        fields.append(medium.name);
    return fields.join(QLatin1Char(',')).toLatin1();
}

link::Answer CommandHandler::handle(const link::Request& request)
{
    if (!m_met && !m_options.meet.isEmpty())
        meetTheOthers();
    if (request.kind == link::Request::Kind::Command) {
        m_transcript.command(request.payload);
        return command(request.payload);
    }
    m_transcript.block(request.blockType, request.payload);
    if (m_options.blockMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(m_options.blockMs));
    return block(request.blockType, request.payload);
}

void CommandHandler::meetTheOthers()
{
    m_met = true;
    const QDir folder(m_options.meet);
    const QString mine = QString::number(QCoreApplication::applicationPid());
    QFile mark(folder.filePath(mine));
    if (!mark.open(QIODevice::WriteOnly))
        return;
    mark.close();
    QDeadlineTimer deadline(kMeetMs);
    while (!deadline.hasExpired()) {
        const QStringList marks = folder.entryList(QDir::Files);
        if (marks.size() > 1 || (marks.size() == 1 && marks.first() != mine))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void CommandHandler::handleRawLine(const QByteArray& line)
{
    m_transcript.rawLine(line);
    if (!m_options.isRzFamily())
        return; // other models do not know the file-copy mode; the line is only recorded
    QByteArray text = line;
    if (text.endsWith('\r'))
        text.chop(1);
    if (text == CommandWords::kFileCopyOn.latin1())
        m_fileCopyMode = true;
    else if (text == CommandWords::kFileCopyOff.latin1())
        m_fileCopyMode = false;
}

link::Answer CommandHandler::command(const QByteArray& text)
{
    endExchanges();
    ++m_commandCount;
    m_reason = link::RefusalReason::None;
    if (m_options.busyEvery > 0 && m_commandCount % m_options.busyEvery == 0)
        return reply(kResultBusy, QByteArray::number(kResultBusy));

    const QString line = QString::fromLatin1(text);
    const qsizetype space = line.indexOf(QLatin1Char(' '));
    const bool hasArguments = space >= 0;
    const QString verb = hasArguments ? line.left(space) : line;
    const QString arguments = hasArguments ? line.mid(space + 1) : QString();
    QByteArray replyText;
    const qint32 code = run(verb, arguments, hasArguments, &replyText);
    // A refusal names its code; "FMT " and the other successes answer no text.
    if (code != kResultOk && replyText.isEmpty()) {
        replyText = QByteArray::number(code);
        if (m_reason != link::RefusalReason::None)
            replyText += ',' + link::refusalPayload(m_reason);
    }
    return reply(code, replyText);
}

qint32 CommandHandler::run(const QString& verb, const QString& arguments, bool hasArguments,
                           QByteArray* reply)
{
    if (!hasArguments) {
        if (verb == CommandWords::kProduct) {
            *reply = productReply();
            return kResultOk;
        }
        if (verb == CommandWords::kStatus)
            return kResultOk;
        if (verb == CommandWords::kLongNames)
            return m_options.shortNames ? kResultFormat : kResultOk;
        if (verb == CommandWords::kDummy) {
            const qint32 outcome = m_uploadOutcome;
            m_uploadOutcome = kResultOk;
            m_reason = m_uploadReason;
            m_uploadReason = link::RefusalReason::None;
            if (outcome == kResultOk && m_options.dummyResult)
                return *m_options.dummyResult;
            return m_options.quietDummy ? kResultOk : outcome;
        }
        return kResultFormat;
    }
    if (verb == CommandWords::kMedium.trimmed())
        return selectMedium(arguments);
    if (verb == CommandWords::kChangeFolder.trimmed())
        return changeFolder(arguments);
    if (verb == CommandWords::kCopy.trimmed())
        return copy(arguments);
    if (verb == CommandWords::kMove.trimmed())
        return move(arguments);
    if (verb == CommandWords::kDelete.trimmed())
        return deleteEntry(arguments);
    if (verb == CommandWords::kMakeFolder.trimmed())
        return makeFolder(arguments);
    if (verb == CommandWords::kFormat.trimmed())
        return format(arguments);
    return kResultFormat;
}

std::optional<Location> CommandHandler::locate(const Medium& medium, const QString& path) const
{
    return m_store.resolve(medium, &medium == m_medium ? m_folder : QStringList(), path);
}

bool CommandHandler::canCreateAt(const Location& location, NameKind kind) const
{
    return !location.isRoot() && m_store.namePolicy().accepts(location.name(), kind) &&
           QFileInfo(location.parentHostPath()).isDir();
}

void CommandHandler::followMove(const Location& from, const QStringList* to)
{
    if (from.medium != m_medium || !startsWith(m_folder, from.components))
        return;
    const QStringList rest = m_folder.mid(from.components.size());
    m_folder = to ? *to + rest : from.components.mid(0, from.components.size() - 1);
}

qint32 CommandHandler::selectMedium(const QString& code)
{
    const Medium* medium = m_store.mediumOf(code);
    if (!medium)
        return refuse(kResultMedium, link::RefusalReason::NoSuchMedium);
    m_medium = medium;
    m_folder.clear();
    return kResultOk;
}

qint32 CommandHandler::changeFolder(const QString& path)
{
    const std::optional<Location> folder = locate(*m_medium, path);
    if (folder && !QFileInfo::exists(folder->hostPath))
        return refuse(kResultFormat, link::RefusalReason::NotFound);
    if (!folder || !QFileInfo(folder->hostPath).isDir() || !isReadableFolder(folder->hostPath))
        return kResultFormat; // a folder that cannot be read is refused like one that is not there
    m_folder = folder->components;
    return kResultOk;
}

qint32 CommandHandler::copy(const QString& arguments)
{
    // code,source,code,target; a folder is copied when the source is one (written with a final "/").
    const QStringList fields = arguments.split(QLatin1Char(','));
    if (fields.size() != 4)
        return kResultFormat;
    const Medium* sourceMedium = m_store.mediumOf(fields.at(0));
    const Medium* targetMedium = m_store.mediumOf(fields.at(2));
    if (!sourceMedium || !targetMedium)
        return kResultMedium;
    const std::optional<Location> source = locate(*sourceMedium, fields.at(1));
    const std::optional<Location> target = locate(*targetMedium, fields.at(3));
    if (!source || !target || source->isRoot())
        return kResultFormat;
    const QFileInfo sourceInfo(source->hostPath);
    const QFileInfo targetInfo(target->hostPath);
    if (!sourceInfo.exists())
        return refuse(kResultFormat, link::RefusalReason::NotFound);
    if (source->folderMark && !sourceInfo.isDir())
        return kResultFormat;
    if (sourceInfo.isDir()) {
        // A folder copied into itself would never end.
        if (!canCreateAt(*target, NameKind::Folder) || isInside(*target, *source) ||
            (targetInfo.exists() && !targetInfo.isDir()))
            return kResultFormat;
        return copyTree(source->hostPath, target->hostPath, m_store.namePolicy()) ? kResultOk : kResultMedium;
    }
    // A file copied onto itself would be emptied before it is read.
    if (target->folderMark || !canCreateAt(*target, NameKind::File) || targetInfo.isDir() ||
        target->hostPath == source->hostPath)
        return kResultFormat;
    return copyFileReplacing(source->hostPath, target->hostPath) ? kResultOk : kResultMedium;
}

qint32 CommandHandler::move(const QString& arguments)
{
    // code,old,new: one medium; a folder is written with a final "/" on both paths.
    const QStringList fields = arguments.split(QLatin1Char(','));
    if (fields.size() != 3)
        return kResultFormat;
    const Medium* medium = m_store.mediumOf(fields.at(0));
    if (!medium)
        return kResultMedium;
    const std::optional<Location> from = locate(*medium, fields.at(1));
    const std::optional<Location> to = locate(*medium, fields.at(2));
    if (!from || !to || from->isRoot())
        return kResultFormat;
    const QFileInfo fromInfo(from->hostPath);
    if (!fromInfo.exists())
        return refuse(kResultFormat, link::RefusalReason::NotFound);
    if (from->folderMark && !fromInfo.isDir())
        return kResultFormat;
    if (to->components == from->components) {
        // The same entry: a rename to the same name, or one that changes the case of its letters.
        if (to->writtenName == from->name())
            return kResultOk;
        if (m_options.noCaseRename)
            return kResultFormat;
        const QString renamed = from->parentHostPath() + QLatin1Char('/') + to->writtenName;
        if (!m_store.namePolicy().accepts(to->writtenName,
                                          fromInfo.isDir() ? NameKind::Folder : NameKind::File))
            return kResultFormat;
        if (!QDir().rename(from->hostPath, renamed))
            return kResultMedium;
        QStringList components = to->components;
        components.last() = to->writtenName;
        followMove(*from, &components);
        return kResultOk;
    }
    const NameKind kind = fromInfo.isDir() ? NameKind::Folder : NameKind::File;
    if (!canCreateAt(*to, kind) || QFileInfo::exists(to->hostPath) ||
        (kind == NameKind::Folder && isInside(*to, *from)))
        return kResultFormat;
    if (!QDir().rename(from->hostPath, to->hostPath))
        return kResultMedium;
    followMove(*from, &to->components);
    return kResultOk;
}

qint32 CommandHandler::deleteEntry(const QString& path)
{
    const std::optional<Location> entry = locate(*m_medium, path);
    if (entry && !entry->isRoot() && !QFileInfo::exists(entry->hostPath))
        return refuse(kResultFormat, link::RefusalReason::NotFound);
    if (!entry || entry->isRoot())
        return kResultFormat;
    if (!removeEntry(entry->hostPath))
        return kResultMedium;
    followMove(*entry, nullptr);
    return kResultOk;
}

qint32 CommandHandler::makeFolder(const QString& path)
{
    const std::optional<Location> folder = locate(*m_medium, path);
    if (!folder && nameRefused(path))
        return refuse(kResultFormat, link::RefusalReason::NameRefused);
    if (folder && QFileInfo::exists(folder->hostPath))
        return refuse(kResultFormat, link::RefusalReason::AlreadyExists);
    if (folder && !folder->isRoot() && !m_store.namePolicy().accepts(folder->name(), NameKind::Folder))
        return refuse(kResultFormat, link::RefusalReason::NameRefused);
    if (!folder || !canCreateAt(*folder, NameKind::Folder))
        return kResultFormat;
    if (m_options.full)
        return refuse(kResultMedium, link::RefusalReason::MediumFull);
    return QDir().mkdir(folder->hostPath) ? kResultOk : kResultMedium;
}

qint32 CommandHandler::format(const QString& code)
{
    const Medium* medium = m_store.mediumOf(code);
    if (!medium)
        return refuse(kResultMedium, link::RefusalReason::NoSuchMedium);
    if (medium == m_medium)
        m_folder.clear();
    return emptyFolder(medium->folder) ? kResultOk : kResultMedium;
}

link::Answer CommandHandler::block(qint32 type, const QByteArray& payload)
{
    switch (type) {
    case kBlockCommand:
        if (m_upload)
            endUpload(kResultTransfer);
        return startAnswer(QString::fromLatin1(payload));
    case kBlockNext:
        if (m_upload)
            endUpload(kResultTransfer);
        return nextAnswerBlock();
    case kBlockMore:
    case kBlockFinal:
        m_answer.reset();
        return upload(type, payload);
    default:
        endExchanges();
        return refused();
    }
}

link::Answer CommandHandler::startAnswer(const QString& text)
{
    m_answer.reset();
    if (text == CommandWords::kDirectory) {
        const std::optional<Location> folder = locate(*m_medium, QString());
        if (!folder || !QFileInfo(folder->hostPath).isDir())
            return refused();
        // A folder that cannot be read is refused, as a medium's read error would be: an empty
        // listing would pass for an empty folder.
        std::optional<QByteArray> listing =
            directoryListing(*folder, m_store.namePolicy(), m_options.undated);
        if (!listing)
            return refused();
        m_answer = std::make_unique<TextBlocks>(std::move(*listing), kListingBlock);
        return nextAnswerBlock();
    }
    if (text.startsWith(CommandWords::kFileRead)) {
        const std::optional<Location> file = locate(*m_medium, text.mid(5));
        if (file && !file->folderMark && !QFileInfo::exists(file->hostPath))
            return refusedBecause(link::RefusalReason::NotFound);
        if (!file || file->folderMark)
            return refused();
        m_answer = FileBlocks::open(file->hostPath);
        return nextAnswerBlock();
    }
    return refused();
}

link::Answer CommandHandler::nextAnswerBlock()
{
    if (!m_answer)
        return refused();
    QByteArray data;
    bool last = false;
    if (!m_answer->next(&data, &last)) {
        m_answer.reset();
        return refused();
    }
    if (last)
        m_answer.reset();
    return blockAnswer(last ? kBlockLast : kBlockMore, data);
}

link::Answer CommandHandler::upload(qint32 type, const QByteArray& payload)
{
    if (!m_upload) {
        // Outside an upload only its command line may come: "FWT code,/path/NAME," in a block
        // that announces more to follow.
        if (type != kBlockMore || !payload.startsWith(CommandWords::kFileWrite.latin1()))
            return refused();
        m_reason = link::RefusalReason::None;
        const qint32 code = startUpload(QString::fromLatin1(payload.mid(4)));
        if (code != kResultOk) {
            endUpload(code, m_reason);
            return refusedBecause(m_reason);
        }
        return blockAnswer(kBlockMore);
    }
    qint32 code = kResultOk;
    if (!m_upload->hasLength())
        code = type == kBlockMore ? m_upload->takeLength(payload) : kResultFormat;
    else
        code = m_upload->takeBlock(payload, type == kBlockFinal);
    if (code != kResultOk) {
        endUpload(code);
        return refused();
    }
    if (m_upload->isComplete()) {
        endUpload(kResultOk);
        if (m_options.stallAfterUploadMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(m_options.stallAfterUploadMs));
    }
    return blockAnswer(kBlockMore);
}

qint32 CommandHandler::startUpload(const QString& arguments)
{
    // Further fields after the path are allowed and not used.
    const QStringList fields = arguments.split(QLatin1Char(','));
    if (fields.size() < 2)
        return kResultFormat;
    const Medium* medium = m_store.mediumOf(fields.at(0));
    if (!medium)
        return refuse(kResultMedium, link::RefusalReason::NoSuchMedium);
    const std::optional<Location> file = locate(*medium, fields.at(1));
    if (!file && nameRefused(fields.at(1)))
        return refuse(kResultFormat, link::RefusalReason::NameRefused);
    if (file && !file->isRoot() && !file->folderMark &&
        !m_store.namePolicy().accepts(file->name(), NameKind::File))
        return refuse(kResultFormat, link::RefusalReason::NameRefused);
    if (file && !file->isRoot() && !QFileInfo(file->parentHostPath()).isDir())
        return refuse(kResultFormat, link::RefusalReason::NotFound);
    if (!file || file->folderMark || !canCreateAt(*file, NameKind::File) || QFileInfo(file->hostPath).isDir())
        return kResultFormat;
    if (m_options.full)
        return refuse(kResultMedium, link::RefusalReason::MediumFull);
    m_upload = std::make_unique<FileUpload>(file->hostPath);
    m_uploadOutcome = kResultTransfer; // until the last block is stored
    return kResultOk;
}

void CommandHandler::endUpload(qint32 outcome, link::RefusalReason reason)
{
    m_upload.reset(); // an unfinished temporary file goes with it
    m_uploadOutcome = outcome;
    m_uploadReason = reason;
}

bool CommandHandler::nameRefused(const QString& path) const
{
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return !parts.isEmpty() && parts.constLast() != QLatin1String("..") &&
           !m_store.namePolicy().acceptsEither(parts.constLast());
}

qint32 CommandHandler::refuse(qint32 code, link::RefusalReason reason)
{
    m_reason = reason;
    return code;
}

link::Answer CommandHandler::refusedBecause(link::RefusalReason reason)
{
    return blockAnswer(kBlockRefused, link::refusalPayload(reason));
}

void CommandHandler::endExchanges()
{
    if (m_upload)
        endUpload(kResultTransfer);
    m_answer.reset();
}

} // namespace orvalt::instrument
