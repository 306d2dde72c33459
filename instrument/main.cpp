// orvalt-instrument: a virtual measuring instrument. It serves a folder as the instrument's media
// over a pseudo-terminal (whose path is the first line of standard output) or a serial device,
// speaking the program's link protocol, until SIGINT or SIGTERM.

#include "CommandHandler.h"
#include "InstrumentOptions.h"
#include "LineConditions.h"
#include "MediaStore.h"
#include "PtyTransport.h"
#include "Transcript.h"
#include "link/LinkServer.h"

#include <QCoreApplication>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

std::atomic<bool> g_stop{false};
int g_wakePipe[2] = {-1, -1};

extern "C" void requestStop(int)
{
    const int saved = errno;
    g_stop.store(true);
    const char byte = 1;
    // Async-signal-safe; a full pipe already wakes every wait.
    [[maybe_unused]] const ssize_t n = ::write(g_wakePipe[1], &byte, 1);
    errno = saved;
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

void printError(const QString& text)
{
    std::fprintf(stderr, "orvalt-instrument: %s\n", qPrintable(text));
}

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

    std::unique_ptr<FdTransport> line;
    if (options.device.isEmpty()) {
        QString slavePath;
        line = openPseudoTerminal(&slavePath, &error);
        if (line && !options.link.isEmpty() && !makeLink(options.link, slavePath, &error))
            line.reset();
        if (line) {
            std::printf("%s\n", qPrintable(slavePath));
            std::fflush(stdout);
        }
    } else {
        line = openSerialDevice(options.device, options.baud, &error);
    }
    if (!line) {
        printError(error);
        return 1;
    }
    line->setWakeFd(g_wakePipe[0]);

    orvalt::link::ByteTransport* transport = line.get();
    std::unique_ptr<NoisyTransport> noisy;
    if (options.corrupt > 0.0 || options.drop > 0.0) {
        noisy = std::make_unique<NoisyTransport>(*transport, options.corrupt, options.drop, options.seed);
        transport = noisy.get();
    }
    std::unique_ptr<PacedTransport> paced;
    if (options.baud > 0) {
        paced = std::make_unique<PacedTransport>(*transport, options.baud, &g_stop);
        transport = paced.get();
    }

    orvalt::link::LinkServer server(*transport, handler);
    // A write that stalled (a client that stopped reading) ends serve(); the line itself is fine.
    while (!g_stop.load() && line->isOpen())
        server.serve(g_stop);

    if (!options.link.isEmpty())
        QFile::remove(options.link);
    if (!g_stop.load()) {
        printError(line->errorString());
        return 1;
    }
    return 0;
}
