// A measurement file to view: any bytes a user or a fault may leave in a file named .CSV.

#include "FuzzCheck.h"
#include "viewer/Decimate.h"
#include "viewer/MeasurementFile.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace orvalt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const TextEncoding encoding = guessEncoding(bytes);
    const MeasurementFile f = readMeasurementFile(bytes, encoding);

    FUZZ_CHECK(f.header.size() <= kMaxMeasurementColumns);
    FUZZ_CHECK(f.plottable() == (f.rows > 0 && !f.series.empty()));
    FUZZ_CHECK(static_cast<qsizetype>(f.rowBegin.size()) == f.rows);
    FUZZ_CHECK(static_cast<qsizetype>(f.rowEnd.size()) == f.rows);
    FUZZ_CHECK(static_cast<qsizetype>(f.x.size()) == f.rows);
    FUZZ_CHECK(f.raggedRows <= f.rows && f.notDates <= f.rows);
    std::vector<FieldSpan> fields;
    for (size_t r = 0; r < f.rowBegin.size(); ++r) {
        FUZZ_CHECK(f.rowBegin[r] <= f.rowEnd[r] && f.rowEnd[r] <= bytes.size());
        FUZZ_CHECK(r == 0 || f.rowBegin[r] > f.rowEnd[r - 1]);
        splitFields(bytes, f.rowBegin[r], f.rowEnd[r], f.separator, fields, f.header.size());
        for (const FieldSpan& field : fields)
            FUZZ_CHECK(field.begin >= f.rowBegin[r] && field.begin <= field.end && field.end <= f.rowEnd[r]);
    }
    for (size_t r = 1; f.xAscending && r < f.x.size(); ++r)
        FUZZ_CHECK(!std::isnan(f.x[r]) && f.x[r] >= f.x[r - 1]);

    for (const MeasurementColumn& s : f.series) {
        FUZZ_CHECK(s.field >= 0 && s.field < f.header.size());
        FUZZ_CHECK(static_cast<qsizetype>(s.values.size()) == f.rows);
        for (const double v : s.values)
            FUZZ_CHECK(std::isnan(v) || std::isfinite(v));
        // Whatever the axis, every pixel column holds its samples between its lowest and highest.
        double x0 = 0;
        double x1 = 0;
        bool any = false;
        for (const double x : f.x) {
            if (std::isnan(x))
                continue;
            x0 = any ? std::min(x0, x) : x;
            x1 = any ? std::max(x1, x) : x;
            any = true;
        }
        constexpr int kWidth = 97;
        int last = -2000000;
        for (const PixelColumn& c : decimate(f.x, s.values, f.xAscending, x0, x1 + 1, kWidth)) {
            FUZZ_CHECK(c.low <= c.first && c.first <= c.high && c.low <= c.last && c.last <= c.high);
            FUZZ_CHECK(c.px >= -1000000 && c.px <= 1000000);
            FUZZ_CHECK(!f.xAscending || c.px >= last);
            last = c.px;
        }
    }
    return 0;
}
