#include "cli/CliCommands.h"
#include "cli/CliRequest.h"
#include "cli/CliSession.h"
#include "cli/ConsoleDialogs.h"
#include "cli/ConsoleTerminal.h"
#include "core/SettingsLocation.h"
#include "session/ErrorText.h"

namespace orvalt::cli {

namespace {

using Command = void (*)(CliSession&);

struct CommandEntry
{
    const char* name;
    Command run;
};

const CommandEntry kRunners[] = {
    {"info", runInfo}, {"ls", runLs}, {"get", runGet},     {"put", runPut},       {"cp", runCp},
    {"mv", runMv},     {"rm", runRm}, {"mkdir", runMkdir}, {"format", runFormat}, {"sync", runSync},
};

// Standard output that could not be written (a full disk, a closed pipe) is a failure however the
// run went: whoever reads it would take a cut-off listing for a whole one.
int withOutputChecked(int status)
{
    QString why;
    if (stdoutWritten(&why))
        return status;
    writeStderr(QStringLiteral("orvalt-cli: write error: %1\n").arg(why));
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
    ConsoleDialogs dialogs(request.existing, request.quiet, request.progressLines);
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
    return secondInterruptRequested() ? kExitInterrupted : session.exitStatus();
}

} // namespace

int runCli(const QStringList& arguments, const QString& programDir)
{
    ErrorText::setPortChoice(ErrorText::PortChoice::CommandLine);
    return withOutputChecked(run(arguments, programDir));
}

} // namespace orvalt::cli
