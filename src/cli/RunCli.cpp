#include "cli/CliCommands.h"
#include "cli/CliRequest.h"
#include "cli/CliSession.h"
#include "cli/ConsoleDialogs.h"
#include "cli/ConsoleTerminal.h"
#include "core/SettingsLocation.h"

#include <cstdio>

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

} // namespace

int runCli(const QStringList& arguments, const QString& programDir)
{
    const CliParse parse = parseCliArguments(arguments);
    if (!parse.helpText.isEmpty()) {
        writeStdout(parse.helpText);
        std::fflush(stdout);
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
    std::fflush(stdout);
    return secondInterruptRequested() ? kExitInterrupted : session.exitStatus();
}

} // namespace orvalt::cli
