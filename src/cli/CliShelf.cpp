// sync --all and --parallel: a shelf of instruments, each a section of the instruments file. Every
// instrument is synced by a run of orvalt-cli of its own, so that each keeps its own link, its own
// port lock, its own summary and its own exit status; the worst of them is this run's.

#include "cli/CliCommands.h"
#include "cli/CliRequest.h"
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
#include <cstdio>
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
            const QVariant value = file.value(key);
            // A comma makes QSettings read a list, "@Variant(" any type: neither is a setting here.
            if (value.typeId() != QMetaType::QString) {
                failedKey = key;
                failure = QStringLiteral("not a single value (quote a value that holds a comma)");
                break;
            }
            const QString text = value.toString().trimmed();
            if (text.isEmpty() || text.size() > kMaxValueLength) {
                failedKey = key;
                failure = QStringLiteral("empty or longer than %1 characters").arg(kMaxValueLength);
                break;
            }
            // The same checks as on the command line, through the one parser of it.
            QStringList probe;
            if (isLineKey(key))
                probe = {QStringLiteral("--%1=%2").arg(key, text), QStringLiteral("info")};
            else if (key == QLatin1String("remote"))
                probe = {QStringLiteral("ls"), QStringLiteral("--"), text};
            else if (key != QLatin1String("local")) {
                failedKey = key;
                failure = QStringLiteral("not a key of an instrument (device, baud, parity, stop-bits, flow, "
                                         "remote, local)");
                break;
            }
            if (!probe.isEmpty()) {
                const CliParse parse = parseCliArguments(probe);
                if (!parse.request) {
                    failedKey = key;
                    failure = parse.error;
                    break;
                }
            }
            if (isLineKey(key))
                instrument.lineArguments << QStringLiteral("--%1=%2").arg(key, text);
            else if (key == QLatin1String("remote"))
                instrument.remote = text;
            else
                instrument.local = text;
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
    // Side by side, progress lines of several runs would overwrite each other on one terminal line.
    if (r.quiet || r.parallel)
        arguments << QStringLiteral("--quiet");
    if (r.dryRun)
        arguments << QStringLiteral("--dry-run");
    if (r.deleteExtra)
        arguments << QStringLiteral("--delete");
    if (r.removeSource)
        arguments << QStringLiteral("--remove-source");
    arguments << QStringLiteral("sync") << QStringLiteral("--") << instrument.remote << instrument.local;
    return arguments;
}

// The worse of two exit statuses; a run that did not end by itself counts as failed.
int worse(int status, const QProcess& process)
{
    const int own = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : kExitFailed;
    return qMax(status, qBound(kExitDone, own, kExitUsage));
}

// Writes each whole line the run has written so far, after the instrument's name; at its end,
// the rest too.
void relayLines(QProcess& process, QProcess::ProcessChannel channel, const QString& name, bool atEnd)
{
    process.setReadChannel(channel);
    while (process.canReadLine() || (atEnd && process.bytesAvailable() > 0)) {
        QString line = QString::fromLocal8Bit(process.canReadLine() ? process.readLine() : process.readAll());
        if (!line.endsWith(QLatin1Char('\n')))
            line += QLatin1Char('\n');
        const QString text = name + QStringLiteral(": ") + line;
        if (channel == QProcess::StandardOutput) {
            writeStdout(text);
            std::fflush(stdout);
        } else {
            writeStderr(text);
        }
    }
}

int runOneAfterAnother(const CliRequest& r, const QList<ShelfInstrument>& shelf)
{
    int status = kExitDone;
    for (const ShelfInstrument& instrument : shelf) {
        if (interruptRequested())
            return qMax(status, kExitFailed);
        writeStdout(
            QStringLiteral("%1: %2 -> %3\n").arg(instrument.name, instrument.remote, instrument.local));
        std::fflush(stdout);
        // The run writes to this terminal itself: its progress line works as for a sync of one.
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QCoreApplication::applicationFilePath(), childArguments(r, instrument));
        if (!process.waitForStarted()) {
            writeStderr(QStringLiteral("%1: orvalt-cli could not be started: %2\n")
                            .arg(instrument.name, process.errorString()));
            status = qMax(status, kExitFailed);
            continue;
        }
        process.waitForFinished(-1);
        status = worse(status, process);
    }
    return status;
}

int runSideBySide(const CliRequest& r, const QList<ShelfInstrument>& shelf)
{
    QEventLoop loop;
    std::vector<std::unique_ptr<QProcess>> runs;
    int running = 0;
    int status = kExitDone;
    for (const ShelfInstrument& instrument : shelf) {
        auto process = std::make_unique<QProcess>();
        QProcess* p = process.get();
        const QString name = instrument.name;
        QObject::connect(p, &QProcess::readyReadStandardOutput, p,
                         [p, name] { relayLines(*p, QProcess::StandardOutput, name, false); });
        QObject::connect(p, &QProcess::readyReadStandardError, p,
                         [p, name] { relayLines(*p, QProcess::StandardError, name, false); });
        QObject::connect(p, &QProcess::finished, p, [p, name, &running, &status, &loop] {
            relayLines(*p, QProcess::StandardOutput, name, true);
            relayLines(*p, QProcess::StandardError, name, true);
            status = worse(status, *p);
            if (--running == 0)
                loop.quit();
        });
        p->start(QCoreApplication::applicationFilePath(), childArguments(r, instrument));
        if (!p->waitForStarted()) {
            writeStderr(
                QStringLiteral("%1: orvalt-cli could not be started: %2\n").arg(name, p->errorString()));
            status = qMax(status, kExitFailed);
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
    const std::optional<QList<ShelfInstrument>> shelf = readShelf(path, &error);
    if (!shelf) {
        writeStderr(QStringLiteral("orvalt-cli: %1\n").arg(error));
        return kExitUsage;
    }
    catchInterrupt();
    const int status = r.parallel ? runSideBySide(r, *shelf) : runOneAfterAnother(r, *shelf);
    std::fflush(stdout);
    return status;
}

} // namespace orvalt::cli
