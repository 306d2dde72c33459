// File bytes a second against the line rate at 115200 baud when the link compresses, on the files
// users move: a measurement file (60,000 rows of date, time and four noisy channels) with no delay
// and with a 5 ms round trip; random data, which does not shrink, against the same link without
// compression (an instrument started with --no-pack) in the same run; ZMODEM (sz/rz) on the same
// line for each. The measurement file is also put against `gzip -6` of the whole file, the most a
// stream compressor of that kind gets out of it. Run through bench/run.
//
//   compress_bench [--rows N] [--random BYTES] [--zmodem-bytes BYTES] [--no-zmodem]
//
// ZMODEM moves every byte as it is, so its rate does not depend on what the file holds: it sends
// the first --zmodem-bytes of each file (1 MiB), not the whole 3 MB measurement file.

#include "bench/LinkLegs.h"
#include "bench/MeasurementData.h"
#include "bench/RelayLine.h"
#include "link/PexLink.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <random>

using namespace orvalt::link;
using orvalt::bench::kLineRate;
using orvalt::bench::Leg;
using orvalt::bench::LineConditions;
using orvalt::bench::linkRead;
using orvalt::bench::linkWrite;
using orvalt::bench::measurements;
using orvalt::bench::randomBytes;
using orvalt::bench::zmodemLeg;

namespace {

struct Options
{
    int rows = 60000;
    qint64 randomBytes = 512 * 1024;
    qint64 zmodemBytes = 1024 * 1024;
    bool zmodem = true;
};

struct Both
{
    Leg write;
    Leg read;
    int pack = -1;
};

Both runLink(const QByteArray& data, const LineConditions& conditions, const QStringList& instrumentOptions)
{
    Both run;
    orvalt::bench::RelayLine line(conditions);
    if (!line.isOpen()) {
        run.write.note = QStringLiteral("no pseudo-terminal");
        return run;
    }
    orvalt::bench::LineInstrument instrument(line.endA(), instrumentOptions);
    const QString device = line.endB();
    PexLink link([&device](int) { return device; });
    if (!orvalt::bench::openLink(link)) {
        run.write.note = QStringLiteral("the instrument did not answer: ") + link.errorString();
        return run;
    }
    run.write = linkWrite(link, data);
    run.pack = link.packAgreed();
    run.read = linkRead(link, data);
    link.PexClose();
    return run;
}

// How many times `gzip -6` shrinks the whole file; 0 when gzip cannot be run.
double gzipRatio(const QByteArray& data)
{
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-6"), QStringLiteral("-c")});
    if (!gzip.waitForStarted(10000))
        return 0;
    gzip.write(data);
    gzip.closeWriteChannel();
    QByteArray packed;
    while (gzip.waitForReadyRead(30000) || gzip.bytesAvailable() > 0)
        packed += gzip.readAll();
    gzip.waitForFinished(30000);
    packed += gzip.readAll();
    return packed.isEmpty() ? 0 : double(data.size()) / packed.size();
}

QString cell(const Leg& leg, qint64 bytes)
{
    if (!leg.ran)
        return QString();
    return leg.ok ? QString::number(leg.ratio(bytes), 'f', 3) : QStringLiteral("FAILED");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rows") && i + 1 < args.size())
            options.rows = args[++i].toInt();
        else if (args[i] == QLatin1String("--random") && i + 1 < args.size())
            options.randomBytes = args[++i].toLongLong();
        else if (args[i] == QLatin1String("--zmodem-bytes") && i + 1 < args.size())
            options.zmodemBytes = args[++i].toLongLong();
        else if (args[i] == QLatin1String("--no-zmodem"))
            options.zmodem = false;
        else {
            std::fprintf(stderr, "usage: compress_bench [--rows N] [--random BYTES] [--zmodem-bytes BYTES] "
                                 "[--no-zmodem]\n");
            return 2;
        }
    }
    if (options.rows < 1 || options.rows > 1000000 || options.randomBytes < 1 ||
        options.randomBytes > 64 * 1024 * 1024 || options.zmodemBytes < 1) {
        std::fprintf(stderr, "compress_bench: rows 1 .. 1,000,000, random 1 byte .. 64 MiB\n");
        return 2;
    }

    using std::chrono::microseconds;
    const LineConditions noDelay{kLineRate, 0, microseconds(0)};
    const LineConditions fiveMs{kLineRate, 0, microseconds(2500)};
    const QByteArray csv = measurements(options.rows);
    const QByteArray random = randomBytes(options.randomBytes);
    const double gzip = gzipRatio(csv);

    std::printf("File bytes a second against the line rate at 115200 baud (%.0f bytes/s); ZMODEM (sz -> rz)\n"
                "on the same line in the same run, over the first %lld bytes of each file\n\n",
                kLineRate, static_cast<long long>(options.zmodemBytes));
    std::printf("%-40s %7s %7s %9s %9s %7s\n", "file, line", "write", "read", "of gzip", "plain", "ZMODEM");
    bool failed = false;
    auto row = [&](const char* what, const QByteArray& data, const LineConditions& line, bool plainToo,
                   double reference) {
        std::fprintf(stderr, "compress_bench: %s\n", what);
        const Both packed = runLink(data, line, {});
        Both plain;
        if (plainToo)
            plain = runLink(data, line, {QStringLiteral("--no-pack")});
        Leg zmodem;
        if (options.zmodem)
            zmodem = zmodemLeg(data.left(options.zmodemBytes), line);
        const qint64 bytes = data.size();
        const double worst = qMin(packed.write.ratio(bytes), packed.read.ratio(bytes));
        const QString ofGzip = reference > 0 ? QString::number(worst / reference, 'f', 2) : QString();
        const QString plainCell =
            plainToo ? cell(plain.write, bytes) + QLatin1Char('/') + cell(plain.read, bytes) : QString();
        std::printf("%-40s %7s %7s %9s %9s %7s\n", what, qPrintable(cell(packed.write, bytes)),
                    qPrintable(cell(packed.read, bytes)), qPrintable(ofGzip), qPrintable(plainCell),
                    qPrintable(cell(zmodem, qMin(bytes, options.zmodemBytes))));
        for (const Leg* leg : std::initializer_list<const Leg*>{&packed.write, &packed.read, &plain.write,
                                                                &plain.read, &zmodem}) {
            if (leg->ran && !leg->ok) {
                std::printf("  failed: %s\n", qPrintable(leg->note));
                failed = true;
            }
        }
        if (packed.pack <= 0) {
            std::printf("  the link did not compress\n");
            failed = true;
        }
    };
    const QByteArray csvName = QByteArray::number(options.rows) + " measurement rows";
    row((csvName + ", no delay").constData(), csv, noDelay, false, gzip);
    row((csvName + ", 5 ms round trip").constData(), csv, fiveMs, false, gzip);
    row("random data, no delay", random, noDelay, true, 0);
    std::printf(
        "\nThe measurement file: %lld bytes; gzip -6 of the whole file shrinks it %.2f times.\n"
        "\"of gzip\": the slower way's ratio against that; \"plain\": write/read against an instrument\n"
        "without compression. Targets: measurements >= 3.0 both ways and >= 0.70 of gzip; random data\n"
        ">= 0.97 and no worse than plain.\n",
        static_cast<long long>(csv.size()), gzip);
    return failed ? 1 : 0;
}
