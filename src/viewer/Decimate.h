#pragma once

#include <vector>

namespace orvalt {

// A trace of many thousands of samples drawn on a few hundred pixel columns: each column keeps
// the first, lowest, highest and last value of the samples that fall in it, which draws the same
// picture as every sample would (a spike of one sample still shows) at a few points a column.

struct PixelColumn
{
    int px = 0; // the column, from 0 at x0; one sample before x0 and one after x1 lie outside
    double first = 0;
    double low = 0;
    double high = 0;
    double last = 0;
    // Whether the line comes from the column before: false after a gap (a sample that is no
    // number) and for the first column.
    bool joined = false;
};

// The columns of the samples (x[i], y[i]) that lie between x0 and x1 on width pixel columns, in
// the order of the samples, and the one sample on each side just outside, so that the line runs
// to the plot's edges. A sample whose x or y is NaN breaks the line. ascending says x never goes
// back, so that only the samples in view are looked at; otherwise every sample is. Nothing for
// an empty range or width.
std::vector<PixelColumn> decimate(const std::vector<double>& x, const std::vector<double>& y, bool ascending,
                                  double x0, double x1, int width);

// The lowest and highest finite y of the samples whose x lies between x0 and x1; false when
// there is none.
bool valueRange(const std::vector<double>& x, const std::vector<double>& y, bool ascending, double x0,
                double x1, double& low, double& high);

// The sample whose x is nearest to at (NaN ones left out), or -1 when there is none.
long nearestSample(const std::vector<double>& x, bool ascending, double at);

} // namespace orvalt
