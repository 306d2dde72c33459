#include "fileops/PaneMoves.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "fileops/CommandFailure.h"
#include "link/CommandWords.h"
#include "panes/Endpoint.h"
#include "panes/HostFs.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"
#include "session/CommandExchange.h"

namespace orvalt {

namespace {

QString wirePath(const QString& remotePath)
{
    return SlashPath(remotePath.mid(2));
}

// Temporary names tried for a rename that only changes letter case, where the medium will not
// do it in place: each is valid in 8.3 and 32+3 form, and "MOV " never replaces what has it.
constexpr int kTemporaryNames = 8;

qint32 sendMove(ProgramContext& ctx, const QString& oldPath, const QString& from, const QString& to)
{
    return SendCmd(ctx.state, ctx.link, ctx.dialogs,
                   CommandWords::kMove + MediumCode(oldPath) + QLatin1Char(',') + from + QLatin1Char(',') +
                       to);
}

// The wire path of a name in the folder of a wire path ("/DATA/A.DAT" -> "/DATA/ORVT0001.TMP"),
// with the folder's mark kept.
QString besideOnWire(const QString& wire, const QString& name)
{
    const bool folder = wire.endsWith(QLatin1Char('/'));
    const QString bare = folder ? wire.chopped(1) : wire;
    return bare.left(bare.lastIndexOf(QLatin1Char('/')) + 1) + name +
           (folder ? QStringLiteral("/") : QString());
}

// A rename that only changes letter case, through a temporary name: the medium matches names
// without regard to case, so for it the new name is taken already, by the entry itself.
qint32 renameCaseThroughTemporary(ProgramContext& ctx, const QString& oldPath, const QString& from,
                                  const QString& to)
{
    qint32 result = 0;
    for (int n = 1; n <= kTemporaryNames; ++n) {
        const QString temporary =
            besideOnWire(from, QStringLiteral("ORVT%1.TMP").arg(n, 4, 10, QLatin1Char('0')));
        result = sendMove(ctx, oldPath, from, temporary);
        if (result == 20)
            continue; // that name is taken
        if (result != 0)
            return result;
        result = sendMove(ctx, oldPath, temporary, to);
        // The entry goes back to its own name rather than stay under one the user never chose.
        if (result != 0)
            sendMove(ctx, oldPath, temporary, from);
        return result;
    }
    return result;
}

// "MOV " carries one medium code only, that of the old path: a move stays on its medium.
void moveOnInstrument(ProgramContext& ctx, const QString& oldPath, const QString& from, const QString& to)
{
    qint32 result = sendMove(ctx, oldPath, from, to);
    const bool caseOnly = from != to && from.toCaseFolded() == to.toCaseFolded();
    if (result == 20 && caseOnly)
        result = renameCaseThroughTemporary(ctx, oldPath, from, to);
    if (result != 0)
        ctx.dialogs.plain(commandFailureText(ctx, CommandWords::kMove, result, oldPath));
}

} // namespace

bool MovePaneFile(ProgramContext& ctx, const Endpoint& where, const QString& oldPath, const QString& newPath)
{
    if (where.host)
        return ctx.hostFs.moveFile(oldPath, newPath).ok();
    moveOnInstrument(ctx, oldPath, wirePath(oldPath), wirePath(newPath));
    return true;
}

void MovePaneFolder(ProgramContext& ctx, const Endpoint& where, const QString& oldPath,
                    const QString& newPath)
{
    if (where.isInstrument()) {
        // A trailing "/" on both paths marks a folder.
        moveOnInstrument(ctx, oldPath, wirePath(oldPath) + QLatin1Char('/'),
                         wirePath(newPath) + QLatin1Char('/'));
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
