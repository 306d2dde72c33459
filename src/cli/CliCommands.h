#pragma once

#include <QString>
#include <QStringList>

namespace orvalt::cli {

class CliSession;

// The program orvalt-cli: reads the arguments after the program's name, runs the command against
// the instrument with the window's settings (the settings file in programDir) and returns the exit
// status (kExitDone, kExitFailed, kExitUsage).
int RunCli(const QStringList& arguments, const QString& programDir);

// The commands. Each connects, does what its request asks, tells every failure through the
// session's dialogs and leaves the exit status to the session.
void RunInfo(CliSession& s);
void RunLs(CliSession& s);
void RunGet(CliSession& s);
void RunPut(CliSession& s);
void RunCp(CliSession& s);
void RunMv(CliSession& s);
void RunRm(CliSession& s);
void RunMkdir(CliSession& s);
void RunFormat(CliSession& s);

// One row of a listing as the panes show it: name, date, size, kind (columns separated by two
// blanks, the name padded to nameWidth). Control characters of the name are written as \xNN.
QString ListingRow(const QString& name, bool folder, const QString& date, const QString& size, int nameWidth);

} // namespace orvalt::cli
