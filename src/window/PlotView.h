#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

namespace orvalt {

class PlotState;

// The plot of a measurement file: axes with their labels, a line for each series shown, drawn from
// at most a few points a pixel column of the whole file. The wheel zooms the x axis about the
// pointer (with Shift the y axis too), a drag moves what is in view, a drag with the right button
// (or with Ctrl) draws the rectangle to zoom into, Home shows everything again. What it shows is
// the PlotState's; it only turns pixels into the file's units and back.
class PlotView : public QWidget
{
    Q_OBJECT

public:
    explicit PlotView(PlotState& state, QWidget* parent = nullptr);

    // The colour of a series, the same in the plot and in the list beside it.
    static QColor seriesColor(int series);
    // The plot as a picture of the given size, as it is in view.
    QImage picture(const QSize& size) const;
    // The area inside the axes, in the widget's pixels.
    QRect plotArea() const { return plotAreaFor(size()); }

    // The file's x and y at a point of the widget.
    QPointF valueAt(const QPoint& at) const;

signals:
    // The readout of the samples under the pointer (empty when it left the plot).
    void readoutChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    enum class Drag
    {
        None,
        Pan,
        Rectangle
    };

    QRect plotAreaFor(const QSize& size) const;
    void paint(QPainter& painter, const QSize& size, bool withPointer) const;
    void paintAxes(QPainter& painter, const QRect& area) const;
    void paintSeries(QPainter& painter, const QRect& area) const;

    PlotState& m_state;
    Drag m_drag = Drag::None;
    QPoint m_pressedAt;
    QPoint m_pointer{-1, -1};
};

} // namespace orvalt
