#include "session/CommandExchange.h"

#include "LinkHarness.h"
#include "core/AppState.h"
#include "support/ScriptedDialogs.h"
#include "support/TestMain.h"

#include <QTest>

using namespace orvalt;
using namespace orvalt::link;
using orvalt::test::LinkHarness;
using orvalt::test::ScriptedDialogs;

class CommandExchangeTest : public QObject
{
    Q_OBJECT

private slots:
    void lastReplyCode_data()
    {
        QTest::addColumn<QByteArray>("replyText");
        QTest::addColumn<qint32>("code");
        QTest::addColumn<QString>("lastReplyCode");
        QTest::newRow("no reply text") << QByteArray() << 0 << QStringLiteral("   ");
        QTest::newRow("one character") << QByteArray("A") << 0 << QStringLiteral("A  ");
        QTest::newRow("two characters") << QByteArray("OK") << 0 << QStringLiteral("OK ");
        QTest::newRow("longer") << QByteArray("160,NO MEDIUM") << 160 << QStringLiteral("160");
        QTest::newRow("Latin-1") << QByteArray("\xe9t\xe9") << 0 << QStringLiteral("\u00e9t\u00e9");
        QTest::newRow("busy") << QByteArray() << 60 << QStringLiteral("   ");
    }
    void lastReplyCode()
    {
        QFETCH(QByteArray, replyText);
        QFETCH(qint32, code);
        QFETCH(QString, lastReplyCode);
        LinkHarness h;
        h.handler.respond = [&](const Request&) {
            Answer a;
            a.code = code;
            a.payload = replyText;
            return a;
        };
        h.start();
        AppState state;
        state.LastReplyCode = QStringLiteral("old");
        ScriptedDialogs dialogs;
        QCOMPARE(SendCmd(state, h.link, dialogs, QStringLiteral("FMT 0")), code);
        QCOMPARE(state.LastReplyCode, lastReplyCode);
        QCOMPARE(dialogs.yields, 1);
        QCOMPARE(h.handler.requests().size(), 1); // a busy answer is not retried
        QCOMPARE(h.handler.requests().first().payload, QByteArray("FMT 0"));
        QVERIFY(dialogs.shown.isEmpty());
    }

    void commandGoesOutAsLatin1()
    {
        LinkHarness h;
        h.start();
        AppState state;
        ScriptedDialogs dialogs;
        QCOMPARE(SendCmd(state, h.link, dialogs, QStringLiteral("FDL CAF\u00c9.DAT")), 0);
        QCOMPARE(h.handler.requests().first().payload, QByteArray("FDL CAF\xc9.DAT"));
    }

    void commandOutsideLatin1IsNotSent()
    {
        LinkHarness h;
        h.start();
        AppState state;
        ScriptedDialogs dialogs;
        const qint32 result = SendCmd(state, h.link, dialogs, QStringLiteral("FDL \u30c7\u30fc\u30bf.DAT"));
        QCOMPARE(result, PexResult::BadArgument);
        QVERIFY(h.link.errorString().contains(QStringLiteral("\u30c7")));
        QCOMPARE(state.LastReplyCode, QStringLiteral("   "));
        QCOMPARE(dialogs.yields, 1);
        h.stopServer();
        QCOMPARE(h.hostEnd->bytesWritten(), qint64(0));
    }

    void sendCmdWithoutLink()
    {
        PexLink link;
        AppState state;
        ScriptedDialogs dialogs;
        QCOMPARE(SendCmd(state, link, dialogs, QStringLiteral("STS?")), PexResult::NotOpen);
        QCOMPARE(state.LastReplyCode, QStringLiteral("   "));
    }

    void strToBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<qint32>("result");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QString() << 49 << 0 << QByteArray();
        QTest::newRow("command") << QStringLiteral("DIR?") << 301 << 4 << QByteArray("DIR?");
        QTest::newRow("exact fit") << QStringLiteral("ABCD") << 4 << 4 << QByteArray("ABCD");
        QTest::newRow("line feed") << QStringLiteral("UTILITY FILECOPY,ON\n") << 49 << 20
                                   << QByteArray("UTILITY FILECOPY,ON\n");
        QTest::newRow("Latin-1") << QStringLiteral("\u00e9\u00ff") << 8 << 2 << QByteArray("\xe9\xff");
        QTest::newRow("too long") << QStringLiteral("ABCDE") << 4 << -1 << QByteArray();
        QTest::newRow("double-byte") << QStringLiteral("A\u65e5B") << 49 << -1 << QByteArray();
        QTest::newRow("euro sign") << QStringLiteral("\u20ac") << 49 << -1 << QByteArray();
    }
    void strToBytes()
    {
        QFETCH(QString, text);
        QFETCH(int, bufferSize);
        QFETCH(qint32, result);
        QFETCH(QByteArray, bytes);
        QByteArray buffer(bufferSize + 8, '\x5A');
        QString error;
        QCOMPARE(StrToBytes(buffer.data(), bufferSize, text, &error), result);
        if (result < 0) {
            QVERIFY(!error.isEmpty());
            QCOMPARE(buffer, QByteArray(bufferSize + 8, '\x5A')); // nothing written
        } else {
            QCOMPARE(buffer.left(result), bytes);
            QCOMPARE(buffer.mid(result), QByteArray(bufferSize + 8 - result, '\x5A'));
        }
    }

    void strToBytesFixedArray()
    {
        std::array<char, 49> buffer{};
        QCOMPARE(StrToBytes(buffer, QStringLiteral("UTILITY FILECOPY,OFF\n")), 21);
        QCOMPARE(BytesToStr(buffer, 21), QStringLiteral("UTILITY FILECOPY,OFF\n"));
        QCOMPARE(StrToBytes(buffer, QString(50, QLatin1Char('X'))), -1);
    }

    void bytesToStr_data()
    {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<qint32>("count");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << QByteArray("ABC") << 0 << QString();
        QTest::newRow("part") << QByteArray("ABC") << 2 << QStringLiteral("AB");
        QTest::newRow("high bytes") << QByteArray("\xe9\x80") << 2 << QStringLiteral("\u00e9\u0080");
        QTest::newRow("zero byte kept") << QByteArray("A\0B", 3) << 3 << QString::fromLatin1("A\0B", 3);
        QTest::newRow("count past buffer") << QByteArray("ABC") << 10 << QStringLiteral("ABC");
        QTest::newRow("negative count") << QByteArray("ABC") << -1 << QString();
    }
    void bytesToStr()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(qint32, count);
        QFETCH(QString, text);
        QCOMPARE(BytesToStr(buffer.constData(), static_cast<qint32>(buffer.size()), count), text);
    }

    void nextField_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("fields"); // results of successive calls
        QTest::newRow("two commas side by side")
            << QStringLiteral("A,,B")
            << QStringList{QStringLiteral("A"), QString(), QStringLiteral("B"), QString()};
        QTest::newRow("no comma") << QStringLiteral("ABC")
                                  << QStringList{QStringLiteral("ABC"), QString(), QString()};
        QTest::newRow("empty") << QString() << QStringList{QString(), QString()};
        QTest::newRow("spaces kept") << QStringLiteral(" A , B")
                                     << QStringList{QStringLiteral(" A "), QStringLiteral(" B"), QString()};
        QTest::newRow("trailing comma")
            << QStringLiteral("A,") << QStringList{QStringLiteral("A"), QString(), QString()};
        QTest::newRow("leading comma") << QStringLiteral(",A") << QStringList{QString(), QStringLiteral("A")};
    }
    void nextField()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, fields);
        for (const QString& expected : fields)
            QCOMPARE(NextField(text), expected);
        QVERIFY(text.isEmpty());
    }
};

ORVALT_TEST(CommandExchangeTest);
#include "CommandExchangeTest.moc"
