// sync --all and --parallel: a shelf of instruments, each a section of the instruments file. Every
// instrument is synced by a run of orvalt-cli of its own, so that each keeps its own link, its own
// port lock, its own summary and its own exit status; the worst of them is this run's.

#include "cli/CliCommands.h"
#include "cli/CliRequest.h"
#include "cli/ConsoleDialogs.h"
#include "cli/ConsoleTerminal.h"
#include "core/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <memory>

namespace orvalt::cli {

namespace {

// The file is written by hand and read as untrusted: nothing in it may be larger than this.
constexpr qint64 kMaxShelfFileBytes = 64 * 1024;
constexpr int kMaxInstruments = 32;
constexpr int kMaxValueLength = 1024;

// The keys of a section that name the line: each is checked as the option of the same name is on
// the command line, and handed on as that option.
const char* const kLineKeys[] = {"device", "baud", "parity", "stop-bits", "flow"};

struct ShelfInstrument
{
    QString name;
    QStringList lineArguments; // --device=..., --baud=..., ...
    QString remote;
    QString local;
};

QString defaultShelfPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(programTitle() + QStringLiteral("/instruments.ini"));
}

bool isLineKey(const QString& key)
{
    for (const char* k : kLineKeys)
        if (key == QLatin1String(k))
            return true;
    return false;
}

// The instruments of the file in the order of their sections, or why the file cannot be used.
// One key of an instrument's section into instrument; why it cannot be used, or nothing.
QString takeKey(ShelfInstrument& instrument, const QString& key, const QVariant& value)
{
    // A comma makes QSettings read a list, "@Variant(" any type: neither is a setting here.
    if (value.typeId() != QMetaType::QString)
        return QStringLiteral("not a single value (quote a value that holds a comma)");
    const QString text = value.toString().trimmed();
    if (text.isEmpty() || text.size() > kMaxValueLength)
        return QStringLiteral("empty or longer than %1 characters").arg(kMaxValueLength);
    // The same checks as on the command line, through the one parser of it.
    QStringList probe;
    if (isLineKey(key))
        probe = {QStringLiteral("--%1=%2").arg(key, text), QStringLiteral("info")};
    else if (key == QLatin1String("remote"))
        probe = {QStringLiteral("ls"), QStringLiteral("--"), text};
    else if (key != QLatin1String("local"))
        return QStringLiteral(
            "not a key of an instrument (device, baud, parity, stop-bits, flow, remote, local)");
    if (!probe.isEmpty()) {
        const CliParse parse = parseCliArguments(probe);
        if (!parse.request)
            return parse.error;
    }
    if (isLineKey(key))
        instrument.lineArguments << QStringLiteral("--%1=%2").arg(key, text);
    else if (key == QLatin1String("remote"))
        instrument.remote = text;
    else
        instrument.local = text;
    return QString();
}

std::optional<QList<ShelfInstrument>> readShelf(const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        *error = QStringLiteral("%1: no instruments file there").arg(path);
        return std::nullopt;
    }
    if (info.size() > kMaxShelfFileBytes) {
        *error = QStringLiteral("%1: larger than an instruments file can be (%2 bytes)")
                     .arg(path)
                     .arg(kMaxShelfFileBytes);
        return std::nullopt;
    }
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) {
        *error = QStringLiteral("%1: cannot be read as an instruments file").arg(path);
        return std::nullopt;
    }
    if (!file.childKeys().isEmpty()) {
        *error = QStringLiteral("%1: %2 stands outside any [instrument] section")
                     .arg(path, file.childKeys().constFirst());
        return std::nullopt;
    }
    const QStringList sections = file.childGroups();
    if (sections.isEmpty()) {
        *error = QStringLiteral("%1: no [instrument] sections").arg(path);
        return std::nullopt;
    }
    if (sections.size() > kMaxInstruments) {
        *error = QStringLiteral("%1: more than %2 instruments").arg(path).arg(kMaxInstruments);
        return std::nullopt;
    }
    // The name prefixes every line an instrument's run writes: short and plain.
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z0-9_.-]{1,32}$"));
    QList<ShelfInstrument> shelf;
    for (const QString& section : sections) {
        const auto refuse = [&](const QString& key, const QString& why) {
            *error = key.isEmpty() ? QStringLiteral("%1, [%2]: %3").arg(path, section, why)
                                   : QStringLiteral("%1, [%2] %3: %4").arg(path, section, key, why);
            return std::nullopt;
        };
        if (!plainName.match(section).hasMatch())
            return refuse(QString(),
                          QStringLiteral("a section name is 1 to 32 letters, digits, '.', '_' or '-'"));
        file.beginGroup(section);
        const QStringList keys = file.childKeys();
        const QStringList nested = file.childGroups();
        ShelfInstrument instrument;
        instrument.name = section;
        QString failure;
        QString failedKey;
        for (const QString& key : keys) {
            failure = takeKey(instrument, key, file.value(key));
            if (!failure.isEmpty()) {
                failedKey = key;
                break;
            }
        }
        file.endGroup();
        if (!failure.isEmpty())
            return refuse(failedKey, failure);
        if (!nested.isEmpty())
            return refuse(nested.constFirst(), QStringLiteral("not a key of an instrument"));
        for (const char* required : {"device", "remote", "local"})
            if (!keys.contains(QLatin1String(required)))
                return refuse(QString(), QStringLiteral("%1 is missing").arg(QLatin1String(required)));
        shelf.append(instrument);
    }
    return shelf;
}

QStringList childArguments(const CliRequest& r, const ShelfInstrument& instrument)
{
    QStringList arguments = instrument.lineArguments;
    // Side by side, the runs write their progress as lines, which this run shows one per instrument
    // (ShelfConsole): drawn in place, several runs would overwrite each other on one terminal line.
    if (r.quiet)
        arguments << QStringLiteral("--quiet");
    else if ((r.parallel || r.progressLines) && !stderrIsJournal())
        arguments << QStringLiteral("--progress-lines");
    if (r.verbose)
        arguments << QStringLiteral("--verbose");
    // Each run appends its own report; the file takes their lines whole, side by side or not.
    if (!r.reportFile.isEmpty())
        arguments << QStringLiteral("--report=") + r.reportFile;
    if (r.dryRun)
        arguments << QStringLiteral("--dry-run");
    if (r.deleteExtra)
        arguments << QStringLiteral("--delete");
    if (r.removeSource)
        arguments << QStringLiteral("--remove-source");
    arguments << QStringLiteral("sync") << QStringLiteral("--") << instrument.remote << instrument.local;
    return arguments;
}

// How much an exit status asks of whoever reads it: an instrument out of reach for now is retried
// by itself, files that failed need a look, a file or line that cannot be used needs mending, and a
// second Ctrl+C ends everything. A status of none of these counts as failed.
int weight(int status)
{
    switch (status) {
    case kExitDone:
        return 0;
    case kExitTempFail:
        return 1;
    case kExitUsage:
        return 3;
    case kExitInterrupted:
        return 4;
    default:
        return 2;
    }
}

int worse(int status, int other)
{
    const int own = weight(other) == weight(kExitFailed) ? kExitFailed : other;
    return weight(own) > weight(status) ? own : status;
}

// The worse of the shelf's status and a run's; a run that did not end by itself counts as failed.
int worse(int status, const QProcess& process)
{
    return worse(status, process.exitStatus() == QProcess::NormalExit ? process.exitCode() : kExitFailed);
}

// What the runs side by side write, each line after its instrument's name. Progress lines
// (kProgressLineMark) are shown as one line per instrument: on a terminal a block at the bottom,
// redrawn in place, with every other line written above it; elsewhere (a pipe, a log) as plain
// lines, as often as each run writes them (once a second at most).
class ShelfConsole
{
public:
    explicit ShelfConsole(const QList<ShelfInstrument>& shelf)
        : m_inPlace(stderrIsTerminal() && stdoutIsTerminal())
    {
        for (const ShelfInstrument& instrument : shelf)
            m_names << instrument.name;
        m_progress.resize(m_names.size());
    }

    // Each whole line the run has written so far; at its end, the rest too.
    void relay(QProcess& process, QProcess::ProcessChannel channel, const QString& name, bool atEnd)
    {
        process.setReadChannel(channel);
        while (process.canReadLine() || (atEnd && process.bytesAvailable() > 0)) {
            QString line = QString::fromLocal8Bit(process.canReadLine() ? process.readLine(kMaxLineBytes)
                                                                        : process.readAll());
            if (line.endsWith(QLatin1Char('\n')))
                line.chop(1);
            if (channel == QProcess::StandardError && line.startsWith(kProgressLineMark)) {
                progress(name, line.mid(kProgressLineMark.size()));
                continue;
            }
            // Into the journal, the run marks each line with its priority (kRelayedPriorities): the
            // mark goes before the name, where the journal looks for it.
            Priority priority = Priority::Error;
            static const QRegularExpression marked(QStringLiteral("^<([3-6])>"));
            const QRegularExpressionMatch mark = marked.match(line);
            if (channel == QProcess::StandardError && mark.hasMatch()) {
                priority = static_cast<Priority>(mark.captured(1).toInt());
                line.remove(0, mark.capturedLength());
            }
            message(channel, name + QStringLiteral(": ") + line + QLatin1Char('\n'), priority);
        }
    }

    // A run has ended: its progress line goes, its summary stands above the others.
    void ended(const QString& name)
    {
        const qsizetype at = m_names.indexOf(name);
        if (at >= 0)
            m_progress[at].clear();
        redraw();
    }

private:
    // A run's line longer than this is cut into pieces, each after the name.
    static constexpr qint64 kMaxLineBytes = 4096;

    void progress(const QString& name, QString text)
    {
        // The line names a file of the instrument: a control character in it would move the
        // cursor, or worse, on the user's terminal.
        for (QChar& c : text)
            if (c.category() == QChar::Other_Control)
                c = QLatin1Char('?');
        if (!m_inPlace) {
            writeStderr(name + QStringLiteral(": ") + text + QLatin1Char('\n'));
            return;
        }
        const qsizetype at = m_names.indexOf(name);
        if (at < 0)
            return;
        m_progress[at] = text;
        redraw();
    }

    void message(QProcess::ProcessChannel channel, const QString& text, Priority priority)
    {
        clear();
        if (channel == QProcess::StandardOutput) {
            writeStdout(text);
            flushStdout();
        } else {
            writeStderr(text, priority);
        }
        redraw();
    }

    // Takes the block away, the cursor left where its first line was.
    void clear()
    {
        if (m_drawn == 0)
            return;
        writeStderr(QStringLiteral("\x1b[%1F\x1b[J").arg(m_drawn));
        m_drawn = 0;
    }

    void redraw()
    {
        if (!m_inPlace)
            return;
        QString block = m_drawn > 0 ? QStringLiteral("\x1b[%1F").arg(m_drawn) : QString();
        int lines = 0;
        for (qsizetype i = 0; i < m_names.size(); ++i) {
            if (m_progress.at(i).isEmpty())
                continue;
            block += QStringLiteral("\x1b[2K") +
                     (m_names.at(i) + QStringLiteral(": ") + m_progress.at(i)).left(terminalColumns() - 1) +
                     QLatin1Char('\n');
            ++lines;
        }
        // Fewer lines than before: what stood below them goes too.
        block += QStringLiteral("\x1b[J");
        writeStderr(block);
        m_drawn = lines;
    }

    bool m_inPlace;
    QStringList m_names;
    QStringList m_progress; // the last progress of each instrument, by the order of the file
    int m_drawn = 0;        // the lines of the block on the terminal now
};

int runOneAfterAnother(const CliRequest& r, const QList<ShelfInstrument>& shelf)
{
    int status = kExitDone;
    for (const ShelfInstrument& instrument : shelf) {
        if (interruptRequested())
            return worse(status, kExitFailed);
        writeStdout(
            QStringLiteral("%1: %2 -> %3\n").arg(instrument.name, instrument.remote, instrument.local));
        flushStdout();
        // The run writes to this terminal itself: its progress line works as for a sync of one.
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QCoreApplication::applicationFilePath(), childArguments(r, instrument));
        if (!process.waitForStarted()) {
            writeStderr(QStringLiteral("%1: orvalt-cli could not be started: %2\n")
                            .arg(instrument.name, process.errorString()));
            status = worse(status, kExitFailed);
            continue;
        }
        process.waitForFinished(-1);
        status = worse(status, process);
    }
    return status;
}

int runSideBySide(const CliRequest& r, const QList<ShelfInstrument>& shelf)
{
    ShelfConsole console(shelf);
    QEventLoop loop;
    std::vector<std::unique_ptr<QProcess>> runs;
    int running = 0;
    int status = kExitDone;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (stderrIsJournal())
        environment.insert(QLatin1String(kRelayedPriorities), QStringLiteral("1"));
    for (const ShelfInstrument& instrument : shelf) {
        auto process = std::make_unique<QProcess>();
        QProcess* p = process.get();
        p->setProcessEnvironment(environment);
        const QString name = instrument.name;
        QObject::connect(p, &QProcess::readyReadStandardOutput, p,
                         [p, name, &console] { console.relay(*p, QProcess::StandardOutput, name, false); });
        QObject::connect(p, &QProcess::readyReadStandardError, p,
                         [p, name, &console] { console.relay(*p, QProcess::StandardError, name, false); });
        QObject::connect(p, &QProcess::finished, p, [p, name, &running, &status, &loop, &console] {
            console.relay(*p, QProcess::StandardOutput, name, true);
            console.relay(*p, QProcess::StandardError, name, true);
            console.ended(name);
            status = worse(status, *p);
            if (--running == 0)
                loop.quit();
        });
        p->start(QCoreApplication::applicationFilePath(), childArguments(r, instrument));
        if (!p->waitForStarted()) {
            writeStderr(
                QStringLiteral("%1: orvalt-cli could not be started: %2\n").arg(name, p->errorString()));
            status = worse(status, kExitFailed);
            continue;
        }
        ++running;
        runs.push_back(std::move(process));
    }
    if (running > 0)
        loop.exec();
    return status;
}

} // namespace

int runShelf(const CliRequest& r)
{
    const QString path = r.instrumentsFile.isEmpty() ? defaultShelfPath() : r.instrumentsFile;
    QString error;
    std::optional<QList<ShelfInstrument>> shelf = readShelf(path, &error);
    if (shelf && !r.instrument.isEmpty()) {
        // The whole file is checked all the same: a mistake in another section is found the first
        // night, not the night that instrument's timer first runs.
        const auto named = std::find_if(shelf->cbegin(), shelf->cend(),
                                        [&](const ShelfInstrument& i) { return i.name == r.instrument; });
        if (named == shelf->cend()) {
            error = QStringLiteral("%1: no section [%2]").arg(path, r.instrument);
            shelf.reset();
        } else {
            shelf = QList<ShelfInstrument>{*named};
        }
    }
    if (!shelf) {
        writeStderr(QStringLiteral("orvalt-cli: %1\n").arg(error));
        return kExitUsage;
    }
    catchInterrupt();
    const int status = r.parallel ? runSideBySide(r, *shelf) : runOneAfterAnother(r, *shelf);
    flushStdout();
    return status;
}

} // namespace orvalt::cli
