// cat: instrument files to standard output, byte for byte, each block as it arrives, so that a
// measurement file can go straight into a pipe (head, a plotting or analysis tool). Nothing else is
// written there: what is told goes to standard error, the progress line only when that is a
// terminal and standard output is not.

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "transfer/FileTransfer.h"
#include "transfer/TransferTexts.h"

#include <QIODevice>
#include <cerrno>
#include <csignal>
#include <cstring>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace orvalt::cli {

namespace {

bool g_readerGone = false;

// Standard output without a buffer of its own, so that a reader that went away is noticed at the
// block that no longer reaches it, and the instrument is let go at once.
class StandardOutput : public QIODevice
{
public:
    StandardOutput()
    {
#ifdef Q_OS_WIN
        _setmode(_fileno(stdout), _O_BINARY); // no "\r" added before a "\n" of the file
#endif
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    // The reader of the pipe closed its end: not a failure to tell, the end it asked for.
    bool readerGone() const
    {
        return m_readerGone;
    }

protected:
    qint64 readData(char* /*data*/, qint64 /*size*/) override
    {
        return -1;
    }
    qint64 writeData(const char* data, qint64 size) override
    {
        qint64 done = 0;
        while (done < size) {
#ifdef Q_OS_WIN
            const auto n =
                ::_write(1, data + done, static_cast<unsigned>(std::min<qint64>(size - done, 1 << 20)));
#else
            const auto n = ::write(STDOUT_FILENO, data + done, static_cast<size_t>(size - done));
#endif
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_readerGone = errno == EPIPE;
                setErrorString(QString::fromLocal8Bit(std::strerror(errno)));
                return done > 0 ? done : -1;
            }
            done += n;
        }
        return done;
    }

private:
    bool m_readerGone = false;
};

} // namespace

bool catReaderGone()
{
    return g_readerGone;
}

void runCat(CliSession& s)
{
#ifdef SIGPIPE
    // A reader that goes away ends the run here, in order, rather than by the signal: the
    // instrument is let go of the file and the port closed as after any other command.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    if (!s.connect())
        return;
    StandardOutput out;
    for (const RemotePath& remote : s.request().remotes) {
        if (s.passedOver(remote.path()))
            continue;
        s.about(remote.path());
        QString failure;
        const qint32 result =
            RmtReceiveToStream(s.ctx(), remote.path(), out, QStringLiteral("standard output"), &failure);
        s.noteResult(result);
        if (out.readerGone()) {
            g_readerGone = true;
            return;
        }
        if (result == TransferResult::Done)
            continue;
        const QString told = transferFailureText(s.ctx(), result, failure, remote.path());
        // The instrument may refuse a folder as it refuses a file it cannot read; only then is the
        // folder holding it listed, to tell which it was.
        const bool folder = result == TransferResult::NotReceived && !s.linkLost() &&
                            s.lookUp(remote) == CliSession::Kind::Folder;
        s.fail(folder ? QStringLiteral("a folder: cat reads files (get -r copies a folder)") : told);
    }
}

} // namespace orvalt::cli
