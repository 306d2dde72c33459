#include "viewer/PlotState.h"

#include "viewer/Decimate.h"

#include <QDateTime>
#include <QTime>
#include <algorithm>
#include <cmath>

namespace orvalt {

namespace {

constexpr double kMsPerDay = 86400000.0;
// Room above and below the highest and lowest sample after Home, a share of their distance.
constexpr double kMargin = 0.05;
// How far in and out a user may zoom, against the whole file's x range: far enough to see single
// samples of a day's file, near enough that the axis labels stay apart in a double.
constexpr double kDeepestZoom = 1.0e-9;
constexpr double kWidestZoom = 1.0e3;

// The round steps of a time axis, in milliseconds; beyond a day, whole numbers of days.
constexpr double kTimeSteps[] = {1,     2,     5,      10,     20,     50,      100,     200,     500,
                                 1e3,   2e3,   5e3,    10e3,   15e3,   30e3,    60e3,    120e3,   300e3,
                                 600e3, 900e3, 1800e3, 3600e3, 7200e3, 10800e3, 21600e3, 43200e3, kMsPerDay};

double roundStep(double raw)
{
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double normal = raw / magnitude;
    return (normal <= 1 ? 1 : normal <= 2 ? 2 : normal <= 5 ? 5 : 10) * magnitude;
}

QString timeOfDayText(double ms, double step)
{
    const QTime t = QTime::fromMSecsSinceStartOfDay(static_cast<int>(std::clamp(ms, 0.0, kMsPerDay - 1)));
    if (step >= 60e3)
        return t.toString(QStringLiteral("hh:mm"));
    if (step >= 1e3)
        return t.toString(QStringLiteral("hh:mm:ss"));
    QString text = t.toString(QStringLiteral("hh:mm:ss.zzz"));
    // As many decimals of the seconds as the step has.
    if (step >= 100)
        text.chop(2);
    else if (step >= 10)
        text.chop(1);
    return text;
}

} // namespace

PlotState::PlotState(std::shared_ptr<const MeasurementFile> file, int shownAtFirst)
    : m_file(std::move(file))
    , m_shown(m_file->series.size())
{
    for (size_t i = 0; i < m_shown.size(); ++i)
        m_shown[i] = static_cast<int>(i) < shownAtFirst;
    fit();
}

void PlotState::replaceFile(std::shared_ptr<const MeasurementFile> file)
{
    const bool same = file->series.size() == m_file->series.size() && file->rows == m_file->rows;
    m_file = std::move(file);
    if (same)
        return;
    const auto shownBefore = std::count(m_shown.cbegin(), m_shown.cend(), true);
    m_shown.assign(m_file->series.size(), false);
    for (size_t i = 0; i < m_shown.size(); ++i)
        m_shown[i] = static_cast<long>(i) < std::max<long>(1, shownBefore);
    fit();
}

void PlotState::setShown(int series, bool shown)
{
    if (series >= 0 && series < seriesCount())
        m_shown[static_cast<size_t>(series)] = shown;
}

void PlotState::fit()
{
    const std::vector<double>& x = m_file->x;
    bool any = false;
    double x0 = 0;
    double x1 = 1;
    for (const double v : x) {
        if (std::isnan(v))
            continue;
        x0 = any ? std::min(x0, v) : v;
        x1 = any ? std::max(x1, v) : v;
        any = true;
    }
    m_fullSpan = x1 - x0;
    bool found = false;
    double y0 = 0;
    double y1 = 1;
    for (size_t s = 0; s < m_shown.size(); ++s) {
        double low = 0;
        double high = 0;
        if (m_shown[s] && valueRange(x, m_file->series[s].values, m_file->xAscending, x0, x1, low, high)) {
            y0 = found ? std::min(y0, low) : low;
            y1 = found ? std::max(y1, high) : high;
            found = true;
        }
    }
    const double room = (y1 - y0) * kMargin;
    m_range = {x0, x1, y0 - room, y1 + room};
    keepSane();
}

void PlotState::zoom(double factor, double x, double y, bool both)
{
    if (!(factor > 0) || !std::isfinite(factor))
        return;
    m_range.x0 = x - (x - m_range.x0) * factor;
    m_range.x1 = x + (m_range.x1 - x) * factor;
    if (both) {
        m_range.y0 = y - (y - m_range.y0) * factor;
        m_range.y1 = y + (m_range.y1 - y) * factor;
    }
    keepSane();
}

void PlotState::zoomTo(double xa, double ya, double xb, double yb)
{
    if (!(xa != xb && ya != yb))
        return;
    m_range = {std::min(xa, xb), std::max(xa, xb), std::min(ya, yb), std::max(ya, yb)};
    keepSane();
}

void PlotState::pan(double dx, double dy)
{
    m_range.x0 += dx;
    m_range.x1 += dx;
    m_range.y0 += dy;
    m_range.y1 += dy;
    keepSane();
}

void PlotState::keepSane()
{
    Range& r = m_range;
    if (!std::isfinite(r.x0) || !std::isfinite(r.x1) || !std::isfinite(r.y0) || !std::isfinite(r.y1)) {
        fit();
        return;
    }
    // A file of one sample (or one x) still gets an axis to stand on.
    const double unit = m_file->axis == MeasurementFile::Axis::Row ? 1.0 : 1000.0;
    const double full = m_fullSpan > 0 ? m_fullSpan : unit;
    const double narrowest =
        std::max(full * kDeepestZoom, m_file->axis == MeasurementFile::Axis::Row ? 1e-6 : 1e-3);
    const double widest = full * kWidestZoom;
    const double span = r.x1 - r.x0;
    if (span < narrowest || span > widest) {
        const double mid = (r.x0 + r.x1) / 2;
        const double half = std::clamp(span, narrowest, widest) / 2;
        r.x0 = mid - half;
        r.x1 = mid + half;
    }
    const double level = std::max({1.0, std::abs(r.y0), std::abs(r.y1)});
    if (!(r.y1 - r.y0 > level * 1e-12)) {
        const double mid = (r.y0 + r.y1) / 2;
        const double half = std::max(std::abs(mid) * 0.1, 1.0);
        r.y0 = mid - half;
        r.y1 = mid + half;
    }
}

QString PlotState::readout(double x) const
{
    const long i = nearestSample(m_file->x, m_file->xAscending, x);
    if (i < 0)
        return QString();
    const auto row = static_cast<size_t>(i);
    QStringList parts{xText(m_file->x[row], 0)};
    for (size_t s = 0; s < m_shown.size(); ++s) {
        if (!m_shown[s])
            continue;
        const double v = m_file->series[s].values[row];
        parts << m_file->series[s].name + QLatin1Char(' ') +
                     (std::isnan(v) ? QStringLiteral("-") : QString::number(v, 'g', 12));
    }
    return parts.join(QStringLiteral("   "));
}

QString PlotState::xText(double x, double step) const
{
    switch (m_file->axis) {
    case MeasurementFile::Axis::Row:
        return step <= 0 ? QStringLiteral("row %1").arg(static_cast<qint64>(x))
                         : valueText(x, std::max(step, 1.0));
    case MeasurementFile::Axis::DateTime: {
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(x)), Qt::UTC);
        if (step <= 0)
            return when.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss.zzz"));
        if (step >= kMsPerDay)
            return when.toString(QStringLiteral("yyyy/MM/dd"));
        return timeOfDayText(static_cast<double>(when.time().msecsSinceStartOfDay()), step);
    }
    case MeasurementFile::Axis::Time:
        break;
    }
    const double day = std::floor(x / kMsPerDay);
    const QString time = timeOfDayText(x - day * kMsPerDay, step <= 0 ? 1 : step);
    return day == 0 ? time : QStringLiteral("+%1d %2").arg(static_cast<qint64>(day)).arg(time);
}

std::vector<double> PlotState::ticks(double lo, double hi, int maxTicks, bool time)
{
    std::vector<double> out;
    if (!(hi > lo) || maxTicks < 1)
        return out;
    const double raw = (hi - lo) / maxTicks;
    double step = 0;
    if (time) {
        const auto* found =
            std::find_if(std::begin(kTimeSteps), std::end(kTimeSteps), [raw](double s) { return s >= raw; });
        step = found != std::end(kTimeSteps) ? *found : roundStep(raw / kMsPerDay) * kMsPerDay;
    } else {
        step = roundStep(raw);
    }
    const double first = std::ceil(lo / step);
    for (int i = 0; i <= maxTicks + 1; ++i) {
        const double v = (first + i) * step;
        if (v > hi + step * 1e-9)
            break;
        out.push_back(v);
    }
    return out;
}

QString PlotState::valueText(double value, double step)
{
    if (!(step > 0) || std::abs(value) >= 1e9 || step < 1e-9)
        return QString::number(value, 'g', 6);
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    // A label at zero reads "0", not "-0.00" from a sum that came out a hair below it.
    return QString::number(std::abs(value) < step / 2 ? 0.0 : value, 'f', decimals);
}

} // namespace orvalt
