// Writes the instrument never confirmed: it stopped answering after the whole file was on its way,
// so the file may or may not be on the medium. Once the instrument answers again, its listing of
// the file's folder tells which, where it can.

#include "transfer/Unconfirmed.h"

#include "core/AppState.h"
#include "link/CommandWords.h"
#include "link/PexLink.h"
#include "panes/ListingText.h"
#include "panes/ProgramContext.h"
#include "panes/RemoteListing.h"
#include "panes/RemotePaths.h"
#include "session/CommandExchange.h"
#include "transfer/CopyRun.h"
#include "transfer/TransferTexts.h"

namespace orvalt {

UnconfirmedOutcome settleWrite(const UnconfirmedWrite& write, const std::optional<ListingEntry>& after)
{
    const ListedBefore& before = write.before;
    if (!after || after->folder) {
        // Nothing where nothing was. Gone where something was is not what this write would leave,
        // whichever way it went.
        return before.known && !before.exists ? UnconfirmedOutcome::NotWritten
               : !before.known && !after      ? UnconfirmedOutcome::NotWritten
                                              : UnconfirmedOutcome::Unknown;
    }
    // Without knowing what was there, a file of the size sent may be an older one of that size.
    if (!before.known)
        return UnconfirmedOutcome::Unknown;
    const qint64 bytes = listingBytes(*after).value_or(-1);
    if (bytes < 0 || write.size < 0)
        return UnconfirmedOutcome::Unknown;
    if (!before.exists)
        return bytes == write.size ? UnconfirmedOutcome::Written : UnconfirmedOutcome::Unknown;
    const bool sameDate = listingDateText(*after) == before.date;
    if (bytes == write.size && (before.bytes != write.size || !sameDate))
        return UnconfirmedOutcome::Written;
    if (bytes == before.bytes && sameDate && before.bytes != write.size)
        return UnconfirmedOutcome::NotWritten;
    // The same size and date before and after: the listing cannot tell the two files apart.
    return UnconfirmedOutcome::Unknown;
}

namespace {

// The entry of the write's file in a fresh listing of its folder; nullopt in outer when the
// instrument did not answer.
std::optional<std::optional<ListingEntry>> listedNow(ProgramContext& ctx, const QString& remotePath)
{
    if (!ctx.instrument.select(ctx, MediumCode(remotePath), wireFolder(FolderOfPath(remotePath).mid(2))).ok())
        return std::nullopt;
    qint32 result = 0;
    const QList<ListingEntry> entries = splitListing(DirList(ctx, QString(), &result));
    ctx.instrument.noteResult(result);
    if (result != 0)
        return std::nullopt;
    const QString name = NameOfPath(remotePath).toCaseFolded();
    for (const ListingEntry& e : entries)
        if (e.name.toCaseFolded() == name)
            return std::optional<ListingEntry>(e);
    return std::optional<ListingEntry>();
}

} // namespace

void settleUnconfirmed(ProgramContext& ctx, CopyRun& run)
{
    // A port that went away cannot be asked; an instrument that only stopped answering may answer
    // again.
    if (run.notConfirmed.isEmpty() || run.linkLost != link::PexResult::TimeOut)
        return;
    QList<UnconfirmedWrite> left;
    bool answering = true;
    for (const UnconfirmedWrite& write : std::as_const(run.notConfirmed)) {
        std::optional<std::optional<ListingEntry>> now;
        if (answering)
            now = listedNow(ctx, write.remotePath);
        answering = now.has_value();
        const UnconfirmedOutcome outcome = now ? settleWrite(write, *now) : UnconfirmedOutcome::Unknown;
        if (outcome == UnconfirmedOutcome::Unknown)
            left.append(write);
        else
            run.settled << TransferTexts::notCopied(write.remotePath, TransferTexts::settled(outcome));
    }
    run.notConfirmed = left;
}

} // namespace orvalt
