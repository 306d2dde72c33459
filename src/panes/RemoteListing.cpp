#include "panes/RemoteListing.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "link/CommandWords.h"
#include "link/PexLink.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"
#include "panes/RowText.h"
#include "session/CommandExchange.h"
#include "session/Connection.h"
#include "session/ErrorText.h"

#include <array>
#include <limits>

namespace orvalt {

namespace {

constexpr qint32 kBlockBuffer = 301;
// An instrument folder of thousands of entries is a few hundred kilobytes; a peer that goes on
// sending past this is not listing a folder, and the pane must not wait on it for ever.
constexpr qsizetype kMaxListingBytes = 16 * 1024 * 1024;
constexpr int kMaxEmptyBlocks = 16;

} // namespace

QString DirList(ProgramContext& ctx, const QString& /*unusedPath*/, qint32* result)
{
    std::array<char, kBlockBuffer> buffer{};
    QByteArray collected;
    qint32 lastLength = 0;
    int emptyBlocks = 0;
    qint32 status = -1;
    for (;;) {
        qint32 type = 0;
        qint32 length = 0;
        if (lastLength == 0) {
            // A block of no bytes that is not the last asks for the listing again.
            length = StrToBytes(buffer, CommandWords::kDirectory);
            type = 3;
        } else {
            type = 4;
            length = 0;
        }
        status = ctx.link.PexSendData(type, length, buffer.data());
        if (status != 0)
            break;
        ctx.dialogs.yield();
        type = 0;
        length = 0;
        status = ctx.link.PexReceiveData(type, length, buffer.data(), kBlockBuffer);
        if (status != 0)
            break;
        status = -1;
        if (type == 9)
            break;
        length = qBound(0, length, kBlockBuffer);
        collected.append(buffer.data(), length);
        if (type == 7) {
            status = 0;
            break;
        }
        if (collected.size() > kMaxListingBytes)
            break;
        if (length == 0 && ++emptyBlocks > kMaxEmptyBlocks)
            break;
        lastLength = length;
        ctx.dialogs.yield();
    }
    const QString text = QString::fromLatin1(collected);
    if (result)
        *result = status;
    ctx.dialogs.yield();
    return text;
}

QString listingFailureText(ProgramContext& ctx, qint32 result)
{
    const QString why = result > 900 ? ErrorText::linkCause(ctx.link)
                                     : QStringLiteral("The instrument broke the listing off.");
    return ErrorText::twoLines(QStringLiteral("The listing of this folder is incomplete."), why);
}

QString mediumRefusedText(ProgramContext& ctx, qint32 result, const QString& medium)
{
    QString cause = ErrorText::linkCauseOf(ctx.link, result);
    if (cause.isEmpty())
        cause = ErrorText::refusalCause(ctx.state.lastRefusal, medium, medium);
    return ErrorText::twoLines(ResourceTexts::text(8303), cause);
}

QString pathRefusedText(ProgramContext& ctx, qint32 result, const QString& folder)
{
    QString cause = ErrorText::linkCauseOf(ctx.link, result);
    if (cause.isEmpty())
        cause = ErrorText::refusalCause(ctx.state.lastRefusal, folder, folder.left(2));
    return ErrorText::twoLines(ResourceTexts::text(8304), cause);
}

QList<PaneRow> listingRows(const QList<ListingEntry>& entries)
{
    QList<PaneRow> rows;
    rows.reserve(entries.size());
    for (const ListingEntry& e : entries)
        rows.append({e.name, listingDateText(e), listingSizeText(e),
                     e.folder ? QString(kDirKind) : kindText(e.name), e.folder,
                     listingBytes(e).value_or(-1)});
    return rows;
}

void R_LoadListview(ProgramContext& ctx, const QString& side)
{
    AppState& st = ctx.state;
    PaneModel& pane = paneList(ctx, side);
    if (!CheckConnect(ctx, pane.choosers().mediumText(), side))
        return;
    const InstrumentSession::Selected selected =
        ctx.instrument.select(ctx, MediumCode(st.medium(side)), wireFolder(st.path(side)));
    // A medium or folder that cannot be chosen is not listed: the listing would be of whatever place
    // was selected before.
    if (selected.medium != 0) {
        const QString caption = pane.choosers().mediumText();
        if (st.Interactive)
            ctx.dialogs.plain(mediumRefusedText(
                ctx, selected.medium, caption.endsWith(QLatin1Char(':')) ? caption.chopped(1) : caption));
        return;
    }
    if (selected.folder == 60) {
        ctx.dialogs.plain(QStringLiteral("DEVICE BUSY"));
        return;
    }
    if (selected.folder != 0) {
        if (st.Interactive)
            ctx.dialogs.plain(pathRefusedText(ctx, selected.folder, st.medium(side) + st.path(side)));
        return;
    }
    qint32 listed = 0;
    const QString listing = DirList(ctx, QString(), &listed);
    ctx.instrument.noteResult(listed);
    // The rows that arrived are shown, and the user is told the folder may hold more.
    if (listed != 0 && st.Interactive)
        ctx.dialogs.plain(listingFailureText(ctx, listed));
    pane.appendRows(listingRows(splitListing(listing)));
}

qint32 RmtFileSize(ProgramContext& ctx, const QString& name)
{
    QString listing = DirList(ctx);
    NextField(listing);
    for (;;) {
        const QString entry = NextField(listing);
        if (entry.isEmpty())
            return 0;
        ListingEntry e;
        e.sizeField = NextField(listing);
        NextField(listing);
        NextField(listing);
        NextField(listing);
        // The name as it came: a folder keeps its "/", so only a file can match.
        if (entry == name) {
            const auto n = listingBytes(e);
            return n && *n <= std::numeric_limits<qint32>::max() ? static_cast<qint32>(*n) : 0;
        }
    }
}

} // namespace orvalt
