// orvalt-instrument: a virtual measuring instrument. It serves a folder as the instrument's media
// over a pseudo-terminal (whose path is the first line of standard output; POSIX systems only) or
// a serial device (through QSerialPort, on every platform), speaking the program's link protocol,
// until SIGINT or SIGTERM. SIGUSR1 hangs up a pseudo-terminal line: its master is closed under
// the client, as a USB adapter pulled out of a running instrument would leave it, and a new one is
// made (its path printed again, the --link moved to it), so tests can close the line while the
// instrument lives on.

#include "CommandHandler.h"
#include "InstrumentOptions.h"
#include "LineConditions.h"
#include "MediaStore.h"
#include "Transcript.h"
#include "link/LinkServer.h"
#include "link/SerialTransport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>

#ifdef Q_OS_UNIX
#include "PtyTransport.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {

std::atomic<bool> g_stop{false};
// Ends the serving loop: set with g_stop, or alone for a hang-up.
std::atomic<bool> g_leaveServe{false};
std::atomic<bool> g_hangUp{false};

#ifdef Q_OS_UNIX
int g_wakePipe[2] = {-1, -1};

void wakeServer()
{
    const char byte = 1;
    // Async-signal-safe; a full pipe already wakes every wait.
    [[maybe_unused]] const ssize_t n = ::write(g_wakePipe[1], &byte, 1);
}

extern "C" void requestStop(int)
{
    const int saved = errno;
    g_stop.store(true);
    g_leaveServe.store(true);
    wakeServer();
    errno = saved;
}

extern "C" void requestHangUp(int)
{
    const int saved = errno;
    g_hangUp.store(true);
    g_leaveServe.store(true);
    wakeServer();
    errno = saved;
}

// Empties the wake pipe after a hang-up, so that waits on the new line are not ended by it.
void drainWakePipe()
{
    char bytes[64];
    while (::read(g_wakePipe[0], bytes, sizeof bytes) > 0) {
    }
}

bool installStopHandlers()
{
    if (::pipe(g_wakePipe) != 0)
        return false;
    for (const int fd : g_wakePipe)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    struct sigaction action
    {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocking call returns at once
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

// Only a pseudo-terminal line can be hung up and made again; a serial device keeps SIGUSR1's default.
bool installHangUpHandler()
{
    struct sigaction action
    {};
    action.sa_handler = requestHangUp;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    return ::sigaction(SIGUSR1, &action, nullptr) == 0;
}
#else
// Ctrl+C in the console. A serial line's read returns within the link server's poll period, after
// which the server sees the flag.
extern "C" void requestStop(int)
{
    g_stop.store(true);
    g_leaveServe.store(true);
}

bool installStopHandlers()
{
    return std::signal(SIGINT, requestStop) != SIG_ERR && std::signal(SIGTERM, requestStop) != SIG_ERR;
}
#endif

void printError(const QString& text)
{
    std::fprintf(stderr, "orvalt-instrument: %s\n", qPrintable(text));
}

#ifdef Q_OS_UNIX
// The link is ours to replace or remove only when it is a symbolic link (or absent).
bool makeLink(const QString& link, const QString& target, QString* error)
{
    const QFileInfo info(link);
    if (info.exists() || info.isSymLink()) {
        if (!info.isSymLink() || !QFile::remove(link)) {
            *error = QStringLiteral("%1 exists and is not a symbolic link we may replace").arg(link);
            return false;
        }
    }
    if (!QFile::link(target, link)) {
        *error = QStringLiteral("cannot make the symbolic link %1").arg(link);
        return false;
    }
    return true;
}

// A new pseudo-terminal, its path printed for clients (and linked to where --link says).
std::unique_ptr<orvalt::link::ByteTransport> openPseudoTerminalLine(const QString& link, QString* error)
{
    QString slavePath;
    std::unique_ptr<orvalt::instrument::FdTransport> pty =
        orvalt::instrument::openPseudoTerminal(&slavePath, error);
    if (!pty || (!link.isEmpty() && !makeLink(link, slavePath, error)))
        return nullptr;
    pty->setWakeFd(g_wakePipe[0]);
    std::printf("%s\n", qPrintable(slavePath));
    std::fflush(stdout);
    return pty;
}
#endif

// A serial device through QSerialPort, which also takes the device's lock. It runs at the pacing
// rate, or 9600 bit/s when the line is not paced; settings a device refuses are told and passed over.
std::unique_ptr<orvalt::link::ByteTransport> openSerialLine(const QString& device, qint64 baud,
                                                            QString* error)
{
    auto port = std::make_unique<orvalt::link::SerialTransport>();
    orvalt::link::SerialSettings settings;
    if (baud > 0)
        settings.baud = static_cast<qint32>(baud); // the options keep it at 100,000,000 or less
    if (!port->open(device, settings)) {
        *error = port->errorString();
        return nullptr;
    }
    for (const QString& note : port->settingNotes())
        printError(note);
    return port;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace orvalt::instrument;
    QCoreApplication app(argc, argv);
#ifdef Q_OS_LINUX
    // The paced line sleeps until each byte is due; the default 50 µs timer slack would add up to
    // a measurable share of every 256-byte block's turnaround.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif

    QString error;
    const std::optional<InstrumentOptions> parsed = parseInstrumentOptions(app.arguments(), &error);
    if (!parsed) {
        const QStringList& arguments = app.arguments();
        const bool help =
            arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h")) ||
            arguments.contains(QLatin1String("--version")) || arguments.contains(QLatin1String("-v"));
        std::fprintf(help ? stdout : stderr, "%s\n", qPrintable(error));
        return help ? 0 : 2;
    }
    const InstrumentOptions& options = *parsed;

    MediaStore store(options.shortNames);
    if (!store.open(options.mediaDir, options.mediaNames, &error)) {
        printError(error);
        return 2;
    }
    Transcript transcript;
    transcript.setTimed(options.transcriptTimes);
    transcript.setPacked(options.transcriptPacked);
    if (!transcript.open(options.transcript, &error)) {
        printError(error);
        return 2;
    }
    CommandHandler handler(options, store, transcript);
    if (handler.productReply().size() > 255) {
        printError(QStringLiteral("the model and medium names do not fit the 255-byte PRODUCT? reply"));
        return 2;
    }
    if (!installStopHandlers()) {
        printError(QStringLiteral("cannot install the signal handlers"));
        return 1;
    }

    std::unique_ptr<orvalt::link::ByteTransport> line;
    if (!options.device.isEmpty()) {
        line = openSerialLine(options.device, options.baud, &error);
    } else {
#ifdef Q_OS_UNIX
        // Before the path is printed: a client may hang the line up as soon as it knows it.
        if (installHangUpHandler())
            line = openPseudoTerminalLine(options.link, &error);
        else
            error = QStringLiteral("cannot install the signal handlers");
#else
        error = QStringLiteral("this system has no pseudo-terminals: serve a serial port with --device");
#endif
    }
    if (!line) {
        printError(error);
        return 1;
    }

    for (;;) {
        {
            orvalt::link::ByteTransport* transport = line.get();
            std::unique_ptr<NoisyTransport> noisy;
            if (options.corrupt > 0.0 || options.drop > 0.0) {
                noisy =
                    std::make_unique<NoisyTransport>(*transport, options.corrupt, options.drop, options.seed);
                transport = noisy.get();
            }
            std::unique_ptr<PacedTransport> paced;
            if (options.baud > 0) {
                paced = std::make_unique<PacedTransport>(*transport, options.baud, &g_stop);
                transport = paced.get();
            }

            orvalt::link::LinkServer server(*transport, handler);
            server.setWindow(options.window);
            server.setPack(options.packWindow);
            // A write that stalled (a client that stopped reading) ends serve(); the line is fine.
            while (!g_leaveServe.load() && line->isOpen())
                server.serve(g_leaveServe);
        }
#ifdef Q_OS_UNIX
        if (g_stop.load() || !g_hangUp.exchange(false) || !options.device.isEmpty())
            break;
        // The hang-up: the old master closes before the new line exists, so the client sees its
        // line end, not a line that is merely quiet.
        line.reset();
        drainWakePipe();
        g_leaveServe.store(g_stop.load());
        line = openPseudoTerminalLine(options.link, &error);
        if (!line) {
            printError(error);
            return 1;
        }
#else
        break;
#endif
    }

    if (!options.link.isEmpty())
        QFile::remove(options.link);
    if (!g_stop.load()) {
        printError(line->errorString());
        return 1;
    }
    return 0;
}
