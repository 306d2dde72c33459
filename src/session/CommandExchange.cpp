#include "session/CommandExchange.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "link/PexLink.h"
#include "link/RefusalReason.h"

namespace orvalt {

namespace {
constexpr int kReplyCodeLength = 3;
}

qint32 SendCmd(AppState& state, link::PexLink& link, DialogSeam& dialogs, const QString& command)
{
    QByteArray reply(link::PexLink::kReplyBufferSize, ' ');
    QByteArray wire;
    QString error;
    qint32 result = 0;
    if (toWireText(command, wire, &error))
        result = link.PexSendCommand(wire, reply);
    else
        result = link.refuseRequest(error);
    state.LastReplyCode = BytesToStr(reply.constData(), static_cast<qint32>(reply.size()), kReplyCodeLength);
    state.lastRefusal = result > 0 && result < link::PexResult::NotOpen
                            ? static_cast<int>(link::refusalOfReply(reply))
                            : static_cast<int>(link::RefusalReason::None);
    dialogs.yield();
    return result;
}

} // namespace orvalt
