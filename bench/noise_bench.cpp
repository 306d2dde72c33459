// Files of random sizes (0 to 64 KiB) through the program's sender and receiver, each way, on an
// unpaced line that damages and loses bytes both ways (the virtual instrument's --corrupt and
// --drop). Every destination holds old contents first: a transfer reported done must have
// delivered the file exactly, one reported failed must have left the old contents. Prints the
// transfers, the link's retransmissions, the failures reported (by result) and the silent
// corruptions, which must be 0; the exit status is 1 when any file is wrong.
// With --text the files are measurement files in plain blocks (the instrument without compression):
// their rows are text, so a start marker noise turns printable makes a block read like raw lines.
// Usage: noise_bench [--files N] [--noise P] [--seed N] [--text]

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
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <map>

using namespace orvalt;

namespace {

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

struct Tally
{
    int transfers = 0;
    int failures = 0;
    int silent = 0;    // reported done, but the destination differs from the source
    int clobbered = 0; // reported failed, but the old contents are gone
    qint64 bytes = 0;
    std::map<qint32, int> results;
    QStringList reasons; // the link's last failure at each reported failure

    void count(qint32 result, const QByteArray& there, const QByteArray& content, const QByteArray& old,
               const QString& reason)
    {
        ++transfers;
        if (result == 0) {
            silent += there != content;
            bytes += content.size();
        } else {
            ++failures;
            ++results[result];
            reasons << reason;
            clobbered += there != old;
        }
    }
};

QString optionValue(const QStringList& arguments, const QString& name, const QString& fallback)
{
    const qsizetype at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : fallback;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int files = optionValue(arguments, QStringLiteral("--files"), QStringLiteral("200")).toInt();
    const QString noise = optionValue(arguments, QStringLiteral("--noise"), QStringLiteral("0.0001"));
    const quint32 seed = optionValue(arguments, QStringLiteral("--seed"), QStringLiteral("1")).toUInt();
    const bool text = arguments.contains(QStringLiteral("--text"));

    QTemporaryDir temp;
    const QString media = temp.filePath(QStringLiteral("media/M"));
    const QString host = temp.filePath(QStringLiteral("host"));
    const QString transcript = temp.filePath(QStringLiteral("transcript.txt"));
    QDir().mkpath(media);
    QDir().mkpath(host);
    QStringList line{QStringLiteral("--corrupt"),    noise,
                     QStringLiteral("--drop"),       noise,
                     QStringLiteral("--seed"),       QString::number(seed),
                     QStringLiteral("--transcript"), transcript};
    if (text)
        line << QStringLiteral("--no-pack");
    bench::Instrument instrument(temp.filePath(QStringLiteral("media")), line);
    link::PexLink pex([&](int) { return instrument.device(); });
    if (pex.PexOpen(link::PexOpenRecord{}) != 0 || pex.PexRetry(1) != 0 || pex.PexSetTimeOut(6000) != 0) {
        std::fprintf(stderr, "noise_bench: cannot open the link: %s\n", qPrintable(pex.errorString()));
        return 2;
    }
    bench::QuietDialogs dialogs;
    bench::ProgramRig program(dialogs, pex, temp.path());
    ProgramContext& ctx = program.ctx;

    QRandomGenerator random(seed);
    Tally sent;
    Tally received;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < files; ++i) {
        QByteArray content(random.bounded(64 * 1024 + 1), Qt::Uninitialized);
        if (text) {
            content = bench::measurements(static_cast<int>(content.size() / 40) + 1, random.generate())
                          .left(content.size());
        } else {
            for (char& byte : content)
                byte = static_cast<char>(random.bounded(256));
        }

        const QString out = QStringLiteral("S%1.DAT").arg(i, 4, 10, QLatin1Char('0'));
        const QByteArray oldOut = QByteArrayLiteral("old ") + out.toLatin1();
        writeFile(host + QLatin1Char('/') + out, content);
        writeFile(media + QLatin1Char('/') + out, oldOut);
        const qint32 sendResult =
            RmtSendFile(ctx, panePath(host + QLatin1Char('/') + out), QStringLiteral("M:\\") + out);
        sent.count(sendResult, readFile(media + QLatin1Char('/') + out), content, oldOut, pex.errorString());

        const QString in = QStringLiteral("R%1.DAT").arg(i, 4, 10, QLatin1Char('0'));
        const QByteArray oldIn = QByteArrayLiteral("old ") + in.toLatin1();
        writeFile(media + QLatin1Char('/') + in, content);
        writeFile(host + QLatin1Char('/') + in, oldIn);
        const qint32 receiveResult =
            RmtReceiveFile(ctx, QStringLiteral("M:\\") + in, panePath(host + QLatin1Char('/') + in));
        received.count(receiveResult, readFile(host + QLatin1Char('/') + in), content, oldIn,
                       pex.errorString());
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    pex.PexClose();

    // Temporary files left behind, on either side, beside the 2 x files expected.
    const qsizetype strays = QDir(media).entryList(QDir::Files | QDir::Hidden).size() - 2 * files +
                             QDir(host).entryList(QDir::Files | QDir::Hidden).size() - 2 * files;
    const qsizetype closings = readFile(transcript).count("CMD DUMMY\n");

    std::printf("Noise %s corrupted and %s lost per byte each way, unpaced, seed %u, %s\n", qPrintable(noise),
                qPrintable(noise), seed,
                text ? "measurement files in plain blocks" : "random data, compression agreed");
    std::printf("%-28s %10s %10s\n", "", "to instr.", "from instr.");
    std::printf("%-28s %10d %10d\n", "transfers", sent.transfers, received.transfers);
    std::printf("%-28s %10d %10d\n", "failures reported", sent.failures, received.failures);
    std::printf("%-28s %10d %10d\n", "silent corruptions", sent.silent, received.silent);
    std::printf("%-28s %10d %10d\n", "old contents lost on failure", sent.clobbered, received.clobbered);
    std::printf("%-28s %10.1f %10.1f\n", "KiB delivered", sent.bytes / 1024.0, received.bytes / 1024.0);
    std::printf("retransmissions (PexLink::retransmissions()): %llu\n",
                static_cast<unsigned long long>(pex.retransmissions()));
    std::printf("closing DUMMY commands carried out: %lld of %d sent (each at most once)\n",
                static_cast<long long>(closings), sent.transfers);
    std::printf("temporary files left: %lld\n", static_cast<long long>(strays));
    for (const Tally* tally : {&sent, &received})
        for (const auto& [result, count] : tally->results)
            std::printf("  %s failed with %d: %d\n", tally == &sent ? "to instrument" : "from instrument",
                        result, count);
    for (const Tally* tally : {&sent, &received})
        for (const QString& reason : tally->reasons)
            std::printf("  link: %s\n", qPrintable(reason));
    std::printf("%.1f s in all\n", seconds);
    const bool sound = sent.silent + received.silent + sent.clobbered + received.clobbered == 0 &&
                       strays == 0 && closings <= sent.transfers;
    return sound ? 0 : 1;
}
