#pragma once

#include <QString>
#include <QStringList>

namespace orvalt::cli {

class CliSession;
struct CliRequest;

// The program orvalt-cli: reads the arguments after the program's name, runs the command against
// the instrument with the window's settings (the settings file in programDir) and returns the exit
// status (kExitDone, kExitFailed, kExitUsage).
int runCli(const QStringList& arguments, const QString& programDir);

// The commands. Each connects, does what its request asks, tells every failure through the
// session's dialogs and leaves the exit status to the session.
void runInfo(CliSession& s);
void runLs(CliSession& s);
void runGet(CliSession& s);
void runPut(CliSession& s);
void runSync(CliSession& s);
// sync --all and --parallel: every instrument of the instruments file, each by a run of its own;
// returns the worst of their exit statuses (kExitUsage for an instruments file that cannot be used).
int runShelf(const CliRequest& r);
void runCp(CliSession& s);
void runMv(CliSession& s);
void runRm(CliSession& s);
void runMkdir(CliSession& s);
void runFormat(CliSession& s);
// cat: instrument files to standard output as they arrive. catReaderGone says that the reader of
// standard output went away before all was written (the run then ended quietly).
void runCat(CliSession& s);
bool catReaderGone();

// One row of a listing as the panes show it: name, date, size, kind (columns separated by two
// blanks, the name padded to nameWidth). Control characters of the name are written as \xNN.
QString listingRow(const QString& name, bool folder, const QString& date, const QString& size, int nameWidth);

} // namespace orvalt::cli
