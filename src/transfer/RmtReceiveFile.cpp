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
#include <array>
#include <limits>

namespace orvalt {

namespace {

constexpr qint32 kBlockSize = 256;
constexpr qint32 kLengthPrefix = 4;

qint32 refuse(qint32 result, const QString& text, QString* hostFailure)
{
    if (hostFailure)
        *hostFailure = text;
    return result;
}

// Writes all of it. A disk that fills up takes part of a block without a word; the write of the
// rest then fails with the system's reason, which the user is told.
bool writeAll(QSaveFile& out, const char* data, qint64 count)
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

} // namespace

qint32 RmtReceiveFile(ProgramContext& ctx, const QString& remotePath, const QString& hostPath,
                      QString* hostFailure, const QDateTime& modified)
{
    if (ctx.state.StopRequested)
        return TransferResult::Done;

    // Both commands are checked before either goes: a folder change that could not be sent would
    // leave "FRD?" reading a file of the same name in whatever folder is current.
    const QString folderCommand = CommandWords::kChangeFolder + SlashPath(FolderOfPath(remotePath).mid(2));
    std::array<char, kBlockSize> buffer{};
    QString error;
    QByteArray wire;
    const qint32 requestLength = StrToBytes(buffer, CommandWords::kFileRead + NameOfPath(remotePath), &error);
    if (requestLength < 0 || !toWireText(folderCommand, wire, &error))
        return refuse(TransferResult::PathNotSendable, TransferTexts::pathNotSendable(remotePath, error),
                      hostFailure);

    // The file arrives in a temporary file beside the target, which replaces the target only when
    // the last block is in: a failed transfer never costs the user the file that was there.
    const QString native = HostFs::nativePath(hostPath);
    const QString shown = TransferTexts::hostFileName(hostPath, native);
    // Only a regular file is replaced. A link is never written through (its target may lie outside
    // the folder the user named), and a FIFO or device would be replaced by a plain file.
    const QString unfit = native.isEmpty() ? QStringLiteral("not a valid path") : unfitTarget(native);
    if (!unfit.isEmpty())
        return refuse(TransferResult::HostWriteFailed, TransferTexts::cannotWrite(shown, unfit), hostFailure);
    QSaveFile out(native);
    // Unbuffered, so a full disk is noticed at the block that does not fit, not a buffer later.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return refuse(TransferResult::HostWriteFailed, TransferTexts::cannotWrite(shown, out.errorString()),
                      hostFailure);

    // Without the folder change, "FRD?" would read a file of the same name from whatever folder is
    // current: a refused or busy "CDR " ends the transfer with its own result, nothing asked for.
    const qint32 folderResult = SendCmd(ctx.state, ctx.link, ctx.dialogs, folderCommand);
    if (folderResult != 0)
        return folderResult;

    const QString progressName = NameOfPath(remotePath);
    qint32 result = TransferResult::Done;
    bool first = true;
    qint64 announced = 0;
    qint64 done = 0;
    for (;;) {
        // Only the first request names the file; every later one asks for the next block, even
        // after a block without data, so a file is never asked for (and appended) twice.
        qint32 kind = first ? kBlockCommand : kBlockNext;
        qint32 length = first ? requestLength : 0;
        const qint32 sent = ctx.link.PexSendData(kind, length, buffer.data());
        if (sent != 0) {
            result = sent;
            break;
        }
        ctx.dialogs.yield();
        qint32 answerKind = 0;
        qint32 answerLength = 0;
        if (ctx.link.PexReceiveData(answerKind, answerLength, buffer.data(), kBlockSize) != 0 ||
            answerKind == kBlockRefused || answerLength < 0 || answerLength > kBlockSize) {
            if (answerKind == kBlockRefused && ctx.link.lastFailure() == 0)
                ctx.state.lastRefusal = static_cast<int>(
                    link::refusalOfBlock(QByteArray(buffer.data(), qBound(0, answerLength, kBlockSize))));
            result = TransferResult::NotReceived;
            break;
        }
        const char* data = buffer.data();
        qint32 count = answerLength;
        if (first) {
            if (count < kLengthPrefix) {
                result = TransferResult::NotReceived;
                break;
            }
            announced = qFromBigEndian<quint32>(data);
            data += kLengthPrefix;
            count -= kLengthPrefix;
            first = false;
            // The length and the counters are signed 32-bit on both sides; a larger file would
            // stream on until someone stopped the program. Nothing of it is kept.
            if (announced > std::numeric_limits<qint32>::max()) {
                out.cancelWriting();
                abandonFileStream(ctx);
                return refuse(TransferResult::HostFileTooLarge,
                              TransferTexts::tooLargeToReceive(remotePath, announced), hostFailure);
            }
        }
        done += count;
        // More data than announced is an answer gone wrong; stopping here also bounds what an
        // instrument that never sends its last block can make us write.
        if (done > announced) {
            result = TransferResult::NotReceived;
            break;
        }
        if (count > 0 && !writeAll(out, data, count)) {
            // Reading on would hold the line for the rest of a file that cannot be stored, and
            // tell the user nothing meanwhile: the stream is dropped at once.
            error = out.errorString();
            out.cancelWriting();
            abandonFileStream(ctx);
            return refuse(TransferResult::HostWriteFailed, TransferTexts::cannotWrite(shown, error),
                          hostFailure);
        }
        ctx.dialogs.transferProgress(progressName, done, announced);
        if (answerKind == kBlockLast) {
            if (done != announced)
                result = TransferResult::NotReceived; // cut short: never put in place of a good file
            break;
        }
        ctx.dialogs.yield();
        if (ctx.state.StopFileNow) {
            out.cancelWriting();
            abandonFileStream(ctx);
            return TransferResult::Stopped;
        }
    }

    if (result != TransferResult::Done) {
        out.cancelWriting();
        return result;
    }
    if (!out.commit()) {
        error = out.errorString();
        out.cancelWriting();
        return refuse(TransferResult::HostWriteFailed, TransferTexts::cannotWrite(shown, error), hostFailure);
    }
    // The date goes on once the file is in place (the temporary file takes none). Should the
    // program end between the two, or the system refuse the date, the file has the copy's time,
    // which a later sync takes for a date that differs and fetches the file again.
    if (modified.isValid()) {
        QFile placed(native);
        if (placed.open(QIODevice::ReadWrite | QIODevice::Append))
            placed.setFileTime(modified, QFileDevice::FileModificationTime);
    }
    return TransferResult::Done;
}

} // namespace orvalt
