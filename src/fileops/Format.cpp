#include "fileops/Format.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "fileops/ActivePane.h"
#include "fileops/DestructiveQuestions.h"
#include "link/CommandWords.h"
#include "panes/HostListing.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemoteListing.h"
#include "panes/RemotePaths.h"
#include "session/CommandExchange.h"
#include "session/Connection.h"

namespace orvalt {

void toolbarFormat(ProgramContext& ctx, const FormatPause& pause)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    const QString side = activeSide(st);
    if (side.isEmpty())
        return;
    const QString code = MediumCode(MediumOfCaption(st.medium(side)));
    if (st.devId(side) != QLatin1String("1") || code.isEmpty()) {
        ctx.dialogs.plain(ResourceTexts::text(8104));
        return;
    }
    // Unconnected, "FMT " would come back without a reply text, which reads as a floppy still
    // formatting: half a minute of a frozen window for nothing.
    if (!CheckConnect(ctx, paneList(ctx, side).choosers().mediumText(), side))
        return;
    if (!ctx.dialogs.ask(formatQuestionText(ctx, side)))
        return;
    ctx.dialogs.setBusyPointer(true);
    const qint32 result = SendCmd(st, ctx.link, ctx.dialogs, CommandWords::kFormat + code);
    if (st.LastReplyCode == QLatin1String("   ")) {
        if (st.medium(side) == QLatin1String("D:")) {
            // The window must not close under the format while it waits.
            const bool closeAllowed = st.CloseAllowed;
            st.CloseAllowed = false;
            pause(kFloppyFormatWaitMs);
            st.CloseAllowed = closeAllowed;
        }
        LoadListview(ctx, side);
    }
    if (result == 0)
        LoadListview(ctx, side);
    else
        ctx.dialogs.notice(commandRefusedText(ctx, ResourceTexts::text(8112), result, st.medium(side)));
}

void toolbarFormat(ProgramContext& ctx)
{
    toolbarFormat(ctx, pauseWithoutInput);
}

} // namespace orvalt
