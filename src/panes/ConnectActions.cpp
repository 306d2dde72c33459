#include "panes/ConnectActions.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "core/SerialSettings.h"
#include "core/Settings.h"
#include "link/PexLink.h"
#include "link/ProductReply.h"
#include "panes/PaneModel.h"
#include "panes/PaneSetup.h"
#include "panes/ProgramContext.h"
#include "session/CommandExchange.h"

#include <array>

namespace orvalt {

namespace {

const QString kProduct = QStringLiteral("Product");
// The RZ family's raw lines go through a buffer of this size.
constexpr qint32 kRawLineBuffer = 49;

void sendRawLine(ProgramContext& ctx, const QString& line)
{
    std::array<char, kRawLineBuffer> buffer{};
    qint32 length = StrToBytes(buffer, line + QLatin1Char('\n'));
    if (length < 0)
        return;
    ctx.link.PexSendString(length, buffer.data()); // the instrument does not answer raw lines
}

// "It failed in the connection", with what the link knows of the cause on a line of its own.
void connectionFailed(ProgramContext& ctx)
{
    QString text = ResourceTexts::text(8302);
    const QString why = ctx.link.errorString().trimmed();
    if (!why.isEmpty())
        text += QStringLiteral("\n\n") + why;
    ctx.dialogs.plain(text);
}

} // namespace

void ReadModel(ProgramContext& ctx)
{
    ctx.state.ModelName = ctx.settings.ReadIniValue(ctx.settings.exeName(), kProduct, QStringLiteral("Model"),
                                                    QStringLiteral("KD7350"));
}

void CheckProduct(ProgramContext& ctx)
{
    AppState& st = ctx.state;
    QByteArray reply(link::PexLink::kReplyBufferSize, ' ');
    ctx.link.PexSendCommand(QByteArrayLiteral("PRODUCT?"),
                            reply); // no link yet at start-up: reply stays blank
    const ProductReply product = ParseProductReply(reply);
    if (IsRzFamily(product.model)) {
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

void Connect(ProgramContext& ctx)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    const SerialOpenValues v = OpenValuesOf(st);
    link::PexOpenRecord record;
    record.port = v.port;
    record.baud = v.speed;
    record.dataBits = v.dataBits;
    record.parity = v.parity;
    record.stopBits = v.stopBits;
    record.flowControl = v.handShake;
    ctx.link.PexOpen(record);
    ctx.link.PexRetry(1);
    if (ctx.link.PexSetTimeOut(6000) != 0) {
        connectionFailed(ctx);
        return;
    }
    if (IsRzFamily(st.ModelName)) {
        st.LongNames = false;
        ctx.link.PexSetTimeOut(180000);
        ctx.dialogs.plain(ResourceTexts::text(8301));
        sendRawLine(ctx, QStringLiteral("UTILITY FILECOPY,ON"));
        st.Connected = true;
        CheckProduct(ctx);
    } else {
        if (SendCmd(st, ctx.link, ctx.dialogs, QStringLiteral("STS?")) != 0) {
            connectionFailed(ctx);
            return;
        }
        ctx.dialogs.plain(ResourceTexts::text(8301));
        st.LongNames = SendCmd(st, ctx.link, ctx.dialogs, QStringLiteral("TDIF?")) == 0;
    }
    st.Connected = true;
    // Each instrument pane is listed anew, as if the user had chosen its medium.
    for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")})
        if (st.devId(side) == QLatin1String("1"))
            MediaListChosen(ctx, side);
}

void Disconnect(ProgramContext& ctx)
{
    AppState& st = ctx.state;
    if (st.TransferBusy)
        return;
    if (IsRzFamily(st.ModelName))
        sendRawLine(ctx, QStringLiteral("UTILITY FILECOPY,OFF"));
    for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")})
        if (st.devId(side) == QLatin1String("1"))
            PaneList(ctx, side).clear();
    st.Connected = false;
    ctx.link.PexClose();
}

} // namespace orvalt
