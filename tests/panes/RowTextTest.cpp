#include "panes/RowText.h"

#include "support/TestMain.h"

#include <QDateTime>
#include <QTest>

using namespace orvalt;

class RowTextTest : public QObject
{
    Q_OBJECT

private slots:
    void sizeText_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty file") << qint64(0) << QStringLiteral("       1KB");
        QTest::newRow("999 bytes") << qint64(999) << QStringLiteral("       1KB");
        QTest::newRow("1000 bytes") << qint64(1000) << QStringLiteral("       1KB");
        QTest::newRow("1999 bytes") << qint64(1999) << QStringLiteral("       1KB");
        QTest::newRow("2000 bytes") << qint64(2000) << QStringLiteral("       2KB");
        QTest::newRow("123456 bytes") << qint64(123456) << QStringLiteral("     123KB");
        QTest::newRow("10240000 bytes") << qint64(10240000) << QStringLiteral("   10240KB");
        QTest::newRow("beyond 32 bits") << qint64(5'000'000'000) << QStringLiteral(" 5000000KB");
        QTest::newRow("longer than the column")
            << qint64(99'999'999'999'999) << QStringLiteral("99999999999KB");
        QTest::newRow("negative") << qint64(-1) << QStringLiteral("       1KB");
    }
    void sizeText()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(orvalt::sizeText(bytes), text);
    }

    void kindText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::newRow("no dot") << QStringLiteral("readme") << QString();
        QTest::newRow("after the first dot") << QStringLiteral("a.b.c") << QStringLiteral("b.c");
        QTest::newRow("year in the name") << QStringLiteral("trace.2002.dat") << QStringLiteral("2002.dat");
        QTest::newRow("leading dot") << QStringLiteral(".profile") << QStringLiteral("profile");
        QTest::newRow("final dot") << QStringLiteral("x.") << QString();
    }
    void kindText()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QCOMPARE(orvalt::kindText(name), kind);
    }

    void dateText_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("text");
        QTest::newRow("morning, zeros kept")
            << QDateTime(QDate(2002, 3, 15), QTime(9, 5, 7)) << QStringLiteral("2002/03/15 09:05:07");
        QTest::newRow("24-hour clock")
            << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)) << QStringLiteral("1999/12/31 23:59:59");
        QTest::newRow("invalid") << QDateTime() << QString();
    }
    void dateText()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, text);
        QCOMPARE(orvalt::dateText(when), text);
    }
};

ORVALT_TEST(RowTextTest);
#include "RowTextTest.moc"
