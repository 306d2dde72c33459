#include "session/Connection.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "core/SerialSettings.h"
#include "core/Settings.h"
#include "link/CommandWords.h"
#include "link/NetworkDevice.h"
#include "link/PexLink.h"
#include "link/WireText.h"
#include "session/CommandExchange.h"
#include "session/SessionContext.h"

#include <array>

namespace orvalt {

namespace {

// The RZ family's raw lines go through a buffer of this size.
constexpr qint32 kRawLineBuffer = 49;

// What the line panel says of the line being opened: the device and its settings; over raw TCP
// the device server's own port settings stand, which the program does not know.
QString openLineText(const AppState& state)
{
    const std::optional<link::NetworkDevice> network = link::parseNetworkDevice(deviceOf(state));
    if (network && network->kind == link::NetworkDevice::Kind::RawTcp)
        return deviceOf(state) + QStringLiteral(" \u00b7 the server's line settings");
    return lineSettingsText(state);
}

void sendRawLine(link::PexLink& link, const QString& line)
{
    std::array<char, kRawLineBuffer> buffer{};
    qint32 length = StrToBytes(buffer, line + QLatin1Char('\n'));
    if (length < 0)
        return;
    link.PexSendString(length, buffer.data()); // the instrument does not answer raw lines
}

} // namespace

void ReadModel(SessionContext& s)
{
    s.state.ModelName = s.settings.ReadIniValue(s.settings.exeName(), QStringLiteral("Product"),
                                                QStringLiteral("Model"), QStringLiteral("KD7350"));
}

ProductReply askProduct(link::PexLink& link, qint32* result)
{
    QByteArray reply(link::PexLink::kReplyBufferSize, ' ');
    const qint32 sent = link.PexSendCommand(QByteArray(CommandWords::kProduct.latin1()), reply);
    if (result)
        *result = sent;
    return parseProductReply(reply);
}

Greeting greetInstrument(SessionContext& s, const std::function<void()>& connected)
{
    AppState& st = s.state;
    const SerialOpenValues v = openValuesOf(st);
    st.OpenLine = openLineText(st);
    link::PexOpenRecord record;
    record.port = v.port;
    record.baud = v.speed;
    record.dataBits = v.dataBits;
    record.parity = v.parity;
    record.stopBits = v.stopBits;
    record.flowControl = v.handShake;
    Greeting greeting;
    // A line opened anew says nothing of where the instrument stands.
    s.instrument.forget();
    // A port that did not open ends the greeting here, with the open's own cause as the last failure.
    if (s.link.PexOpen(record) != 0)
        return greeting;
    s.link.PexRetry(1);
    if (s.link.PexSetTimeOut(kCallTimeOutMs) != 0)
        return greeting;
    if (isRzFamily(st.ModelName)) {
        st.LongNames = false;
        s.link.PexSetTimeOut(kRzCallTimeOutMs);
        if (connected)
            connected();
        sendRawLine(s.link, CommandWords::kFileCopyOn);
        st.Connected = true;
        greeting.answered = true;
        greeting.product = askProduct(s.link, &greeting.productResult);
        if (isRzFamily(greeting.product->model))
            st.ModelName = greeting.product->model;
        return greeting;
    }
    if (SendCmd(st, s.link, s.dialogs, CommandWords::kStatus) != 0)
        return greeting;
    if (connected)
        connected();
    st.LongNames = SendCmd(st, s.link, s.dialogs, CommandWords::kLongNames) == 0;
    st.Connected = true;
    greeting.answered = true;
    return greeting;
}

void leaveInstrument(SessionContext& s)
{
    if (isRzFamily(s.state.ModelName))
        sendRawLine(s.link, CommandWords::kFileCopyOff);
    s.state.Connected = false;
    s.state.OpenLine.clear();
    s.instrument.forget();
    s.link.PexClose();
}

bool instrumentOutOfReach(const AppState& state, const link::PexLink& link)
{
    return state.Connected && link.lineLost() != 0;
}

QString linePanelText(const AppState& state, const link::PexLink& link)
{
    if (!instrumentOutOfReach(state, link))
        return lineStatusText(state);
    const QString why = link.lineLost() == link::PexResult::TimeOut ? QStringLiteral("no answer")
                        : link.onNetwork()                          ? QStringLiteral("the connection closed")
                                                                    : QStringLiteral("the port went away");
    return QStringLiteral("Not connected \u00b7 ") + why;
}

bool CheckConnect(SessionContext& s, const QString& device, const QString& side)
{
    AppState& st = s.state;
    st.medium(side) = device.right(2);
    if (st.Connected)
        return true;
    if (st.LDevID != QLatin1String("1") && st.RDevID != QLatin1String("1"))
        return true;
    if (st.Interactive)
        s.dialogs.plain(ResourceTexts::text(8108));
    return false;
}

} // namespace orvalt
