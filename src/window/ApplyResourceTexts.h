#pragma once

class QWidget;

namespace orvalt {

namespace ResourceTexts {

// Property that carries a widget's text number at design time (a window's caption, a label's text,
// a button's caption); menu actions carry the number as their text, toolbar actions as their
// tool-tip, and the columns of a list's header under kHeaderTagRole of its model's header data.
inline constexpr char kTagProperty[] = "orvaltTag";
inline constexpr int kHeaderTagRole = 0x0100 + 17; // Qt::UserRole + 17

} // namespace ResourceTexts

// Puts the table's texts on a window in place of the numbers its controls carry. A number the
// table does not hold, or a tag that is not a number, leaves the control as it was.
void ApplyResourceTexts(QWidget* window);

} // namespace orvalt
