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

// Writes text to standard error as it is (no line end added) and flushes it.
void writeStderr(const QString& text);
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
