#pragma once

#include "cli/RemotePath.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace orvalt::cli {

// Exit statuses: everything asked was done; something failed (each failure told on standard
// error); the command line itself was wrong (nothing was sent).
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
// The instrument could not be reached for now: it did not answer the greeting (switched off, its
// cable out) or its port is held by another program, such as a run started by hand. Nothing was
// done, and the same run may well succeed later: EX_TEMPFAIL of sysexits.h, the status a timer's
// service retries.
inline constexpr int kExitTempFail = 75;
// A second Ctrl+C: the file in hand was dropped, the line left in order (as a shell reports a
// program that Ctrl+C ended).
inline constexpr int kExitInterrupted = 130;
// cat: the reader of standard output went away before all was written (as a shell reports a
// program that a closed pipe ended).
inline constexpr int kExitReaderGone = 141;

// What to do with a target that exists: ask on the terminal (refused without one), replace it
// (--yes), or keep it and go on (--no-clobber).
enum class ExistingTarget
{
    Ask,
    Replace,
    Keep
};

// How ls and info write what they found: as the panes show it, or for a script to read.
enum class OutputFormat
{
    Text,
    Tsv,
    Json
};

// One run of the command line, checked: the command, its remote paths read, its host paths as
// given, and the options.
struct CliRequest
{
    QString command; // info, ls, get, put, sync, cp, mv, rm, mkdir, format
    QList<RemotePath> remotes;
    QStringList locals;
    bool recursive = false;

    // Line settings that replace the stored ones; unset ones come from the user settings store.
    std::optional<int> port; // 1..4
    std::optional<QString> device;
    std::optional<int> speed; // list positions, as the serial settings keep them
    std::optional<int> parity;
    std::optional<int> stopBits;
    std::optional<int> handShake;

    ExistingTarget existing = ExistingTarget::Ask;
    OutputFormat format = OutputFormat::Text;
    bool quiet = false;
    // Each file told on standard output as it is copied, and each item skipped, with why.
    bool verbose = false;
    // The progress as whole lines on standard error, at most one a second, whether or not that is a
    // terminal: for a log, and for sync --parallel, which shows its runs' lines side by side.
    bool progressLines = false;

    // sync: only tell what would be done; delete host entries the instrument does not hold; remove
    // from the instrument what is safely on the host.
    bool dryRun = false;
    bool deleteExtra = false;
    bool removeSource = false;

    // sync --all: every instrument of the instruments file (instrumentsFile, or the one beside the
    // user settings store when empty), one after the other or, with --parallel, side by side.
    bool all = false;
    bool parallel = false;
    QString instrumentsFile;
    // --instrument NAME: only the section of that name.
    QString instrument;

    // sync: the file each run appends its report to (SyncReport); empty for none.
    QString reportFile;
};

// The outcome of reading a command line: a request, or the help text (exit 0), or why the line
// is wrong (exit 2).
struct CliParse
{
    std::optional<CliRequest> request;
    QString helpText; // --help or --version: the text to print
    QString error;
};

// Reads the arguments after the program's name.
CliParse parseCliArguments(const QStringList& arguments);

// The usage summary that --help shows and a wrong command line points to.
QString cliUsage();

// The commands, as they are typed.
QStringList cliCommands();

} // namespace orvalt::cli
