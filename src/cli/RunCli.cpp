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
    {"info", RunInfo}, {"ls", RunLs}, {"get", RunGet},     {"put", RunPut},       {"cp", RunCp},
    {"mv", RunMv},     {"rm", RunRm}, {"mkdir", RunMkdir}, {"format", RunFormat},
};

} // namespace

int RunCli(const QStringList& arguments, const QString& programDir)
{
    const CliParse parse = ParseCliArguments(arguments);
    if (!parse.helpText.isEmpty()) {
        WriteStdout(parse.helpText);
        std::fflush(stdout);
        return kExitDone;
    }
    if (!parse.request) {
        WriteStderr(QStringLiteral("orvalt-cli: %1\nTry 'orvalt-cli --help'.\n").arg(parse.error));
        return kExitUsage;
    }
    const CliRequest& request = *parse.request;
    ConsoleDialogs dialogs(request.existing, request.quiet);
    CliSession session(request, dialogs,
                       ProgramPaths{settingsFolder(programDir, kWindowProgramName), kWindowProgramName});
    CatchInterrupt();
    for (const CommandEntry& entry : kRunners) {
        if (request.command == QLatin1String(entry.name)) {
            entry.run(session);
            break;
        }
    }
    session.disconnect();
    std::fflush(stdout);
    return session.exitStatus();
}

} // namespace orvalt::cli
