#include "cli/ConsoleTerminal.h"

#include <QByteArray>
#include <QByteArrayList>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#define ORVALT_ISATTY _isatty
#define ORVALT_FILENO _fileno
#else
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#define ORVALT_ISATTY ::isatty
#define ORVALT_FILENO ::fileno
#endif

namespace orvalt::cli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
// Set when the terminal was resized, and at the start: its width is to be read (again).
volatile std::sig_atomic_t g_resized = 1;
constexpr int kDefaultColumns = 80;

#ifndef Q_OS_WIN
extern "C" void onResize(int)
{
    g_resized = 1;
}
#endif

// The reason the first write to standard output failed; 0 while none did.
int g_stdoutError = 0;

extern "C" void onInterrupt(int signal)
{
    if (g_interrupted == 0) {
        g_interrupted = 1;
        return;
    }
    g_interrupted = 2;
    // The file in hand is being dropped; should even that not come to an end, the next Ctrl+C is
    // not caught.
    std::signal(signal, SIG_DFL);
}

bool isTerminal(std::FILE* stream)
{
    return ORVALT_ISATTY(ORVALT_FILENO(stream)) != 0;
}

// An answer longer than this is no answer to a question of one letter.
constexpr int kAnswerBuffer = 256;

} // namespace

bool stderrIsTerminal()
{
    return isTerminal(stderr);
}

bool stdoutIsTerminal()
{
    return isTerminal(stdout);
}

int terminalColumns()
{
    static int columns = kDefaultColumns;
#ifndef Q_OS_WIN
    static bool watching = false;
    if (!watching) {
        watching = true;
        struct sigaction action = {};
        action.sa_handler = onResize;
        action.sa_flags = SA_RESTART; // a resize must not break off a read of the line
        sigemptyset(&action.sa_mask);
        sigaction(SIGWINCH, &action, nullptr);
    }
    if (g_resized != 0) {
        g_resized = 0;
        struct winsize size = {};
        columns = ::ioctl(ORVALT_FILENO(stderr), TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col
                                                                                            : kDefaultColumns;
    }
#endif
    return columns;
}

bool canAskOnTerminal()
{
    return isTerminal(stdin) && isTerminal(stderr);
}

bool stderrIsJournal()
{
#ifdef Q_OS_WIN
    return false;
#else
    static const bool journal = [] {
        if (qEnvironmentVariableIsSet(kRelayedPriorities))
            return true;
        // "device:inode", in decimal, of the journal's end of the stream.
        const QByteArrayList stream = qgetenv("JOURNAL_STREAM").split(':');
        bool deviceOk = false;
        bool inodeOk = false;
        const qulonglong device = stream.size() == 2 ? stream.at(0).toULongLong(&deviceOk) : 0;
        const qulonglong inode = stream.size() == 2 ? stream.at(1).toULongLong(&inodeOk) : 0;
        struct stat status = {};
        return deviceOk && inodeOk && ::fstat(STDERR_FILENO, &status) == 0 &&
               static_cast<qulonglong>(status.st_dev) == device &&
               static_cast<qulonglong>(status.st_ino) == inode;
    }();
    return journal;
#endif
}

void writeStderr(const QString& text, Priority priority)
{
    QByteArray bytes = text.toLocal8Bit();
    if (stderrIsJournal()) {
        // Lines may come in pieces: the mark goes where a line starts.
        static bool atLineStart = true;
        const QByteArray mark = '<' + QByteArray::number(static_cast<int>(priority)) + '>';
        QByteArray marked;
        marked.reserve(bytes.size() + mark.size());
        for (const char c : std::as_const(bytes)) {
            if (atLineStart)
                marked += mark;
            marked += c;
            atLineStart = c == '\n';
        }
        bytes = marked;
    }
    std::fputs(bytes.constData(), stderr);
    std::fflush(stderr);
}

void writeStdout(const QString& text)
{
    if (std::fputs(text.toLocal8Bit().constData(), stdout) == EOF && g_stdoutError == 0)
        g_stdoutError = errno != 0 ? errno : EIO;
}

void flushStdout()
{
    errno = 0;
    if (std::fflush(stdout) != 0 && g_stdoutError == 0)
        g_stdoutError = errno != 0 ? errno : EIO;
}

bool stdoutWritten(QString* why)
{
    flushStdout();
    if (g_stdoutError == 0 && std::ferror(stdout))
        g_stdoutError = EIO;
    if (g_stdoutError == 0)
        return true;
    *why = QString::fromLocal8Bit(std::strerror(g_stdoutError));
    return false;
}

std::optional<QString> readAnswerLine()
{
    char buffer[kAnswerBuffer];
    if (!std::fgets(buffer, sizeof buffer, stdin))
        return std::nullopt;
    QByteArray line(buffer);
    if (!line.endsWith('\n')) {
        // The rest of an over-long line would otherwise answer the next question.
        int c = 0;
        while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
        }
    }
    return QString::fromLocal8Bit(line).trimmed();
}

void catchInterrupt()
{
    std::signal(SIGINT, onInterrupt);
}

bool interruptRequested()
{
    return g_interrupted != 0;
}

bool secondInterruptRequested()
{
    return g_interrupted == 2;
}

} // namespace orvalt::cli
