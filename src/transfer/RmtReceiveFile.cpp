#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "link/BlockKinds.h"
#include "link/CommandWords.h"
#include "link/PexLink.h"
#include "link/RefusalReason.h"
#include "panes/HostFs.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"
#include "session/CommandExchange.h"
#include "transfer/AbandonStream.h"
#include "transfer/FileTransfer.h"
#include "transfer/TransferTexts.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <optional>

namespace orvalt {

namespace {

constexpr qint32 kBlockSize = 256;
constexpr qint32 kLengthPrefix = 4;

// Writes all of it. A disk that fills up takes part of a block without a word; the write of the
// rest then fails with the system's reason, which the user is told.
bool writeAll(QIODevice& out, const char* data, qint64 count)
{
    while (count > 0) {
        const qint64 written = out.write(data, count);
        if (written <= 0)
            return false;
        data += written;
        count -= written;
    }
    return true;
}

// Why a host path cannot take a received file, or nothing when it is missing or a regular file.
QString unfitTarget(const QString& native)
{
    const QFileInfo target(native);
    if (target.isSymLink())
        return QStringLiteral("a symbolic link; nothing is written through it");
    if (!target.exists())
        return QString();
    if (target.isDir())
        return QStringLiteral("a folder of that name exists");
    if (!target.isFile())
        return QStringLiteral("not a regular file (a device, FIFO or socket); not replaced");
    return QString();
}

// One file read from the instrument into a temporary file beside the target, which takes the
// target's place only once the last block has arrived: a failed transfer never costs the user the
// file that was there. Or into a stream that is open already, where each block goes as it comes.
class FileReceiver
{
public:
    FileReceiver(ProgramContext& ctx, const QString& remotePath, const QString& hostPath,
                 QString* hostFailure, const ReceivePart& part)
        : m_ctx(ctx)
        , m_remotePath(remotePath)
        , m_native(HostFs::nativePath(hostPath))
        , m_shown(TransferTexts::hostFileName(hostPath, m_native))
        , m_file(std::make_unique<QSaveFile>(m_native))
        , m_out(*m_file)
        , m_hostFailure(hostFailure)
        , m_part(part)
    {}
    FileReceiver(ProgramContext& ctx, const QString& remotePath, QIODevice& stream, const QString& shown,
                 QString* failure)
        : m_ctx(ctx)
        , m_remotePath(remotePath)
        , m_shown(shown)
        , m_out(stream)
        , m_hostFailure(failure)
    {}

    qint32 run(const QDateTime& modified);

private:
    // The checks made before anything is sent; 0 when the read may begin.
    qint32 prepare();
    // The blocks, from "FRD? " to the last; 0 once they are all in the temporary file.
    qint32 readBlocks();
    // Takes one answer block into the file; nullopt while more is to come.
    std::optional<qint32> takeBlock(qint32 kind, qint32 length, bool first);
    // The temporary file in the target's place, with the instrument's date.
    qint32 commit(const QDateTime& modified);
    qint32 refuse(qint32 result, const QString& text)
    {
        if (m_hostFailure)
            *m_hostFailure = text;
        return result;
    }
    // The stream is let go at once: reading on would hold the line for a file that is not kept.
    void dropStream()
    {
        if (m_file)
            m_file->cancelWriting();
        abandonFileStream(m_ctx);
    }

    ProgramContext& m_ctx;
    QString m_remotePath;
    QString m_native;
    QString m_shown;
    std::unique_ptr<QSaveFile> m_file; // none when the blocks go to a stream
    QIODevice& m_out;
    QString* m_hostFailure;
    ReceivePart m_part;
    std::array<char, kBlockSize> m_buffer{};
    qint32 m_requestLength = 0;
    qint64 m_announced = 0;
    qint64 m_done = 0;
};

qint32 FileReceiver::run(const QDateTime& modified)
{
    if (const qint32 refused = prepare())
        return refused;
    // Without its folder selected, "FRD?" would read a file of the same name from whatever folder
    // is selected: a refused or busy selection ends the transfer with its own result.
    const qint32 selected =
        m_ctx.instrument
            .select(m_ctx, MediumCode(m_remotePath), wireFolder(FolderOfPath(m_remotePath).mid(2)))
            .result();
    if (selected != 0)
        return selected;
    const qint32 read = readBlocks();
    if (m_part.size)
        *m_part.size = m_announced;
    if (read != TransferResult::Done) {
        if (m_file)
            m_file->cancelWriting();
        m_ctx.instrument.noteResult(read);
        return read;
    }
    return commit(modified);
}

qint32 FileReceiver::prepare()
{
    QString error;
    QByteArray wire;
    // The request and the folder are checked before anything goes: a folder that could not be
    // selected would leave "FRD?" reading a file of the same name elsewhere.
    m_requestLength = StrToBytes(m_buffer, CommandWords::kFileRead + NameOfPath(m_remotePath), &error);
    if (m_requestLength < 0 ||
        !toWireText(CommandWords::kChangeFolder + wireFolder(FolderOfPath(m_remotePath).mid(2)), wire,
                    &error))
        return refuse(TransferResult::PathNotSendable, TransferTexts::pathNotSendable(m_remotePath, error));
    if (!m_file)
        return TransferResult::Done; // a stream is open already
    // Only a regular file is replaced. A link is never written through (its target may lie outside
    // the folder the user named), and a FIFO or device would be replaced by a plain file.
    const QString unfit = m_native.isEmpty() ? QStringLiteral("not a valid path") : unfitTarget(m_native);
    if (!unfit.isEmpty())
        return refuse(TransferResult::HostWriteFailed, TransferTexts::cannotWrite(m_shown, unfit));
    // Unbuffered, so a full disk is noticed at the block that does not fit, not a buffer later.
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return refuse(TransferResult::HostWriteFailed,
                      TransferTexts::cannotWrite(m_shown, m_file->errorString()));
    return TransferResult::Done;
}

qint32 FileReceiver::readBlocks()
{
    for (bool first = true;; first = false) {
        // Only the first request names the file; every later one asks for the next block, even
        // after a block without data, so a file is never asked for (and appended) twice.
        qint32 kind = first ? kBlockCommand : kBlockNext;
        qint32 length = first ? m_requestLength : 0;
        const qint32 sent = m_ctx.link.PexSendData(kind, length, m_buffer.data());
        if (sent != 0)
            return sent;
        m_ctx.dialogs.yield();
        qint32 answerKind = 0;
        qint32 answerLength = 0;
        if (m_ctx.link.PexReceiveData(answerKind, answerLength, m_buffer.data(), kBlockSize) != 0 ||
            answerKind == kBlockRefused || answerLength < 0 || answerLength > kBlockSize) {
            if (answerKind == kBlockRefused && m_ctx.link.lastFailure() == 0)
                m_ctx.state.lastRefusal = static_cast<int>(
                    link::refusalOfBlock(QByteArray(m_buffer.data(), qBound(0, answerLength, kBlockSize))));
            return TransferResult::NotReceived;
        }
        if (const std::optional<qint32> ended = takeBlock(answerKind, answerLength, first))
            return *ended;
        m_ctx.dialogs.yield();
        // A look at a file has no next file to finish this one for: the first Interruption ends it.
        if (m_ctx.state.StopFileNow || (m_part.keep >= 0 && m_ctx.state.StopRequested)) {
            dropStream();
            return TransferResult::Stopped;
        }
    }
}

std::optional<qint32> FileReceiver::takeBlock(qint32 kind, qint32 length, bool first)
{
    const char* data = m_buffer.data();
    qint32 count = length;
    if (first) {
        if (count < kLengthPrefix)
            return TransferResult::NotReceived;
        m_announced = qFromBigEndian<quint32>(data);
        data += kLengthPrefix;
        count -= kLengthPrefix;
        // The length and the counters are signed 32-bit on both sides; a larger file would stream
        // on until someone stopped the program. Nothing of it is kept; a look at its start stops
        // in time.
        if (m_announced > std::numeric_limits<qint32>::max() && m_part.keep < 0) {
            dropStream();
            return refuse(TransferResult::HostFileTooLarge,
                          TransferTexts::tooLargeToReceive(m_remotePath, m_announced));
        }
    }
    const qint64 before = m_done;
    m_done += count;
    // More data than announced is an answer gone wrong; stopping here also bounds what an
    // instrument that never sends its last block can make us write.
    if (m_done > m_announced)
        return TransferResult::NotReceived;
    const qint64 kept = m_part.keep < 0 ? count : std::clamp<qint64>(m_part.keep - before, 0, count);
    if (kept > 0 && !writeAll(m_out, data, kept)) {
        // Reading on would hold the line for the rest of a file that cannot be stored, and tell
        // the user nothing meanwhile.
        const QString error = m_out.errorString();
        dropStream();
        return refuse(TransferResult::HostWriteFailed, TransferTexts::cannotWrite(m_shown, error));
    }
    const qint64 wanted = m_part.keep < 0 ? m_announced : std::min(m_announced, m_part.keep);
    m_ctx.dialogs.transferProgress(NameOfPath(m_remotePath), std::min(m_done, wanted), wanted);
    if (kind == kBlockLast) // cut short: never put in place of a good file
        return m_done == m_announced ? TransferResult::Done : TransferResult::NotReceived;
    if (m_part.keep < 0 || m_done < m_part.keep)
        return std::nullopt;
    // The start asked for is in: the rest of the file is not asked for, and the instrument is
    // told so, as when the user stops a file.
    m_ctx.instrument.noteResult(abandonFileStream(m_ctx));
    return TransferResult::Done;
}

qint32 FileReceiver::commit(const QDateTime& modified)
{
    if (!m_file)
        return TransferResult::Done; // each block went out as it came
    if (!m_file->commit()) {
        const QString error = m_file->errorString();
        m_file->cancelWriting();
        return refuse(TransferResult::HostWriteFailed, TransferTexts::cannotWrite(m_shown, error));
    }
    // The date goes on once the file is in place (the temporary file takes none). Should the
    // program end between the two, or the system refuse the date, the file has the copy's time,
    // which a later sync takes for a date that differs and fetches the file again.
    if (modified.isValid()) {
        QFile placed(m_native);
        if (placed.open(QIODevice::ReadWrite | QIODevice::Append))
            placed.setFileTime(modified, QFileDevice::FileModificationTime);
    }
    return TransferResult::Done;
}

} // namespace

qint32 RmtReceiveFile(ProgramContext& ctx, const QString& remotePath, const QString& hostPath,
                      QString* hostFailure, const QDateTime& modified, const ReceivePart& part)
{
    if (ctx.state.StopRequested)
        return TransferResult::Done;
    return FileReceiver(ctx, remotePath, hostPath, hostFailure, part).run(modified);
}

qint32 RmtReceiveToStream(ProgramContext& ctx, const QString& remotePath, QIODevice& stream,
                          const QString& shown, QString* failure)
{
    if (ctx.state.StopRequested)
        return TransferResult::Done;
    return FileReceiver(ctx, remotePath, stream, shown, failure).run(QDateTime());
}

} // namespace orvalt
