#include "link/ProductReply.h"

#include "support/TestMain.h"

#include <QTest>

using namespace orvalt;

namespace {

// The reply as it lands in the caller's buffer: the text over 255 spaces.
QByteArray inBuffer(const QByteArray& text)
{
    QByteArray buffer(255, ' ');
    buffer.replace(0, qMin<qsizetype>(text.size(), buffer.size()), text.left(buffer.size()));
    return buffer;
}

} // namespace

class ProductReplyTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QStringList>("media");
        QTest::newRow("two media, then the blank fill")
            << inBuffer("PRODUCT:RZ500,INT MEM,Card 1") << "RZ500" << QStringList{"INT MEM", "Card 1"};
        QTest::newRow("no media: the fill is not part of the model")
            << inBuffer("PRODUCT:RZ500") << "RZ500" << QStringList{};
        QTest::newRow("blank buffer (no link)") << inBuffer("") << "" << QStringList{};
        QTest::newRow("first field of eight characters")
            << inBuffer("PRODUCT:,INT MEM") << "" << QStringList{"INT MEM"};
        QTest::newRow("empty field ends the media")
            << inBuffer("PRODUCT:RZ1,A,,B") << "RZ1" << QStringList{"A"};
        QTest::newRow("field starting with a space ends the media")
            << inBuffer("PRODUCT:RZ1,A, B") << "RZ1" << QStringList{"A"};
        QTest::newRow("line break in a medium ends the media")
            << inBuffer("PRODUCT:RZ1,A,B\n[Settings]\nLDevID=1,C") << "RZ1" << QStringList{"A"};
        QTest::newRow("control character in the model: no model")
            << inBuffer("PRODUCT:RZ1\r\nModel=x,A") << "" << QStringList{};
        QTest::newRow("a full buffer without fill") << QByteArray("PRODUCT:RZ9," + QByteArray(243, 'M'))
                                                    << "RZ9" << QStringList{QString(243, QLatin1Char('M'))};
        QStringList many;
        QByteArray manyText = "PRODUCT:RZ1";
        for (int i = 0; i < 100; ++i) {
            manyText += ",m";
            if (many.size() < ProductReply::kMaxMedia)
                many.append(QStringLiteral("m"));
        }
        QTest::newRow("at most kMaxMedia media") << manyText << "RZ1" << many;
    }
    void parse()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, model);
        QFETCH(QStringList, media);
        const ProductReply product = parseProductReply(reply);
        QCOMPARE(product.model, model);
        QCOMPARE(product.media, media);
    }

    void rzFamily_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("rz");
        QTest::newRow("RZ alone") << "RZ" << true;
        QTest::newRow("RZ500") << "RZ500" << true;
        QTest::newRow("lower case") << "rz500" << false;
        QTest::newRow("Rz") << "Rz500" << false;
        QTest::newRow("KD7350") << "KD7350" << false;
        QTest::newRow("empty") << "" << false;
    }
    void rzFamily()
    {
        QFETCH(QString, model);
        QFETCH(bool, rz);
        QCOMPARE(isRzFamily(model), rz);
    }
};

ORVALT_TEST(ProductReplyTest);
#include "ProductReplyTest.moc"
