#include "cli/CliCommands.h"
#include "cli/CliRequest.h"
#include "cli/CliSession.h"
#include "cli/ConsoleDialogs.h"
#include "cli/ConsoleTerminal.h"
#include "cli/SyncReport.h"
#include "core/SettingsLocation.h"
#include "session/ErrorText.h"

#include <QDir>
#include <optional>

namespace orvalt::cli {

namespace {

using Command = void (*)(CliSession&);

struct CommandEntry
{
    const char* name;
    Command run;
};

const CommandEntry kRunners[] = {
    {"info", runInfo},     {"ls", runLs},     {"get", runGet}, {"put", runPut},
    {"cp", runCp},         {"mv", runMv},     {"rm", runRm},   {"mkdir", runMkdir},
    {"format", runFormat}, {"sync", runSync}, {"cat", runCat},
};

// Standard output that could not be written (a full disk, a closed pipe) is a failure however the
// run went: whoever reads it would take a cut-off listing for a whole one.
int withOutputChecked(int status)
{
    static bool told = false;
    QString why;
    if (stdoutWritten(&why))
        return status;
    if (!told)
        writeStderr(QStringLiteral("orvalt-cli: write error: %1\n").arg(why));
    told = true;
    return qMax(status, kExitFailed);
}

// sync --report: what the run did, with the exit status it ends with. A report that cannot be
// written fails the run: a monitoring system would otherwise take a missing night for a quiet one.
int reported(SyncReport& report, CliSession& session, int status)
{
    const CliRequest& r = session.request();
    report.device = session.device();
    report.model = session.state().ModelName;
    report.remote = r.remotes.isEmpty() ? QString() : r.remotes.constFirst().path();
    report.local = r.locals.isEmpty() ? QString()
                                      : QDir::toNativeSeparators(QDir::cleanPath(
                                            QDir::current().absoluteFilePath(r.locals.constFirst())));
    report.dryRun = r.dryRun;
    report.totals = session.syncTotals();
    const ConsoleDialogs& dialogs = session.dialogs();
    report.failures = dialogs.toldFailures();
    report.unlistedFailures = dialogs.failures() - static_cast<int>(report.failures.size());
    QString why;
    if (report.appendTo(r.reportFile, status, &why))
        return status;
    writeStderr(
        QStringLiteral("orvalt-cli: %1: the report could not be written (%2)\n").arg(r.reportFile, why));
    return qMax(status, kExitFailed);
}

int run(const QStringList& arguments, const QString& programDir)
{
    const CliParse parse = parseCliArguments(arguments);
    if (!parse.helpText.isEmpty()) {
        writeStdout(parse.helpText);
        return kExitDone;
    }
    if (!parse.request) {
        writeStderr(QStringLiteral("orvalt-cli: %1\nTry 'orvalt-cli --help'.\n").arg(parse.error));
        return kExitUsage;
    }
    const CliRequest& request = *parse.request;
    if (request.all)
        return runShelf(request);
    std::optional<SyncReport> report; // begun before anything is sent
    if (!request.reportFile.isEmpty())
        report.emplace();
    // cat's bytes go to standard output: a progress line on the same terminal would garble them.
    const bool outputIsTheFile = request.command == QLatin1String("cat") && stdoutIsTerminal();
    ConsoleDialogs dialogs(request.existing, request.quiet || outputIsTheFile, request.progressLines);
    dialogs.setVerbose(request.verbose);
    CliSession session(request, dialogs,
                       ProgramPaths{settingsFolder(programDir, kWindowProgramName), kWindowProgramName});
    catchInterrupt();
    for (const CommandEntry& entry : kRunners) {
        if (request.command == QLatin1String(entry.name)) {
            entry.run(session);
            break;
        }
    }
    session.disconnect();
    const int status = secondInterruptRequested() ? kExitInterrupted
                       : catReaderGone()          ? kExitReaderGone
                                                  : session.exitStatus();
    return report ? reported(*report, session, withOutputChecked(status)) : status;
}

} // namespace

int runCli(const QStringList& arguments, const QString& programDir)
{
    ErrorText::setPortChoice(ErrorText::PortChoice::CommandLine);
    return withOutputChecked(run(arguments, programDir));
}

} // namespace orvalt::cli
