#pragma once

#include <QList>
#include <QRectF>
#include <QString>
#include <optional>

namespace orvalt {

// The main window's pane layout, in twips (1/1440 inch), the unit of the window's own coordinates.
// Plain arithmetic: the main window measures its widgets into a LayoutInput and applies the
// LayoutOutput to them.
namespace WindowLayout {

inline constexpr double kMinWindowWidth = 6000;
// Smallest split, and smallest distance from the split to the window's right edge while dragging.
inline constexpr double kMinSplit = 4000;
inline constexpr double kSplitFallbackOffset = 300; // split = width / 2 - 300 when too far right
inline constexpr double kListGap = 80;              // split to the right list's left edge
inline constexpr double kOtherWidth = 140;          // window width - both lists' widths
inline constexpr double kLeftPathBoxShort = 2150;   // Combo1 is this much narrower than the left list
inline constexpr double kRightSelectorIndent = 600; // ImageCombo2 and DriveListR from the right list
inline constexpr double kRightUpIndent = 100;       // Command2 from the right list; selector to path box
inline constexpr double kRightPathBoxShort = 200;   // with the selector's width, off the right list
inline constexpr double kDragBarShort = 20;         // the drag bar is this much shorter than the splitter

inline constexpr double kTwipsPerInch = 1440;

} // namespace WindowLayout

struct LayoutInput
{
    double windowWidth = 0;
    double innerHeight = 0; // the window's inner (client) height
    bool toolbarVisible = true;
    double toolbarHeight = 0;
    double titleTop = 0; // the title strip picTitles
    double titleHeight = 0;
    bool statusBarVisible = true;
    double statusBarHeight = 0;
    double rightSelectorWidth = 0; // ImageCombo2
    double leftListLeft = 0;       // L_ListView keeps its left edge
    double splitterWidth = 0;      // imgSplitter keeps its width
};

// Every place and size the layout sets. The left path box and the right controls keep whatever
// the layout does not name (tops, heights, Combo1's left).
struct LayoutOutput
{
    double split = 0; // the split after its limits
    QRectF leftList;  // L_ListView
    QRectF rightList; // lvListView
    QRectF splitter;  // imgSplitter
    double combo1Width = 0;
    double imageCombo2Left = 0;
    double driveListRLeft = 0;
    double command2Left = 0;
    double comboRDevLeft = 0;
    double combo2Left = 0;
    double combo2Width = 0;
};

// Lays the panes out around split x within the limits; x is changed to the split used. Sizes that
// would come out negative (a window shorter than its bars) are 0.
LayoutOutput SizeControls(double& x, const LayoutInput& in);

// The window's width after the smallest-width rule; there is no smallest height.
double clampedWindowWidth(double width);

// The drag of the splitter: mouse-down shows the drag bar over the splitter, mouse-move moves it
// within the limits, mouse-up gives the split to lay out with. Moves and ups without a preceding
// down do nothing.
class SplitterDrag
{
public:
    // The drag bar: at the splitter, half its width (whole twips), 20 shorter.
    QRectF mouseDown(const QRectF& splitter);
    // mouseX is relative to the splitter. The drag bar's new place, or nothing when not dragging.
    std::optional<QRectF> mouseMove(double mouseX, double windowWidth);
    // The split to run SizeControls with (the drag bar's left), or nothing when not dragging.
    std::optional<double> mouseUp();

    bool dragging() const { return m_dragging; }
    const QRectF& bar() const { return m_bar; }

private:
    bool m_dragging = false;
    double m_splitterLeft = 0;
    QRectF m_bar;
};

// What the window keeps of its panes from one run to the next, beside the layout's own rules: the
// split and the widths of each list's columns, in twips. A stored value is untrusted: one that is
// not a number, or lies out of reason, gives nothing and the design's values stand.
namespace RememberedLayout {
inline constexpr double kMinColumn = 100;   // narrower, a column could not be found to widen again
inline constexpr double kMaxColumn = 30000; // about 50 cm
// The stored split; the layout's limits apply to it as to any other.
std::optional<double> split(const QString& stored);
// The stored widths of count columns ("1600,1700,1000,700"); empty unless all count are sane.
QList<double> columnWidths(const QString& stored, int count);
QString columnWidthsText(const QList<double>& widths);
} // namespace RememberedLayout

// Twips and device-independent pixels at the screen's logical dpi (a dpi that is not positive
// counts as 96).
double twipsToPixels(double twips, double logicalDpi);
double pixelsToTwips(double pixels, double logicalDpi);

} // namespace orvalt
