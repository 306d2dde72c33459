#include "transfer/CopyProgress.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "panes/ProgramContext.h"

namespace orvalt {

void ProgressOpen(ProgramContext& ctx, int minimum, int maximum)
{
    ctx.dialogs.progressOpen(minimum, maximum);
    ctx.state.CloseAllowed = false;
}

void ProgressJob(ProgramContext& ctx, const QList<JobTotals>& items)
{
    ctx.dialogs.progressJob(items);
}

void ProgressStep(ProgramContext& ctx, int value)
{
    ctx.dialogs.progressStep(value);
}

void ProgressNotice(ProgramContext& ctx)
{
    ctx.dialogs.progressNotice(ResourceTexts::text(8113));
}

void ProgressClose(ProgramContext& ctx)
{
    ctx.dialogs.progressClose();
    ctx.state.CloseAllowed = true;
}

} // namespace orvalt
