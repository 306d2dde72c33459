#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace orvalt::cli {

// The options of orvalt-cli and its exit statuses, in one table: the parser is built from it and
// --help is written from it; the man page and the bash completion are checked against it by the
// tests, so none of the four can drift from the others.
struct CliOption
{
    QStringList names;    // short and long, without dashes: {"q", "quiet"}
    QString valueName;    // "N", "FILE"; empty for an option without a value
    QStringList values;   // every value it takes, where they are few; empty for any
    QStringList commands; // the commands it goes with; empty for every command
    QString help;         // its text in --help, where %1 stands for the values
};

const QList<CliOption>& cliOptions();
// The option of that name (short or long); nullptr for none.
const CliOption* cliOption(const QString& name);

// How an option is written on a command line: "-q", "--quiet".
QString dashed(const QString& name);
// "-q, --quiet", "--baud N".
QString optionSynopsis(const CliOption& option);

struct CliExitStatus
{
    int code;
    QString meaning;
};

const QList<CliExitStatus>& cliExitStatuses();

} // namespace orvalt::cli
