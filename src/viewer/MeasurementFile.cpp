#include "viewer/MeasurementFile.h"

#include <QDate>
#include <QLocale>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace orvalt {

namespace {

// The rows that decide what each column holds: enough that a stray bad cell does not turn a
// column of numbers into text, few enough to cost nothing.
constexpr qsizetype kSampleRows = 100;
constexpr double kMsPerDay = 86400000.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kKinds = 5;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// The lines of the file one after the other, blank ones passed over, each with its number.
class LineReader
{
public:
    // Starts at byte from, which begins the line after line number before.
    LineReader(const QByteArray& bytes, qsizetype from, qsizetype before = 0)
        : m_bytes(bytes)
        , m_pos(from)
        , m_line(before)
    {}

    bool next(qsizetype& begin, qsizetype& end, qsizetype& line)
    {
        const qsizetype size = m_bytes.size();
        const char* data = m_bytes.constData();
        while (m_pos < size) {
            const void* found = std::memchr(data + m_pos, '\n', static_cast<size_t>(size - m_pos));
            const qsizetype stop = found ? static_cast<const char*>(found) - data : size;
            begin = m_pos;
            end = stop;
            m_pos = stop + 1;
            ++m_line;
            while (end > begin && data[end - 1] == '\r')
                --end;
            for (qsizetype i = begin; i < end; ++i) {
                if (!isBlank(data[i])) {
                    line = m_line;
                    return true;
                }
            }
        }
        return false;
    }

private:
    const QByteArray& m_bytes;
    qsizetype m_pos;
    qsizetype m_line;
};

bool readDigits(const char*& p, const char* end, int minCount, int maxCount, int& value)
{
    value = 0;
    int count = 0;
    while (p < end && count < maxCount && *p >= '0' && *p <= '9') {
        value = value * 10 + (*p - '0');
        ++p;
        ++count;
    }
    return count >= minCount;
}

// "2026/11/03", "2026-11-03" or "2026.11.03": milliseconds since 1970-01-01.
bool readDate(const char*& p, const char* end, double& ms)
{
    int year = 0;
    int month = 0;
    int day = 0;
    if (!readDigits(p, end, 4, 4, year) || p >= end)
        return false;
    const char separator = *p;
    if (separator != '/' && separator != '-' && separator != '.')
        return false;
    ++p;
    if (!readDigits(p, end, 1, 2, month) || p >= end || *p != separator)
        return false;
    ++p;
    if (!readDigits(p, end, 1, 2, day))
        return false;
    const QDate date(year, month, day);
    if (!date.isValid())
        return false;
    ms = static_cast<double>(date.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * kMsPerDay;
    return true;
}

// "10:00", "10:00:00" or "10:00:00.25": milliseconds since midnight.
bool readTime(const char*& p, const char* end, double& ms)
{
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!readDigits(p, end, 1, 2, hour) || p >= end || *p != ':')
        return false;
    ++p;
    if (!readDigits(p, end, 2, 2, minute))
        return false;
    double fraction = 0;
    if (p < end && *p == ':') {
        ++p;
        if (!readDigits(p, end, 2, 2, second))
            return false;
        if (p < end && *p == '.') {
            ++p;
            double scale = 0.1;
            const char* first = p;
            while (p < end && *p >= '0' && *p <= '9' && p - first < 9) {
                fraction += (*p - '0') * scale;
                scale /= 10;
                ++p;
            }
            if (p == first)
                return false;
        }
    }
    if (hour > 23 || minute > 59 || second > 60)
        return false;
    ms = ((hour * 60.0 + minute) * 60.0 + second + fraction) * 1000.0;
    return true;
}

// What one cell holds, and its value: the number, or the date, time or both in milliseconds.
// Text for anything else (an empty cell is never asked about).
ColumnKind readCell(const char* begin, const char* end, double& value)
{
    value = readNumber(begin, end);
    if (!std::isnan(value))
        return ColumnKind::Number;
    const char* p = begin;
    double date = 0;
    if (readDate(p, end, date)) {
        if (p == end) {
            value = date;
            return ColumnKind::Date;
        }
        double time = 0;
        if ((*p == ' ' || *p == 'T') && (++p, readTime(p, end, time)) && p == end) {
            value = date + time;
            return ColumnKind::DateTime;
        }
        return ColumnKind::Text;
    }
    p = begin;
    double time = 0;
    if (readTime(p, end, time) && p == end) {
        value = time;
        return ColumnKind::Time;
    }
    return ColumnKind::Text;
}

QString countText(qsizetype n)
{
    return QLocale(QLocale::English).toString(static_cast<qlonglong>(n));
}

char separatorOf(const QByteArray& bytes, qsizetype begin, qsizetype end)
{
    const QByteArrayView line(bytes.constData() + begin, end - begin);
    for (const char candidate : {'\t', ',', ';'})
        if (line.contains(candidate))
            return candidate;
    return ',';
}

struct Reading
{
    const QByteArray& bytes;
    char separator;
    qsizetype columns;
    std::vector<FieldSpan> fields;

    // The cell of a column in the fields last split; empty past the row's end.
    bool cell(qsizetype column, const char*& begin, const char*& end) const
    {
        if (column >= static_cast<qsizetype>(fields.size()))
            return false;
        begin = bytes.constData() + fields[static_cast<size_t>(column)].begin;
        end = bytes.constData() + fields[static_cast<size_t>(column)].end;
        return begin < end;
    }
};

// Each column's kind, by what most of the first rows hold in it. A column empty in all of them
// counts as numbers that are still to come.
std::vector<ColumnKind> columnKinds(Reading& r, LineReader lines)
{
    std::vector<std::array<qsizetype, kKinds>> counts(static_cast<size_t>(r.columns));
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype line = 0;
    for (qsizetype row = 0; row < kSampleRows && lines.next(begin, end, line); ++row) {
        splitFields(r.bytes, begin, end, r.separator, r.fields, r.columns);
        for (qsizetype c = 0; c < r.columns; ++c) {
            const char* b = nullptr;
            const char* e = nullptr;
            double value = 0;
            if (r.cell(c, b, e))
                ++counts[static_cast<size_t>(c)][static_cast<size_t>(readCell(b, e, value))];
        }
    }
    std::vector<ColumnKind> kinds;
    kinds.reserve(counts.size());
    for (const auto& count : counts) {
        qsizetype total = 0;
        int best = static_cast<int>(ColumnKind::Number);
        for (int k = 0; k < kKinds; ++k) {
            total += count[static_cast<size_t>(k)];
            if (count[static_cast<size_t>(k)] > count[static_cast<size_t>(best)])
                best = k;
        }
        // Text wins a tie, and a column where no one kind holds half the cells is text.
        const bool clear = count[static_cast<size_t>(best)] * 2 > total ||
                           (total == 0 && best == static_cast<int>(ColumnKind::Number));
        kinds.push_back(clear ? static_cast<ColumnKind>(best) : ColumnKind::Text);
    }
    return kinds;
}

qsizetype firstOf(const std::vector<ColumnKind>& kinds, ColumnKind kind)
{
    for (size_t i = 0; i < kinds.size(); ++i)
        if (kinds[i] == kind)
            return static_cast<qsizetype>(i);
    return -1;
}

// The columns the x axis is read from: a column of dates and times, or one of dates and one of
// times, or one of times alone; -1 for those the file does not have.
struct AxisColumns
{
    qsizetype dateTime = -1;
    qsizetype date = -1;
    qsizetype time = -1;
};

// The x of a row from its axis columns, and the day a column of times alone has run into.
class AxisReader
{
public:
    AxisReader(MeasurementFile::Axis axis, AxisColumns columns, const std::vector<ColumnKind>& kinds)
        : m_axis(axis)
        , m_columns(columns)
        , m_kinds(kinds)
    {}

    double x(const Reading& r, qsizetype row)
    {
        if (m_axis == MeasurementFile::Axis::Row)
            return static_cast<double>(row);
        double x = 0;
        for (const qsizetype c : {m_columns.dateTime, m_columns.date, m_columns.time}) {
            const char* b = nullptr;
            const char* e = nullptr;
            double value = kNaN;
            if (c >= 0 && (!r.cell(c, b, e) || readCell(b, e, value) != m_kinds[static_cast<size_t>(c)]))
                value = kNaN;
            if (c >= 0)
                x += value;
        }
        // Times alone run past midnight into the next day: a step back of more than half a day is
        // taken for that.
        if (m_axis == MeasurementFile::Axis::Time && !std::isnan(x)) {
            if (!std::isnan(m_lastTime) && x < m_lastTime - kMsPerDay / 2)
                m_dayOffset += kMsPerDay;
            m_lastTime = x;
            x += m_dayOffset;
        }
        return x;
    }

private:
    MeasurementFile::Axis m_axis;
    AxisColumns m_columns;
    const std::vector<ColumnKind>& m_kinds;
    double m_dayOffset = 0;
    double m_lastTime = kNaN;
};

// The header row: the separator, whether it is a header at all, the columns' names. False when
// the file has no row or too many columns (problem said).
bool readHeader(MeasurementFile& f, Reading& r, LineReader& lines, TextEncoding encoding,
                qsizetype& dataBegin, qsizetype& dataLine)
{
    const QByteArray& bytes = r.bytes;
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype line = 0;
    if (!lines.next(begin, end, line)) {
        f.problem = bytes.isEmpty() ? QStringLiteral("The file is empty.")
                                    : QStringLiteral("The file holds blank lines only.");
        return false;
    }
    f.separator = separatorOf(bytes, begin, end);
    r.separator = f.separator;
    const qsizetype columns = splitFields(bytes, begin, end, f.separator, r.fields, kMaxMeasurementColumns);
    if (columns > kMaxMeasurementColumns) {
        f.problem = QStringLiteral("The file has %1 columns, more than a plot can take (%2).")
                        .arg(countText(columns), countText(kMaxMeasurementColumns));
        return false;
    }
    r.columns = columns;
    // A first row of numbers, dates and times only is no header: the file starts with its data.
    f.hasHeader = false;
    for (qsizetype c = 0; c < columns; ++c) {
        const char* b = nullptr;
        const char* e = nullptr;
        double value = 0;
        f.hasHeader = f.hasHeader || (r.cell(c, b, e) && readCell(b, e, value) == ColumnKind::Text);
    }
    for (qsizetype c = 0; c < columns; ++c) {
        QString name;
        if (f.hasHeader)
            name = decodeText(unquoteField(bytes, r.fields[static_cast<size_t>(c)]), encoding).trimmed();
        f.header << (name.isEmpty() ? QStringLiteral("Column %1").arg(c + 1) : name);
    }
    dataBegin = f.hasHeader ? std::min(end + 1, bytes.size()) : begin; // a header may end the file
    dataLine = f.hasHeader ? line : line - 1;
    return true;
}

// The axis and the series, by the columns' kinds.
AxisColumns chooseColumns(MeasurementFile& f, const std::vector<ColumnKind>& kinds)
{
    AxisColumns a;
    a.dateTime = firstOf(kinds, ColumnKind::DateTime);
    a.date = a.dateTime < 0 ? firstOf(kinds, ColumnKind::Date) : -1;
    a.time = a.dateTime < 0 ? firstOf(kinds, ColumnKind::Time) : -1;
    f.axis = a.dateTime >= 0 || a.date >= 0 ? MeasurementFile::Axis::DateTime
             : a.time >= 0                  ? MeasurementFile::Axis::Time
                                            : MeasurementFile::Axis::Row;
    QStringList axisNames;
    for (const qsizetype c : {a.dateTime, a.date, a.time})
        if (c >= 0)
            axisNames << f.header.at(c);
    f.axisName = axisNames.isEmpty() ? QStringLiteral("Row") : axisNames.join(QLatin1Char(' '));
    for (size_t c = 0; c < kinds.size(); ++c) {
        if (kinds[c] == ColumnKind::Number)
            f.series.push_back(
                {f.header.at(static_cast<qsizetype>(c)), static_cast<int>(c), ColumnKind::Number, {}});
    }
    return a;
}

// Every row: where it lies, its x, its numbers, and what did not fit.
void readRows(MeasurementFile& f, Reading& r, LineReader& lines, AxisReader& axis, qsizetype expected)
{
    f.rowBegin.reserve(static_cast<size_t>(expected));
    f.rowEnd.reserve(static_cast<size_t>(expected));
    f.x.reserve(static_cast<size_t>(expected));
    for (MeasurementColumn& s : f.series)
        s.values.reserve(static_cast<size_t>(expected));
    double lastX = -std::numeric_limits<double>::infinity();
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype line = 0;
    while (lines.next(begin, end, line)) {
        const qsizetype fields = splitFields(r.bytes, begin, end, f.separator, r.fields, r.columns);
        f.rowBegin.push_back(begin);
        f.rowEnd.push_back(end);
        ++f.rows;
        if (fields != r.columns && ++f.raggedRows == 1)
            f.firstRaggedLine = line;
        for (MeasurementColumn& s : f.series) {
            const char* b = nullptr;
            const char* e = nullptr;
            double value = kNaN;
            if (r.cell(s.field, b, e)) {
                value = readNumber(b, e);
                if (std::isnan(value) && ++f.notNumbers == 1) {
                    f.firstNotNumberLine = line;
                    f.firstNotNumberColumn = s.name;
                }
            }
            s.values.push_back(value);
        }
        const double x = axis.x(r, f.rows);
        if (std::isnan(x) && ++f.notDates == 1)
            f.firstNotDateLine = line;
        f.xAscending = f.xAscending && x >= lastX; // false for NaN too
        if (!std::isnan(x))
            lastX = x;
        f.x.push_back(x);
    }
}

} // namespace

qsizetype splitFields(const QByteArray& bytes, qsizetype begin, qsizetype end, char separator,
                      std::vector<FieldSpan>& fields, qsizetype maxFields)
{
    fields.clear();
    const char* data = bytes.constData();
    qsizetype count = 0;
    qsizetype p = begin;
    for (;;) {
        while (p < end && data[p] == ' ')
            ++p;
        FieldSpan field{p, p};
        if (p < end && data[p] == '"') {
            field.begin = ++p;
            while (p < end && !(data[p] == '"' && (p + 1 >= end || data[p + 1] != '"')))
                p += data[p] == '"' ? 2 : 1;
            field.end = p;
            if (p < end)
                ++p; // the closing quote; anything up to the separator is passed over
            while (p < end && data[p] != separator)
                ++p;
        } else {
            while (p < end && data[p] != separator)
                ++p;
            field.end = p;
            while (field.end > field.begin && isBlank(data[field.end - 1]))
                --field.end;
        }
        if (count < maxFields)
            fields.push_back(field);
        ++count;
        if (p >= end)
            return count;
        ++p; // the separator: a field follows, empty at the row's end
    }
}

QByteArray unquoteField(const QByteArray& bytes, const FieldSpan& field)
{
    QByteArray text = bytes.mid(field.begin, field.end - field.begin);
    return text.replace("\"\"", "\"");
}

double readNumber(const char* begin, const char* end)
{
    if (begin < end && *begin == '+')
        ++begin;
    // from_chars takes neither "inf" nor "nan" as wanted here: only digits may start a number.
    if (begin >= end || !((*begin >= '0' && *begin <= '9') || *begin == '-' || *begin == '.'))
        return kNaN;
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value))
        return kNaN;
    return value;
}

QStringList MeasurementFile::notes() const
{
    QStringList notes;
    if (raggedRows > 0)
        notes << QStringLiteral("%1 of %2 rows have another number of fields than the header (the first on "
                                "line %3); their missing fields are left out.")
                     .arg(countText(raggedRows), countText(rows), countText(firstRaggedLine));
    if (notNumbers > 0)
        notes << QStringLiteral("%1 cells are not numbers (the first on line %2, column \"%3\"); they are "
                                "left out of the plot.")
                     .arg(countText(notNumbers), countText(firstNotNumberLine), firstNotNumberColumn);
    if (notDates > 0)
        notes << QStringLiteral("%1 rows have no date or time that can be read (the first on line %2); they "
                                "are left out of the plot.")
                     .arg(countText(notDates), countText(firstNotDateLine));
    return notes;
}

MeasurementFile readMeasurementFile(const QByteArray& bytes, TextEncoding encoding)
{
    MeasurementFile f;
    const qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    LineReader lines(bytes, start);
    Reading r{bytes, f.separator, 0, {}};
    r.fields.reserve(64);
    qsizetype dataBegin = 0;
    qsizetype dataLine = 0;
    if (!readHeader(f, r, lines, encoding, dataBegin, dataLine))
        return f;
    const std::vector<ColumnKind> kinds = columnKinds(r, LineReader(bytes, dataBegin, dataLine));
    const AxisColumns axisColumns = chooseColumns(f, kinds);
    AxisReader axis(f.axis, axisColumns, kinds);
    LineReader data(bytes, dataBegin, dataLine);
    readRows(f, r, data, axis,
             static_cast<qsizetype>(std::count(bytes.cbegin() + dataBegin, bytes.cend(), '\n')) + 1);

    // A column that never holds a number (an empty one after a final separator) draws nothing.
    std::vector<MeasurementColumn> drawn;
    for (MeasurementColumn& s : f.series) {
        if (std::any_of(s.values.cbegin(), s.values.cend(), [](double v) { return !std::isnan(v); }))
            drawn.push_back(std::move(s));
    }
    f.series = std::move(drawn);
    if (f.rows == 0)
        f.problem = QStringLiteral("The file has a header row and no rows of data.");
    else if (f.series.empty())
        f.problem = QStringLiteral("No column of the file holds numbers to draw.");
    return f;
}

} // namespace orvalt
