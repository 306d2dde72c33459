#include "cli/CliRequest.h"

#include "OrvaltVersion.h"
#include "core/SerialSettings.h"

#include <QCommandLineParser>

namespace orvalt::cli {

namespace {

struct CommandForm
{
    const char* name;
    int minArguments;
    int maxArguments; // -1: no limit
    bool takesRecursive;
};

const CommandForm kCommands[] = {
    {"info", 0, 0, false},   {"ls", 1, 1, false},   {"get", 2, -1, true}, {"put", 2, -1, true},
    {"cp", 2, 2, false},     {"mv", 2, 2, false},   {"rm", 1, -1, true},  {"mkdir", 1, 1, false},
    {"format", 1, 1, false}, {"sync", 0, 2, false},
};

const CommandForm* formOf(const QString& command)
{
    for (const CommandForm& form : kCommands)
        if (command == QLatin1String(form.name))
            return &form;
    return nullptr;
}

// The position of a word in a fixed list of words (compared without regard to case), or nothing.
std::optional<int> positionOf(const QString& word, const QStringList& words)
{
    for (int i = 0; i < words.size(); ++i)
        if (word.compare(words.at(i), Qt::CaseInsensitive) == 0)
            return i;
    return std::nullopt;
}

std::optional<int> speedPosition(const QString& text)
{
    bool ok = false;
    const int baud = text.toInt(&ok);
    const auto& speeds = SerialSettings::speedList();
    for (int i = 0; ok && i < speeds.size(); ++i)
        if (speeds.at(i).lineValue == baud)
            return i;
    return std::nullopt;
}

CliParse wrong(const QString& error)
{
    CliParse parse;
    parse.error = error;
    return parse;
}

bool readRemote(const QString& text, QList<RemotePath>& remotes, QString* error)
{
    QString why;
    const std::optional<RemotePath> path = parseRemotePath(text, &why);
    if (!path) {
        *error = QStringLiteral("not a remote path: %1 (%2)").arg(text, why);
        return false;
    }
    remotes.append(*path);
    return true;
}

// Which arguments of a command are remote paths and which host paths, and what each command
// refuses before anything is sent.
bool readArguments(CliRequest& request, const QStringList& arguments, QString* error)
{
    const QString& c = request.command;
    QStringList remote;
    if (c == QLatin1String("get")) {
        remote = arguments.mid(0, arguments.size() - 1);
        request.locals = {arguments.constLast()};
    } else if (c == QLatin1String("sync")) {
        // With --all each instrument's folders come from the instruments file.
        if (arguments.size() != (request.all ? 0 : 2)) {
            *error = request.all ? QStringLiteral("sync --all takes no REMOTE and LOCAL: each instrument's "
                                                  "come from the instruments file")
                                 : QStringLiteral("sync: wrong number of arguments");
            return false;
        }
        if (request.all)
            return true;
        remote = {arguments.constFirst()};
        request.locals = {arguments.constLast()};
    } else if (c == QLatin1String("put")) {
        request.locals = arguments.mid(0, arguments.size() - 1);
        remote = {arguments.constLast()};
    } else {
        remote = arguments;
    }
    for (const QString& local : std::as_const(request.locals)) {
        if (local.isEmpty()) {
            *error = QStringLiteral("an empty host path");
            return false;
        }
    }
    for (const QString& text : std::as_const(remote))
        if (!readRemote(text, request.remotes, error))
            return false;

    // A medium's root is no item that could be copied, moved, deleted or made.
    const bool itemsOnly = c == QLatin1String("cp") || c == QLatin1String("mv") || c == QLatin1String("rm") ||
                           c == QLatin1String("mkdir");
    for (int i = 0; itemsOnly && i < request.remotes.size(); ++i) {
        const bool targetMayBeRoot = i == 1 && (c == QLatin1String("cp") || c == QLatin1String("mv"));
        if (request.remotes.at(i).isRoot() && !targetMayBeRoot) {
            *error = QStringLiteral("%1 acts on a file or folder, not on a whole medium: %2")
                         .arg(c, request.remotes.at(i).path());
            return false;
        }
    }
    if (c == QLatin1String("mv") && request.remotes.at(0).medium != request.remotes.at(1).medium) {
        // "MOV " names one medium: a move stays on it.
        *error = QStringLiteral("mv moves inside one medium; use cp and rm between media");
        return false;
    }
    if (c == QLatin1String("format")) {
        if (!request.remotes.at(0).isRoot()) {
            *error = QStringLiteral("format takes a medium such as M:, not %1").arg(remote.constFirst());
            return false;
        }
        if (request.existing != ExistingTarget::Replace) {
            *error = QStringLiteral("format erases the whole medium: it runs only with --yes");
            return false;
        }
    }
    return true;
}

} // namespace

QString cliUsage()
{
    return QStringLiteral(
        "Usage: orvalt-cli [--port 1-4 | --device PATH] [--baud N] [--parity none|even|odd]\n"
        "                  [--stop-bits 1|2] [--flow none|hardware] [--yes | --no-clobber] [--quiet]\n"
        "                  COMMAND ARGS\n"
        "\n"
        "Moves files between this computer and the measuring instrument on the serial line.\n"
        "\n"
        "Commands:\n"
        "  info                      model, media, long-name support\n"
        "  ls REMOTE                 the entries of an instrument folder, one row each\n"
        "  get [-r] REMOTE... LOCAL  files (with -r also folders) from the instrument into a\n"
        "                            host folder, or one file to a host file\n"
        "  put [-r] LOCAL... REMOTE  files (with -r also folders) from the host into an\n"
        "                            instrument folder\n"
        "  sync [-n] [--delete] [--remove-source] REMOTE LOCAL\n"
        "                            fetch into a host folder what is new or changed in an\n"
        "                            instrument folder, with the instrument's dates\n"
        "  sync --all [--parallel] [--instruments FILE] [-n] [--delete] [--remove-source]\n"
        "                            the same for every instrument of the instruments file\n"
        "  cp SRC DST                copy inside the instrument\n"
        "  mv OLD NEW                move or rename inside one medium\n"
        "  rm [-r] REMOTE...         delete files (with -r also folders)\n"
        "  mkdir REMOTE              make a folder\n"
        "  format MEDIUM             erase a whole medium (only with --yes)\n"
        "\n"
        "Remote paths: a medium code, then the folders, \"\\\"-separated: M:\\DATA\\A.DAT (M: INT MEM,\n"
        "1: Card 1, 2: Card 2, D: FD). Quote them in the shell.\n"
        "\n"
        "Options:\n"
        "  --port N          serial port Com1..Com4 as set in Orvalt's window (default: the one chosen)\n"
        "  --device PATH     serial device to open instead of the port's stored device\n"
        "  --baud N          9600, 19200, 38400, 57600 or 115200\n"
        "  --parity P        none, even or odd\n"
        "  --stop-bits N     1 or 2\n"
        "  --flow F          none or hardware\n"
        "  --yes             replace existing targets without asking\n"
        "  --no-clobber      keep existing targets and go on\n"
        "  --quiet           no progress line\n"
        "  --progress-lines  progress as plain lines, one a second at most, also into a log\n"
        "  -r                copy or delete folders with everything in them\n"
        "  -n, --dry-run     sync: tell what would be done, do nothing\n"
        "  --delete          sync: delete host files and folders the instrument does not hold\n"
        "  --remove-source   sync: remove from the instrument what is safely on the host\n"
        "  --all             sync: every instrument of the instruments file, one after the other\n"
        "  --parallel        sync: every instrument at once, each on its own port\n"
        "  --instruments FILE  sync: the instruments file (default:\n"
        "                    $XDG_CONFIG_HOME/Orvalt/instruments.ini)\n"
        "  --version         print the version and exit\n"
        "\n"
        "Settings not given here are those Orvalt's window keeps. Exit status: 0 all done, 1 something\n"
        "failed (told on standard error), 2 a wrong command line.\n");
}

CliParse parseCliArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption recursive(QStringLiteral("r"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("N"));
    const QCommandLineOption device(QStringLiteral("device"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption baud(QStringLiteral("baud"), QString(), QStringLiteral("N"));
    const QCommandLineOption parity(QStringLiteral("parity"), QString(), QStringLiteral("P"));
    const QCommandLineOption stopBits(QStringLiteral("stop-bits"), QString(), QStringLiteral("N"));
    const QCommandLineOption flow(QStringLiteral("flow"), QString(), QStringLiteral("F"));
    const QCommandLineOption yes(QStringLiteral("yes"));
    const QCommandLineOption noClobber(QStringLiteral("no-clobber"));
    const QCommandLineOption quiet(QStringLiteral("quiet"));
    const QCommandLineOption progressLines(QStringLiteral("progress-lines"));
    const QCommandLineOption dryRun(QStringList{QStringLiteral("n"), QStringLiteral("dry-run")});
    const QCommandLineOption deleteExtra(QStringLiteral("delete"));
    const QCommandLineOption removeSource(QStringLiteral("remove-source"));
    const QCommandLineOption all(QStringLiteral("all"));
    const QCommandLineOption parallel(QStringLiteral("parallel"));
    const QCommandLineOption instruments(QStringLiteral("instruments"), QString(), QStringLiteral("FILE"));
    parser.addOptions({help, version, recursive, port, device, baud, parity, stopBits, flow, yes, noClobber,
                       quiet, progressLines, dryRun, deleteExtra, removeSource, all, parallel, instruments});

    if (!parser.parse(QStringList{QStringLiteral("orvalt-cli")} + arguments))
        return wrong(parser.errorText());
    if (parser.isSet(help)) {
        CliParse parse;
        parse.helpText = cliUsage();
        return parse;
    }
    if (parser.isSet(version)) {
        CliParse parse;
        parse.helpText = QStringLiteral("orvalt-cli %1\n").arg(QStringLiteral(ORVALT_VERSION));
        return parse;
    }

    CliRequest request;
    if (parser.isSet(port) && parser.isSet(device))
        return wrong(QStringLiteral("give --port or --device, not both"));
    if (parser.isSet(port)) {
        bool ok = false;
        const int n = parser.value(port).toInt(&ok);
        if (!ok || n < SerialSettings::kFirstPort || n > SerialSettings::kLastReadPort)
            return wrong(QStringLiteral("--port takes 1, 2, 3 or 4"));
        request.port = n;
    }
    if (parser.isSet(device)) {
        const QString d = parser.value(device).trimmed();
        // The same test as a device typed in the window's serial settings.
        if (d.isEmpty() || SerialSettings::usableDevice(d, SerialSettings::kFirstPort) != d)
            return wrong(QStringLiteral("--device takes the path of a serial device"));
        request.device = d;
    }
    if (parser.isSet(baud) && !(request.speed = speedPosition(parser.value(baud))))
        return wrong(QStringLiteral("--baud takes 9600, 19200, 38400, 57600 or 115200"));
    if (parser.isSet(parity) &&
        !(request.parity = positionOf(
              parser.value(parity), {QStringLiteral("none"), QStringLiteral("even"), QStringLiteral("odd")})))
        return wrong(QStringLiteral("--parity takes none, even or odd"));
    if (parser.isSet(stopBits) &&
        !(request.stopBits = positionOf(parser.value(stopBits), {QStringLiteral("1"), QStringLiteral("2")})))
        return wrong(QStringLiteral("--stop-bits takes 1 or 2"));
    if (parser.isSet(flow) &&
        !(request.handShake =
              positionOf(parser.value(flow), {QStringLiteral("none"), QStringLiteral("hardware")})))
        return wrong(QStringLiteral("--flow takes none or hardware"));
    if (parser.isSet(yes) && parser.isSet(noClobber))
        return wrong(QStringLiteral("give --yes or --no-clobber, not both"));
    if (parser.isSet(yes))
        request.existing = ExistingTarget::Replace;
    else if (parser.isSet(noClobber))
        request.existing = ExistingTarget::Keep;
    request.quiet = parser.isSet(quiet);
    request.progressLines = parser.isSet(progressLines);

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return wrong(QStringLiteral("no command given"));
    request.command = positional.constFirst();
    const CommandForm* form = formOf(request.command);
    if (!form)
        return wrong(QStringLiteral("unknown command: %1").arg(request.command));
    const QStringList rest = positional.mid(1);
    if (rest.size() < form->minArguments || (form->maxArguments >= 0 && rest.size() > form->maxArguments))
        return wrong(QStringLiteral("%1: wrong number of arguments").arg(request.command));
    request.recursive = parser.isSet(recursive);
    if (request.recursive && !form->takesRecursive)
        return wrong(QStringLiteral("-r goes with get, put and rm only"));

    request.dryRun = parser.isSet(dryRun);
    request.deleteExtra = parser.isSet(deleteExtra);
    request.removeSource = parser.isSet(removeSource);
    if ((request.dryRun || request.deleteExtra || request.removeSource) &&
        request.command != QLatin1String("sync"))
        return wrong(QStringLiteral("-n, --delete and --remove-source go with sync only"));
    // Together they empty both sides over two runs: the first removes from the instrument what it
    // fetched, the second deletes those files on the host as gone from the instrument.
    if (request.deleteExtra && request.removeSource)
        return wrong(QStringLiteral("give --delete or --remove-source, not both: files moved home by "
                                    "--remove-source are gone from the instrument, and the next --delete "
                                    "would delete them on the host"));
    // --parallel is --all side by side.
    request.parallel = parser.isSet(parallel);
    request.all = parser.isSet(all) || request.parallel;
    request.instrumentsFile = parser.value(instruments);
    if ((request.all || parser.isSet(instruments)) && request.command != QLatin1String("sync"))
        return wrong(QStringLiteral("--all, --parallel and --instruments go with sync only"));
    if (parser.isSet(instruments) && !request.all)
        return wrong(QStringLiteral("--instruments goes with --all or --parallel"));
    if (parser.isSet(instruments) && request.instrumentsFile.isEmpty())
        return wrong(QStringLiteral("--instruments takes the path of a file"));
    // Each instrument's line is the one its section names; one line for all would put two
    // instruments on one port.
    if (request.all && (request.port || request.device || request.speed || request.parity ||
                        request.stopBits || request.handShake))
        return wrong(QStringLiteral("sync --all takes each instrument's port and line settings from the "
                                    "instruments file"));

    QString error;
    if (!readArguments(request, rest, &error))
        return wrong(error);
    CliParse parse;
    parse.request = request;
    return parse;
}

} // namespace orvalt::cli
