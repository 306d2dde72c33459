#include "cli/CliRequest.h"

#include "OrvaltVersion.h"
#include "cli/CliOptions.h"
#include "core/SerialSettings.h"
#include "link/NetworkDevice.h"

#include <QCommandLineParser>

namespace orvalt::cli {

namespace {

struct CommandForm
{
    const char* name;
    int minArguments;
    int maxArguments; // -1: no limit
};

const CommandForm kCommands[] = {
    {"info", 0, 0}, {"ls", 1, 1},    {"get", 2, -1},   {"put", 2, -1}, {"cp", 2, 2},   {"mv", 2, 2},
    {"rm", 1, -1},  {"mkdir", 1, 1}, {"format", 1, 1}, {"sync", 0, 2}, {"cat", 1, -1},
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

// "a, b or c".
QString oneOf(const QStringList& words)
{
    return words.size() < 2 ? words.join(QString())
                            : words.mid(0, words.size() - 1).join(QStringLiteral(", ")) +
                                  QStringLiteral(" or ") + words.constLast();
}

// A term of --help and its text, the text wrapped within 79 columns beside the term, or under it
// when the term is too long to leave room.
QString helpLines(const QString& term, const QString& text, qsizetype textColumn = 22)
{
    constexpr qsizetype kWidth = 79;
    QString lines = term.size() < textColumn - 1
                        ? term.leftJustified(textColumn)
                        : term + QLatin1Char('\n') + QString(textColumn, QLatin1Char(' '));
    qsizetype column = textColumn;
    bool first = true;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!first && column + 1 + word.size() > kWidth) {
            lines += QLatin1Char('\n') + QString(textColumn, QLatin1Char(' '));
            column = textColumn;
            first = true;
        }
        if (!first) {
            lines += QLatin1Char(' ');
            ++column;
        }
        lines += word;
        column += word.size();
        first = false;
    }
    return lines + QLatin1Char('\n');
}

// Why a value is refused: "--parity takes none, even or odd".
QString takes(const char* name)
{
    const CliOption* option = cliOption(QLatin1String(name));
    return QStringLiteral("%1 takes %2").arg(dashed(QLatin1String(name)), oneOf(option->values));
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
                           c == QLatin1String("mkdir") || c == QLatin1String("cat");
    for (int i = 0; itemsOnly && i < request.remotes.size(); ++i) {
        const bool targetMayBeRoot = i == 1 && (c == QLatin1String("cp") || c == QLatin1String("mv"));
        if (request.remotes.at(i).isRoot() && !targetMayBeRoot) {
            *error = c == QLatin1String("cat")
                         ? QStringLiteral("cat reads files, not a whole medium: %1")
                               .arg(request.remotes.at(i).path())
                         : QStringLiteral("%1 acts on a file or folder, not on a whole medium: %2")
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

QStringList cliCommands()
{
    QStringList names;
    for (const CommandForm& form : kCommands)
        names << QLatin1String(form.name);
    return names;
}

QString cliUsage()
{
    QString usage =
        QStringLiteral("Usage: orvalt-cli [OPTION]... COMMAND [ARGUMENT]...\n"
                       "\n"
                       "Moves files between this computer and the measuring instrument on the serial\n"
                       "line.\n"
                       "\n"
                       "Commands:\n"
                       "  info                      model, media, long-name support\n"
                       "  ls REMOTE                 the entries of an instrument folder, one row each\n"
                       "  get [-r] REMOTE... LOCAL  files (with -r also folders) from the instrument\n"
                       "                            into a host folder that is there, or one item under\n"
                       "                            the name LOCAL\n"
                       "  put [-r] LOCAL... REMOTE  files (with -r also folders) from the host into an\n"
                       "                            instrument folder\n"
                       "  sync [-n] [--delete] [--remove-source] REMOTE LOCAL\n"
                       "                            fetch into a host folder what is new or changed in\n"
                       "                            an instrument folder, with the instrument's dates\n"
                       "  sync --all [--parallel] [--instruments FILE] [--instrument NAME] [-n]\n"
                       "       [--delete] [--remove-source]\n"
                       "                            the same for every instrument of the instruments\n"
                       "                            file, or for the one of section NAME\n"
                       "  cp SRC DST                copy inside the instrument\n"
                       "  mv OLD NEW                move or rename inside one medium\n"
                       "  rm [-r] REMOTE...         delete files (with -r also folders)\n"
                       "  mkdir REMOTE              make a folder\n"
                       "  format MEDIUM             erase a whole medium (only with --yes)\n"
                       "  cat REMOTE...             instrument files to standard output, byte for byte\n"
                       "\n"
                       "Remote paths: a medium code, then the folders, \"\\\"-separated: M:\\DATA\\A.DAT\n"
                       "(M: INT MEM, 1: Card 1, 2: Card 2, D: FD). Quote them in the shell.\n"
                       "\n"
                       "Options:\n");
    // Each option's help stands beside its synopsis, or under it when the synopsis is long; an
    // option of some commands only names them, and one of a few values lists them.
    for (const CliOption& option : cliOptions()) {
        QString help = option.help;
        if (!option.commands.isEmpty())
            help.prepend(option.commands.join(QStringLiteral(", ")) + QStringLiteral(": "));
        if (!option.values.isEmpty())
            help = help.arg(oneOf(option.values));
        usage += helpLines(QStringLiteral("  ") + optionSynopsis(option), help);
    }
    usage += QStringLiteral("\nSettings not given here are those Orvalt's window keeps.\n\nExit status:\n");
    for (const CliExitStatus& status : cliExitStatuses())
        usage += helpLines(QStringLiteral("  %1").arg(status.code, 3), status.meaning, 7);
    return usage;
}

CliParse parseCliArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const CliOption& option : cliOptions())
        parser.addOption(QCommandLineOption(option.names, QString(), option.valueName));
    const auto isSet = [&parser](const char* name) {
        return parser.isSet(QLatin1String(name));
    };
    const auto value = [&parser](const char* name) {
        return parser.value(QLatin1String(name));
    };

    if (!parser.parse(QStringList{QStringLiteral("orvalt-cli")} + arguments))
        return wrong(parser.errorText());
    if (isSet("help")) {
        CliParse parse;
        parse.helpText = cliUsage();
        return parse;
    }
    if (isSet("version")) {
        CliParse parse;
        parse.helpText = QStringLiteral("orvalt-cli %1\n").arg(QStringLiteral(ORVALT_VERSION));
        return parse;
    }

    CliRequest request;
    if (isSet("port") && isSet("device"))
        return wrong(QStringLiteral("give --port or --device, not both"));
    if (isSet("port")) {
        bool ok = false;
        const int n = value("port").toInt(&ok);
        if (!ok || n < SerialSettings::kFirstPort || n > SerialSettings::kLastReadPort)
            return wrong(takes("port"));
        request.port = n;
    }
    if (isSet("device")) {
        const QString d = value("device").trimmed();
        // The same test as a device typed in the window's serial settings.
        if (d.isEmpty() || SerialSettings::usableDevice(d, SerialSettings::kFirstPort) != d)
            return wrong(QStringLiteral("--device takes the path of a serial device"));
        if (link::isNetworkDevice(d) && !link::parseNetworkDevice(d))
            return wrong(QStringLiteral("--device takes a device on the network as rfc2217://HOST:PORT or "
                                        "tcp://HOST:PORT, the port included"));
        request.device = d;
    }
    // The values of the table are the lists' positions, in order.
    const auto position = [&](const char* name) {
        return positionOf(value(name), cliOption(QLatin1String(name))->values);
    };
    if (isSet("baud") && !(request.speed = speedPosition(value("baud"))))
        return wrong(takes("baud"));
    if (isSet("parity") && !(request.parity = position("parity")))
        return wrong(takes("parity"));
    if (isSet("stop-bits") && !(request.stopBits = position("stop-bits")))
        return wrong(takes("stop-bits"));
    if (isSet("flow") && !(request.handShake = position("flow")))
        return wrong(takes("flow"));
    if (isSet("format")) {
        const std::optional<int> format = position("format");
        if (!format)
            return wrong(takes("format"));
        request.format = static_cast<OutputFormat>(*format);
    }
    if (isSet("yes") && isSet("no-clobber"))
        return wrong(QStringLiteral("give --yes or --no-clobber, not both"));
    if (isSet("yes"))
        request.existing = ExistingTarget::Replace;
    else if (isSet("no-clobber"))
        request.existing = ExistingTarget::Keep;
    request.quiet = isSet("quiet");
    request.verbose = isSet("verbose");
    request.progressLines = isSet("progress-lines");

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
    for (const CliOption& option : cliOptions()) {
        if (!option.commands.isEmpty() && !option.commands.contains(request.command) &&
            parser.isSet(option.names.constLast()))
            return wrong(QStringLiteral("%1 goes with %2 only")
                             .arg(dashed(option.names.constLast()), oneOf(option.commands)));
    }
    request.recursive = isSet("r");
    request.dryRun = isSet("dry-run");
    request.deleteExtra = isSet("delete");
    request.removeSource = isSet("remove-source");
    // Together they empty both sides over two runs: the first removes from the instrument what it
    // fetched, the second deletes those files on the host as gone from the instrument.
    if (request.deleteExtra && request.removeSource)
        return wrong(QStringLiteral("give --delete or --remove-source, not both: files moved home by "
                                    "--remove-source are gone from the instrument, and the next --delete "
                                    "would delete them on the host"));
    // --parallel is --all side by side.
    request.parallel = isSet("parallel");
    request.all = isSet("all") || request.parallel;
    request.instrumentsFile = value("instruments");
    if (isSet("instruments") && !request.all)
        return wrong(QStringLiteral("--instruments goes with --all or --parallel"));
    if (isSet("instruments") && request.instrumentsFile.isEmpty())
        return wrong(QStringLiteral("--instruments takes the path of a file"));
    request.instrument = value("instrument");
    if (isSet("instrument") && !request.all)
        return wrong(QStringLiteral("--instrument goes with --all"));
    if (isSet("instrument") && request.instrument.isEmpty())
        return wrong(QStringLiteral("--instrument takes the name of a section of the instruments file"));
    request.reportFile = value("report");
    if (isSet("report") && request.reportFile.isEmpty())
        return wrong(QStringLiteral("--report takes the path of a file"));
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
