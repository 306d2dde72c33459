#pragma once

#include "link/FrameCodec.h"
#include "link/LinkPack.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace orvalt::instrument {

// The command line of orvalt-instrument. Scripts and tests rely on these option names.
struct InstrumentOptions
{
    QString mediaDir; // --media: one sub-folder per medium
    QString device;   // --device: serve this serial device instead of a new pseudo-terminal
    QString link;     // --link: symbolic link to the pseudo-terminal, removed at the end
    QString model = QStringLiteral("KD7350");
    QStringList mediaNames = {QStringLiteral("INT MEM"), QStringLiteral("Card 1"), QStringLiteral("Card 2"),
                              QStringLiteral("FD")};
    bool shortNames = false;       // refuse "TDIF?" and every name outside upper-case 8.3
    qint64 baud = 0;               // pace the line at baud / 10 bytes a second; 0 unpaced
    bool transcriptTimes = false;  // each transcript line begins with its time
    bool transcriptPacked = false; // the transcript also records the blocks of compressed streams
    QString transcript;            // append one line per distinct request received
    int busyEvery = 0;             // answer 60 to every n-th command; 0 never
    bool quietDummy = false;       // "DUMMY" answers 0 even after a refused upload, as some instruments do
    bool full = false;             // every medium is full: uploads and new folders are refused (160)
    double corrupt = 0.0;          // probability of one flipped bit in a byte sent or received
    double drop = 0.0;             // probability of a byte sent or received being lost
    quint32 seed = 1;
    int window = link::kMaxWindow; // window requests taken at most; 0: says nothing of a window
    int blockMs = 0;               // time each block request takes on the medium, as a slow one does
    int packWindow = link::kMaxPackWindowBits; // deflate window decoded, as bits; 0: no compression
    QString undated;                           // files of this name are listed with a date no clock gives
    QString meet;              // a folder where instruments talked to at once meet before the first answer
    bool noCaseRename = false; // refuse a rename that only changes letter case, as some media do
    std::optional<qint32> dummyResult; // "DUMMY" after a stored upload answers this instead of 0
    int stallAfterUploadMs = 0;        // a stored upload's last block is answered this much later

    bool isRzFamily() const { return model.startsWith(QLatin1String("RZ")); }
};

// Parses the arguments (the program name first). On failure returns nothing and sets error to a
// text for standard error; --help and --version put their text there and also return nothing.
std::optional<InstrumentOptions> parseInstrumentOptions(const QStringList& arguments, QString* error);

} // namespace orvalt::instrument
