#include "panes/ConnectActions.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "core/Settings.h"
#include "link/PexLink.h"
#include "panes/PaneModel.h"
#include "panes/PaneSetup.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"
#include "session/Connection.h"
#include "session/ErrorText.h"
#include "session/InstrumentSession.h"

namespace orvalt {

namespace {

const QString kProduct = QStringLiteral("Product");

// A model of the RZ family records its model and media in the settings file; then both panes'
// selectors are rebuilt.
void showProduct(ProgramContext& ctx, const ProductReply& product)
{
    AppState& st = ctx.state;
    if (isRzFamily(product.model)) {
        st.ModelName = product.model;
        ctx.settings.WriteIniValue(ctx.settings.exeName(), kProduct, QStringLiteral("Model"), product.model);
        for (int i = 0; i < product.media.size(); ++i) {
            ctx.settings.WriteIniValue(ctx.settings.exeName(), kProduct,
                                       QStringLiteral("Medium%1").arg(i + 1), product.media.at(i));
        }
    }
    FillSourceCombos(ctx);
    for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")}) {
        if (st.devId(side) == QLatin1String("1"))
            FillMediaList(ctx, side);
        else
            ShowHostDrives(ctx, side);
    }
    // A right pane on another medium than before starts at its root. Only the media list names a
    // medium: a host pane's drive prefix (a mount point here) never reads like a list entry.
    if (st.RDevID == QLatin1String("1") && ctx.rightPane.choosers().mediumText().right(2) != st.RMedium)
        st.Rpath = QStringLiteral("\\");
}

// A pane keeps its folder across Connection while its medium stays (the folder of the last run
// too); a folder the instrument no longer has gives way to the medium's root, quietly, as no user
// asked for it. The session remembers the selection, so the listing that follows sends no
// command twice.
void rootWhereTheFolderIsGone(ProgramContext& ctx, const QString& side)
{
    AppState& st = ctx.state;
    const QString code = paneList(ctx, side).choosers().mediumText().right(2);
    if (st.path(side) == QLatin1String("\\") || code != st.medium(side))
        return;
    const InstrumentSession::Selected selected =
        ctx.instrument.select(ctx, MediumCode(code), wireFolder(st.path(side)));
    if (selected.medium == 0 && selected.folder != 0 && selected.folder != 60)
        st.path(side) = QStringLiteral("\\");
}

} // namespace

QString connectionFailedText(ProgramContext& ctx)
{
    QString cause = ErrorText::linkCause(ctx.link);
    // The line is open but the instrument refused the greeting ("STS?" answered 60, say).
    if (cause.isEmpty() && !ctx.state.LastReplyCode.trimmed().isEmpty())
        cause = QStringLiteral("The instrument on %1 answered the greeting with %2: wait until it is ready, "
                               "then press Connection.")
                    .arg(ctx.link.device().isEmpty() ? QStringLiteral("the port") : ctx.link.device(),
                         ctx.state.LastReplyCode.trimmed());
    return ErrorText::twoLines(ResourceTexts::text(8302), cause);
}

void CheckProduct(ProgramContext& ctx)
{
    showProduct(ctx, askProduct(ctx.link)); // no link yet at start-up: the reply stays blank
}

void Connect(ProgramContext& ctx)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    const Greeting greeting = greetInstrument(ctx, [&ctx] { ctx.dialogs.plain(ResourceTexts::text(8301)); });
    if (!greeting.answered) {
        ctx.dialogs.plain(connectionFailedText(ctx));
        return;
    }
    if (greeting.product)
        showProduct(ctx, *greeting.product);
    // Each instrument pane is listed anew, as if the user had chosen its medium.
    for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")}) {
        if (st.devId(side) == QLatin1String("1")) {
            rootWhereTheFolderIsGone(ctx, side);
            mediaListChosen(ctx, side);
        }
    }
}

void Disconnect(ProgramContext& ctx)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")})
        if (st.devId(side) == QLatin1String("1"))
            paneList(ctx, side).clear();
    leaveInstrument(ctx);
}

} // namespace orvalt
