// The command line of orvalt-cli as it is read, before anything reaches a line: remote paths, the
// refusals that end in exit status 2, the options, and the forms the console shows.

#include "cli/CliCommands.h"
#include "cli/CliFormats.h"
#include "cli/CliOptions.h"
#include "cli/CliRequest.h"
#include "cli/CliSession.h"
#include "cli/ConsoleDialogs.h"
#include "cli/RemotePath.h"
#include "support/TestMain.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace orvalt::cli;

namespace {

QString sourceFile(const char* path)
{
    QFile file(QStringLiteral(ORVALT_SOURCE_DIR "/") + QLatin1String(path));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QSet<QString> setOf(const QStringList& words)
{
    return QSet<QString>(words.cbegin(), words.cend());
}

// Every form of the options that go with a command ("" before any command: those of all).
QSet<QString> formsFor(const QString& command)
{
    QSet<QString> forms;
    for (const CliOption& option : cliOptions())
        if (option.commands.isEmpty() || option.commands.contains(command))
            for (const QString& name : option.names)
                forms << dashed(name);
    return forms;
}

// What the bash completion offers for each line (the words typed, the last one being completed),
// one answer a line. bash-completion's helpers are stood in for: the words are split as typed.
QStringList completions(const QList<QStringList>& lines)
{
    QString script =
        QStringLiteral("_init_completion() { cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]};"
                       " words=(\"${COMP_WORDS[@]}\"); cword=$COMP_CWORD; }\n"
                       "_filedir() { :; }\n__ltrim_colon_completions() { :; }\n"
                       "complete() { :; }\n"
                       ". '" ORVALT_SOURCE_DIR "/packaging/completion/orvalt-cli'\n"
                       "ask() { COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); COMPREPLY=(); _orvalt_cli;"
                       " echo \"${COMPREPLY[*]}\"; }\n");
    for (const QStringList& words : lines) {
        script += QStringLiteral("ask orvalt-cli");
        for (const QString& word : words)
            script += QStringLiteral(" '") + word + QLatin1Char('\'');
        script += QLatin1Char('\n');
    }
    QProcess bash;
    bash.start(QStringLiteral("bash"), {QStringLiteral("-c"), script});
    if (!bash.waitForFinished(30000) || bash.exitCode() != 0)
        return {QString::fromLocal8Bit(bash.readAllStandardError())};
    return QString::fromLocal8Bit(bash.readAllStandardOutput()).split(QLatin1Char('\n'));
}

} // namespace

class CliArgumentsTest : public QObject
{
    Q_OBJECT

private slots:
    void remotePaths_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("path");     // as the commands name it
        QTest::addColumn<QString>("panePath"); // as a pane keeps the folder
        QTest::addRow("file") << "M:\\DATA\\A.DAT" << true << "M:\\DATA\\A.DAT"
                              << "\\DATA\\A.DAT";
        QTest::addRow("root bare") << "M:" << true << "M:\\"
                                   << "\\";
        QTest::addRow("root") << "1:\\" << true << "1:\\"
                              << "\\";
        QTest::addRow("final backslash") << "D:\\DATA\\" << true << "D:\\DATA"
                                         << "\\DATA";
        QTest::addRow("long name with blank") << "M:\\My data.csv" << true << "M:\\My data.csv"
                                              << "\\My data.csv";
        QTest::addRow("Latin-1") << QString::fromUtf8("M:\\Mess\u00e9.DAT") << true
                                 << QString::fromUtf8("M:\\Mess\u00e9.DAT")
                                 << QString::fromUtf8("\\Mess\u00e9.DAT");
        QTest::addRow("no medium") << "\\DATA" << false << ""
                                   << "";
        QTest::addRow("no colon") << "M\\DATA" << false << ""
                                  << "";
        QTest::addRow("no separator") << "M:DATA" << false << ""
                                      << "";
        QTest::addRow("empty") << "" << false << ""
                               << "";
        QTest::addRow("empty name") << "M:\\A\\\\B" << false << ""
                                    << "";
        QTest::addRow("two finals") << "M:\\A\\\\" << false << ""
                                    << "";
        QTest::addRow("dot dot") << "M:\\A\\..\\B" << false << ""
                                 << "";
        QTest::addRow("dot") << "M:\\." << false << ""
                             << "";
        QTest::addRow("slash") << "M:\\A/B" << false << ""
                               << "";
        QTest::addRow("comma") << "M:\\A,B.DAT" << false << ""
                               << "";
        QTest::addRow("control") << "M:\\A\nB" << false << ""
                                 << "";
        QTest::addRow("outside Latin-1") << QString::fromUtf8("M:\\\u6e2c\u5b9a.DAT") << false << ""
                                         << "";
        QTest::addRow("separator as medium") << "\\:\\A" << false << ""
                                             << "";
        QTest::addRow("too long") << QStringLiteral("M:\\") + QString(kMaxRemotePath, QLatin1Char('A'))
                                  << false << ""
                                  << "";
    }

    void remotePaths()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, path);
        QFETCH(QString, panePath);
        QString why;
        const auto parsed = parseRemotePath(text, &why);
        QCOMPARE(parsed.has_value(), valid);
        if (!valid) {
            QVERIFY(!why.isEmpty());
            return;
        }
        QCOMPARE(parsed->path(), path);
        QCOMPARE(parsed->panePath(), panePath);
        // The path read again is the same path: nothing is lost or added on the way.
        QCOMPARE(parseRemotePath(parsed->path(), nullptr)->path(), path);
    }

    void pathHelpers()
    {
        const RemotePath file = *parseRemotePath(QStringLiteral("M:\\DATA\\SUB\\A.DAT"), nullptr);
        QCOMPARE(file.name(), QStringLiteral("A.DAT"));
        QCOMPARE(file.parent().path(), QStringLiteral("M:\\DATA\\SUB"));
        QCOMPARE(file.parent().folderPath(), QStringLiteral("M:\\DATA\\SUB\\"));
        QCOMPARE(file.parent().parent().parent().path(), QStringLiteral("M:\\"));
        QCOMPARE(file.parent().parent().parent().folderPath(), QStringLiteral("M:\\"));
        QVERIFY(file.parent().parent().parent().isRoot());
        QCOMPARE(file.parent().parent().parent().parent().path(), QStringLiteral("M:\\"));
        QCOMPARE(file.parent().child(QStringLiteral("B.DAT")).path(), QStringLiteral("M:\\DATA\\SUB\\B.DAT"));
    }

    void wrongCommandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error"); // a part of the reason given
        QTest::addRow("nothing") << QStringList() << "no command";
        QTest::addRow("unknown command") << QStringList{"list", "M:\\"} << "unknown command";
        QTest::addRow("unknown option") << QStringList{"--speed", "9600", "info"} << "speed";
        QTest::addRow("malformed remote") << QStringList{"ls", "M\\DATA"} << "not a remote path";
        QTest::addRow("malformed among several")
            << QStringList{"get", "M:\\A.DAT", "M:B.DAT", "."} << "M:B.DAT";
        QTest::addRow("malformed put target") << QStringList{"put", "a.dat", "DATA"} << "not a remote path";
        QTest::addRow("ls without path") << QStringList{"ls"} << "wrong number";
        QTest::addRow("get without local") << QStringList{"get", "M:\\A.DAT"} << "wrong number";
        QTest::addRow("cp of three") << QStringList{"cp", "M:\\A", "M:\\B", "M:\\C"} << "wrong number";
        QTest::addRow("info with argument") << QStringList{"info", "M:"} << "wrong number";
        QTest::addRow("-r with cp") << QStringList{"cp", "-r", "M:\\A", "M:\\B"} << "-r";
        QTest::addRow("port and device")
            << QStringList{"--port", "1", "--device", "/dev/null", "info"} << "not both";
        QTest::addRow("port 5") << QStringList{"--port", "5", "info"} << "--port";
        QTest::addRow("port text") << QStringList{"--port", "one", "info"} << "--port";
        QTest::addRow("baud off the list") << QStringList{"--baud", "4800", "info"} << "--baud";
        QTest::addRow("parity mark") << QStringList{"--parity", "mark", "info"} << "--parity";
        QTest::addRow("stop bits 3") << QStringList{"--stop-bits", "3", "info"} << "--stop-bits";
        QTest::addRow("flow xon") << QStringList{"--flow", "xon", "info"} << "--flow";
        QTest::addRow("device empty") << QStringList{"--device", " ", "info"} << "--device";
        QTest::addRow("yes and no-clobber") << QStringList{"--yes", "--no-clobber", "info"} << "not both";
        QTest::addRow("format without yes") << QStringList{"format", "M:"} << "--yes";
        QTest::addRow("format of a folder") << QStringList{"--yes", "format", "M:\\DATA"} << "medium";
        QTest::addRow("mv across media") << QStringList{"mv", "M:\\A.DAT", "1:\\A.DAT"} << "one medium";
        QTest::addRow("rm of a medium") << QStringList{"rm", "-r", "M:\\"} << "whole medium";
        QTest::addRow("mkdir of a medium") << QStringList{"mkdir", "1:"} << "whole medium";
        QTest::addRow("cp from a medium") << QStringList{"cp", "M:", "1:\\"} << "whole medium";
        QTest::addRow("empty host path") << QStringList{"put", "", "M:\\"} << "empty host path";
        QTest::addRow("sync without local") << QStringList{"sync", "M:\\"} << "wrong number";
        // Files moved home are gone from the instrument; the next --delete would take them from the host.
        QTest::addRow("delete with remove-source")
            << QStringList{"sync", "--delete", "--remove-source", "M:\\", "x"} << "not both";
        QTest::addRow("delete with remove-source, all")
            << QStringList{"sync", "--all", "--remove-source", "--delete"} << "not both";
        QTest::addRow("sync --all with folders") << QStringList{"sync", "--all", "M:\\", "x"} << "no REMOTE";
        // Each instrument has its own port: one given for all would put them on one line.
        QTest::addRow("sync --all with a device")
            << QStringList{"--device", "/dev/null", "sync", "--all"} << "from the instruments file";
        QTest::addRow("sync --parallel with a baud")
            << QStringList{"--baud", "9600", "sync", "--parallel"} << "from the instruments file";
        QTest::addRow("--instruments alone")
            << QStringList{"--instruments", "x.ini", "sync", "M:\\", "x"} << "goes with --all";
        QTest::addRow("--instrument without --all")
            << QStringList{"sync", "--instrument", "lab1", "M:\\", "x"} << "--instrument goes with --all";
        QTest::addRow("--instrument empty")
            << QStringList{"sync", "--all", "--instrument="} << "name of a section";
        QTest::addRow("--all with get") << QStringList{"--all", "get", "M:\\A", "x"} << "sync only";
        QTest::addRow("-v with ls") << QStringList{"-v", "ls", "M:\\"}
                                    << "--verbose goes with get, put or sync only";
    }

    void wrongCommandLines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const CliParse parse = parseCliArguments(arguments);
        QVERIFY(!parse.request);
        QVERIFY(parse.helpText.isEmpty());
        QVERIFY2(parse.error.contains(error), qPrintable(parse.error));
    }

    void requests()
    {
        const CliParse get = parseCliArguments({"--port", "2", "--baud", "57600", "--parity", "EVEN",
                                                "--stop-bits", "2", "--flow", "hardware", "--no-clobber",
                                                "-qv", "get", "-r", "M:\\DATA", "1:\\LOG.TXT", "backup"});
        QVERIFY2(get.request, qPrintable(get.error));
        const CliRequest& r = *get.request;
        QCOMPARE(r.command, QStringLiteral("get"));
        QVERIFY(r.recursive);
        QCOMPARE(r.remotes.size(), 2);
        QCOMPARE(r.remotes.at(1).path(), QStringLiteral("1:\\LOG.TXT"));
        QCOMPARE(r.locals, QStringList{"backup"});
        QCOMPARE(r.port, std::optional<int>(2));
        QVERIFY(!r.device);
        QCOMPARE(r.speed, std::optional<int>(3)); // positions of the serial settings' lists
        QCOMPARE(r.parity, std::optional<int>(1));
        QCOMPARE(r.stopBits, std::optional<int>(1));
        QCOMPARE(r.handShake, std::optional<int>(1));
        QCOMPARE(r.existing, ExistingTarget::Keep);
        QVERIFY(r.quiet && r.verbose);

        // Options after the command, and "--" before a host path that looks like an option.
        const CliParse put =
            parseCliArguments({"put", "--device", "/dev/ttyUSB0", "--yes", "--", "-odd.dat", "M:"});
        QVERIFY2(put.request, qPrintable(put.error));
        QCOMPARE(put.request->locals, QStringList{"-odd.dat"});
        QCOMPARE(put.request->remotes.constFirst().path(), QStringLiteral("M:\\"));
        QCOMPARE(put.request->device, std::optional<QString>(QStringLiteral("/dev/ttyUSB0")));
        QCOMPARE(put.request->existing, ExistingTarget::Replace);
        QVERIFY(!put.request->speed && !put.request->parity && !put.request->port);

        const CliParse format = parseCliArguments({"--yes", "format", "D:"});
        QVERIFY2(format.request, qPrintable(format.error));

        const CliParse help = parseCliArguments({"--help"});
        QVERIFY(!help.request);
        QVERIFY(help.helpText.contains(QStringLiteral("format MEDIUM")));
    }

    void hostPaths()
    {
        QCOMPARE(hostPathOf(QStringLiteral("/")), QStringLiteral("\\"));
        QCOMPARE(hostPathOf(QStringLiteral("/tmp/x/../A.DAT")), QStringLiteral("\\tmp\\A.DAT"));
        QCOMPARE(hostPathOf(QStringLiteral("/tmp/dir/")), QStringLiteral("\\tmp\\dir"));
        const QString relative = hostPathOf(QStringLiteral("A.DAT"));
        QCOMPARE(relative, QDir::cleanPath(QDir::current().absoluteFilePath(QStringLiteral("A.DAT")))
                               .replace(QLatin1Char('/'), QLatin1Char('\\')));
        // A "\" inside a name cannot be told from a separator in the host path form.
        QCOMPARE(hostPathOf(QStringLiteral("/tmp/a\\b")), QString());
    }

    void listingRows()
    {
        QCOMPARE(listingRow(QStringLiteral("DATA"), true, QStringLiteral("2002/03/15 09:05:07"),
                            QStringLiteral("       1KB"), 8),
                 QStringLiteral("DATA      2002/03/15 09:05:07         1KB  <DIR>"));
        QCOMPARE(listingRow(QStringLiteral("A.B.C"), false, QStringLiteral("2002/03/15 09:05:07"),
                            QStringLiteral("      12KB"), 5),
                 QStringLiteral("A.B.C  2002/03/15 09:05:07        12KB  B.C"));
        QCOMPARE(listingRow(QStringLiteral("NOEXT"), false, QString(), QStringLiteral("x"), 5),
                 QStringLiteral("NOEXT    x"));
        QCOMPARE(listingRow(QStringLiteral("A\x1b[2J.DAT"), false, QString(), QString(), 0),
                 QStringLiteral("A\\x1b[2J.DAT      DAT"));
    }

    // The man page names every option the parser takes and no other, and the exit statuses.
    void manPageFollowsTheOptions()
    {
        QString page = sourceFile("packaging/man/orvalt-cli.1");
        QVERIFY(!page.isEmpty());
        page.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")));
        QSet<QString> documented;
        static const QRegularExpression optionWord(
            QStringLiteral("(?:^|[\\s\\[(|\"])((?:\\\\-){1,2}[a-z][a-z0-9]*(?:\\\\-[a-z0-9]+)*)"),
            QRegularExpression::MultilineOption);
        for (auto it = optionWord.globalMatch(page); it.hasNext();)
            documented << it.next().captured(1).replace(QStringLiteral("\\-"), QStringLiteral("-"));
        QSet<QString> taken = formsFor(QString());
        for (const QString& command : cliCommands())
            taken += formsFor(command);
        QCOMPARE(documented - taken, QSet<QString>());
        QCOMPARE(taken - documented, QSet<QString>());

        const QString exitSection = page.section(QStringLiteral(".SH EXIT STATUS"), 1).section(".SH ", 0, 0);
        QSet<int> codes;
        static const QRegularExpression code(QStringLiteral("^\\.B (\\d+)$"),
                                             QRegularExpression::MultilineOption);
        for (auto it = code.globalMatch(exitSection); it.hasNext();)
            codes << it.next().captured(1).toInt();
        QSet<int> statuses;
        for (const CliExitStatus& status : cliExitStatuses()) {
            statuses << status.code;
            QVERIFY(cliUsage().contains(QStringLiteral("\n  %1  ").arg(status.code, 3)));
        }
        QCOMPARE(codes, statuses);
    }

    // The bash completion offers, for each command, only options that go with it, and every one
    // of them by its long name; the values of an option are those the parser takes; and the word
    // after an option that takes a value is that value, not the command.
    void completionFollowsTheOptions()
    {
        QList<QStringList> lines{{""}, {"-"}};
        const QStringList commands = cliCommands();
        for (const QString& command : commands)
            lines.append({command, "-"});
        QList<const CliOption*> valued;
        for (const CliOption& option : cliOptions()) {
            if (option.valueName.isEmpty())
                continue;
            valued << &option;
            lines.append({dashed(option.names.constLast()), ""});
            lines.append({dashed(option.names.constLast()), "X", "sync", "-"});
        }
        const QStringList answers = completions(lines);
        QVERIFY2(answers.size() > lines.size(), qPrintable(answers.join(QLatin1Char('\n'))));
        int at = 0;
        QCOMPARE(setOf(answers.at(at++).split(QLatin1Char(' '))), setOf(commands));
        const auto checkOptions = [](const QString& command, const QString& answer) {
            const QSet<QString> offered = setOf(answer.split(QLatin1Char(' '), Qt::SkipEmptyParts));
            QVERIFY2((offered - formsFor(command)).isEmpty(),
                     qPrintable(command + QStringLiteral(": ") + answer));
            for (const CliOption& option : cliOptions())
                if (option.commands.isEmpty() || option.commands.contains(command))
                    QVERIFY2(
                        offered.contains(dashed(option.names.constLast())),
                        qPrintable(command + QStringLiteral(" lacks ") + dashed(option.names.constLast())));
        };
        checkOptions(QString(), answers.at(at++));
        for (const QString& command : commands)
            checkOptions(command, answers.at(at++));
        for (const CliOption* option : valued) {
            if (!option->values.isEmpty())
                QCOMPARE(answers.at(at).split(QLatin1Char(' ')), option->values);
            ++at;
            checkOptions(QStringLiteral("sync"), answers.at(at++));
        }
        // The speeds of the table are the serial settings' own.
        const CliParse fastest = parseCliArguments({"--baud", cliOption("baud")->values.constLast(), "info"});
        QVERIFY2(fastest.request && fastest.request->speed, qPrintable(fastest.error));
    }

    // The progress line within the terminal's width: the name shortened first, then the job's
    // figures dropped before the file's own, the last of those first.
    void progressLineFits_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("line");
        const QString figures = "  1,024 of 3,000 bytes  926 bytes/s  0:02 left";
        const QString job = "  (0 of 4 files, 19%)";
        QTest::addRow("all of it in 80") << "TRACE001.CSV" << 80 << "TRACE001.CSV" + figures + job;
        QTest::addRow("a long name shortened")
            << "Bridge_inspection_North_pier_2026_11.csv" << 80 << "...26_11.csv" + figures + job;
        QTest::addRow("the job dropped") << "TRACE001.CSV" << 60 << "TRACE001.CSV" + figures;
        QTest::addRow("the name shortened without the job")
            << "Bridge_inspection_North_pier_2026_11.csv" << 60 << "...026_11.csv" + figures;
        QTest::addRow("the time left dropped")
            << "TRACE001.CSV" << 50 << "TRACE001.CSV  1,024 of 3,000 bytes  926 bytes/s";
        QTest::addRow("the bytes alone") << "TRACE001.CSV" << 40 << "TRACE001.CSV  1,024 of 3,000 bytes";
        QTest::addRow("the name alone") << "TRACE001.CSV" << 20 << "TRACE001.CSV";
        QTest::addRow("the name cut") << "TRACE001.CSV" << 10 << "...01.CSV";
    }

    void progressLineFits()
    {
        QFETCH(QString, name);
        QFETCH(int, width);
        QFETCH(QString, line);
        const QString fitted = fitProgressLine(name, {"1,024 of 3,000 bytes", "926 bytes/s", "0:02 left"},
                                               "(0 of 4 files, 19%)", width);
        QCOMPARE(fitted, line);
        QVERIFY(fitted.size() < width);
    }

    void tsvFields_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("field");
        QTest::addRow("plain") << "North pier (2).csv"
                               << "North pier (2).csv";
        QTest::addRow("tab") << "A\tB"
                             << "A\\tB";
        QTest::addRow("line ends") << "A\r\nB"
                                   << "A\\r\\nB";
        QTest::addRow("backslash") << "A\\t"
                                   << "A\\\\t";
        QTest::addRow("escape") << "A\x1b[2J"
                                << "A\\x1b[2J";
        QTest::addRow("Latin-1") << QString::fromUtf8("Mess\u00e9") << QString::fromUtf8("Mess\u00e9");
    }

    void tsvFields()
    {
        QFETCH(QString, name);
        QFETCH(QString, field);
        QCOMPARE(tsvField(name), field);
    }

    void overwriteAnswers()
    {
        QCOMPARE(ConsoleDialogs::overwriteAnswerOf(QStringLiteral("y")), 0);
        QCOMPARE(ConsoleDialogs::overwriteAnswerOf(QStringLiteral(" Yes ")), 0);
        QCOMPARE(ConsoleDialogs::overwriteAnswerOf(QStringLiteral("a")), 1);
        QCOMPARE(ConsoleDialogs::overwriteAnswerOf(QStringLiteral("N")), 2);
        QCOMPARE(ConsoleDialogs::overwriteAnswerOf(QStringLiteral("cancel")), 3);
        QCOMPARE(ConsoleDialogs::overwriteAnswerOf(QString()), -1);
        QCOMPARE(ConsoleDialogs::overwriteAnswerOf(QStringLiteral("yy")), -1);
    }
};

ORVALT_TEST(CliArgumentsTest);

#include "CliArgumentsTest.moc"
