#pragma once

#include "link/PexLink.h"

#include <QDateTime>
#include <QIODevice>
#include <QString>

namespace orvalt {

struct ProgramContext;

// Results of the sender and the receiver beyond those of the instrument (0, 20, 60, 100, 160) and of
// the link (above 900). The negative ones below -1 are failures on the host's side; they come with
// a text for the user that names the host file.
namespace TransferResult {
constexpr qint32 Done = 0;
// Receiver: an answer block missing, refused (kind 9) or malformed. Sender: a block refused (kind 9)
// when "DUMMY" reported nothing after it.
constexpr qint32 NotReceived = -1;
constexpr qint32 HostReadFailed = -2; // sender: the host file cannot be opened or read
// 2^31 bytes or more, beyond the length header's reach: a host file to send, or a file the instrument
// announced.
constexpr qint32 HostFileTooLarge = -3;
constexpr qint32 HostWriteFailed = -4; // receiver: the host file cannot be created, written or put in place
constexpr qint32 PathNotSendable = -5; // a command would not fit its block or carry a non-Latin-1 name
// The user stopped the file in hand (Interruption pressed twice, a second Ctrl+C): the stream was
// abandoned, the target keeps what it had and no part of the file is left.
constexpr qint32 Stopped = -6;
// Sender: the instrument stopped answering (or the line went) after the whole file was on its way,
// so whether it stored the file is not known. The instrument is out of reach, as with linkGone;
// the link's own failure (lastFailure) says how.
constexpr qint32 NotConfirmed = -7;
// The lowest of the results above: an instrument's own negative result in this range would be
// taken for one of them.
constexpr qint32 kLowestOwn = NotConfirmed;

// True for the results that come with a host-side text (hostFailure below).
inline bool isHostFailure(qint32 result)
{
    return result <= HostReadFailed && result >= PathNotSendable;
}

// True for the link's results that mean the instrument is out of reach: no answer within the
// time-out, the line gone, closed or refusing bytes. Every further request would fail the same
// way, most of them only after waiting out the time-out.
inline bool linkGone(qint32 result)
{
    return result == link::PexResult::NotOpen || result == link::PexResult::TimeOut ||
           result == link::PexResult::WriteFailed || result == link::PexResult::LinkLost;
}
} // namespace TransferResult

// Writes one host file to the instrument. hostPath is a HostFs host path; remotePath a remote path
// (M:\DATA\A.DAT). On the line: "FWT code,/DATA/A.DAT," (kind 0), the length as 4 bytes big-endian
// (kind 0), ceil(L / 256) blocks of 256 bytes, the last of kind 1 (one empty block for an empty
// file), each acknowledged before the next goes, then the command "DUMMY", whose result tells how
// the instrument stored the file (not after a time-out or a lost link: that result is returned
// at once, so the failure is told within the time-out). Returns 0 at once, touching nothing, when
// StopRequested is set. NotConfirmed when the link failed after the last block had been handed
// to it (or "DUMMY" got no answer after every block was acknowledged): the instrument may have
// stored the file. Otherwise the "DUMMY" result when not 0 (NotReceived for a negative one
// that would read as one of the results above), else NotReceived when the
// instrument refused a block (kind 9), else the status of the last link call; or one of the host
// results above, with hostFailure (when given) set to a text for the user. A host file that cannot
// be opened, is too large, or whose path cannot be sent is refused before anything goes out.
// StopFileNow set during the transfer abandons the file after the block in hand
// (abandonFileStream): Stopped, and the instrument keeps the file it had.
qint32 RmtSendFile(ProgramContext& ctx, const QString& hostPath, const QString& remotePath,
                   QString* hostFailure = nullptr);

// Reads one instrument file into a host file. Sends "CDR " with the file's folder, then "FRD? name"
// (kind 3) and asks for each further block (kind 4) until the instrument's last block (kind 7). The
// instrument's current medium must already be the file's. The data go into a temporary file beside
// the target, which takes the target's place only once the last block has arrived: any failure
// leaves an existing host file as it was and no partial file behind. Returns 0 when the file was
// received and stored (or at once, touching nothing, when StopRequested is set); the result of a
// "CDR " that failed (nothing is asked for then); the status of a request the link could not send; -1 when an
// answer was not received, refused or malformed, or its blocks did not add up to the length it announced;
// HostFileTooLarge when that length is 2^31 bytes or more (refused at the first block); or
// HostWriteFailed / PathNotSendable; hostFailure is set with the host results. A
// host write that fails midway stops at that block and lets the instrument's stream go
// (abandonFileStream), so the instrument is ready for the next command. StopFileNow set during the transfer
// abandons the read after the block in hand (abandonFileStream): Stopped, the temporary file removed and the
// host file left as it was. modified, when valid, becomes the host file's modification time (the instrument's
// date of the file, from its listing); otherwise the file has the time of the copy.
// part asks for a look at a file's start rather than a copy: at most part.keep bytes are read, and
// once they are in the instrument's stream is let go (abandonFileStream) and they are put in place,
// however long the file is (one of 2^31 bytes or more is not refused then). part.size is set to the
// length the instrument announced for the whole file. Such a look stops at the first Interruption
// (StopRequested), as a copy does only at the second.
struct ReceivePart
{
    qint64 keep = -1;       // the most bytes kept; -1 for the whole file
    qint64* size = nullptr; // the whole file's length, once the instrument told it
};
qint32 RmtReceiveFile(ProgramContext& ctx, const QString& remotePath, const QString& hostPath,
                      QString* hostFailure = nullptr, const QDateTime& modified = QDateTime(),
                      const ReceivePart& part = ReceivePart());

// The same receiver into a stream that is open already (orvalt-cli cat's standard output): each
// block goes out as it arrives, so nothing is held back, and nothing can be taken back either. A
// write that fails (the reader went away) lets the instrument's stream go and returns
// HostWriteFailed, failure saying so of shown ("standard output").
qint32 RmtReceiveToStream(ProgramContext& ctx, const QString& remotePath, QIODevice& stream,
                          const QString& shown, QString* failure = nullptr);

} // namespace orvalt
