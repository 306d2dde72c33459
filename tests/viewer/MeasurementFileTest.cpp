// Reading measurement files and drawing many samples on few pixels: the plain logic beneath the
// viewer, on files as the instrument writes them and as users and faults leave them.

#include "viewer/MeasurementFile.h"

#include "support/TestMain.h"
#include "viewer/Decimate.h"
#include "viewer/HexLines.h"
#include "viewer/TextLines.h"
#include "viewer/ViewDocument.h"

#include <QTest>
#include <cmath>

using namespace orvalt;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

QByteArray columnsFile(int columns)
{
    QByteArrayList header;
    QByteArrayList row;
    for (int c = 0; c < columns; ++c) {
        header << "C" + QByteArray::number(c);
        row << QByteArray::number(c);
    }
    return header.join(',') + '\n' + row.join(',') + '\n' + row.join(',') + '\n';
}

// "name=v1 v2 ..." for each series, "nan" for a gap.
QStringList seriesText(const MeasurementFile& f)
{
    QStringList out;
    for (const MeasurementColumn& s : f.series) {
        QStringList values;
        for (double v : s.values)
            values << (std::isnan(v) ? QStringLiteral("nan") : QString::number(v));
        out << s.name + QLatin1Char('=') + values.join(QLatin1Char(' '));
    }
    return out;
}

QString xText(const MeasurementFile& f)
{
    QStringList values;
    for (double v : f.x)
        values << (std::isnan(v) ? QStringLiteral("nan") : QString::number(v - f.x.front(), 'g', 12));
    return values.join(QLatin1Char(' '));
}

} // namespace

class MeasurementFileTest : public QObject
{
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("axis"); // the axis name
        QTest::addColumn<QString>("x");    // x of each row, less the first's
        QTest::addColumn<QStringList>("series");
        QTest::addColumn<QStringList>("notes"); // problem, or the notes
        QTest::newRow("as the instrument writes it")
            << QByteArray("Date,Time,CH1[V],TEMP[C]\r\n2026/11/03,23:59:59.90,0.5012,21.5\r\n"
                          "2026/11/04,00:00:00.15,-1e-3,+21.6\r\n")
            << "Date Time"
            << "0 250" << QStringList{"CH1[V]=0.5012 -0.001", "TEMP[C]=21.5 21.6"} << QStringList();
        QTest::newRow("tab-separated, date and time in one column, a byte order mark")
            << QByteArray("\xEF\xBB\xBFWhen\tLevel\n2026-11-03T10:00:00\t1\n2026-11-03 10:01:00\t2\n")
            << "When"
            << "0 60000" << QStringList{"Level=1 2"} << QStringList();
        QTest::newRow("times alone run past midnight")
            << QByteArray("Time,V\n23:59:59,1\n00:00:01,2\n") << "Time"
            << "0 2000" << QStringList{"V=1 2"} << QStringList();
        QTest::newRow("no header: the first row is data")
            << QByteArray("1,2\n3,4\n") << "Row"
            << "0 1" << QStringList{"Column 1=1 3", "Column 2=2 4"} << QStringList();
        QTest::newRow("one column") << QByteArray("Value\n7\n8\n9\n") << "Row"
                                    << "0 1 2" << QStringList{"Value=7 8 9"} << QStringList();
        QTest::newRow("quoted fields, a blank line, a final separator")
            << QByteArray("\"Level, m\",\"Note \"\"a\"\"\",\n\"1.5\",ok,\n\n2,\"x,y\",\n") << "Row"
            << "0 1" << QStringList{"Level, m=1.5 2"} << QStringList();
        QTest::newRow("ragged rows")
            << QByteArray("A,B\n1,2\n3\n4,5,6\n") << "Row"
            << "0 1 2" << QStringList{"A=1 3 4", "B=2 nan 5"}
            << QStringList{"2 of 3 rows have another number of fields than the header (the first on line 3); "
                           "their missing fields are left out."};
        QTest::newRow("cells that are not numbers")
            << QByteArray("A,B\n1,x\n2,3\n4,5\n") << "Row"
            << "0 1 2" << QStringList{"A=1 2 4", "B=nan 3 5"}
            << QStringList{"1 cells are not numbers (the first on line 2, column \"B\"); they are left out "
                           "of the plot."};
        QTest::newRow("inf and nan are no numbers")
            << QByteArray("A\n1\ninf\n2\nnan\n3\n0x10\n4\n") << "Row"
            << "0 1 2 3 4 5 6" << QStringList{"A=1 nan 2 nan 3 nan 4"}
            << QStringList{"3 cells are not numbers (the first on line 3, column \"A\"); they are left out "
                           "of the plot."};
        QTest::newRow("a date that cannot be")
            << QByteArray(
                   "Date,Time,V\n2026/11/03,10:00:00,1\n2026/02/30,10:00:01,2\n2026/11/03,10:00:02,3\n")
            << "Date Time"
            << "0 nan 2000" << QStringList{"V=1 2 3"}
            << QStringList{"1 rows have no date or time that can be read (the first on line 3); they are "
                           "left out of the plot."};
        QTest::newRow("empty file") << QByteArray() << ""
                                    << "" << QStringList() << QStringList{"The file is empty."};
        QTest::newRow("blank lines only")
            << QByteArray("\r\n  \n\n") << ""
            << "" << QStringList() << QStringList{"The file holds blank lines only."};
        QTest::newRow("header only") << QByteArray("A,B\n") << "Row"
                                     << "" << QStringList()
                                     << QStringList{"The file has a header row and no rows of data."};
        QTest::newRow("header only, no line end")
            << QByteArray("next") << "Row"
            << "" << QStringList() << QStringList{"The file has a header row and no rows of data."};
        QTest::newRow("words only") << QByteArray("Name,Site\nNorth,pier\n") << "Row"
                                    << "0" << QStringList()
                                    << QStringList{"No column of the file holds numbers to draw."};
        QTest::newRow("more columns than a plot takes")
            << columnsFile(kMaxMeasurementColumns + 1) << ""
            << "" << QStringList()
            << QStringList{"The file has 4,097 columns, more than a plot can take (4,096)."};
    }

    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, axis);
        QFETCH(QString, x);
        QFETCH(QStringList, series);
        QFETCH(QStringList, notes);
        const MeasurementFile f = readMeasurementFile(bytes, TextEncoding::Utf8);
        QCOMPARE(f.plottable() ? f.notes() : QStringList{f.problem}, notes.isEmpty() ? QStringList() : notes);
        if (!f.problem.isEmpty() && f.header.isEmpty())
            return;
        QCOMPARE(f.axisName, axis);
        QCOMPARE(xText(f), x);
        QCOMPARE(seriesText(f), series);
        QCOMPARE(static_cast<qsizetype>(f.rowBegin.size()), f.rows);
    }

    // A thousand columns are all read; the viewer draws the first few and says so.
    void manyColumns()
    {
        const ViewDocument d = viewDocument(QStringLiteral("WIDE.CSV"), QString(), columnsFile(1000), 0);
        QCOMPARE(d.kind, ViewDocument::Kind::Measurement);
        QCOMPARE(d.measurement->series.size(), size_t(1000));
        QCOMPARE(d.measurement->series.back().name, QStringLiteral("C999"));
        QCOMPARE(d.notes, QStringList{"1,000 columns hold numbers: the first 8 are drawn; tick others in the "
                                      "list beside the plot."});
    }

    // What the viewer makes of a file: its kind, its encoding and what it tells.
    void document_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("fileSize"); // of the whole file: 0 when the bytes are all of it
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QStringList>("notes");
        using K = ViewDocument::Kind;
        QTest::newRow("empty") << "E.DAT" << QByteArray() << qint64(0) << int(K::Empty) << "Latin-1"
                               << QStringList{"The file is empty."};
        QTest::newRow("a NUL makes it binary") << "W.BIN" << QByteArray("abc\0def", 7) << qint64(0)
                                               << int(K::Binary) << "Latin-1" << QStringList();
        QTest::newRow("a CSV that is not text")
            << "T.CSV" << QByteArray("A,B\n\x01\x02\x03\x04\x05\x06\x07\x08,1\n") << qint64(0)
            << int(K::Binary) << "Latin-1"
            << QStringList{"The file holds bytes that are not text; it is shown in hex."};
        QTest::newRow("settings text") << "DEFAULT.SET" << QByteArray("MODEL=KD7350\nRANGE=10V\n")
                                       << qint64(0) << int(K::Text) << "UTF-8" << QStringList();
        QTest::newRow("a CSV of words")
            << "SITES.CSV" << QByteArray("Name,Site\nNorth,pier\n") << qint64(0) << int(K::Text) << "UTF-8"
            << QStringList{"No column of the file holds numbers to draw. It is shown as text."};
        QTest::newRow("Shift_JIS header")
            << "J.CSV" << QByteArray("\x93\xfa\x95\x74,\x93\x64\x88\xb3\n2026/11/03,1.5\n") << qint64(0)
            << int(K::Measurement) << "Shift_JIS" << QStringList();
        QTest::newRow("Latin-1, no Shift_JIS pair")
            << "L.TXT" << QByteArray("caf\xe9\n") << qint64(0) << int(K::Text) << "Latin-1" << QStringList();
        // The cap cuts the file inside a row and inside a UTF-8 character: neither is told as a fault.
        QTest::newRow("cut short")
            << "BIG.CSV" << QByteArray("\xc2\xb5V\n1\n2\n3\xc2") << qint64(2'000'000'000)
            << int(K::Measurement) << "UTF-8"
            << QStringList{"The file holds 2,000,000,000 bytes; the first 10 bytes are shown."};
    }

    void document()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, fileSize);
        QFETCH(int, kind);
        QFETCH(QString, encoding);
        QFETCH(QStringList, notes);
        if (encoding == QLatin1String("Shift_JIS") && !shiftJisAvailable())
            QSKIP("This Qt decodes no Shift_JIS");
        const ViewDocument d = viewDocument(name, QString(), bytes, fileSize);
        QCOMPARE(int(d.kind), kind);
        QCOMPARE(encodingName(d.encoding), encoding);
        QCOMPARE(d.notes, notes);
        if (name == QLatin1String("J.CSV"))
            QCOMPARE(d.measurement->series.front().name, QString::fromUtf8("電圧"));
        if (name == QLatin1String("BIG.CSV"))
            QCOMPARE(d.measurement->rows, qsizetype(2)); // "3" and the cut character are left out
    }

    // Every sample counts in its pixel column: a spike of one sample among thousands still shows,
    // a sample on the range's end falls in the last column, and the line runs on to the samples
    // just outside the range.
    void decimation_data()
    {
        QTest::addColumn<bool>("ascending");
        QTest::newRow("ascending x, found by bisection") << true;
        QTest::newRow("x in any order, every sample looked at") << false;
    }

    void decimation()
    {
        QFETCH(bool, ascending);
        std::vector<double> x;
        std::vector<double> y;
        for (int i = 0; i <= 60000; ++i) {
            x.push_back(i);
            y.push_back(i == 30001 ? 100.0 : (i % 2 ? 1.0 : -1.0));
        }
        const std::vector<PixelColumn> c = decimate(x, y, ascending, 10000, 50000, 400);
        // Outside on either side: 9,999 and 50,001 only, when x is known to ascend.
        QCOMPARE(c.front().px, ascending ? -1 : -100);
        QCOMPARE(c.back().px, ascending ? 400 : 500);
        int inView = 0;
        for (const PixelColumn& p : c) {
            if (p.px < 0 || p.px >= 400)
                continue;
            ++inView;
            QCOMPARE(p.low, -1.0);
            QCOMPARE(p.high, p.px == 200 ? 100.0 : 1.0);
            QVERIFY(p.joined);
        }
        QCOMPARE(inView, 400);
        const auto last =
            std::find_if(c.cbegin(), c.cend(), [](const PixelColumn& p) { return p.px == 399; });
        QCOMPARE(last->last, -1.0); // sample 50,000, the range's end, is in the last column
    }

    // A sample that is no number breaks the line; the next one starts it again.
    void gaps()
    {
        const std::vector<double> x{0, 1, 2, 3, 4};
        const std::vector<double> y{1, 2, kNaN, 4, 5};
        const std::vector<PixelColumn> c = decimate(x, y, true, 0, 4, 4);
        QCOMPARE(c.size(), size_t(3));
        QCOMPARE(c[1].joined, true);
        QCOMPARE(c[2].joined, false);
        QCOMPARE(c[2].px, 3); // x = 4 is the range's end: in the last column with x = 3
        QCOMPARE(c[2].first, 4.0);
        QCOMPARE(c[2].last, 5.0);
        QVERIFY(decimate(x, y, true, 2, 2, 4).empty());
        double low = 0;
        double high = 0;
        QVERIFY(valueRange(x, y, true, 1.5, 4, low, high));
        QCOMPARE(low, 4.0);
        QCOMPARE(high, 5.0);
        QVERIFY(!valueRange(x, y, true, 2, 2.5, low, high));
        QCOMPARE(nearestSample(x, true, 2.4), 2L);
        QCOMPARE(nearestSample(x, true, 2.6), 3L);
        QCOMPARE(nearestSample(x, true, 99), 4L);
        QCOMPARE(nearestSample({5, kNaN, 1}, false, 1.2), 2L);
    }

    // The text view's lines: a "\r" before the line end is no part of a line, a final line end
    // starts none, tabs go to stops of eight.
    void textLines()
    {
        TextLines t;
        t.setText(QStringLiteral("a\tb\r\nxyz\n"));
        QCOMPARE(t.lineCount(), 2);
        QCOMPARE(t.line(0).toString(), QStringLiteral("a\tb"));
        QCOMPARE(t.line(1).toString(), QStringLiteral("xyz"));
        QCOMPARE(TextLines::shown(t.line(0)), QStringLiteral("a       b"));
        QCOMPARE(TextLines::columnOf(t.line(0), 2), 8);
        QCOMPARE(t.widestLine(), 9);
        QCOMPARE(t.lineOf(t.lineStart(1)), 1);
        QCOMPARE(t.lineOf(t.text().size()), 1);
        bool wrapped = true;
        QCOMPARE(t.find(QStringLiteral("XY"), 0, false, &wrapped), qsizetype(5));
        QVERIFY(!wrapped);
        QCOMPARE(t.find(QStringLiteral("b"), 4, false, &wrapped), qsizetype(2));
        QVERIFY(wrapped);
        QCOMPARE(t.find(QStringLiteral("q"), 0, true, &wrapped), qsizetype(-1));
        t.setText(QString());
        QCOMPARE(t.lineCount(), 1);
        QCOMPARE(t.line(0).toString(), QString());
    }

    void hexLines()
    {
        const QByteArray bytes("Hello\n\0\x7f\xff"
                               "0123456789ABCDEFG",
                               26);
        QCOMPARE(hexLineCount(bytes.size()), qint64(2));
        QCOMPARE(hexLineCount(32), qint64(2));
        QCOMPARE(
            hexLine(bytes, 0),
            QStringLiteral("00000000  48 65 6c 6c 6f 0a 00 7f  ff 30 31 32 33 34 35 36  Hello....0123456"));
        QCOMPARE(hexLine(bytes, 1), QStringLiteral("00000010  37 38 39 41 42 43 44 45  46 47") +
                                        QString(20, QLatin1Char(' ')) + QStringLiteral("789ABCDEFG"));
        QCOMPARE(hexLine(bytes, 2), QString());
    }
};

ORVALT_TEST(MeasurementFileTest);
#include "MeasurementFileTest.moc"
