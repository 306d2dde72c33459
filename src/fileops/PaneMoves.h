#pragma once

#include <QString>

namespace orvalt {

struct Endpoint;
struct ProgramContext;

// Renames or moves one item in where: on the host, or on the instrument's medium of the paths. Paths are pane
// paths: host paths, or remote paths (M:\DATA\A.DAT).

// A file. On the instrument "MOV " carries it, and a refusal shows "MOV Error " and its number (the
// result is still true: the failure was reported here). On the host a failed move is returned as
// false for the caller to report.
bool MovePaneFile(ProgramContext& ctx, const Endpoint& where, const QString& oldPath, const QString& newPath);

// A folder. Every failure is reported here. A host move refused because a path is not valid, the
// target exists or the path is not there shows text 8304 and sets DialogAnswer to 3, which the
// rename reads as a cancelled change.
void MovePaneFolder(ProgramContext& ctx, const Endpoint& where, const QString& oldPath,
                    const QString& newPath);

} // namespace orvalt
