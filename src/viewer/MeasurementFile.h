#pragma once

#include "viewer/TextGuess.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace orvalt {

// A measurement file as the instrument writes it: CSV or tab-separated text, a header row, then
// one row a sample, with a date and a time column (or one column of both) and columns of numbers.
// The file is untrusted: every row may have another number of fields, every cell may be anything,
// and nothing of it ends the reading; what did not fit is counted for the user.

// One field of a row: its bytes within the file, quotes taken off, blanks around it left out.
struct FieldSpan
{
    qsizetype begin = 0;
    qsizetype end = 0;
};

// Splits the row [begin, end) of bytes at separator. A field in double quotes may hold the
// separator; two double quotes inside it stand for one (kept doubled in the span: the table shows
// the field with unquoteField). fields is filled anew; at most maxFields are kept, further ones
// only counted in the result, which is the number of fields of the row.
qsizetype splitFields(const QByteArray& bytes, qsizetype begin, qsizetype end, char separator,
                      std::vector<FieldSpan>& fields, qsizetype maxFields);
// The text of a field: "" inside quotes becomes ".
QByteArray unquoteField(const QByteArray& bytes, const FieldSpan& field);

// A cell read as a number: decimal, with an optional sign and exponent ("-1.5e-3"). NaN when it is
// not one (or not finite).
double readNumber(const char* begin, const char* end);

// What a column holds, judged by most of its first rows.
enum class ColumnKind
{
    Number,
    Date,     // 2026/11/03 (or with "-" or ".")
    Time,     // 10:00:00, 10:00:00.25, 10:00
    DateTime, // 2026/11/03 10:00:00.25 (or "T" between)
    Text
};

struct MeasurementColumn
{
    QString name;
    int field = 0; // its place in a row, from 0
    ColumnKind kind = ColumnKind::Number;
    // Number columns: one value a row, NaN where the cell is empty or not a number.
    std::vector<double> values;
};

struct MeasurementFile
{
    enum class Axis
    {
        Row,      // the row's number, from 1
        DateTime, // milliseconds since 1970-01-01 of the dates and times written (no time zone)
        Time      // milliseconds since the first row's midnight: a time column without dates
    };

    char separator = ',';
    bool hasHeader = true;
    QStringList header; // every column's name (made up where the file has no header)
    qsizetype rows = 0;
    // Where each row begins and ends in the file's bytes, for the table (line ends left out).
    std::vector<qsizetype> rowBegin;
    std::vector<qsizetype> rowEnd;

    Axis axis = Axis::Row;
    QString axisName;
    std::vector<double> x; // one a row; NaN where the date or time could not be read
    // x never goes back and is never NaN, so the samples of a range are found by bisection.
    bool xAscending = true;
    std::vector<MeasurementColumn> series; // the columns of numbers, in file order

    // What did not fit, for the user: rows whose number of fields is not the header's, cells of a
    // number column that are not numbers, date and time cells that are not dates or times; each
    // with the first one's line in the file (from 1) and column.
    qsizetype raggedRows = 0;
    qsizetype firstRaggedLine = 0;
    qsizetype notNumbers = 0;
    qsizetype firstNotNumberLine = 0;
    QString firstNotNumberColumn;
    qsizetype notDates = 0;
    qsizetype firstNotDateLine = 0;
    // Why the file cannot be drawn, when it cannot; empty when it can.
    QString problem;

    bool plottable() const { return problem.isEmpty(); }
    // The notes the viewer shows above the plot: what was left out and why.
    QStringList notes() const;
};

// A file of more columns than this is shown as text only: its rows would not fit any plot, and a
// hostile file of a million one-byte columns would cost memory for nothing.
inline constexpr int kMaxMeasurementColumns = 4096;

// Reads a measurement file. Header names and text cells are read in the given encoding. Never
// fails: what cannot be drawn is said in problem.
MeasurementFile readMeasurementFile(const QByteArray& bytes, TextEncoding encoding);

} // namespace orvalt
