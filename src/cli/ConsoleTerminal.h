#pragma once

#include <QString>
#include <optional>

namespace orvalt::cli {

// The program's console: standard error for everything said to the user, standard input for the
// answers, when both are a terminal.

// Whether standard error is a terminal (a progress line that rewrites itself makes sense there).
bool StderrIsTerminal();
// Whether a question can be asked: standard input and standard error are both a terminal.
bool CanAskOnTerminal();

// Writes text to standard error as it is (no line end added) and flushes it.
void WriteStderr(const QString& text);
// Writes text to standard output.
void WriteStdout(const QString& text);

// One line typed on standard input, without its line end; nothing at the end of the input.
std::optional<QString> ReadAnswerLine();

// Ctrl+C asks the run to stop after the file in hand (a second one ends the program at once).
void CatchInterrupt();
bool InterruptRequested();

} // namespace orvalt::cli
