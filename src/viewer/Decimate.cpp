#include "viewer/Decimate.h"

#include <algorithm>
#include <cmath>

namespace orvalt {

namespace {

// Far beyond any screen, near enough that the painter's integer coordinates never overflow.
constexpr double kFarPixel = 1.0e6;

struct Span
{
    size_t from = 0;
    size_t to = 0;
};

// The samples to look at for the range [x0, x1], with one more on each side when widen is set.
Span samplesOf(const std::vector<double>& x, size_t n, bool ascending, double x0, double x1, bool widen)
{
    if (!ascending)
        return {0, n};
    const auto first = x.cbegin();
    size_t from = static_cast<size_t>(std::lower_bound(first, first + static_cast<long>(n), x0) - first);
    size_t to = static_cast<size_t>(std::upper_bound(first, first + static_cast<long>(n), x1) - first);
    if (widen) {
        from -= from > 0 ? 1 : 0;
        to += to < n ? 1 : 0;
    }
    return {from, to};
}

} // namespace

std::vector<PixelColumn> decimate(const std::vector<double>& x, const std::vector<double>& y, bool ascending,
                                  double x0, double x1, int width)
{
    std::vector<PixelColumn> columns;
    if (!(x1 > x0) || width <= 0)
        return columns;
    const size_t n = std::min(x.size(), y.size());
    const Span span = samplesOf(x, n, ascending, x0, x1, true);
    const double scale = width / (x1 - x0);
    bool gap = true;
    for (size_t i = span.from; i < span.to; ++i) {
        const double value = y[i];
        if (std::isnan(x[i]) || std::isnan(value)) {
            gap = true;
            continue;
        }
        // x1 itself belongs to the last column, not to one past it.
        const double at = std::clamp(std::floor((x[i] - x0) * scale), -kFarPixel, kFarPixel);
        const int px = x[i] == x1 ? width - 1 : static_cast<int>(at);
        if (!gap && !columns.empty() && columns.back().px == px) {
            PixelColumn& c = columns.back();
            c.low = std::min(c.low, value);
            c.high = std::max(c.high, value);
            c.last = value;
        } else {
            columns.push_back({px, value, value, value, value, !gap && !columns.empty()});
        }
        gap = false;
    }
    return columns;
}

bool valueRange(const std::vector<double>& x, const std::vector<double>& y, bool ascending, double x0,
                double x1, double& low, double& high)
{
    const size_t n = std::min(x.size(), y.size());
    const Span span = samplesOf(x, n, ascending, x0, x1, false);
    bool found = false;
    for (size_t i = span.from; i < span.to; ++i) {
        if (!(x[i] >= x0 && x[i] <= x1) || std::isnan(y[i]))
            continue;
        low = found ? std::min(low, y[i]) : y[i];
        high = found ? std::max(high, y[i]) : y[i];
        found = true;
    }
    return found;
}

long nearestSample(const std::vector<double>& x, bool ascending, double at)
{
    if (x.empty() || std::isnan(at))
        return -1;
    if (ascending) {
        const auto it = std::lower_bound(x.cbegin(), x.cend(), at);
        long i = static_cast<long>(it - x.cbegin());
        if (i == static_cast<long>(x.size()) ||
            (i > 0 && at - x[static_cast<size_t>(i - 1)] <= x[static_cast<size_t>(i)] - at))
            --i;
        return i;
    }
    long best = -1;
    double distance = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        if (std::isnan(x[i]))
            continue;
        const double d = std::abs(x[i] - at);
        if (best < 0 || d < distance) {
            best = static_cast<long>(i);
            distance = d;
        }
    }
    return best;
}

} // namespace orvalt
