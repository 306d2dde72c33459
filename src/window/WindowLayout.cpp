#include "window/WindowLayout.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace orvalt {

using namespace WindowLayout;

namespace {

double notNegative(double v)
{
    return std::max(v, 0.0);
}

double usableDpi(double logicalDpi)
{
    return std::isfinite(logicalDpi) && logicalDpi > 0 ? logicalDpi : 96.0;
}

} // namespace

LayoutOutput SizeControls(double& x, const LayoutInput& in)
{
    if (x < kMinSplit)
        x = kMinSplit;
    // Tested after the minimum: in a window narrower than twice the minimum both rules apply and
    // the split ends left of the minimum.
    if (x > in.windowWidth - kMinSplit)
        x = in.windowWidth / 2 - kSplitFallbackOffset;

    LayoutOutput out;
    out.split = x;
    const double leftWidth = notNegative(x);
    const double rightLeft = x + kListGap;
    const double rightWidth = notNegative(in.windowWidth - (leftWidth + kOtherWidth));
    const double top = in.toolbarVisible ? in.toolbarHeight + in.titleHeight : in.titleHeight;
    double height = in.innerHeight - (in.titleTop + in.titleHeight);
    if (in.statusBarVisible)
        height -= in.statusBarHeight;
    height = notNegative(height);

    out.leftList = QRectF(in.leftListLeft, top, leftWidth, height);
    out.rightList = QRectF(rightLeft, top, rightWidth, height);
    out.splitter = QRectF(x, top, in.splitterWidth, height);
    out.combo1Width = notNegative(leftWidth - kLeftPathBoxShort);
    out.imageCombo2Left = rightLeft + kRightSelectorIndent;
    out.driveListRLeft = rightLeft + kRightSelectorIndent;
    out.command2Left = rightLeft + kRightUpIndent;
    out.comboRDevLeft = out.imageCombo2Left;
    out.combo2Left = in.rightSelectorWidth + out.imageCombo2Left + kRightUpIndent;
    out.combo2Width = notNegative(rightWidth - in.rightSelectorWidth - kRightPathBoxShort);
    return out;
}

double clampedWindowWidth(double width)
{
    return std::max(width, kMinWindowWidth);
}

QRectF SplitterDrag::mouseDown(const QRectF& splitter)
{
    // The width is rounded to whole twips (halves to even) before the whole-number halving.
    const auto whole = static_cast<long long>(std::nearbyint(splitter.width()));
    m_splitterLeft = splitter.left();
    m_bar = QRectF(splitter.left(), splitter.top(), static_cast<double>(whole / 2),
                   notNegative(splitter.height() - kDragBarShort));
    m_dragging = true;
    return m_bar;
}

std::optional<QRectF> SplitterDrag::mouseMove(double mouseX, double windowWidth)
{
    if (!m_dragging)
        return std::nullopt;
    const double p = m_splitterLeft + mouseX;
    double left = p;
    if (p < kMinSplit)
        left = kMinSplit;
    else if (p > windowWidth - kMinSplit)
        left = windowWidth - kMinSplit;
    m_bar.moveLeft(left);
    return m_bar;
}

std::optional<double> SplitterDrag::mouseUp()
{
    if (!m_dragging)
        return std::nullopt;
    m_dragging = false;
    return m_bar.left();
}

double twipsToPixels(double twips, double logicalDpi)
{
    return twips * usableDpi(logicalDpi) / kTwipsPerInch;
}

double pixelsToTwips(double pixels, double logicalDpi)
{
    return pixels * kTwipsPerInch / usableDpi(logicalDpi);
}

namespace RememberedLayout {

std::optional<double> split(const QString& stored)
{
    bool ok = false;
    const double x = stored.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(x) || x <= 0 || x > 1.0e6)
        return std::nullopt;
    return x;
}

QList<double> columnWidths(const QString& stored, int count)
{
    const QStringList fields = stored.split(QLatin1Char(','));
    if (fields.size() != count)
        return {};
    QList<double> widths;
    for (const QString& field : fields) {
        bool ok = false;
        const double w = field.trimmed().toDouble(&ok);
        if (!ok || !(w >= kMinColumn && w <= kMaxColumn))
            return {};
        widths << w;
    }
    return widths;
}

QString columnWidthsText(const QList<double>& widths)
{
    QStringList fields;
    for (const double w : widths)
        fields << QString::number(qRound(w));
    return fields.join(QLatin1Char(','));
}

} // namespace RememberedLayout

} // namespace orvalt
