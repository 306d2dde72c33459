// The pane model without a view: the order a heading sorts in, which the copy, the delete and
// the rename read the rows by.

#include "panes/PaneModel.h"

#include "support/PaneRows.h"
#include "support/TestMain.h"

#include <QTest>

using namespace orvalt;

class PaneModelTest : public QObject
{
    Q_OBJECT

private slots:
    // Rows whose texts in the sorted column are the same keep the order they had, whichever way the
    // column sorts; enough of them that an unstable sort would mix them.
    void equalTextsKeepTheirOrder_data()
    {
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::addColumn<QStringList>("sorted");
        QStringList equal;
        for (int i = 0; i < 40; ++i)
            equal << QStringLiteral("F%1").arg(i, 2, 10, QLatin1Char('0'));
        QTest::addRow("ascending") << Qt::AscendingOrder
                                   << (QStringList{"SMALL"} + equal + QStringList{"BIG"});
        QTest::addRow("descending") << Qt::DescendingOrder
                                    << (QStringList{"BIG"} + equal + QStringList{"SMALL"});
    }
    void equalTextsKeepTheirOrder()
    {
        QFETCH(Qt::SortOrder, order);
        QFETCH(QStringList, sorted);
        QList<PaneRow> rows;
        rows.append({QStringLiteral("BIG"), {}, QStringLiteral("       9KB"), {}, false});
        for (int i = 0; i < 40; ++i)
            rows.append({QStringLiteral("F%1").arg(i, 2, 10, QLatin1Char('0')),
                         {},
                         QStringLiteral("       5KB"),
                         {},
                         false});
        rows.append({QStringLiteral("SMALL"), {}, QStringLiteral("       1KB"), {}, false});
        PaneModel pane;
        pane.appendRows(rows);
        pane.sort(PaneModel::SizeColumn, order);
        QCOMPARE(test::rowNames(pane), sorted);
    }
};

ORVALT_TEST(PaneModelTest);
#include "PaneModelTest.moc"
