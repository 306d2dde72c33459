#include "fileops/PaneMoves.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "fileops/ActivePane.h"
#include "link/CommandWords.h"
#include "panes/HostFs.h"
#include "panes/ProgramContext.h"
#include "panes/RemoteListing.h"
#include "panes/RemotePaths.h"
#include "session/CommandExchange.h"

namespace orvalt {

namespace {

QString wirePath(const QString& remotePath)
{
    return SlashPath(remotePath.mid(2));
}

// "MOV " carries one medium code only, that of the old path: a move stays on its medium.
void moveOnInstrument(ProgramContext& ctx, const QString& oldPath, const QString& newPath,
                      const QString& mark)
{
    const QString command = CommandWords::kMove + MediumCode(oldPath) + QLatin1Char(',') + wirePath(oldPath) +
                            mark + QLatin1Char(',') + wirePath(newPath) + mark;
    const qint32 result = SendCmd(ctx.state, ctx.link, ctx.dialogs, command);
    if (result != 0)
        ctx.dialogs.plain(commandRefusedText(ctx, QStringLiteral("MOV Error ") + QString::number(result),
                                             result, oldPath, newPath));
}

} // namespace

bool MovePaneFile(ProgramContext& ctx, const QString& oldPath, const QString& newPath)
{
    if (activePaneIsHost(ctx.state))
        return ctx.hostFs.moveFile(oldPath, newPath).ok();
    moveOnInstrument(ctx, oldPath, newPath, QString());
    return true;
}

void MovePaneFolder(ProgramContext& ctx, const QString& oldPath, const QString& newPath)
{
    if (!activePaneIsHost(ctx.state)) {
        // A trailing "/" on both paths marks a folder.
        moveOnInstrument(ctx, oldPath, newPath, QStringLiteral("/"));
        return;
    }
    const HostFsResult moved = ctx.hostFs.moveFolder(oldPath, newPath);
    switch (moved.error) {
    case HostFsError::None:
        return;
    case HostFsError::InvalidPath:
    case HostFsError::AlreadyExists:
    case HostFsError::PathNotFound:
        ctx.dialogs.notice(ResourceTexts::text(8304));
        ctx.state.DialogAnswer = 3; // the rename reads this as a cancelled change
        return;
    default:
        ctx.dialogs.notice(moved.text);
        return;
    }
}

} // namespace orvalt
