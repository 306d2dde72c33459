#include "panes/RemoteListing.h"

#include "support/TestMain.h"

#include <QTest>

using namespace orvalt;

class RemoteListingTest : public QObject
{
    Q_OBJECT

private slots:
    void splitListing_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QList<bool>>("folders");
        QTest::newRow("header alone") << "HEADER" << QStringList() << QList<bool>();
        QTest::newRow("empty") << "" << QStringList() << QList<bool>();
        QTest::newRow("folder and file") << "DIR,DATA/,0,2002/03/15,09:05:07,x,A.DAT,12,2002/03/15,09:05:07,x"
                                         << QStringList{"DATA", "A.DAT"} << QList<bool>{true, false};
        QTest::newRow("parent left out") << "H,../,0,2002/03/15,09:05:07,x,B/,0,2002/03/15,09:05:07,x"
                                         << QStringList{"B"} << QList<bool>{true};
        QTest::newRow("ends at an empty name")
            << "H,A,1,d,t,x,,B,1,d,t,x" << QStringList{"A"} << QList<bool>{false};
        QTest::newRow("missing fields") << "H,A,1" << QStringList{"A"} << QList<bool>{false};
    }
    void splitListing()
    {
        QFETCH(QString, listing);
        QFETCH(QStringList, names);
        QFETCH(QList<bool>, folders);
        const auto entries = orvalt::splitListing(listing);
        QStringList gotNames;
        QList<bool> gotFolders;
        for (const auto& e : entries) {
            gotNames << e.name;
            gotFolders << e.folder;
        }
        QCOMPARE(gotNames, names);
        QCOMPARE(gotFolders, folders);
    }

    void rowTexts_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("sizeText");
        QTest::addColumn<QString>("dateText");
        QTest::newRow("zero") << "0"
                              << "2002/03/15"
                              << "09:05:07"
                              << "       1KB"
                              << "2002/03/15 09:05:07";
        QTest::newRow("1000") << "1000"
                              << "2002/3/5"
                              << "9:5:7"
                              << "       1KB"
                              << "2002/03/05 09:05:07";
        QTest::newRow("5000") << "5000"
                              << "2002/03/15"
                              << "09:05:07"
                              << "       5KB"
                              << "2002/03/15 09:05:07";
        QTest::newRow("12345") << "12345"
                               << "2026/12/08"
                               << "23:59:59"
                               << "      12KB"
                               << "2026/12/08 23:59:59";
        QTest::newRow("does not fit 32 bits") << "99999999999"
                                              << "2002/03/15"
                                              << "09:05:07"
                                              << "99999999KB"
                                              << "2002/03/15 09:05:07";
        QTest::newRow("not a number") << "12a"
                                      << "2002/03/15"
                                      << "09:05:07"
                                      << "12a"
                                      << "2002/03/15 09:05:07";
        QTest::newRow("too many digits") << "999999999999999999999999"
                                         << "x"
                                         << "y"
                                         << "999999999999999999999999"
                                         << "x y";
        // Two-digit years: 80..99 are the 1900s, 00..79 this century (the media hold no date
        // before 1980); 00/02/29 is the leap day of 2000, a day 1900 never had.
        QTest::newRow("yy 00 leap day") << "5"
                                        << "00/02/29"
                                        << "10:00:00"
                                        << "       1KB"
                                        << "2000/02/29 10:00:00";
        QTest::newRow("yy 79") << "5"
                               << "79/12/31"
                               << "23:59:59"
                               << "       1KB"
                               << "2079/12/31 23:59:59";
        QTest::newRow("yy 80") << "5"
                               << "80/01/01"
                               << "00:00:00"
                               << "       1KB"
                               << "1980/01/01 00:00:00";
        QTest::newRow("yy 99") << "5"
                               << "99/06/01"
                               << "09:30:15"
                               << "       1KB"
                               << "1999/06/01 09:30:15";
        QTest::newRow("yy 26") << "5"
                               << "26/12/08"
                               << "23:59:59"
                               << "       1KB"
                               << "2026/12/08 23:59:59";
        QTest::newRow("date that does not read") << "5"
                                                 << "someday"
                                                 << "noon"
                                                 << "       1KB"
                                                 << "someday noon";
    }
    void rowTexts()
    {
        QFETCH(QString, size);
        QFETCH(QString, date);
        QFETCH(QString, time);
        ListingEntry e;
        e.name = QStringLiteral("A.DAT");
        e.sizeField = size;
        e.dateField = date;
        e.timeField = time;
        QTEST(listingSizeText(e), "sizeText");
        QTEST(listingDateText(e), "dateText");
    }

    void parseListingKeepsHostileInputBounded()
    {
        const QString longName(300, QLatin1Char('N'));
        const auto records = ParseListing(QStringLiteral("H,") + longName +
                                          QStringLiteral(",99999999999,x,y,z,D/,7,2002/03/15,09:05:07,z"));
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[0].name, longName);
        QCOMPARE(records[0].size, 0); // does not fit the record's 32 bits
        QCOMPARE(records[0].date, QStringLiteral("x y"));
        QVERIFY(records[1].isFolder());
        QCOMPARE(records[1].shortName, QStringLiteral("D"));
        QCOMPARE(records[1].size, 7);
    }
};

ORVALT_TEST(RemoteListingTest);
#include "RemoteListingTest.moc"
