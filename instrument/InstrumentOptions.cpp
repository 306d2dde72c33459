#include "InstrumentOptions.h"

#include "OrvaltVersion.h"
#include "link/FrameCodec.h"

#include <QCommandLineParser>

namespace orvalt::instrument {

namespace {

bool parseProbability(const QString& text, double* value)
{
    bool ok = false;
    const double p = text.toDouble(&ok);
    if (!ok || !(p >= 0.0 && p <= 1.0))
        return false;
    *value = p;
    return true;
}

} // namespace

std::optional<InstrumentOptions> parseInstrumentOptions(const QStringList& arguments, QString* error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Virtual measuring instrument: serves a folder as the instrument's media over a "
                       "pseudo-terminal or a serial device."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    const QCommandLineOption media(QStringLiteral("media"),
                                   QStringLiteral("Folder holding one sub-folder per medium (required)."),
                                   QStringLiteral("DIR"));
    const QCommandLineOption device(
        QStringLiteral("device"),
        QStringLiteral("Serve this serial device (at the --baud rate, or 9600) instead of a new "
                       "pseudo-terminal."),
        QStringLiteral("PATH"));
    const QCommandLineOption link(QStringLiteral("link"),
                                  QStringLiteral("Make a symbolic link to the pseudo-terminal here."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption model(QStringLiteral("model"),
                                   QStringLiteral("Model reported by PRODUCT? (default KD7350)."),
                                   QStringLiteral("NAME"));
    const QCommandLineOption mediaNames(QStringLiteral("media-names"),
                                        QStringLiteral("Comma-separated medium names (default "
                                                       "\"INT MEM,Card 1,Card 2,FD\")."),
                                        QStringLiteral("NAMES"));
    const QCommandLineOption shortNames(
        QStringLiteral("short-names"), QStringLiteral("Refuse TDIF? and every name outside upper-case 8.3."));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("Pace the line at N/10 bytes a second (0: unpaced)."),
                                  QStringLiteral("N"));
    const QCommandLineOption transcript(QStringLiteral("transcript"),
                                        QStringLiteral("Append a line per request received to FILE."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption transcriptTimes(
        QStringLiteral("transcript-times"),
        QStringLiteral("Begin each transcript line with its time in milliseconds since the epoch."));
    const QCommandLineOption transcriptPacked(
        QStringLiteral("transcript-packed"),
        QStringLiteral("Also record each block of a compressed stream as the line carried it (PAK lines)."));
    const QCommandLineOption busyEvery(QStringLiteral("busy-every"),
                                       QStringLiteral("Answer 60 (busy) to every N-th command."),
                                       QStringLiteral("N"));
    const QCommandLineOption quietDummy(
        QStringLiteral("quiet-dummy"),
        QStringLiteral("Answer DUMMY with 0 even after a refused upload, as some instruments do."));
    const QCommandLineOption full(QStringLiteral("full"),
                                  QStringLiteral("Every medium is full: refuse uploads and new folders."));
    const QCommandLineOption corrupt(QStringLiteral("corrupt"),
                                     QStringLiteral("Flip one bit of a byte sent or received with "
                                                    "probability P."),
                                     QStringLiteral("P"));
    const QCommandLineOption drop(QStringLiteral("drop"),
                                  QStringLiteral("Lose a byte sent or received with probability P."),
                                  QStringLiteral("P"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the line noise (default 1)."), QStringLiteral("N"));
    const QCommandLineOption window(
        QStringLiteral("window"),
        QStringLiteral("Take at most N block requests in flight (1 to %1, default %1).")
            .arg(link::kMaxWindow),
        QStringLiteral("N"));
    const QCommandLineOption noWindow(
        QStringLiteral("no-window"),
        QStringLiteral("Say nothing of a window, as an instrument that takes one request at a time: "
                       "WINDOW? is an unknown command, window frames are noise."));
    const QCommandLineOption blockMs(
        QStringLiteral("block-ms"),
        QStringLiteral("Spend MS milliseconds on every block request, as a slow medium does (0 to 10000)."),
        QStringLiteral("MS"));
    const QCommandLineOption packWindow(
        QStringLiteral("pack-window"),
        QStringLiteral("Decompress streams whose window is at most 2^BITS bytes (%1 to %2, default %2).")
            .arg(link::kMinPackWindowBits)
            .arg(link::kMaxPackWindowBits),
        QStringLiteral("BITS"));
    const QCommandLineOption noPack(
        QStringLiteral("no-pack"),
        QStringLiteral("Say nothing of compression, as an instrument of today: PACK? is an unknown "
                       "command, every block goes plain."));
    const QCommandLineOption undated(
        QStringLiteral("undated"),
        QStringLiteral("List files of this name with the date 0000/00/00 00:00:00, as an instrument whose "
                       "clock was never set does."),
        QStringLiteral("NAME"));
    const QCommandLineOption meet(
        QStringLiteral("meet"),
        QStringLiteral("At the first request, leave a mark in FOLDER and hold the answer until another "
                       "instrument has left one there (at most 30 s): instruments given the same FOLDER "
                       "answer only once all of them are talked to at once."),
        QStringLiteral("FOLDER"));
    parser.addOptions({undated, meet});
    const QCommandLineOption noCaseRename(
        QStringLiteral("no-case-rename"),
        QStringLiteral("Refuse a rename that only changes letter case (20), as a medium that cannot rename "
                       "in place does."));
    const QCommandLineOption dummyResult(
        QStringLiteral("dummy-result"),
        QStringLiteral("Answer DUMMY with N after an upload that was stored, as a faulty instrument might."),
        QStringLiteral("N"));
    const QCommandLineOption stallAfterUpload(
        QStringLiteral("stall-after-upload"),
        QStringLiteral("Store an upload, then answer its last block MS milliseconds later (0 to 60000), as "
                       "an instrument that stalls while it writes does."),
        QStringLiteral("MS"));
    parser.addOptions({noCaseRename, dummyResult, stallAfterUpload});
    parser.addOptions(
        {help, version,    media,           device,           link,      model,      mediaNames, shortNames,
         baud, transcript, transcriptTimes, transcriptPacked, busyEvery, quietDummy, full,       corrupt,
         drop, seed,       window,          noWindow,         blockMs,   packWindow, noPack});

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet(help)) {
        *error = parser.helpText();
        return std::nullopt;
    }
    if (parser.isSet(version)) {
        *error = QStringLiteral("orvalt-instrument %1").arg(QStringLiteral(ORVALT_VERSION));
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().constFirst());
        return std::nullopt;
    }

    InstrumentOptions options;
    options.mediaDir = parser.value(media);
    if (options.mediaDir.isEmpty()) {
        *error = QStringLiteral("--media DIR is required");
        return std::nullopt;
    }
    options.device = parser.value(device);
    options.link = parser.value(link);
    if (!options.device.isEmpty() && !options.link.isEmpty()) {
        *error = QStringLiteral("--link applies to the pseudo-terminal only, not to --device");
        return std::nullopt;
    }
    if (parser.isSet(model))
        options.model = parser.value(model);
    if (options.model.isEmpty()) {
        *error = QStringLiteral("--model must not be empty");
        return std::nullopt;
    }
    if (parser.isSet(mediaNames))
        options.mediaNames = parser.value(mediaNames).split(QLatin1Char(','));
    options.shortNames = parser.isSet(shortNames);
    options.quietDummy = parser.isSet(quietDummy);
    options.full = parser.isSet(full);
    options.transcript = parser.value(transcript);
    options.transcriptTimes = parser.isSet(transcriptTimes);
    options.transcriptPacked = parser.isSet(transcriptPacked);
    options.undated = parser.value(undated);
    options.meet = parser.value(meet);

    bool ok = true;
    if (parser.isSet(baud)) {
        options.baud = parser.value(baud).toLongLong(&ok);
        if (!ok || options.baud < 0 || options.baud > 100000000) {
            *error = QStringLiteral("--baud needs a rate from 0 to 100000000");
            return std::nullopt;
        }
    }
    if (parser.isSet(busyEvery)) {
        options.busyEvery = parser.value(busyEvery).toInt(&ok);
        if (!ok || options.busyEvery < 0) {
            *error = QStringLiteral("--busy-every needs a count of 0 or more");
            return std::nullopt;
        }
    }
    if (parser.isSet(corrupt) && !parseProbability(parser.value(corrupt), &options.corrupt)) {
        *error = QStringLiteral("--corrupt needs a probability from 0 to 1");
        return std::nullopt;
    }
    if (parser.isSet(drop) && !parseProbability(parser.value(drop), &options.drop)) {
        *error = QStringLiteral("--drop needs a probability from 0 to 1");
        return std::nullopt;
    }
    if (parser.isSet(seed)) {
        options.seed = parser.value(seed).toUInt(&ok);
        if (!ok) {
            *error = QStringLiteral("--seed needs an unsigned 32-bit number");
            return std::nullopt;
        }
    }
    if (parser.isSet(window) && parser.isSet(noWindow)) {
        *error = QStringLiteral("--window and --no-window exclude each other");
        return std::nullopt;
    }
    if (parser.isSet(window)) {
        options.window = parser.value(window).toInt(&ok);
        if (!ok || options.window < 1 || options.window > link::kMaxWindow) {
            *error = QStringLiteral("--window needs a count from 1 to %1").arg(link::kMaxWindow);
            return std::nullopt;
        }
    }
    if (parser.isSet(noWindow))
        options.window = 0;
    if (parser.isSet(packWindow) && parser.isSet(noPack)) {
        *error = QStringLiteral("--pack-window and --no-pack exclude each other");
        return std::nullopt;
    }
    if (parser.isSet(packWindow)) {
        options.packWindow = parser.value(packWindow).toInt(&ok);
        if (!ok || options.packWindow < link::kMinPackWindowBits ||
            options.packWindow > link::kMaxPackWindowBits) {
            *error = QStringLiteral("--pack-window needs a number of bits from %1 to %2")
                         .arg(link::kMinPackWindowBits)
                         .arg(link::kMaxPackWindowBits);
            return std::nullopt;
        }
    }
    if (parser.isSet(noPack))
        options.packWindow = 0;
    options.noCaseRename = parser.isSet(noCaseRename);
    if (parser.isSet(dummyResult)) {
        const qint32 n = parser.value(dummyResult).toInt(&ok);
        if (!ok) {
            *error = QStringLiteral("--dummy-result needs a whole number");
            return std::nullopt;
        }
        options.dummyResult = n;
    }
    if (parser.isSet(stallAfterUpload)) {
        options.stallAfterUploadMs = parser.value(stallAfterUpload).toInt(&ok);
        if (!ok || options.stallAfterUploadMs < 0 || options.stallAfterUploadMs > 60000) {
            *error = QStringLiteral("--stall-after-upload needs a time from 0 to 60000");
            return std::nullopt;
        }
    }
    if (parser.isSet(blockMs)) {
        options.blockMs = parser.value(blockMs).toInt(&ok);
        if (!ok || options.blockMs < 0 || options.blockMs > 10000) {
            *error = QStringLiteral("--block-ms needs a time from 0 to 10000");
            return std::nullopt;
        }
    }
    return options;
}

} // namespace orvalt::instrument
