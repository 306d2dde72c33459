// Interruption pressed a second time (orvalt-cli's second Ctrl+C) in the middle of a file at 9600
// bit/s, the slowest line the instrument is used at: the time from the press to the end of the copy,
// through the program's own sender and receiver, both ways, compressed (as by default) and in plain
// blocks (an instrument started with --no-pack), the file a measurement file. The window takes a key
// between two calls of the link, as the program's yield does; each press comes at another moment of
// the file. Target: within 1.5 s of the press, compressed or not.
//   interruption_bench [--presses N] [--size BYTES]

#include "bench/BenchSupport.h"
#include "bench/LinkLegs.h"
#include "core/AppState.h"
#include "core/Settings.h"
#include "core/StatusPanel.h"
#include "link/PexLink.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "transfer/FileTransfer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace orvalt;

namespace {

constexpr qint64 kTargetMs = 1500;

// Takes the two presses at the first yield after their moment, as the window takes a key.
class PressingDialogs : public bench::QuietDialogs
{
public:
    explicit PressingDialogs(const QElapsedTimer& clock)
        : m_clock(clock)
    {}
    void setState(AppState* state) { m_state = state; }
    void pressAt(qint64 ms)
    {
        m_pressAt = ms;
        m_pressed = false;
    }
    void yield() override
    {
        bench::QuietDialogs::yield();
        if (m_state && !m_pressed && m_pressAt >= 0 && m_clock.elapsed() >= m_pressAt) {
            m_pressed = true;
            m_state->StopRequested = true;
            m_state->StopFileNow = true;
        }
    }
    bool pressed() const { return m_pressed; }

private:
    AppState* m_state = nullptr;
    const QElapsedTimer& m_clock;
    qint64 m_pressAt = -1;
    bool m_pressed = false;
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

QString optionValue(const QStringList& arguments, const QString& name, const QString& fallback)
{
    const qsizetype at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : fallback;
}

struct Way
{
    QList<qint64> stopMs; // from each press to the end of the copy
    int notStopped = 0;   // copies that ended without a stop (the press came too late)
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int presses =
        qBound(1, optionValue(arguments, QStringLiteral("--presses"), QStringLiteral("4")).toInt(), 20);
    const qint64 size = qBound<qint64>(
        qint64(4096), optionValue(arguments, QStringLiteral("--size"), QStringLiteral("60000")).toLongLong(),
        1 << 22);
    const QByteArray content = bench::measurements(static_cast<int>(size / 40) + 1).left(size);

    bool allWithin = true;
    std::printf("The second Interruption at 9600 bit/s, a measurement file of %lld bytes: from the press to\n"
                "the end of the copy, %d presses each way (target: %lld ms)\n\n",
                static_cast<long long>(size), presses, static_cast<long long>(kTargetMs));
    std::printf("%-24s %-18s %8s %8s %8s\n", "", "way", "mean ms", "most ms", "stopped");
    for (const bool packed : {true, false}) {
        QTemporaryDir temp;
        const QString media = temp.filePath(QStringLiteral("media/M"));
        const QString host = temp.filePath(QStringLiteral("host"));
        QDir().mkpath(media);
        QDir().mkpath(host);
        QStringList line{QStringLiteral("--baud"), QStringLiteral("9600")};
        if (!packed)
            line << QStringLiteral("--no-pack");
        bench::Instrument instrument(temp.filePath(QStringLiteral("media")), line);
        link::PexLink pex([&](int) { return instrument.device(); });
        // The record's first speed is 9600 bit/s.
        if (pex.PexOpen(link::PexOpenRecord{}) != 0 || pex.PexRetry(1) != 0 || pex.PexSetTimeOut(6000) != 0) {
            std::fprintf(stderr, "interruption_bench: cannot open the link: %s\n",
                         qPrintable(pex.errorString()));
            return 2;
        }
        QElapsedTimer clock;
        PressingDialogs dialogs(clock);
        bench::ProgramRig program(dialogs, pex, temp.path());
        dialogs.setState(&program.state);
        AppState& state = program.state;
        ProgramContext& ctx = program.ctx;
        writeFile(host + QStringLiteral("/OUT.CSV"), content);
        writeFile(media + QStringLiteral("/IN.CSV"), content);

        for (const bool toInstrument : {true, false}) {
            Way way;
            for (int i = 0; i < presses; ++i) {
                state.StopRequested = false;
                state.StopFileNow = false;
                // From 2 s into the file on, a quarter of a second further each time.
                const qint64 pressAt = 2000 + i * 250;
                clock.start();
                dialogs.pressAt(pressAt);
                if (toInstrument)
                    RmtSendFile(ctx, panePath(host + QStringLiteral("/OUT.CSV")),
                                QStringLiteral("M:\\OUT.CSV"));
                else
                    RmtReceiveFile(ctx, QStringLiteral("M:\\IN.CSV"),
                                   panePath(host + QStringLiteral("/IN.CSV")));
                const qint64 ended = clock.elapsed();
                if (dialogs.pressed())
                    way.stopMs << ended - pressAt;
                else
                    ++way.notStopped;
            }
            qint64 most = 0;
            qint64 sum = 0;
            for (const qint64 ms : std::as_const(way.stopMs)) {
                most = std::max(most, ms);
                sum += ms;
            }
            const qint64 mean = way.stopMs.isEmpty() ? 0 : sum / way.stopMs.size();
            std::printf("%-24s %-18s %8lld %8lld %5lld/%d\n", packed ? "compressed" : "plain blocks",
                        toInstrument ? "to the instrument" : "from the instrument",
                        static_cast<long long>(mean), static_cast<long long>(most),
                        static_cast<long long>(way.stopMs.size()), presses);
            allWithin = allWithin && way.notStopped == 0 && most <= kTargetMs;
        }
        pex.PexClose();
    }
    return allWithin ? 0 : 1;
}
