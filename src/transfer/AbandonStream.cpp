#include "transfer/AbandonStream.h"

#include "link/CommandWords.h"
#include "panes/ProgramContext.h"
#include "session/CommandExchange.h"

namespace orvalt {

qint32 abandonFileStream(ProgramContext& ctx)
{
    return SendCmd(ctx.state, ctx.link, ctx.dialogs, CommandWords::kStatus);
}

} // namespace orvalt
