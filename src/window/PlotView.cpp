#include "window/PlotView.h"

#include "viewer/Decimate.h"
#include "viewer/PlotState.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace orvalt {

namespace {

constexpr int kGap = 6;            // between a label and its axis
constexpr int kLabelSpacing = 24;  // between two x labels, beyond their own width
constexpr int kYLabelPitch = 36;   // pixels a y label needs
constexpr int kDragSlop = 4;       // a smaller rectangle is a click
constexpr double kWheelStep = 0.8; // one notch of the wheel shows this share of the axis
constexpr double kFarPixel = 1.0e6;

bool timeAxis(const PlotState& s)
{
    return s.file().axis != MeasurementFile::Axis::Row;
}

double stepOf(const std::vector<double>& ticks, double span)
{
    return ticks.size() > 1 ? ticks[1] - ticks[0] : span;
}

} // namespace

PlotView::PlotView(PlotState& state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
{
    setObjectName(QStringLiteral("plotView"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::PreventContextMenu);
    setCursor(Qt::CrossCursor);
    setMinimumSize(320, 200);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QColor PlotView::seriesColor(int series)
{
    // Told apart on a white ground and by most colour-blind eyes; after eight they come round again.
    static const QColor kColors[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                                     QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
                                     QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                                     QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};
    return kColors[static_cast<size_t>(series) % std::size(kColors)];
}

QRect PlotView::plotAreaFor(const QSize& size) const
{
    const QFontMetrics fm = fontMetrics();
    const PlotState::Range& r = m_state.range();
    int labelWidth = fm.horizontalAdvance(QStringLiteral("0"));
    const int rows = std::max(2, (size.height() - 3 * fm.height()) / kYLabelPitch);
    const std::vector<double> ticks = PlotState::ticks(r.y0, r.y1, rows, false);
    for (const double v : ticks)
        labelWidth =
            std::max(labelWidth, fm.horizontalAdvance(PlotState::valueText(v, stepOf(ticks, r.y1 - r.y0))));
    const int left = labelWidth + 2 * kGap;
    const int bottom = 2 * fm.height() + 2 * kGap;
    return QRect(left, kGap + fm.height() / 2, std::max(1, size.width() - left - 2 * kGap),
                 std::max(1, size.height() - bottom - kGap - fm.height() / 2));
}

QPointF PlotView::valueAt(const QPoint& at) const
{
    const QRect area = plotArea();
    const PlotState::Range& r = m_state.range();
    const double fx = (at.x() - area.left()) / static_cast<double>(area.width());
    const double fy = (area.bottom() + 1 - at.y()) / static_cast<double>(area.height());
    return {r.x0 + fx * (r.x1 - r.x0), r.y0 + fy * (r.y1 - r.y0)};
}

void PlotView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    paint(painter, size(), true);
}

QImage PlotView::picture(const QSize& size) const
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setFont(font());
    paint(painter, size, false);
    return image;
}

void PlotView::paint(QPainter& painter, const QSize& size, bool withPointer) const
{
    painter.fillRect(QRect(QPoint(0, 0), size), palette().color(QPalette::Base));
    const QRect area = plotAreaFor(size);
    paintAxes(painter, area);
    paintSeries(painter, area);
    if (!withPointer)
        return;
    painter.setClipRect(area);
    QPen dashed(palette().color(QPalette::Text), 0, Qt::DashLine);
    painter.setPen(dashed);
    if (m_drag == Drag::Rectangle)
        painter.drawRect(QRect(m_pressedAt, m_pointer).normalized());
    else if (area.contains(m_pointer))
        painter.drawLine(m_pointer.x(), area.top(), m_pointer.x(), area.bottom());
}

void PlotView::paintAxes(QPainter& painter, const QRect& area) const
{
    const QFontMetrics fm = painter.fontMetrics();
    const PlotState::Range& r = m_state.range();
    const QColor text = palette().color(QPalette::Text);
    const QColor grid = palette().color(QPalette::Mid).lighter(150);

    const int rows = std::max(2, area.height() / kYLabelPitch);
    const std::vector<double> yTicks = PlotState::ticks(r.y0, r.y1, rows, false);
    const double yStep = stepOf(yTicks, r.y1 - r.y0);
    for (const double v : yTicks) {
        const int y = area.bottom() - qRound((v - r.y0) / (r.y1 - r.y0) * area.height());
        painter.setPen(grid);
        painter.drawLine(area.left(), y, area.right(), y);
        painter.setPen(text);
        const QString label = PlotState::valueText(v, yStep);
        painter.drawText(QRect(0, y - fm.height() / 2, area.left() - kGap, fm.height()),
                         Qt::AlignRight | Qt::AlignVCenter, label);
    }

    // As many x labels as fit side by side, judged by the widest label the axis can show.
    const int labelWidth =
        fm.horizontalAdvance(m_state.xText(r.x1, timeAxis(m_state) ? 1 : 1e-3)) + kLabelSpacing;
    const int columns = std::max(2, area.width() / std::max(1, labelWidth));
    const std::vector<double> xTicks = PlotState::ticks(r.x0, r.x1, columns, timeAxis(m_state));
    const double xStep = stepOf(xTicks, r.x1 - r.x0);
    for (const double v : xTicks) {
        const int x = area.left() + qRound((v - r.x0) / (r.x1 - r.x0) * area.width());
        painter.setPen(grid);
        painter.drawLine(x, area.top(), x, area.bottom());
        painter.setPen(text);
        painter.drawText(QRect(x - labelWidth / 2, area.bottom() + kGap, labelWidth, fm.height()),
                         Qt::AlignHCenter, m_state.xText(v, xStep));
    }
    QString caption = m_state.file().axisName;
    // Labels of hours and minutes do not tell the day: the caption does.
    if (m_state.file().axis == MeasurementFile::Axis::DateTime && xStep < 86400000.0)
        caption += QStringLiteral("  (from %1)").arg(m_state.xText(r.x0, 0).left(10));
    painter.drawText(QRect(area.left(), area.bottom() + kGap + fm.height(), area.width(), fm.height() + kGap),
                     Qt::AlignHCenter | Qt::AlignBottom, caption);
    painter.setPen(text);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
}

void PlotView::paintSeries(QPainter& painter, const QRect& area) const
{
    const MeasurementFile& file = m_state.file();
    const PlotState::Range& r = m_state.range();
    painter.save();
    painter.setClipRect(area.adjusted(1, 1, -1, -1));
    const double scale = area.height() / (r.y1 - r.y0);
    auto yOf = [&](double v) {
        return std::clamp(area.bottom() + 1 - (v - r.y0) * scale, -kFarPixel, kFarPixel);
    };
    QPolygonF line;
    for (int s = 0; s < m_state.seriesCount(); ++s) {
        if (!m_state.shown(s))
            continue;
        painter.setPen(QPen(seriesColor(s), 0));
        const std::vector<PixelColumn> columns = decimate(file.x, file.series[static_cast<size_t>(s)].values,
                                                          file.xAscending, r.x0, r.x1, area.width());
        line.clear();
        for (const PixelColumn& c : columns) {
            if (!c.joined && !line.isEmpty()) {
                painter.drawPolyline(line);
                line.clear();
            }
            const double x = area.left() + c.px + 0.5;
            line << QPointF(x, yOf(c.first));
            if (c.low != c.high)
                line << QPointF(x, yOf(c.low)) << QPointF(x, yOf(c.high));
            line << QPointF(x, yOf(c.last));
        }
        if (line.size() == 1)
            painter.drawPoint(line.first()); // a single sample between gaps is still seen
        else if (!line.isEmpty())
            painter.drawPolyline(line);
    }
    painter.restore();
}

void PlotView::wheelEvent(QWheelEvent* event)
{
    const QPoint delta = event->angleDelta();
    const int turn = delta.y() != 0 ? delta.y() : delta.x(); // Shift turns the wheel sideways on some systems
    if (turn == 0)
        return;
    const QPointF at = valueAt(event->position().toPoint());
    m_state.zoom(std::pow(kWheelStep, turn / 120.0), at.x(), at.y(), event->modifiers() & Qt::ShiftModifier);
    update();
    event->accept();
}

void PlotView::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    m_pressedAt = event->position().toPoint();
    m_pointer = m_pressedAt;
    const bool rectangle = event->button() == Qt::RightButton ||
                           (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier));
    m_drag = rectangle ? Drag::Rectangle : event->button() == Qt::LeftButton ? Drag::Pan : Drag::None;
    if (m_drag == Drag::Pan)
        setCursor(Qt::ClosedHandCursor);
}

void PlotView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (m_drag == Drag::Pan) {
        const QRect area = plotArea();
        const PlotState::Range& r = m_state.range();
        m_state.pan(-(at.x() - m_pointer.x()) * (r.x1 - r.x0) / area.width(),
                    (at.y() - m_pointer.y()) * (r.y1 - r.y0) / area.height());
    }
    m_pointer = at;
    emit readoutChanged(plotArea().contains(at) ? m_state.readout(valueAt(at).x()) : QString());
    update();
}

void PlotView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (m_drag == Drag::Rectangle && std::abs(at.x() - m_pressedAt.x()) > kDragSlop &&
        std::abs(at.y() - m_pressedAt.y()) > kDragSlop) {
        const QPointF a = valueAt(m_pressedAt);
        const QPointF b = valueAt(at);
        m_state.zoomTo(a.x(), a.y(), b.x(), b.y());
    }
    m_drag = Drag::None;
    setCursor(Qt::CrossCursor);
    update();
}

void PlotView::keyPressEvent(QKeyEvent* event)
{
    const QRect area = plotArea();
    const QPointF middle = valueAt(area.center());
    switch (event->key()) {
    case Qt::Key_Home:
        m_state.fit();
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        m_state.zoom(kWheelStep, middle.x(), middle.y(), false);
        break;
    case Qt::Key_Minus:
        m_state.zoom(1 / kWheelStep, middle.x(), middle.y(), false);
        break;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const PlotState::Range& r = m_state.range();
        m_state.pan((event->key() == Qt::Key_Left ? -0.1 : 0.1) * (r.x1 - r.x0), 0);
        break;
    }
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    update();
}

void PlotView::leaveEvent(QEvent* /*event*/)
{
    m_pointer = QPoint(-1, -1);
    emit readoutChanged(QString());
    update();
}

} // namespace orvalt
