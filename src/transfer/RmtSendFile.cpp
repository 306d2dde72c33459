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

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <array>
#include <limits>

namespace orvalt {

namespace {

constexpr qint32 kBlockSize = 256;

// The medium field of "FWT ": the command code of the four media that have one; any other prefix
// goes as its own two characters, and the instrument decides what it makes of it.
QString writeMediumCode(const QString& remotePath)
{
    const QString code = MediumCode(remotePath);
    return code.isEmpty() ? remotePath.left(2) : code;
}

qint32 refuse(qint32 result, const QString& text, QString* hostFailure)
{
    if (hostFailure)
        *hostFailure = text;
    return result;
}

} // namespace

qint32 RmtSendFile(ProgramContext& ctx, const QString& hostPath, const QString& remotePath,
                   QString* hostFailure)
{
    if (ctx.state.StopRequested)
        return TransferResult::Done;

    std::array<char, kBlockSize> block{};
    QString error;
    const QString commandLine = CommandWords::kFileWrite + writeMediumCode(remotePath) + QLatin1Char(',') +
                                SlashPath(remotePath.mid(2)) + QLatin1Char(',');
    const qint32 commandLength = StrToBytes(block, commandLine, &error);
    if (commandLength < 0)
        return refuse(TransferResult::PathNotSendable, TransferTexts::pathNotSendable(remotePath, error),
                      hostFailure);

    const QString native = HostFs::nativePath(hostPath);
    const QString shown = TransferTexts::hostFileName(hostPath, native);
    QFile file(native);
    if (native.isEmpty() || !QFileInfo(native).isFile() || !file.open(QIODevice::ReadOnly)) {
        const QString why = native.isEmpty()              ? QStringLiteral("not a valid path")
                            : !QFileInfo::exists(native)  ? QStringLiteral("no such file")
                            : !QFileInfo(native).isFile() ? QStringLiteral("not a file")
                                                          : file.errorString();
        return refuse(TransferResult::HostReadFailed, TransferTexts::cannotRead(shown, why), hostFailure);
    }
    // The length header and the counters are signed 32-bit on the instrument's side.
    const qint64 size = file.size();
    if (size > std::numeric_limits<qint32>::max())
        return refuse(TransferResult::HostFileTooLarge, TransferTexts::tooLarge(shown, size), hostFailure);

    const qint32 length = static_cast<qint32>(size);
    const QString progressName = NameOfPath(remotePath);
    std::array<char, 4> header{};
    qToBigEndian<quint32>(static_cast<quint32>(length), header.data());

    qint32 remaining = length;
    qint64 done = 0;
    qint32 status = 0;
    bool refused = false;
    int reason = 0;
    bool readFailed = false;
    bool lastHanded = false;
    for (int step = 0;; ++step) {
        qint32 kind = kBlockMore;
        qint32 count = 0;
        const char* first = block.data();
        bool last = false;
        if (step == 0) {
            count = commandLength; // already in the block buffer
        } else if (step == 1) {
            first = header.data();
            count = static_cast<qint32>(header.size());
        } else {
            const qint32 want = qMin(remaining, kBlockSize);
            if (want > 0 && file.read(block.data(), want) != want) {
                // The file shrank or the disk failed under us: what the header announced cannot be
                // sent. The stream is abandoned below, never closed with "DUMMY", which an
                // instrument may take as the end of the file and store the part it has.
                error = file.error() == QFileDevice::NoError ? QString() : file.errorString();
                readFailed = true;
                break;
            }
            count = want;
            if (remaining > kBlockSize) {
                remaining -= kBlockSize;
            } else {
                kind = kBlockFinal;
                last = true;
            }
        }

        // Once the last block is handed over the file may be stored, whatever the link says next:
        // a compressed write flushes its stream in this very call, and waits for the answers.
        lastHanded = last;
        status = ctx.link.PexSendData(kind, count, first);
        if (status != 0)
            break;
        ctx.dialogs.yield();
        qint32 answerKind = 0;
        qint32 answerLength = 0;
        status = ctx.link.PexReceiveData(answerKind, answerLength, block.data(), kBlockSize);
        refused = status == 0 && answerKind == kBlockRefused;
        if (refused)
            reason = static_cast<int>(
                link::refusalOfBlock(QByteArray(block.data(), qBound(0, answerLength, kBlockSize))));
        if (status != 0 || refused)
            break;
        if (step >= 2) {
            done += count;
            ctx.dialogs.transferProgress(progressName, done, length);
        }
        if (last)
            break;
        ctx.dialogs.yield();
        if (ctx.state.StopFileNow) {
            file.close();
            abandonFileStream(ctx);
            return TransferResult::Stopped;
        }
    }
    file.close();

    // After a time-out the call has already waited the whole time-out, and "DUMMY" would wait as
    // long again before the failure is told; a link that is gone cannot carry it at all. The
    // instrument drops an unfinished file at its next command all the same.
    if (TransferResult::linkGone(status))
        return lastHanded ? TransferResult::NotConfirmed : status;
    if (readFailed) {
        abandonFileStream(ctx);
        return refuse(TransferResult::HostReadFailed, TransferTexts::cannotReadToTheEnd(shown, error),
                      hostFailure);
    }
    const qint32 closing = SendCmd(ctx.state, ctx.link, ctx.dialogs, CommandWords::kDummy);
    // Every block was acknowledged, so the instrument may have stored the file; only "DUMMY" would
    // have said.
    if (TransferResult::linkGone(closing) && !refused)
        return TransferResult::NotConfirmed;
    // "DUMMY" repeats the refusal's reason; an instrument that answers it with 0 does not.
    if (ctx.state.lastRefusal == 0)
        ctx.state.lastRefusal = reason;
    // Only 0 means stored. A negative answer is as much a failure as a positive one; those that
    // would read as one of the program's own results are told as a file not received.
    if (closing != 0)
        return closing < 0 && closing >= TransferResult::kLowestOwn ? TransferResult::NotReceived : closing;
    // The file was not stored: an instrument may well answer "DUMMY" with 0 after it refused.
    return refused ? TransferResult::NotReceived : status;
}

} // namespace orvalt
