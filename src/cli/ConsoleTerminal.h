#pragma once

#include <QString>
#include <optional>

namespace orvalt::cli {

// The program's console: standard error for everything said to the user, standard input for the
// answers, when both are a terminal.

// Whether standard error is a terminal (a progress line that rewrites itself makes sense there).
bool stderrIsTerminal();
bool stdoutIsTerminal();
// The width of the terminal standard error shows, in columns: read again once the terminal was
// resized (SIGWINCH), 80 when it cannot be read.
int terminalColumns();

// Whether a question can be asked: standard input and standard error are both a terminal.
bool canAskOnTerminal();

// How much a line on standard error matters, as syslog ranks it.
enum class Priority
{
    Error = 3,
    Warning = 4,
    Notice = 5,
    Info = 6
};

// Whether standard error goes into the journal: $JOURNAL_STREAM names the very stream that file
// descriptor 2 is (a program started by the service may have been handed another one), or the run
// that started this one relays its lines into the journal (kRelayedPriorities).
bool stderrIsJournal();
// Set by sync --parallel for its runs, whose lines it writes into the journal after their names.
inline constexpr char kRelayedPriorities[] = "ORVALT_STDERR_PRIORITIES";

// Writes text to standard error as it is (no line end added) and flushes it. Into the journal, each
// line starts with its priority ("<3>"), which the journal keeps as the line's own.
void writeStderr(const QString& text, Priority priority = Priority::Error);
// Writes text to standard output.
void writeStdout(const QString& text);
// Hands what standard output holds on at once (before a child run writes to the same output).
void flushStdout();
// Flushes standard output; false when anything written to it did not arrive (a full disk, a
// closed pipe), with the system's reason for the first failure.
bool stdoutWritten(QString* why);

// One line typed on standard input, without its line end; nothing at the end of the input.
std::optional<QString> readAnswerLine();

// Ctrl+C asks the run to stop after the file in hand; a second one stops the file in hand at once,
// and the program ends, cleanly, with kExitInterrupted. A third ends it on the spot.
void catchInterrupt();
bool interruptRequested();
bool secondInterruptRequested();

} // namespace orvalt::cli
