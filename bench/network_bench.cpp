// Instruments on the network, through Debian's ser2net on this machine. Run through bench/run.
//
//   network_bench link [--size BYTES] [--rows N] [--no-zmodem]
//     The instrument on a paced 115200 baud line (bench/RelayLine.h), ser2net serving the line's
//     other end, a TCP relay adding a round trip of 20 ms, then 50 ms, between ser2net and the
//     program (bench/TcpDelayRelay.h). Random data each way through rfc2217://, as bytes a second
//     against the line rate; the measurement file (compressed by the link) at 50 ms; ZMODEM (sz ->
//     rz) through the same ser2net's raw TCP port and the same delay, in the same run.
//
//   network_bench shelf [--size BYTES] [--instruments N]
//     N virtual instruments (8), each pacing its own line at 115200 baud, behind one ser2net;
//     `orvalt-cli sync --all --parallel` brings home a file of random data from each. Each line's
//     rate is the file against the whole run's wall time (connecting and listing included); the
//     CPU is that of every orvalt-cli process together (getrusage of the children).

#include "bench/BenchSupport.h"
#include "bench/LinkLegs.h"
#include "bench/MeasurementData.h"
#include "bench/RelayLine.h"
#include "bench/TcpDelayRelay.h"
#include "link/PexLink.h"
#include "tests/support/DeviceServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <sys/resource.h>

using namespace orvalt;
using namespace orvalt::bench;
using orvalt::test::DeviceServer;

namespace {

struct Options
{
    qint64 size = 512 * 1024;
    int rows = 12000;
    int instruments = 8;
    bool zmodem = true;
};

QString cell(const Leg& leg, qint64 bytes)
{
    if (!leg.ran)
        return QStringLiteral("-");
    return leg.ok ? QString::number(leg.ratio(bytes), 'f', 3) : QStringLiteral("FAILED");
}

quint16 portOf(const QString& device)
{
    return device.section(QLatin1Char(':'), -1).toUShort();
}

// The instrument, its line, ser2net in front of the line's far end, and the delay on the network.
struct NetworkLine
{
    explicit NetworkLine(std::chrono::microseconds oneWay)
        : line({kLineRate, 0, std::chrono::microseconds(0)})
        , instrument(line.endA(), {})
        , server({line.endB()})
        , rfcRelay(portOf(server.rfc2217(0)), oneWay)
        , tcpRelay(portOf(server.tcp(0)), oneWay)
    {}
    QString rfc2217() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfcRelay.port()); }

    RelayLine line;
    LineInstrument instrument;
    DeviceServer server;
    TcpDelayRelay rfcRelay;
    TcpDelayRelay tcpRelay;
};

struct LinkRow
{
    Leg write;
    Leg read;
    int windowAsked = 0;
    int windowAgreed = 0;
    QString note;
};

LinkRow linkRow(const QByteArray& data, std::chrono::microseconds oneWay, bool readToo)
{
    LinkRow row;
    NetworkLine net(oneWay);
    if (!net.server.isReady()) {
        row.note = net.server.errorString();
        return row;
    }
    const QString device = net.rfc2217();
    link::PexLink link([&device](int) { return device; });
    if (!openLink(link)) {
        row.note = QStringLiteral("the instrument did not answer: ") + link.errorString();
        return row;
    }
    row.write = linkWrite(link, data);
    row.windowAsked = link.windowAsked();
    row.windowAgreed = link.windowAgreed();
    if (readToo)
        row.read = linkRead(link, data);
    link.PexClose();
    return row;
}

// sz through the device server's raw TCP port (by socat) and the delay, rz on the instrument's end.
Leg zmodemRow(const QByteArray& data, std::chrono::microseconds oneWay)
{
    Leg leg;
    leg.ran = true;
    RelayLine line({kLineRate, 0, std::chrono::microseconds(0)});
    DeviceServer server({line.endB()});
    TcpDelayRelay relay(portOf(server.tcp(0)), oneWay);
    QTemporaryDir work;
    QDir(work.path()).mkpath(QStringLiteral("in"));
    QFile file(work.filePath(QStringLiteral("BENCH.DAT")));
    if (!server.isReady() || !file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        leg.note = server.isReady() ? QStringLiteral("cannot write the file") : server.errorString();
        return leg;
    }
    file.close();
    QProcess receiver;
    receiver.setWorkingDirectory(work.filePath(QStringLiteral("in")));
    receiver.setStandardInputFile(line.endA());
    receiver.setStandardOutputFile(line.endA());
    receiver.setStandardErrorFile(QProcess::nullDevice());
    QProcess sender;
    sender.setWorkingDirectory(work.path());
    sender.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    receiver.start(QStringLiteral("rz"), {QStringLiteral("-b"), QStringLiteral("-y")});
    sender.start(QStringLiteral("socat"), {QStringLiteral("TCP:127.0.0.1:%1").arg(relay.port()),
                                           QStringLiteral("EXEC:sz -b BENCH.DAT")});
    const int limitMs = static_cast<int>(data.size() / kLineRate * 1000 * 4 + 30000);
    const bool done = sender.waitForFinished(limitMs);
    leg.seconds = timer.nsecsElapsed() / 1e9;
    if (!receiver.waitForFinished(10000)) {
        receiver.kill();
        receiver.waitForFinished();
    }
    if (!done) {
        sender.kill();
        sender.waitForFinished();
    }
    QFile got(work.filePath(QStringLiteral("in/BENCH.DAT")));
    leg.ok = done && sender.exitCode() == 0 && got.open(QIODevice::ReadOnly) && got.readAll() == data;
    if (!leg.ok)
        leg.note = QStringLiteral("socat/sz %1, rz %2, or the files differ")
                       .arg(sender.exitCode())
                       .arg(receiver.exitCode());
    return leg;
}

int linkTable(const Options& options)
{
    using std::chrono::microseconds;
    const QByteArray random = randomBytes(options.size);
    const QByteArray csv = measurements(options.rows);
    std::printf(
        "Through ser2net at 115200 baud, a TCP relay adding the round trip; bytes a second against the\n"
        "line rate (%.0f bytes/s), %lld bytes of random data each way, ZMODEM (sz -> rz) through\n"
        "the same ser2net and delay\n\n",
        kLineRate, static_cast<long long>(options.size));
    std::printf("%-34s %7s %7s %7s %7s\n", "round trip added", "write", "read", "ZMODEM", "window");
    bool failed = false;
    for (const int roundTrip : {20, 50}) {
        const microseconds oneWay(roundTrip * 500);
        std::fprintf(stderr, "network_bench: %d ms\n", roundTrip);
        const LinkRow row = linkRow(random, oneWay, true);
        const Leg zmodem = options.zmodem ? zmodemRow(random, oneWay) : Leg{};
        std::printf("%-34s %7s %7s %7s %4d/%d\n", qPrintable(QStringLiteral("%1 ms").arg(roundTrip)),
                    qPrintable(cell(row.write, random.size())), qPrintable(cell(row.read, random.size())),
                    qPrintable(cell(zmodem, random.size())), row.windowAgreed, row.windowAsked);
        for (const QString& note : {row.note, row.write.note, row.read.note, zmodem.note}) {
            if (!note.isEmpty()) {
                std::printf("  failed: %s\n", qPrintable(note));
                failed = true;
            }
        }
    }
    std::fprintf(stderr, "network_bench: measurement file at 50 ms\n");
    const LinkRow packed = linkRow(csv, microseconds(25000), true);
    std::printf("%-34s %7s %7s %7s %4d/%d\n",
                qPrintable(QStringLiteral("50 ms, %1 measurement rows").arg(options.rows)),
                qPrintable(cell(packed.write, csv.size())), qPrintable(cell(packed.read, csv.size())), "-",
                packed.windowAgreed, packed.windowAsked);
    if (!packed.note.isEmpty() || !packed.write.ok || !packed.read.ok) {
        std::printf("  failed: %s %s %s\n", qPrintable(packed.note), qPrintable(packed.write.note),
                    qPrintable(packed.read.note));
        failed = true;
    }
    std::printf(
        "\n\"window\": the window requests the instrument agreed to / the program asked for. Targets:\n"
        "random data >= 0.97 both ways at 20 and 50 ms; the measurement file (%lld bytes) >= 4.\n",
        static_cast<long long>(csv.size()));
    return failed ? 1 : 0;
}

double cpuSeconds(const rusage& usage)
{
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

int shelf(const Options& options)
{
    QTemporaryDir work;
    const QDir root(work.path());
    std::vector<std::unique_ptr<Instrument>> instruments;
    QStringList devices;
    QByteArray ini;
    for (int i = 0; i < options.instruments; ++i) {
        const QString media = root.filePath(QStringLiteral("media%1").arg(i));
        root.mkpath(QStringLiteral("media%1/M").arg(i));
        root.mkpath(QStringLiteral("home%1").arg(i));
        QFile file(media + QStringLiteral("/M/SHELF.DAT"));
        QByteArray data = randomBytes(options.size);
        data[0] = static_cast<char>(i); // a file of its own on each
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
            std::printf("cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
        instruments.push_back(std::make_unique<Instrument>(
            media, QStringList{QStringLiteral("--baud"), QStringLiteral("115200")}));
        devices << instruments.back()->device();
    }
    DeviceServer server(devices);
    if (!server.isReady()) {
        std::printf("ser2net: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    for (int i = 0; i < options.instruments; ++i)
        ini += QStringLiteral("[shelf%1]\ndevice=%2\nbaud=115200\nremote=\"M:\\\\\"\nlocal=%3\n\n")
                   .arg(i)
                   .arg(server.rfc2217(i), root.filePath(QStringLiteral("home%1").arg(i)))
                   .toUtf8();
    root.mkpath(QStringLiteral("config/Orvalt"));
    QFile shelfFile(root.filePath(QStringLiteral("config/Orvalt/instruments.ini")));
    if (!shelfFile.open(QIODevice::WriteOnly) || shelfFile.write(ini) != ini.size())
        return 1;
    shelfFile.close();

    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root.filePath(QStringLiteral("config")));
    cli.setProcessEnvironment(env);
    cli.setWorkingDirectory(work.path());
    cli.setStandardOutputFile(QProcess::nullDevice());
    cli.setProcessChannelMode(QProcess::SeparateChannels);
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
    QElapsedTimer timer;
    timer.start();
    cli.start(QStringLiteral(ORVALT_CLI_PATH), {QStringLiteral("--quiet"), QStringLiteral("sync"),
                                                QStringLiteral("--all"), QStringLiteral("--parallel")});
    const bool done = cli.waitForFinished(static_cast<int>(options.size / kLineRate * 1000 * 4 + 60000));
    const double seconds = timer.nsecsElapsed() / 1e9;
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &after);
    const double cpu = cpuSeconds(after) - cpuSeconds(before);
    bool ok = done && cli.exitCode() == 0;
    int whole = 0;
    for (int i = 0; i < options.instruments; ++i) {
        QFile got(root.filePath(QStringLiteral("home%1/SHELF.DAT").arg(i)));
        if (got.open(QIODevice::ReadOnly) && got.size() == options.size)
            ++whole;
    }
    ok = ok && whole == options.instruments;
    const double ratio = options.size / seconds / kLineRate;
    std::printf(
        "%d instruments behind one ser2net, orvalt-cli sync --all --parallel, %lld bytes of random data\n"
        "from each at 115200 baud: %.1f s; each line at least %.3f of its rate (the file against the\n"
        "whole run); CPU of every orvalt-cli process together %.2f s, %.3f of a core\n"
        "Targets: each line >= 0.95; CPU < 0.5 of a core.\n",
        options.instruments, static_cast<long long>(options.size), seconds, ratio, cpu, cpu / seconds);
    if (!ok)
        std::printf("  failed: exit %d, %d of %d files whole: %s\n", cli.exitCode(), whole,
                    options.instruments, cli.readAllStandardError().left(2000).constData());
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    for (qsizetype i = 2; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--size") && i + 1 < args.size())
            options.size = args[++i].toLongLong();
        else if (args[i] == QLatin1String("--rows") && i + 1 < args.size())
            options.rows = args[++i].toInt();
        else if (args[i] == QLatin1String("--instruments") && i + 1 < args.size())
            options.instruments = args[++i].toInt();
        else if (args[i] == QLatin1String("--no-zmodem"))
            options.zmodem = false;
    }
    if ((mode != QLatin1String("link") && mode != QLatin1String("shelf")) || options.size < 1 ||
        options.size > 64 * 1024 * 1024 || options.rows < 1 || options.rows > 1000000 ||
        options.instruments < 1 || options.instruments > 32) {
        std::fprintf(stderr, "usage: network_bench link|shelf [--size BYTES (1 .. 64 MiB)] [--rows N] "
                             "[--instruments 1 .. 32] [--no-zmodem]\n");
        return 2;
    }
    return mode == QLatin1String("link") ? linkTable(options) : shelf(options);
}
