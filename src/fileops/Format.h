#pragma once

#include <QString>
#include <functional>

class QEvent;
class QObject;

namespace orvalt {

struct ProgramContext;

// How long the floppy drive keeps the instrument busy after "FMT 2" answered without a reply text.
inline constexpr int kFloppyFormatWaitMs = 30000;

// Waits that many milliseconds; the format passes its own so tests need not wait.
using FormatPause = std::function<void(int ms)>;

// The toolbar's "フォーマット": formats the instrument medium of the pane of side (the active one;
// nothing for none) after asking 8103 (a host pane, or a medium without a command code, only gets
// 8104). A refusal shows 8112 and why. The pane is listed again either way.
void toolbarFormat(ProgramContext& ctx, const QString& side, const FormatPause& pause);
void toolbarFormat(ProgramContext& ctx, const QString& side);

// Lets the window repaint for ms milliseconds while every key, mouse and close event is dropped
// (not kept for later): the program takes no input meanwhile. dropped, when given, is shown each
// input event dropped with the object it was meant for, so a front end can keep one for later
// (Renew, pressed while a floppy formats).
void pauseWithoutInput(int ms, const std::function<void(QObject*, QEvent*)>& dropped = {});

} // namespace orvalt
