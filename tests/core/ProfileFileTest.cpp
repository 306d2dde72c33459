#include "core/ProfileFile.h"

#include "support/TempStores.h"
#include "support/TestMain.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvalt;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class ProfileFileTest : public QObject
{
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QByteArray file =
            "; comment\n[Product]\nModel = RZ100 \nMedium1=INT MEM\n[Settings]\nLDevID=1\n";
        QTest::newRow("plain") << file << "Product"
                               << "Medium1"
                               << "INT MEM";
        QTest::newRow("trimmed") << file << "Product"
                                 << "Model"
                                 << "RZ100";
        QTest::newRow("section case-blind") << file << "PRODUCT"
                                            << "Model"
                                            << "RZ100";
        QTest::newRow("key case-blind") << file << "settings"
                                        << "ldevid"
                                        << "1";
        QTest::newRow("missing key") << file << "Product"
                                     << "Medium2"
                                     << "medium";
        QTest::newRow("missing section") << file << "Other"
                                         << "Model"
                                         << "medium";
        QTest::newRow("key of another section") << file << "Settings"
                                                << "Model"
                                                << "medium";
        QTest::newRow("crlf") << QByteArray("[A]\r\nk=v\r\n") << "A"
                              << "k"
                              << "v";
        QTest::newRow("300 characters") << QByteArray("[A]\nk=" + QByteArray(300, 'x') + "\n") << "A"
                                        << "k" << QString(255, QLatin1Char('x'));
        QTest::newRow("no file") << QByteArray() << "A"
                                 << "k"
                                 << "medium";
    }
    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        test::TempStores stores;
        if (!content.isEmpty())
            writeAll(stores.iniPath(), content);
        QCOMPARE(ProfileFile(stores.iniPath()).read(section, key, QStringLiteral("medium")), expected);
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QByteArray after;
        QTest::addColumn<QByteArray>("expected");
        const QByteArray file =
            "; Orvalt\n\n[Product]\nModel=KD7350\n; media\nMedium1=INT MEM\n\n[Settings]\nRDevID=0\n";
        QTest::newRow("replace keeps the rest")
            << file << "product"
            << "MODEL"
            << QByteArray(
                   "; Orvalt\n\n[Product]\nMODEL=new\n; media\nMedium1=INT MEM\n\n[Settings]\nRDevID=0\n");
        QTest::newRow("new key ends its section")
            << file << "Product"
            << "Medium2"
            << QByteArray("; Orvalt\n\n[Product]\nModel=KD7350\n; media\nMedium1=INT "
                          "MEM\nMedium2=new\n\n[Settings]\n"
                          "RDevID=0\n");
        QTest::newRow("new section at the end") << file << "Other"
                                                << "k" << QByteArray(file + "[Other]\nk=new\n");
        QTest::newRow("no file") << QByteArray() << "Settings"
                                 << "LDevID" << QByteArray("[Settings]\nLDevID=new\n");
        QTest::newRow("crlf kept") << QByteArray("[A]\r\nk=v\r\n") << "A"
                                   << "k" << QByteArray("[A]\r\nk=new\r\n");
    }
    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QByteArray, expected);
        test::TempStores stores;
        if (!before.isEmpty())
            writeAll(stores.iniPath(), before);
        QVERIFY(ProfileFile(stores.iniPath()).write(section, key, QStringLiteral("new")));
        QCOMPARE(readAll(stores.iniPath()), expected);
        QCOMPARE(ProfileFile(stores.iniPath()).read(section, key, QString()), QStringLiteral("new"));
    }

    // A text with a line break would store lines of its own (another key, another section); a file
    // too large to read would be replaced by the one key. Both are refused and leave the file as it was.
    void unstorableWriteIsRefused_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        const QByteArray file = "[Product]\nModel=KD7350\n[Settings]\nLDevID=0\n";
        QTest::newRow("line feed in the value") << file << "Product"
                                                << "Medium1"
                                                << "INT MEM\n[Settings]\nLDevID=1";
        QTest::newRow("carriage return in the value") << file << "Product"
                                                      << "Model"
                                                      << "RZ\rModel=x";
        QTest::newRow("line feed in the key") << file << "Product"
                                              << "Medium1\nModel"
                                              << "x";
        QTest::newRow("line feed in the section") << file << "Product]\n[Settings"
                                                  << "LDevID"
                                                  << "1";
        QTest::newRow("no file, line feed") << QByteArray() << "Product"
                                            << "Model"
                                            << "RZ\nx=y";
        QTest::newRow("file too large to read")
            << QByteArray(file + QByteArray(5 * 1024 * 1024, ';')) << "Product"
            << "Model"
            << "RZ100";
    }
    void unstorableWriteIsRefused()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        test::TempStores stores;
        if (!before.isEmpty())
            writeAll(stores.iniPath(), before);
        QVERIFY(!ProfileFile(stores.iniPath()).write(section, key, value));
        QCOMPARE(QFile::exists(stores.iniPath()), !before.isEmpty());
        if (!before.isEmpty())
            QCOMPARE(readAll(stores.iniPath()), before);
    }

    // Opening a FIFO for reading waits for a writer; a device can read without end. Neither is
    // opened: the file reads as missing, a write fails, and the FIFO stays what it is.
    void notARegularFile_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("FIFO") << true;
        QTest::newRow("link to a device") << false;
    }
    void notARegularFile()
    {
        QFETCH(bool, fifo);
        test::TempStores stores;
        const QByteArray path = QFile::encodeName(stores.iniPath());
        QCOMPARE(fifo ? ::mkfifo(path.constData(), 0600) : ::symlink("/dev/zero", path.constData()), 0);
        const ProfileFile file(stores.iniPath());
        QCOMPARE(file.read(QStringLiteral("Product"), QStringLiteral("Model"), QStringLiteral("KD7350")),
                 QStringLiteral("KD7350"));
        QVERIFY(!file.write(QStringLiteral("Settings"), QStringLiteral("LDevID"), QStringLiteral("1")));
        QVERIFY(!QFileInfo(stores.iniPath()).isFile());
    }

    void readOnlyFileIsAFailureAndStaysUnchanged()
    {
        test::TempStores stores;
        writeAll(stores.iniPath(), "[A]\nk=v\n");
        QFile::setPermissions(stores.iniPath(), QFileDevice::ReadOwner);
        QVERIFY(!ProfileFile(stores.iniPath())
                     .write(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("x")));
        QCOMPARE(readAll(stores.iniPath()), QByteArray("[A]\nk=v\n"));
    }
};

ORVALT_TEST(ProfileFileTest);
#include "ProfileFileTest.moc"
