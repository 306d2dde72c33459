#pragma once

#include <QString>

namespace orvalt {

struct ProgramContext;
class PaneModel;

// Moving through folders in both panes. The routines that act on "the active pane" are told which
// one by the window (side; empty when no list has had the focus yet).

// The name of the selected folder row of the pane of side, or empty.
QString GetFolderDown(ProgramContext& ctx, const QString& side);

// The parent of a pane path ("\DATA\2002" gives "\DATA", "\DATA" gives "\"); empty at the root.
QString GetFolderUp(const QString& path);

// Double-click on a list: enters the selected folder of the pane of side.
void listDoubleClicked(ProgramContext& ctx, const QString& side);

// The per-pane up buttons: the pane of side goes up one folder (no notice).
void upButtonClicked(ProgramContext& ctx, const QString& side);

// The user picked another host drive for the pane of side; its list asks for the focus.
void driveListChanged(ProgramContext& ctx, const QString& side);

// A click on a column heading of a pane: the order shared by its columns reversed (the first click
// sorts descending), the rows sorted by that column, the sort mark shown.
void columnClicked(PaneModel& pane, int column);

// The toolbar's "1 つ上のﾌｫﾙﾀﾞへ" and "開く" on the pane of side, and "最新に更新" on both.
void toolbarUp(ProgramContext& ctx, const QString& side);
void toolbarOpen(ProgramContext& ctx, const QString& side);
void toolbarRenew(ProgramContext& ctx);

} // namespace orvalt
