#include "fileops/CommandFailure.h"

#include "core/AppState.h"
#include "panes/MediumName.h"
#include "panes/ProgramContext.h"
#include "session/ErrorText.h"

namespace orvalt {

QString commandCause(ProgramContext& ctx, qint32 result, const QString& path)
{
    const QString cause = ErrorText::linkCauseOf(ctx.link, result);
    if (!cause.isEmpty())
        return cause;
    return ErrorText::refusalCause(ctx.state.lastRefusal, path, mediumNameOf(ctx, path));
}

QString commandFailureText(ProgramContext& ctx, const QString& command, qint32 result, const QString& path)
{
    return ErrorText::twoLines(command.trimmed() + QStringLiteral(" Error ") + QString::number(result),
                               commandCause(ctx, result, path));
}

} // namespace orvalt
