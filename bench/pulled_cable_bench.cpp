// The instrument goes away in the middle of a 256 KiB file each way and in the middle of a listing
// of 2000 entries, unpaced: ended by SIGKILL or SIGTERM (the pseudo-terminal closes, as when a USB
// adapter is unplugged) or stopped by SIGSTOP (the line goes silent, as when the cable is pulled).
// For each case: the seconds from the pull until the call reports its failure, against the
// time-out plus one second; the longest stretch the window went without processing events (the
// transfer's yields and the link's idle hook); whether the destination kept its old contents and
// how many temporary files lie beside it; whether Connection worked again with a new instrument
// on the same --link path.
// Usage: pulled_cable_bench [--timeout MS]

#include "bench/BenchSupport.h"
#include "core/AppState.h"
#include "core/Settings.h"
#include "core/StatusPanel.h"
#include "link/PexLink.h"
#include "panes/ConnectActions.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemoteListing.h"
#include "session/CommandExchange.h"
#include "transfer/FileTransfer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <memory>

using namespace orvalt;

namespace {

constexpr qint64 kFileSize = 256 * 1024;
constexpr int kListed = 2000;

enum class Operation
{
    Send,
    Receive,
    Listing
};

QString panePath(const QString& native)
{
    return QDir::cleanPath(native).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArrayLiteral("<missing>");
}

// The quiet seam, also timing the gaps between the moments the window could process events, and
// pulling the cable at the chosen progress.
class TimedDialogs : public bench::QuietDialogs
{
public:
    void yield() override
    {
        QuietDialogs::yield();
        tick();
        if (onYield)
            onYield();
    }
    void transferProgress(const QString&, qint64 done, qint64) override
    {
        if (onProgress)
            onProgress(done);
    }
    void tick()
    {
        if (m_clock.isValid())
            longestGapMs = qMax(longestGapMs, m_clock.elapsed());
        m_clock.start();
    }
    void startTiming()
    {
        longestGapMs = 0;
        m_clock.start();
    }

    qint64 longestGapMs = 0;
    std::function<void()> onYield;
    std::function<void(qint64)> onProgress;

private:
    QElapsedTimer m_clock;
};

class Rig
{
public:
    explicit Rig(int timeoutMs)
        : m_link([this](int) { return line(); })
        , m_settings(ProgramPaths{m_dir.path(), QStringLiteral("bench")}, dialogs, m_dir.path())
        , ctx{{state, m_settings, dialogs, m_link}, m_fs, left, right, panel}
        , m_timeoutMs(timeoutMs)
    {
        QDir().mkpath(media());
        QDir().mkpath(host());
        m_link.setIdleHook([this] {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            dialogs.tick();
        });
    }
    ~Rig() { unplug(); }

    QString line() const { return m_dir.filePath(QStringLiteral("line")); }
    QString media() const { return m_dir.filePath(QStringLiteral("media/M")); }
    QString host() const { return m_dir.filePath(QStringLiteral("host")); }

    bool plugIn()
    {
        unplug();
        m_instrument = std::make_unique<QProcess>();
        m_instrument->start(QStringLiteral(ORVALT_INSTRUMENT_PATH),
                            {QStringLiteral("--media"), m_dir.filePath(QStringLiteral("media")),
                             QStringLiteral("--link"), line()});
        if (!m_instrument->waitForReadyRead(10000))
            return false;
        Connect(ctx);
        // Connect sets the program's time-out; the bench may ask for a shorter one.
        m_link.PexSetTimeOut(m_timeoutMs);
        return state.Connected && SendCmd(state, m_link, dialogs, QStringLiteral("MED 0")) == 0 &&
               SendCmd(state, m_link, dialogs, QStringLiteral("CDR /")) == 0;
    }

    void pull(int signal)
    {
        ::kill(static_cast<pid_t>(m_instrument->processId()), signal);
        if (signal != SIGSTOP)
            m_instrument->waitForFinished(10000);
    }

    void unplug()
    {
        if (!m_instrument)
            return;
        if (m_instrument->state() != QProcess::NotRunning) {
            m_instrument->kill();
            m_instrument->waitForFinished(10000);
        }
        m_instrument.reset();
    }

    AppState state;
    TimedDialogs dialogs;
    PaneModel left;
    PaneModel right;
    StatusPanel panel;

private:
    QTemporaryDir m_dir;
    link::PexLink m_link;
    Settings m_settings;
    HostFs m_fs;
    std::unique_ptr<QProcess> m_instrument;

public:
    ProgramContext ctx;

private:
    int m_timeoutMs;
};

struct Outcome
{
    qint32 result = 0;
    double secondsToFailure = 0;
    qint64 longestGapMs = 0;
    bool targetChanged = false; // the destination's name holds something else than the old contents
    qsizetype strays = 0;       // other files beside it (a temporary file of the killed instrument)
    bool reconnected = false;
};

Outcome pulledCable(Operation operation, int signal, int timeoutMs)
{
    Rig rig(timeoutMs);
    Outcome outcome;
    QByteArray content(kFileSize, Qt::Uninitialized);
    for (qint64 i = 0; i < kFileSize; ++i)
        content[i] = static_cast<char>(i * 7 + i / 251);
    const QByteArray old("old contents");
    const QString hostFile = rig.host() + QStringLiteral("/F.DAT");
    const QString instrumentFile = rig.media() + QStringLiteral("/F.DAT");
    writeFile(operation == Operation::Send ? hostFile : instrumentFile, content);
    writeFile(operation == Operation::Send ? instrumentFile : hostFile, old);
    for (int i = 0; i < kListed; ++i)
        writeFile(rig.media() + QStringLiteral("/LISTED%1.TXT").arg(i), "x");
    if (!rig.plugIn()) {
        outcome.result = -999;
        return outcome;
    }

    QElapsedTimer sincePull;
    auto pullOnce = [&] {
        if (!sincePull.isValid()) {
            sincePull.start();
            rig.pull(signal);
        }
    };
    rig.dialogs.onProgress = [&](qint64 done) {
        if (done >= kFileSize / 4)
            pullOnce();
    };
    int yields = 0;
    rig.dialogs.onYield = [&] {
        if (operation == Operation::Listing && ++yields >= 40)
            pullOnce();
    };
    auto run = [&]() -> qint32 {
        switch (operation) {
        case Operation::Send:
            return RmtSendFile(rig.ctx, panePath(hostFile), QStringLiteral("M:\\F.DAT"));
        case Operation::Receive:
            return RmtReceiveFile(rig.ctx, QStringLiteral("M:\\F.DAT"), panePath(hostFile));
        case Operation::Listing:
            break;
        }
        qint32 listed = 0;
        DirList(rig.ctx, QString(), &listed);
        return listed;
    };

    rig.dialogs.startTiming();
    outcome.result = run();
    outcome.secondsToFailure = sincePull.isValid() ? sincePull.nsecsElapsed() / 1e9 : -1;
    outcome.longestGapMs = rig.dialogs.longestGapMs;
    rig.dialogs.onProgress = nullptr;
    rig.dialogs.onYield = nullptr;
    rig.unplug(); // a stopped instrument is ended for good now

    const QString destination = operation == Operation::Send ? instrumentFile : hostFile;
    const QDir destinationDir = QFileInfo(destination).dir();
    const QStringList beside =
        destinationDir.entryList({QStringLiteral("F.DAT*")}, QDir::Files | QDir::Hidden);
    if (operation != Operation::Listing) {
        outcome.targetChanged = readFile(destination) != old;
        outcome.strays = beside.size() - 1;
    }

    if (rig.plugIn()) {
        const qint32 again = run();
        outcome.reconnected =
            again == 0 && (operation == Operation::Listing || readFile(destination) == content);
    }
    return outcome;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype at = arguments.indexOf(QStringLiteral("--timeout"));
    const int timeoutMs = at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : 6000;
    if (timeoutMs <= 0) {
        std::fprintf(stderr, "pulled_cable_bench: --timeout needs a positive number of milliseconds\n");
        return 2;
    }

    std::printf("Pulled cable, unpaced, time-out %d ms (bound: time-out + 1 s = %.1f s)\n", timeoutMs,
                timeoutMs / 1000.0 + 1.0);
    std::printf("%-26s %-8s %7s %12s %12s %9s %6s %11s\n", "exchange", "signal", "result", "s to fail",
                "longest gap", "target", "temps", "reconnects");
    const std::pair<const char*, Operation> operations[] = {{"256 KiB to instrument", Operation::Send},
                                                            {"256 KiB from instrument", Operation::Receive},
                                                            {"listing of 2000 entries", Operation::Listing}};
    const std::pair<const char*, int> endings[] = {
        {"SIGKILL", SIGKILL}, {"SIGTERM", SIGTERM}, {"SIGSTOP", SIGSTOP}};
    bool sound = true;
    for (const auto& [operationName, operation] : operations) {
        for (const auto& [signalName, signal] : endings) {
            const Outcome o = pulledCable(operation, signal, timeoutMs);
            const bool inTime = o.secondsToFailure >= 0 && o.secondsToFailure <= timeoutMs / 1000.0 + 1.0;
            sound = sound && o.result != 0 && inTime && !o.targetChanged && o.reconnected;
            std::printf("%-26s %-8s %7d %10.3f%s %9lld ms %9s %6lld %11s\n", operationName, signalName,
                        o.result, o.secondsToFailure, inTime ? "  " : " !",
                        static_cast<long long>(o.longestGapMs), o.targetChanged ? "CHANGED" : "kept",
                        static_cast<long long>(o.strays), o.reconnected ? "yes" : "NO");
        }
    }
    return sound ? 0 : 1;
}
