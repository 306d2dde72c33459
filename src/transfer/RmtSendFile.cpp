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

// One host file written to the instrument: the command line, the length, the blocks, then "DUMMY",
// whose answer says whether the instrument stored the file.
class FileSender
{
public:
    FileSender(ProgramContext& ctx, const QString& hostPath, const QString& remotePath, QString* hostFailure)
        : m_ctx(ctx)
        , m_remotePath(remotePath)
        , m_native(HostFs::nativePath(hostPath))
        , m_shown(TransferTexts::hostFileName(hostPath, m_native))
        , m_file(m_native)
        , m_hostFailure(hostFailure)
    {}

    qint32 run();

private:
    // The checks made before anything is sent; 0 when the write may begin.
    qint32 prepare();
    // The block of a step: 0 the command line, 1 the length, then the file's data. False when the
    // file could not be read as far as the length announced.
    bool blockOf(int step, qint32& kind, qint32& count, const char*& first, bool& last);
    // Every block, each acknowledged; the status of the last link call, or Stopped.
    qint32 sendBlocks();
    // What the write came to, from the blocks' status and "DUMMY".
    qint32 close(qint32 status);
    qint32 refuse(qint32 result, const QString& text)
    {
        if (m_hostFailure)
            *m_hostFailure = text;
        return result;
    }

    ProgramContext& m_ctx;
    QString m_remotePath;
    QString m_native;
    QString m_shown;
    QFile m_file;
    QString* m_hostFailure;
    std::array<char, kBlockSize> m_block{};
    std::array<char, 4> m_header{};
    qint32 m_commandLength = 0;
    qint32 m_length = 0;
    qint32 m_remaining = 0;
    bool m_refused = false;
    int m_reason = 0;
    bool m_readFailed = false;
    QString m_readError;
    // Once the last block is handed over the file may be stored, whatever the link says next: a
    // compressed write flushes its stream in that very call, and waits for the answers.
    bool m_lastHanded = false;
};

qint32 FileSender::run()
{
    if (const qint32 refused = prepare())
        return refused;
    const qint32 status = sendBlocks();
    m_file.close();
    if (status == TransferResult::Stopped) {
        abandonFileStream(m_ctx);
        return status;
    }
    return close(status);
}

qint32 FileSender::prepare()
{
    QString error;
    const QString commandLine = CommandWords::kFileWrite + writeMediumCode(m_remotePath) + QLatin1Char(',') +
                                SlashPath(m_remotePath.mid(2)) + QLatin1Char(',');
    m_commandLength = StrToBytes(m_block, commandLine, &error);
    if (m_commandLength < 0)
        return refuse(TransferResult::PathNotSendable, TransferTexts::pathNotSendable(m_remotePath, error));
    if (m_native.isEmpty() || !QFileInfo(m_native).isFile() || !m_file.open(QIODevice::ReadOnly)) {
        const QString why = m_native.isEmpty()              ? QStringLiteral("not a valid path")
                            : !QFileInfo::exists(m_native)  ? QStringLiteral("no such file")
                            : !QFileInfo(m_native).isFile() ? QStringLiteral("not a file")
                                                            : m_file.errorString();
        return refuse(TransferResult::HostReadFailed, TransferTexts::cannotRead(m_shown, why));
    }
    // The length header and the counters are signed 32-bit on the instrument's side.
    const qint64 size = m_file.size();
    if (size > std::numeric_limits<qint32>::max())
        return refuse(TransferResult::HostFileTooLarge, TransferTexts::tooLarge(m_shown, size));
    m_length = static_cast<qint32>(size);
    m_remaining = m_length;
    qToBigEndian<quint32>(static_cast<quint32>(m_length), m_header.data());
    return TransferResult::Done;
}

bool FileSender::blockOf(int step, qint32& kind, qint32& count, const char*& first, bool& last)
{
    kind = kBlockMore;
    first = m_block.data();
    last = false;
    if (step == 0) {
        count = m_commandLength; // already in the block buffer
        return true;
    }
    if (step == 1) {
        first = m_header.data();
        count = static_cast<qint32>(m_header.size());
        return true;
    }
    const qint32 want = qMin(m_remaining, kBlockSize);
    if (want > 0 && m_file.read(m_block.data(), want) != want) {
        // The file shrank or the disk failed under us: what the header announced cannot be sent.
        m_readError = m_file.error() == QFileDevice::NoError ? QString() : m_file.errorString();
        return false;
    }
    count = want;
    if (m_remaining > kBlockSize) {
        m_remaining -= kBlockSize;
    } else {
        kind = kBlockFinal;
        last = true;
    }
    return true;
}

qint32 FileSender::sendBlocks()
{
    qint64 done = 0;
    for (int step = 0;; ++step) {
        qint32 kind = kBlockMore;
        qint32 count = 0;
        const char* first = nullptr;
        bool last = false;
        if (!blockOf(step, kind, count, first, last)) {
            m_readFailed = true;
            return TransferResult::Done;
        }
        m_lastHanded = last;
        qint32 status = m_ctx.link.PexSendData(kind, count, first);
        if (status != 0)
            return status;
        m_ctx.dialogs.yield();
        qint32 answerKind = 0;
        qint32 answerLength = 0;
        status = m_ctx.link.PexReceiveData(answerKind, answerLength, m_block.data(), kBlockSize);
        m_refused = status == 0 && answerKind == kBlockRefused;
        if (m_refused)
            m_reason = static_cast<int>(
                link::refusalOfBlock(QByteArray(m_block.data(), qBound(0, answerLength, kBlockSize))));
        if (status != 0 || m_refused)
            return status;
        if (step >= 2) {
            done += count;
            m_ctx.dialogs.transferProgress(NameOfPath(m_remotePath), done, m_length);
        }
        if (last)
            return status;
        m_ctx.dialogs.yield();
        if (m_ctx.state.StopFileNow)
            return TransferResult::Stopped;
    }
}

qint32 FileSender::close(qint32 status)
{
    // After a time-out the call has already waited the whole time-out, and "DUMMY" would wait as
    // long again before the failure is told; a link that is gone cannot carry it at all. The
    // instrument drops an unfinished file at its next command all the same.
    if (TransferResult::linkGone(status))
        return m_lastHanded ? TransferResult::NotConfirmed : status;
    // A file that could not be read to its end is abandoned, never closed with "DUMMY", which an
    // instrument may take as the end of the file and store the part it has.
    if (m_readFailed) {
        abandonFileStream(m_ctx);
        return refuse(TransferResult::HostReadFailed,
                      TransferTexts::cannotReadToTheEnd(m_shown, m_readError));
    }
    const qint32 closing = SendCmd(m_ctx.state, m_ctx.link, m_ctx.dialogs, CommandWords::kDummy);
    // Every block was acknowledged, so the instrument may have stored the file; only "DUMMY" would
    // have said.
    if (TransferResult::linkGone(closing) && !m_refused)
        return TransferResult::NotConfirmed;
    // "DUMMY" repeats the refusal's reason; an instrument that answers it with 0 does not.
    if (m_ctx.state.lastRefusal == 0)
        m_ctx.state.lastRefusal = m_reason;
    // Only 0 means stored. A negative answer is as much a failure as a positive one; those that
    // would read as one of the program's own results are told as a file not received.
    if (closing != 0)
        return closing < 0 && closing >= TransferResult::kLowestOwn ? TransferResult::NotReceived : closing;
    // The file was not stored: an instrument may well answer "DUMMY" with 0 after it refused.
    return m_refused ? TransferResult::NotReceived : status;
}

} // namespace

qint32 RmtSendFile(ProgramContext& ctx, const QString& hostPath, const QString& remotePath,
                   QString* hostFailure)
{
    if (ctx.state.StopRequested)
        return TransferResult::Done;
    return FileSender(ctx, hostPath, remotePath, hostFailure).run();
}

} // namespace orvalt
