#include "cli/CliOptions.h"

#include "cli/CliRequest.h"

namespace orvalt::cli {

namespace {

QStringList words(const char* text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

CliOption option(const char* names, const char* valueName, const char* values, const char* commands,
                 const char* help)
{
    return CliOption{words(names), QString::fromLatin1(valueName), words(values), words(commands),
                     QString::fromLatin1(help)};
}

} // namespace

const QList<CliOption>& cliOptions()
{
    static const QList<CliOption> options = {
        option("port", "N", "1 2 3 4", "",
               "serial port %1, Com1..Com4 as set in Orvalt's window (default: the one chosen "
               "there)"),
        option("device", "PATH", "", "",
               "serial device to open instead of the port's stored device, or one on the network: "
               "rfc2217://HOST:PORT or tcp://HOST:PORT"),
        option("baud", "N", "9600 19200 38400 57600 115200", "", "the line's speed, %1"),
        option("parity", "P", "none even odd", "", "the line's parity, %1"),
        option("stop-bits", "N", "1 2", "", "the line's stop bits, %1"),
        option("flow", "F", "none hardware", "", "the line's flow control, %1"),
        option("yes", "", "", "", "replace existing targets without asking"),
        option("no-clobber", "", "", "", "keep existing targets and go on"),
        option("q quiet", "", "", "", "no progress line"),
        option("v verbose", "", "", "get put sync",
               "tell each file as it is copied, and what was skipped and why"),
        option("progress-lines", "", "", "",
               "progress as plain lines, one a second at most, also into a log"),
        option("format", "FORMAT", "text tsv json", "ls info",
               "the output, %1: text as the panes show it, tsv one entry a line (exact bytes, ISO 8601 "
               "dates, names escaped) or a JSON document"),
        option("r", "", "", "get put rm", "copy or delete folders with everything in them"),
        option("n dry-run", "", "", "sync", "tell what would be done, do nothing"),
        option("delete", "", "", "sync", "delete host files and folders the instrument does not hold"),
        option("remove-source", "", "", "sync", "remove from the instrument what is safely on the host"),
        option("all", "", "", "sync", "every instrument of the instruments file, one after the other"),
        option("parallel", "", "", "sync", "every instrument at once, each on its own port"),
        option("instruments", "FILE", "", "sync",
               "the instruments file (default: $XDG_CONFIG_HOME/Orvalt/instruments.ini)"),
        option("instrument", "NAME", "", "sync", "with --all: only the instrument of section NAME"),
        option("report", "FILE", "", "sync", "append what the run did to FILE, one JSON object a line"),
        option("h help", "", "", "", "print this help and exit"),
        option("version", "", "", "", "print the version and exit"),
    };
    return options;
}

const CliOption* cliOption(const QString& name)
{
    for (const CliOption& o : cliOptions())
        if (o.names.contains(name))
            return &o;
    return nullptr;
}

QString dashed(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

QString optionSynopsis(const CliOption& option)
{
    QStringList forms;
    for (const QString& name : option.names)
        forms << dashed(name);
    QString synopsis = forms.join(QStringLiteral(", "));
    if (!option.valueName.isEmpty())
        synopsis += QLatin1Char(' ') + option.valueName;
    return synopsis;
}

const QList<CliExitStatus>& cliExitStatuses()
{
    static const QList<CliExitStatus> statuses = {
        {kExitDone, QStringLiteral("everything asked was done")},
        {kExitFailed, QStringLiteral("something failed (told on standard error), a question was answered "
                                     "Cancel, Ctrl+C stopped the run, or the output could not be written")},
        {kExitUsage, QStringLiteral("a wrong command line, or an instruments file or section that cannot be "
                                    "used; nothing was sent")},
        {kExitTempFail,
         QStringLiteral("the instrument did not answer, or its port is held by another program; "
                        "nothing was done: try again later")},
        {kExitInterrupted, QStringLiteral("a second Ctrl+C dropped the file in hand and ended the program")},
        {kExitReaderGone,
         QStringLiteral("cat: the reader of standard output went away before all was written")},
    };
    return statuses;
}

} // namespace orvalt::cli
