#pragma once

#include "viewer/MeasurementFile.h"

#include <QString>
#include <memory>
#include <vector>

namespace orvalt {

// What the plot of a measurement file shows: which series, and the part of the x and y axes in
// view. The plot widget paints it and hands it the user's wheel turns and drags in the file's own
// units; everything it shows comes from here.
class PlotState
{
public:
    struct Range
    {
        double x0 = 0;
        double x1 = 1;
        double y0 = 0;
        double y1 = 1;
    };

    explicit PlotState(std::shared_ptr<const MeasurementFile> file, int shownAtFirst);

    const MeasurementFile& file() const { return *m_file; }
    // The same file read again (in another encoding, so its names read otherwise): what is shown
    // and in view stays. Another file of other series is shown whole, with its first ones.
    void replaceFile(std::shared_ptr<const MeasurementFile> file);
    int seriesCount() const { return static_cast<int>(m_shown.size()); }
    bool shown(int series) const { return m_shown.at(static_cast<size_t>(series)); }
    void setShown(int series, bool shown);
    const Range& range() const { return m_range; }

    // Every sample of the series shown in view, with a little room above and below (Home).
    void fit();
    // Zooms x (and y too when both) by factor about the point (x, y): below 1 zooms in. The point
    // stays where it is on the screen.
    void zoom(double factor, double x, double y, bool both);
    // Shows the rectangle between two points (a drawn rectangle); a rectangle of no width or
    // height zooms nothing.
    void zoomTo(double xa, double ya, double xb, double yb);
    // Moves what is in view by dx and dy.
    void pan(double dx, double dy);

    // The samples nearest to x: "10:00:01.20  CH1[V] 0.5012  TEMP[C] 21.5" (the series shown).
    QString readout(double x) const;
    // The x of an axis label or the readout, in the axis's own form (a date and time, a time of
    // day, a row number); step is the distance between labels, which says how exact to be.
    QString xText(double x, double step) const;

    // Where the labels go on an axis from lo to hi, at most maxTicks of them, at round numbers
    // (1, 2 or 5 times a power of ten; on a time axis, whole seconds, minutes, hours or days).
    static std::vector<double> ticks(double lo, double hi, int maxTicks, bool time);
    // A value as a label with as many digits as the step between labels needs.
    static QString valueText(double value, double step);

private:
    void keepSane();

    std::shared_ptr<const MeasurementFile> m_file;
    std::vector<bool> m_shown;
    Range m_range;
    double m_fullSpan = 1;
};

} // namespace orvalt
