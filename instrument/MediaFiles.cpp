#include "MediaFiles.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStorageInfo>
#include <QtEndian>
#include <algorithm>

namespace orvalt::instrument {

namespace {

constexpr qint64 kCopyChunk = 64 * 1024;

QFileInfoList entriesOf(const QString& folder)
{
    // Hidden entries are included so that emptying a medium really empties it.
    return QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                      QDir::Unsorted);
}

QByteArray entryFields(const QString& name, qint64 size, const QDateTime& modified, bool folder)
{
    const QString text = name + QLatin1Char(',') + QString::number(size) + QLatin1Char(',') +
                         modified.toString(QStringLiteral("yyyy/MM/dd")) + QLatin1Char(',') +
                         modified.toString(QStringLiteral("HH:mm:ss")) + QLatin1Char(',') +
                         (folder ? QStringLiteral("DIR") : QStringLiteral("FILE"));
    return text.toLatin1();
}

} // namespace

std::optional<QByteArray> directoryListing(const Location& folder, const MediaNamePolicy& policy,
                                           const QString& undated)
{
    const std::optional<QFileInfoList> entries = servedEntries(folder.hostPath, policy);
    if (!entries)
        return std::nullopt;
    QByteArray text = (folder.medium->mediumCode + folder.slashPath()).toLatin1();
    if (!folder.isRoot()) {
        text += ',';
        text += entryFields(QStringLiteral(".."), 0, QFileInfo(folder.hostPath).lastModified(), true);
    }
    QFileInfoList folders;
    QFileInfoList files;
    for (const QFileInfo& info : *entries)
        (info.isDir() ? folders : files).append(info);
    for (const QFileInfo& info : std::as_const(folders)) {
        text += ',';
        text += entryFields(info.fileName() + QLatin1Char('/'), 0, info.lastModified(), true);
    }
    for (const QFileInfo& info : std::as_const(files)) {
        text += ',';
        if (!undated.isEmpty() && info.fileName() == undated) {
            text += (info.fileName() + QStringLiteral(",%1,0000/00/00,00:00:00,FILE").arg(info.size()))
                        .toLatin1();
            continue;
        }
        text += entryFields(info.fileName(), info.size(), info.lastModified(), false);
    }
    return text;
}

bool copyFileReplacing(const QString& source, const QString& target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(target);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    while (!(chunk = in.read(kCopyChunk)).isEmpty()) {
        if (out.write(chunk) != chunk.size())
            return false; // QSaveFile discards the temporary file
    }
    if (in.error() != QFileDevice::NoError)
        return false;
    return out.commit();
}

bool copyTree(const QString& source, const QString& target, const MediaNamePolicy& policy)
{
    const QFileInfo targetInfo(target);
    if (targetInfo.isSymLink() || (targetInfo.exists() && !targetInfo.isDir()))
        return false;
    if (!targetInfo.exists() && !QDir().mkdir(target))
        return false;
    const std::optional<QFileInfoList> entries = servedEntries(source, policy);
    const std::optional<QFileInfoList> there = servedEntries(target, policy);
    if (!entries || !there)
        return false;
    bool ok = true;
    for (const QFileInfo& info : *entries) {
        QString name = info.fileName();
        for (const QFileInfo& existing : *there) {
            if (existing.fileName().compare(name, Qt::CaseInsensitive) == 0)
                name = existing.fileName();
        }
        const QString to = target + QLatin1Char('/') + name;
        if (info.isDir())
            ok = copyTree(info.filePath(), to, policy) && ok;
        else
            ok = copyFileReplacing(info.filePath(), to) && ok;
    }
    return ok;
}

bool removeEntry(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    return QFile::remove(path);
}

bool emptyFolder(const QString& folder)
{
    bool ok = true;
    for (const QFileInfo& info : entriesOf(folder))
        ok = removeEntry(info.filePath()) && ok;
    return ok;
}

FileUpload::FileUpload(const QString& target)
    : m_file(target)
{
    m_file.setDirectWriteFallback(false);
}

qint32 FileUpload::takeLength(const QByteArray& header)
{
    if (m_hasLength || header.size() != 4)
        return kResultFormat;
    m_announced = qFromBigEndian<quint32>(header.constData());
    const QString folder = QFileInfo(m_file.fileName()).absolutePath();
    const QStorageInfo storage(folder);
    if (storage.isValid() && storage.bytesAvailable() >= 0 && storage.bytesAvailable() < qint64(m_announced))
        return kResultMedium;
    if (!m_file.open(QIODevice::WriteOnly))
        return kResultMedium;
    m_hasLength = true;
    return kResultOk;
}

qint32 FileUpload::takeBlock(const QByteArray& data, bool last)
{
    if (!m_hasLength || m_complete)
        return kResultFormat;
    if (m_received + data.size() > qint64(m_announced))
        return kResultTransfer;
    if (!data.isEmpty() && m_file.write(data) != data.size())
        return kResultMedium;
    m_received += data.size();
    if (!last)
        return kResultOk;
    if (m_received != qint64(m_announced))
        return kResultTransfer;
    if (!m_file.commit())
        return kResultMedium;
    m_complete = true;
    return kResultOk;
}

TextBlocks::TextBlocks(QByteArray text, int blockSize)
    : m_text(std::move(text))
    , m_blockSize(blockSize)
{}

bool TextBlocks::next(QByteArray* block, bool* last)
{
    *block = m_text.mid(m_offset, m_blockSize);
    m_offset += block->size();
    *last = m_offset >= m_text.size();
    return true;
}

std::unique_ptr<FileBlocks> FileBlocks::open(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.isSymLink() || info.size() > qint64(0xFFFFFFFFu))
        return nullptr;
    std::unique_ptr<FileBlocks> blocks(new FileBlocks);
    blocks->m_file.setFileName(path);
    if (!blocks->m_file.open(QIODevice::ReadOnly))
        return nullptr;
    blocks->m_size = blocks->m_file.size();
    return blocks;
}

bool FileBlocks::next(QByteArray* block, bool* last)
{
    block->clear();
    qint64 room = kBlockSize;
    if (m_first) {
        char header[4];
        qToBigEndian<quint32>(static_cast<quint32>(m_size), header);
        block->append(header, 4);
        room -= 4;
        m_first = false;
    }
    const qint64 want = std::min(room, m_size - m_sent);
    if (want > 0) {
        const QByteArray data = m_file.read(want);
        // A file that shrank under us cannot be sent as announced: end the answer as refused.
        if (data.size() != want)
            return false;
        block->append(data);
        m_sent += want;
    }
    *last = m_sent >= m_size;
    return true;
}

} // namespace orvalt::instrument
