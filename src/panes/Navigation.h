#pragma once

#include <QString>

namespace orvalt {

struct ProgramContext;
class PaneModel;

// Moving through folders in both panes and knowing which pane an action is meant for.

// A list received the focus: its pane becomes the active pane.
void listFocused(ProgramContext& ctx, const QString& side);

// The name of the selected folder row of the active pane, or empty.
QString GetFolderDown(ProgramContext& ctx);
// The parent of a pane path ("\DATA\2002" gives "\DATA", "\DATA" gives "\"); empty at the root.
QString GetFolderUp(const QString& path);

// Double-click on either list: enters the selected folder of the active pane.
void listDoubleClicked(ProgramContext& ctx);
// The per-pane up buttons: the pane of side goes up one folder (no notice).
void upButtonClicked(ProgramContext& ctx, const QString& side);
// The user picked another host drive for the pane of side.
void driveListChanged(ProgramContext& ctx, const QString& side);
// A click on a column heading of a pane: the order shared by its columns reversed (the first click
// sorts descending), the rows sorted by that column, the sort mark shown.
void columnClicked(PaneModel& pane, int column);

// The toolbar's "1 つ上のﾌｫﾙﾀﾞへ", "開く" and "最新に更新".
void toolbarUp(ProgramContext& ctx);
void toolbarOpen(ProgramContext& ctx);
void toolbarRenew(ProgramContext& ctx);

} // namespace orvalt
