#include "fileops/Format.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "fileops/CommandFailure.h"
#include "fileops/DestructiveQuestions.h"
#include "link/CommandWords.h"
#include "panes/HostListing.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"
#include "session/CommandExchange.h"
#include "session/Connection.h"
#include "session/ErrorText.h"

namespace orvalt {

void toolbarFormat(ProgramContext& ctx, const QString& side, const FormatPause& pause)
{
    AppState& st = ctx.state;
    if (st.TransferBusy || side.isEmpty())
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
    const QString medium = paneList(ctx, side).choosers().mediumText();
    ctx.dialogs.busyText(QStringLiteral("Formatting %1 the instrument answers when it is done.").arg(medium));
    const qint32 result = ctx.instrument.send(ctx, CommandWords::kFormat + code);
    if (st.LastReplyCode == QLatin1String("   ")) {
        if (st.medium(side) == QLatin1String("D:")) {
            // The window must not close under the format while it waits.
            const bool closeAllowed = st.CloseAllowed;
            st.CloseAllowed = false;
            ctx.dialogs.busyText(QStringLiteral("Formatting %1 the floppy drive needs %2 s more.")
                                     .arg(medium)
                                     .arg(kFloppyFormatWaitMs / 1000));
            pause(kFloppyFormatWaitMs);
            st.CloseAllowed = closeAllowed;
        }
        LoadListview(ctx, side);
    }
    ctx.dialogs.busyText(QString());
    if (result == 0) {
        LoadListview(ctx, side);
        return;
    }
    // The pane keeps its rows; below "Media Error", why, where the program knows.
    ctx.dialogs.notice(ErrorText::twoLines(ResourceTexts::text(8112),
                                           commandCause(ctx, result, st.medium(side) + QLatin1Char('\\'))));
}

void toolbarFormat(ProgramContext& ctx, const QString& side)
{
    toolbarFormat(ctx, side, [](int ms) { pauseWithoutInput(ms); });
}

} // namespace orvalt
