#include "cli/ConsoleTerminal.h"

#include <QByteArray>
#include <csignal>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define ORVALT_ISATTY _isatty
#define ORVALT_FILENO _fileno
#else
#include <unistd.h>
#define ORVALT_ISATTY ::isatty
#define ORVALT_FILENO ::fileno
#endif

namespace orvalt::cli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

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

// Asked to end (kill, timeout, the terminal closed) or the output's reader gone (| head): as a
// second Ctrl+C, the file in hand is let go and the port closed as at a clean end. Killed on the
// spot instead, the program would leave its serial port's lock and exclusive flag behind.
extern "C" void onTerminate(int signal)
{
    g_interrupted = 2;
    // Asked again, it ends on the spot; a reader gone only fails the writes from now on.
#ifdef SIGPIPE
    std::signal(signal, signal == SIGPIPE ? SIG_IGN : SIG_DFL);
#else
    std::signal(signal, SIG_DFL);
#endif
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

bool canAskOnTerminal()
{
    return isTerminal(stdin) && isTerminal(stderr);
}

void writeStderr(const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void writeStdout(const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
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
    std::signal(SIGTERM, onTerminate);
#ifndef Q_OS_WIN
    std::signal(SIGHUP, onTerminate);
    std::signal(SIGPIPE, onTerminate);
#endif
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
