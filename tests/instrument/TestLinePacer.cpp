// The line model the instrument and the benchmarks pace with. Only durations and bookings are
// compared, never the clock against a bound.

#include "link/LinePacer.h"
#include "support/TestMain.h"

#include <QTest>

using orvalt::link::LinePacer;
using namespace std::chrono_literals;

class TestLinePacer : public QObject
{
    Q_OBJECT

private slots:
    void durations_data()
    {
        QTest::addColumn<qint64>("baud");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<qint64>("nanoseconds");
        QTest::newRow("9600, 960 bytes") << qint64(9600) << qint64(960) << qint64(1'000'000'000);
        QTest::newRow("115200, one byte") << qint64(115200) << qint64(1) << qint64(86'805);
        QTest::newRow("300, 64 MiB") << qint64(300) << qint64(64) * 1024 * 1024
                                     << qint64(2'236'962'133'333'333);
        QTest::newRow("unpaced") << qint64(0) << qint64(1000) << qint64(0);
        QTest::newRow("nothing") << qint64(9600) << qint64(0) << qint64(0);
    }
    void durations()
    {
        QFETCH(qint64, baud);
        QFETCH(qint64, bytes);
        QFETCH(qint64, nanoseconds);
        const LinePacer pacer(baud);
        QCOMPARE(std::chrono::duration_cast<std::chrono::nanoseconds>(pacer.durationOf(bytes)).count(),
                 nanoseconds);
    }

    void bookingsQueueUp()
    {
        // A busy line takes the next bytes only after the last ones.
        LinePacer pacer(9600);
        const LinePacer::Clock::time_point first = pacer.reserve(960);
        const LinePacer::Clock::time_point second = pacer.reserve(960);
        QCOMPARE(second - first, pacer.durationOf(960));
        QVERIFY(first > LinePacer::Clock::now());
        pacer.reset();
        QVERIFY(pacer.reserve(960) < second);
    }

    void negativeBaudIsUnpaced()
    {
        LinePacer pacer(-5);
        QVERIFY(!pacer.isPaced());
        pacer.pace(1'000'000); // returns at once; a wait here would hang the test
        QCOMPARE(pacer.baud(), qint64(0));
    }
};

ORVALT_TEST(TestLinePacer);
#include "TestLinePacer.moc"
