// The instrument's commands and block exchanges, driven request by request on a temporary media
// folder (the line itself is tested in TestInstrumentLine.cpp).

#include "InstrumentRig.h"
#include "MediaNamePolicy.h"
#include "support/TestMain.h"

#include <QDateTime>
#include <QDirIterator>
#include <QTemporaryFile>
#include <QTest>
#include <cstdio>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace orvalt::instrument;
using orvalt::test::InstrumentRig;
using orvalt::test::patternBytes;

namespace {

QStringList treeOf(const QString& folder)
{
    QStringList all;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        all << QDir(folder).relativeFilePath(it.next());
    all.sort();
    return all;
}

// What is written on standard error while f runs.
QByteArray standardErrorOf(const std::function<void()>& f)
{
    QTemporaryFile capture;
    if (!capture.open())
        return "<no capture>";
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(capture.handle(), STDERR_FILENO);
    f();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    capture.seek(0);
    return capture.readAll();
}

// Root reads every folder whatever its permissions. While this lives, the test process does not
// (the capabilities stay permitted, so they come back), and a folder without permissions is one it
// cannot read, as for any other user.
class WithoutReadingEverything
{
public:
    WithoutReadingEverything()
    {
        if (::syscall(SYS_capget, &m_header, m_data) != 0)
            return;
        m_saved = m_data[0].effective;
        m_data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_changed = ::syscall(SYS_capset, &m_header, m_data) == 0;
    }
    ~WithoutReadingEverything()
    {
        m_data[0].effective = m_saved;
        if (m_changed)
            ::syscall(SYS_capset, &m_header, m_data);
    }
    WithoutReadingEverything(const WithoutReadingEverything&) = delete;
    WithoutReadingEverything& operator=(const WithoutReadingEverything&) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_data[2]{};
    quint32 m_saved = 0;
    bool m_changed = false;
};

InstrumentOptions optionsWith(const std::function<void(InstrumentOptions&)>& change)
{
    InstrumentOptions options;
    change(options);
    return options;
}

} // namespace

class TestCommandHandler : public QObject
{
    Q_OBJECT

private slots:
    void nameRules_data()
    {
        QTest::addColumn<bool>("shortNames");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        const QString base32(32, QLatin1Char('A'));
        QTest::newRow("long 8.3") << false << false << QStringLiteral("TRACE.DAT") << true;
        QTest::newRow("long lower case") << false << false << QStringLiteral("trace.dat") << true;
        QTest::newRow("long 32+3") << false << false << base32 + QStringLiteral(".DAT") << true;
        QTest::newRow("long 33+3") << false << false << base32 + QStringLiteral("A.DAT") << false;
        QTest::newRow("long extension of 4") << false << false << QStringLiteral("TRACE.DATA") << false;
        QTest::newRow("extension after first dot") << false << false << QStringLiteral("A.B.C") << true;
        QTest::newRow("no extension") << false << false << QStringLiteral("NOEXT") << true;
        QTest::newRow("symbols") << false << false << QStringLiteral("!#$&%'()^@_{}.DAT") << true;
        QTest::newRow("blank") << false << false << QStringLiteral("A B.DAT") << false;
        QTest::newRow("hyphen") << false << false << QStringLiteral("A-B.DAT") << false;
        QTest::newRow("comma") << false << false << QStringLiteral("A,B.DAT") << false;
        QTest::newRow("slash") << false << true << QStringLiteral("A/B") << false;
        QTest::newRow("backslash") << false << true << QStringLiteral("A\\B") << false;
        QTest::newRow("outside ASCII") << false << false << QStringLiteral("\u00c4.DAT") << false;
        QTest::newRow("dot") << false << true << QStringLiteral(".") << false;
        QTest::newRow("dot dot") << false << true << QStringLiteral("..") << false;
        QTest::newRow("trailing dot") << false << false << QStringLiteral("A.") << false;
        QTest::newRow("empty") << false << false << QString() << false;
        QTest::newRow("long folder 32") << false << true << base32 << true;
        QTest::newRow("long folder 33") << false << true << base32 + QLatin1Char('A') << false;
        QTest::newRow("short 8.3") << true << false << QStringLiteral("TRACE.DAT") << true;
        QTest::newRow("short lower case") << true << false << QStringLiteral("trace.dat") << false;
        QTest::newRow("short base of 9") << true << false << QStringLiteral("TRACE1234.DAT") << false;
        QTest::newRow("short folder 8") << true << true << QStringLiteral("12345678") << true;
        QTest::newRow("short folder 9") << true << true << QStringLiteral("123456789") << false;
    }
    void nameRules()
    {
        QFETCH(bool, shortNames);
        QFETCH(bool, folder);
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(MediaNamePolicy(shortNames).accepts(name, folder ? NameKind::Folder : NameKind::File),
                 valid);
    }

    void commands_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<qint32>("code");
        // Why a refusal was made, after its code in the reply ("20,1"); 0 where it names no reason.
        QTest::addColumn<int>("reason");
        QTest::newRow("STS?") << QByteArray("STS?") << 0 << 0;
        QTest::newRow("TDIF?") << QByteArray("TDIF?") << 0 << 0;
        QTest::newRow("DUMMY") << QByteArray("DUMMY") << 0 << 0;
        QTest::newRow("unknown verb") << QByteArray("HELLO") << 20 << 0;
        QTest::newRow("argument where none belongs") << QByteArray("STS? 1") << 20 << 0;
        QTest::newRow("MED without its blank") << QByteArray("MED") << 20 << 0;
        QTest::newRow("lower-case verb") << QByteArray("sts?") << 20 << 0;
        QTest::newRow("MED 0") << QByteArray("MED 0") << 0 << 0;
        QTest::newRow("MED 3") << QByteArray("MED 3") << 0 << 0;
        QTest::newRow("MED by medium code") << QByteArray("MED D:") << 0 << 0;
        QTest::newRow("MED unknown") << QByteArray("MED 4") << 160 << 5;
        QTest::newRow("MED empty, all media have codes") << QByteArray("MED ") << 160 << 5;
        QTest::newRow("CDR root") << QByteArray("CDR /") << 0 << 0;
        QTest::newRow("CDR folder") << QByteArray("CDR /DATA") << 0 << 0;
        QTest::newRow("CDR folder with final slash") << QByteArray("CDR /DATA/") << 0 << 0;
        QTest::newRow("CDR relative") << QByteArray("CDR DATA") << 0 << 0;
        QTest::newRow("CDR missing") << QByteArray("CDR /NOPE") << 20 << 1;
        QTest::newRow("CDR to a file") << QByteArray("CDR /A.DAT") << 20 << 0;
        QTest::newRow("CPY too few fields") << QByteArray("CPY 0,/A.DAT,1") << 20 << 0;
        QTest::newRow("CPY unknown medium") << QByteArray("CPY 0,/A.DAT,7,/A.DAT") << 160 << 0;
        QTest::newRow("MOV unknown medium") << QByteArray("MOV 7,/A.DAT,/B.DAT") << 160 << 0;
        QTest::newRow("FMT unknown medium") << QByteArray("FMT 5") << 160 << 5;
        QTest::newRow("FDL missing") << QByteArray("FDL NOPE.DAT") << 20 << 1;
        QTest::newRow("FDL root") << QByteArray("FDL /") << 20 << 0;
        QTest::newRow("MKDR existing") << QByteArray("MKDR /DATA") << 20 << 4;
        QTest::newRow("MKDR missing parent") << QByteArray("MKDR /NOPE/SUB") << 20 << 0;
        QTest::newRow("MKDR bad name") << QByteArray("MKDR /NEW FOLDER") << 20 << 3;
    }
    void commands()
    {
        QFETCH(QByteArray, command);
        QFETCH(qint32, code);
        QFETCH(int, reason);
        InstrumentRig rig;
        QVERIFY(rig.isReady());
        QVERIFY(QDir(rig.medium()).mkdir(QStringLiteral("DATA")));
        QVERIFY(InstrumentRig::writeFile(rig.medium() + QStringLiteral("/A.DAT"), "a"));
        const QStringList before = treeOf(rig.mediaDir());
        const orvalt::link::Answer answer = rig.command(command);
        QCOMPARE(answer.kind, orvalt::link::Answer::Kind::Reply);
        QCOMPARE(answer.code, code);
        QByteArray reply = code == 0 ? QByteArray() : QByteArray::number(code);
        if (reason != 0)
            reply += ',' + QByteArray::number(reason);
        QCOMPARE(answer.payload, reply);
        QCOMPARE(treeOf(rig.mediaDir()), before); // none of these changes the media
    }

    void product()
    {
        InstrumentRig rig;
        QCOMPARE(rig.command("PRODUCT?").payload, QByteArray("PRODUCT:KD7350,INT MEM,Card 1,Card 2,FD"));
        InstrumentRig rz(optionsWith([](InstrumentOptions& o) {
            o.model = QStringLiteral("RZ500");
            o.mediaNames = {QStringLiteral("INT MEM"), QStringLiteral("Drive C")};
        }));
        QVERIFY(rz.isReady());
        QCOMPARE(rz.command("PRODUCT?").payload, QByteArray("PRODUCT:RZ500,INT MEM,Drive C"));
        QVERIFY(QFileInfo(rz.medium(QStringLiteral("C"))).isDir());
    }

    void rawLines()
    {
        InstrumentRig rz(optionsWith([](InstrumentOptions& o) { o.model = QStringLiteral("RZ"); }));
        rz.handler().handleRawLine("UTILITY FILECOPY,ON");
        QVERIFY(rz.handler().fileCopyMode());
        rz.handler().handleRawLine("UTILITY FILECOPY,OFF");
        QVERIFY(!rz.handler().fileCopyMode());
        InstrumentRig kd;
        kd.handler().handleRawLine("UTILITY FILECOPY,ON");
        QVERIFY(!kd.handler().fileCopyMode());
    }

    // Paths from the line must never reach outside the medium's folder.
    void pathEscapes_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("..") << QByteArray("..");
        QTest::newRow("/..") << QByteArray("/..");
        QTest::newRow("../..") << QByteArray("../..");
        QTest::newRow("backslashes") << QByteArray("\\..\\");
        QTest::newRow("backslashes deeper") << QByteArray("..\\..\\X");
        QTest::newRow("inside then out") << QByteArray("/DATA/../../..");
        QTest::newRow(".") << QByteArray("/./DATA");
        QTest::newRow("empty component") << QByteArray("/DATA//X");
        QTest::newRow("double slash start") << QByteArray("//");
        QTest::newRow("symbolic link out") << QByteArray("/LINK");
        QTest::newRow("through symbolic link") << QByteArray("/LINK/DATA");
    }
    void pathEscapes()
    {
        QFETCH(QByteArray, path);
        InstrumentRig rig;
        QVERIFY(QDir(rig.medium()).mkdir(QStringLiteral("DATA")));
        const QString secret = rig.outside() + QStringLiteral("/SECRET");
        QVERIFY(QDir().mkpath(secret + QStringLiteral("/DATA")));
        QVERIFY(InstrumentRig::writeFile(secret + QStringLiteral("/A.DAT"), "secret"));
        QVERIFY(QFile::link(secret, rig.medium() + QStringLiteral("/LINK")));
        const QStringList outsideBefore = treeOf(rig.outside());

        QCOMPARE(rig.code("CDR " + path), 20);
        QCOMPARE(rig.code("MKDR " + path + "/NEW"), 20);
        QCOMPARE(rig.code("FDL " + path), 20);
        QCOMPARE(rig.code("CPY 0," + path + "/A.DAT,0,/B.DAT"), 20);
        QCOMPARE(rig.code("MOV 0,/DATA/," + path + "/MOVED/"), 20);
        bool ok = true;
        rig.download(path + "/A.DAT", &ok);
        QVERIFY(!ok);
        QList<qint32> kinds;
        QCOMPARE(rig.upload("FWT 0," + path + "/A.DAT,", "evil", &kinds), 20);
        QCOMPARE(kinds, QList<qint32>{9});
        QCOMPARE(treeOf(rig.outside()), outsideBefore);
        QVERIFY(!rig.listing().contains("LINK"));
    }

    void absolutePathStaysOnMedium()
    {
        InstrumentRig rig;
        // A host's absolute path is only a path on the medium.
        QCOMPARE(rig.upload("FWT 0,/tmp/X.DAT,", "x"), 20);
        QVERIFY(QDir(rig.medium()).mkdir(QStringLiteral("tmp")));
        QCOMPARE(rig.upload("FWT 0,/tmp/X.DAT,", "x"), 0);
        QCOMPARE(InstrumentRig::readFile(rig.medium() + QStringLiteral("/tmp/X.DAT")), QByteArray("x"));
    }

    void upload_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : {0, 1, 255, 256, 257, 70000})
            QTest::addRow("%d bytes", size) << size;
    }
    void upload()
    {
        QFETCH(int, size);
        InstrumentRig rig;
        QVERIFY(QDir(rig.medium(QStringLiteral("2"))).mkdir(QStringLiteral("DATA")));
        const QByteArray content = patternBytes(size);
        QList<qint32> kinds;
        QCOMPARE(rig.upload("FWT 3,/DATA/A.DAT,", content, &kinds), 0);
        QCOMPARE(kinds, QList<qint32>(2 + qMax(1, (size + 255) / 256), 0));
        QCOMPARE(InstrumentRig::readFile(rig.medium(QStringLiteral("2")) + QStringLiteral("/DATA/A.DAT")),
                 content);
        QCOMPARE(treeOf(rig.medium(QStringLiteral("2"))),
                 (QStringList{QStringLiteral("DATA"), QStringLiteral("DATA/A.DAT")}));
    }

    void uploadRefused_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<qint32>("dummy");
        QTest::newRow("missing folder") << QByteArray("FWT 0,/NOPE/A.DAT,") << 20;
        QTest::newRow("unknown medium") << QByteArray("FWT 9,/A.DAT,") << 160;
        QTest::newRow("bad name") << QByteArray("FWT 0,/A B.DAT,") << 20;
        QTest::newRow("name too long") << QByteArray("FWT 0,/" + QByteArray(33, 'A') + ".DAT,") << 20;
        QTest::newRow("onto a folder") << QByteArray("FWT 0,/DATA,") << 20;
        QTest::newRow("folder mark") << QByteArray("FWT 0,/A.DAT/,") << 20;
        QTest::newRow("no path") << QByteArray("FWT 0") << 20;
    }
    void uploadRefused()
    {
        QFETCH(QByteArray, line);
        QFETCH(qint32, dummy);
        InstrumentRig rig;
        QVERIFY(QDir(rig.medium()).mkdir(QStringLiteral("DATA")));
        QList<qint32> kinds;
        // The refusal reaches the program through "DUMMY": a refused file never reads as stored.
        QCOMPARE(rig.upload(line, "content", &kinds), dummy);
        QCOMPARE(kinds, QList<qint32>{9});
        QCOMPARE(treeOf(rig.mediaDir()).filter(QStringLiteral(".DAT")), QStringList());
        QCOMPARE(rig.code("DUMMY"), 0); // reported once
    }

    void uploadWrongLength_data()
    {
        QTest::addColumn<int>("announced");
        QTest::addColumn<int>("sent");
        QTest::newRow("fewer bytes") << 10 << 5;
        QTest::newRow("more bytes") << 5 << 10;
        QTest::newRow("more bytes over blocks") << 256 << 300;
    }
    void uploadWrongLength()
    {
        QFETCH(int, announced);
        QFETCH(int, sent);
        InstrumentRig rig;
        const QString target = rig.medium() + QStringLiteral("/A.DAT");
        QVERIFY(InstrumentRig::writeFile(target, "old"));
        char header[4];
        qToBigEndian<quint32>(static_cast<quint32>(announced), header);
        QCOMPARE(rig.block(0, "FWT 0,/A.DAT,").code, 0);
        QCOMPARE(rig.block(0, QByteArray(header, 4)).code, 0);
        const QByteArray data = patternBytes(sent);
        qint32 kind = 0;
        for (qsizetype at = 0; at < data.size() && kind != 9; at += 256)
            kind = rig.block(at + 256 >= data.size() ? 1 : 0, data.mid(at, 256)).code;
        QCOMPARE(kind, 9);
        QCOMPARE(rig.code("DUMMY"), kResultTransfer);
        QCOMPARE(InstrumentRig::readFile(target), QByteArray("old"));
        QCOMPARE(treeOf(rig.medium()), QStringList{QStringLiteral("A.DAT")}); // no temporary file left
    }

    void uploadCutShortByCommand()
    {
        InstrumentRig rig;
        QCOMPARE(rig.block(0, "FWT 0,/A.DAT,").code, 0);
        QCOMPARE(rig.block(0, QByteArray("\0\0\2\0", 4)).code, 0);
        QCOMPARE(rig.block(0, patternBytes(256)).code, 0);
        QCOMPARE(rig.code("STS?"), 0);
        QCOMPARE(rig.block(1, patternBytes(256)).code, 9); // the upload is over
        QCOMPARE(rig.code("DUMMY"), kResultTransfer);
        QCOMPARE(treeOf(rig.medium()), QStringList());
    }

    void strayBlocksRefused()
    {
        InstrumentRig rig;
        QCOMPARE(rig.block(4).code, 9);                  // no answer under way
        QCOMPARE(rig.block(1, "data").code, 9);          // no upload under way
        QCOMPARE(rig.block(0, "DIR?").code, 9);          // not an upload's command line
        QCOMPARE(rig.block(3, "FWT 0,/A.DAT,").code, 9); // uploads start with type 0
        QCOMPARE(rig.block(5, "x").code, 9);
        QCOMPARE(treeOf(rig.mediaDir()).size(), 4); // the four medium folders only
    }

    void download_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : {0, 1, 252, 253, 255, 256, 257, 70000})
            QTest::addRow("%d bytes", size) << size;
    }
    void download()
    {
        QFETCH(int, size);
        InstrumentRig rig;
        QVERIFY(QDir(rig.medium(QStringLiteral("D"))).mkdir(QStringLiteral("DATA")));
        const QByteArray content = patternBytes(size);
        QVERIFY(InstrumentRig::writeFile(rig.medium(QStringLiteral("D")) + QStringLiteral("/DATA/B.DAT"),
                                         content));
        QCOMPARE(rig.code("MED 2"), 0);
        QCOMPARE(rig.code("CDR /DATA/"), 0);

        orvalt::link::Answer answer = rig.block(3, "FRD? B.DAT");
        // The first block carries the length and as much data as fits, so that a block without
        // data is never mistaken for the end of a short file.
        QCOMPARE(answer.payload.size(), 4 + qMin(size, 252));
        QCOMPARE(answer.code, size <= 252 ? 7 : 0);
        QByteArray data = answer.payload.mid(4);
        while (answer.code == 0) {
            answer = rig.block(4);
            QVERIFY(answer.code == 0 || answer.code == 7);
            QVERIFY(answer.payload.size() > 0 && answer.payload.size() <= 256);
            data += answer.payload;
        }
        QCOMPARE(data, content);
        bool ok = false;
        quint32 announced = 0;
        QCOMPARE(rig.download("B.DAT", &ok, &announced), content);
        QCOMPARE(announced, quint32(size));
    }

    void downloadRefused()
    {
        InstrumentRig rig;
        QVERIFY(QDir(rig.medium()).mkdir(QStringLiteral("DATA")));
        QCOMPARE(rig.block(3, "FRD? NOPE.DAT").code, 9);
        QCOMPARE(rig.block(3, "FRD? DATA").code, 9);
        QCOMPARE(rig.block(4).code, 9);
    }

    void listing()
    {
        InstrumentRig rig;
        const QString data = rig.medium() + QStringLiteral("/DATA");
        QVERIFY(QDir().mkpath(data + QStringLiteral("/SUB")));
        QVERIFY(QDir().mkpath(data + QStringLiteral("/ASUB")));
        QVERIFY(InstrumentRig::writeFile(data + QStringLiteral("/B.DAT"), "12345"));
        QVERIFY(InstrumentRig::writeFile(data + QStringLiteral("/A.DAT"), ""));
        QVERIFY(InstrumentRig::writeFile(data + QStringLiteral("/my file.txt"),
                                         "hidden")); // not a name it could make
        QVERIFY(InstrumentRig::writeFile(data + QStringLiteral("/X,Y"), "hidden"));

        QCOMPARE(rig.code("CDR /DATA"), 0);
        QList<qsizetype> sizes;
        const QList<QByteArray> fields = rig.listing(&sizes).split(',');
        QCOMPARE(sizes.size(), 1);
        QCOMPARE(fields.size(), 1 + 5 * 5); // header, "..", two folders, two files
        QStringList names;
        for (qsizetype at = 1; at < fields.size(); at += 5) {
            names << QString::fromLatin1(fields.at(at));
            const QDateTime when =
                QDateTime::fromString(QString::fromLatin1(fields.at(at + 2) + ' ' + fields.at(at + 3)),
                                      QStringLiteral("yyyy/MM/dd HH:mm:ss"));
            QVERIFY2(when.isValid(), fields.at(at + 2) + ' ' + fields.at(at + 3));
            QVERIFY(!fields.at(at + 4).isEmpty());
        }
        QCOMPARE(names, (QStringList{QStringLiteral(".."), QStringLiteral("ASUB/"), QStringLiteral("SUB/"),
                                     QStringLiteral("A.DAT"), QStringLiteral("B.DAT")}));
        QCOMPARE(fields.at(5 * 4 + 2), QByteArray("5"));

        QCOMPARE(rig.code("CDR /"), 0);
        QVERIFY(rig.listing().split(',').at(1) == "DATA/"); // no ".." at the root
    }

    void longListingInBlocks()
    {
        InstrumentRig rig;
        for (int i = 0; i < 200; ++i)
            QVERIFY(InstrumentRig::writeFile(
                rig.medium() + QStringLiteral("/F%1.DAT").arg(i, 4, 10, QLatin1Char('0')), "x"));
        QList<qsizetype> sizes;
        const QByteArray text = rig.listing(&sizes);
        QVERIFY(sizes.size() > 10);
        for (const qsizetype size : std::as_const(sizes))
            QVERIFY(size > 0 && size <= 301);
        QCOMPARE(text.split(',').size(), 1 + 200 * 5);
    }

    // A folder that cannot be read is refused as a medium's read error would be: an empty listing
    // would pass for an empty folder, and a copy of it would "succeed" with nothing.
    void unreadableFolderIsRefused()
    {
        InstrumentRig rig;
        const QString locked = rig.medium() + QStringLiteral("/LOCKED");
        QVERIFY(QDir().mkpath(locked + QStringLiteral("/INSIDE")));
        QCOMPARE(rig.code("CDR /LOCKED"), 0);
        QVERIFY(QFile::setPermissions(locked, {}));
        {
            const WithoutReadingEverything asAnyUser;
            QCOMPARE(rig.block(3, "DIR?").code, 9); // the current folder, no longer readable
            QCOMPARE(rig.code("CDR /"), 0);
            QCOMPARE(rig.code("CDR /LOCKED"), 20);
            QCOMPARE(rig.code("CDR LOCKED/INSIDE"), 20);
        }
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner));
    }

    // A medium does not tell names apart by case: a name stands for the entry that differs from it
    // only in case, and that entry keeps its stored name.
    void namesIgnoreCase()
    {
        InstrumentRig rig;
        const QString m = rig.medium();
        QVERIFY(QDir().mkpath(m + QStringLiteral("/DATA")));
        QVERIFY(InstrumentRig::writeFile(m + QStringLiteral("/REPORT.TXT"), "old"));

        QCOMPARE(rig.upload("FWT 0,/report.txt,", "new"), 0);
        QCOMPARE(treeOf(m), (QStringList{QStringLiteral("DATA"), QStringLiteral("REPORT.TXT")}));
        QCOMPARE(InstrumentRig::readFile(m + QStringLiteral("/REPORT.TXT")), QByteArray("new"));
        bool ok = false;
        QCOMPARE(rig.download("Report.Txt", &ok), QByteArray("new"));
        QVERIFY(ok);
        QCOMPARE(rig.code("MKDR /data"), 20);
        QCOMPARE(rig.code("CPY 0,/REPORT.TXT,0,/data/r.txt"), 0);
        QCOMPARE(rig.code("CDR /data"), 0);
        QVERIFY(rig.listing().startsWith("M:/DATA,"));
        QCOMPARE(rig.code("CPY 0,/DATA/,0,/COPY/"), 0);
        QCOMPARE(rig.code("CPY 0,/DATA/,0,/copy/"), 0); // merged into the copy, not beside it
        QCOMPARE(treeOf(m + QStringLiteral("/COPY")), QStringList{QStringLiteral("r.txt")});
        // A rename may change the case of the letters alone.
        QCOMPARE(rig.code("MOV 0,/report.txt,/Report.txt"), 0);
        QCOMPARE(treeOf(m), (QStringList{"COPY", "COPY/r.txt", "DATA", "DATA/r.txt", "Report.txt"}));
        QCOMPARE(rig.code("FDL /REPORT.TXT"), 0);
        QVERIFY(!QFileInfo::exists(m + QStringLiteral("/Report.txt")));
    }

    // Names that differ only in case, copied into a folder from outside: the first in name order is
    // served, the other is passed over with a warning.
    void namesDifferingOnlyInCaseAreServedOnce()
    {
        InstrumentRig rig;
        const QString m = rig.medium();
        QVERIFY(InstrumentRig::writeFile(m + QStringLiteral("/Report.txt"), "second"));
        QVERIFY(InstrumentRig::writeFile(m + QStringLiteral("/REPORT.TXT"), "first"));
        QByteArray listing;
        const QByteArray warning = standardErrorOf([&] { listing = rig.listing(); });
        QCOMPARE(listing.split(',').mid(1, 1), QList<QByteArray>{"REPORT.TXT"});
        QCOMPARE(listing.split(',').size(), 1 + 5);
        QVERIFY2(warning.contains("\"Report.txt\" is passed over") && warning.contains("\"REPORT.TXT\""),
                 warning);
        bool ok = false;
        QCOMPARE(rig.download("report.txt", &ok), QByteArray("first"));
    }

    void copyAndMove()
    {
        InstrumentRig rig;
        const QString m = rig.medium();
        const QString card = rig.medium(QStringLiteral("1"));
        QVERIFY(QDir().mkpath(m + QStringLiteral("/DATA/SUB")));
        QVERIFY(QDir().mkpath(card + QStringLiteral("/BACKUP")));
        QVERIFY(InstrumentRig::writeFile(m + QStringLiteral("/DATA/A.DAT"), "alpha"));
        QVERIFY(InstrumentRig::writeFile(m + QStringLiteral("/DATA/SUB/S.DAT"), "sub"));

        QCOMPARE(rig.code("CPY 0,/DATA/A.DAT,1,/BACKUP/A.DAT"), 0);
        QCOMPARE(InstrumentRig::readFile(card + QStringLiteral("/BACKUP/A.DAT")), QByteArray("alpha"));
        QCOMPARE(rig.code("CPY 0,/DATA/A.DAT,0,/DATA/A.DAT"), 20); // onto itself: refused, not emptied
        QCOMPARE(InstrumentRig::readFile(m + QStringLiteral("/DATA/A.DAT")), QByteArray("alpha"));
        QCOMPARE(rig.code("CPY 0,/DATA/,1,/BACKUP/DATA/"), 0);
        QCOMPARE(InstrumentRig::readFile(card + QStringLiteral("/BACKUP/DATA/SUB/S.DAT")), QByteArray("sub"));
        QCOMPARE(rig.code("CPY 0,/DATA/,0,/DATA/SUB/DATA/"), 20);  // into itself
        QCOMPARE(rig.code("CPY 0,/DATA/A.DAT/,1,/BACKUP/X/"), 20); // a file is no folder

        QCOMPARE(rig.code("CDR /DATA/SUB"), 0);
        QCOMPARE(rig.code("MOV 0,/DATA/,/RENAMED/"), 0);
        QVERIFY(QFileInfo(m + QStringLiteral("/RENAMED/SUB/S.DAT")).isFile());
        QVERIFY(rig.listing().startsWith("M:/RENAMED/SUB,")); // the current folder moved with it
        QCOMPARE(rig.code("MOV 0,/RENAMED/A.DAT,/RENAMED/A.DAT"), 0);
        QCOMPARE(rig.code("MOV 0,/RENAMED/A.DAT,/RENAMED/SUB/S.DAT"), 20); // would replace a file
        QCOMPARE(rig.code("MOV 0,/RENAMED/,/RENAMED/SUB/X/"), 20);         // into itself
        QCOMPARE(rig.code("MOV 0,/RENAMED/A.DAT,/RENAMED/B.DAT"), 0);
        QCOMPARE(InstrumentRig::readFile(m + QStringLiteral("/RENAMED/B.DAT")), QByteArray("alpha"));
    }

    void deleteAndMakeFolder()
    {
        InstrumentRig rig;
        const QString m = rig.medium();
        QVERIFY(QDir().mkpath(m + QStringLiteral("/DATA/SUB/DEEP")));
        QVERIFY(InstrumentRig::writeFile(m + QStringLiteral("/DATA/A.DAT"), "a"));
        QVERIFY(InstrumentRig::writeFile(m + QStringLiteral("/DATA/SUB/DEEP/D.DAT"), "d"));
        QCOMPARE(rig.code("CDR /DATA"), 0);
        QCOMPARE(rig.code("FDL A.DAT"), 0);
        QVERIFY(!QFileInfo::exists(m + QStringLiteral("/DATA/A.DAT")));
        QCOMPARE(rig.code("CDR /DATA/SUB/DEEP"), 0);
        QCOMPARE(rig.code("FDL /DATA/SUB"), 0); // a folder goes with its contents
        QVERIFY(!QFileInfo::exists(m + QStringLiteral("/DATA/SUB")));
        QVERIFY(rig.listing().startsWith("M:/DATA,")); // the current folder fell back to what remains
        QCOMPARE(rig.code("MKDR /DATA/NEW0001"), 0);
        QCOMPARE(rig.code("MKDR NEW0002"), 0);
        QVERIFY(QFileInfo(m + QStringLiteral("/DATA/NEW0001")).isDir());
        QVERIFY(QFileInfo(m + QStringLiteral("/DATA/NEW0002")).isDir());
    }

    void format()
    {
        InstrumentRig rig;
        QVERIFY(QDir().mkpath(rig.medium() + QStringLiteral("/DATA/SUB")));
        QVERIFY(InstrumentRig::writeFile(rig.medium() + QStringLiteral("/DATA/SUB/A.DAT"), "a"));
        QVERIFY(InstrumentRig::writeFile(rig.medium() + QStringLiteral("/.hidden"), "a"));
        QVERIFY(InstrumentRig::writeFile(rig.medium(QStringLiteral("D")) + QStringLiteral("/KEEP.DAT"), "k"));
        QCOMPARE(rig.code("CDR /DATA/SUB"), 0);
        const orvalt::link::Answer answer = rig.command("FMT 0");
        QCOMPARE(answer.code, 0);
        QCOMPARE(answer.payload, QByteArray()); // no reply text: the program waits for a floppy on that
        QCOMPARE(treeOf(rig.medium()), QStringList());
        QCOMPARE(treeOf(rig.medium(QStringLiteral("D"))), QStringList{QStringLiteral("KEEP.DAT")});
        QCOMPARE(rig.listing(), QByteArray("M:/"));
    }

    void mediumWithoutCommandCode()
    {
        InstrumentRig rig(optionsWith([](InstrumentOptions& o) {
            o.mediaNames = {QStringLiteral("INT MEM"), QStringLiteral("Drive A"), QStringLiteral("Drive C")};
        }));
        QVERIFY(rig.isReady());
        QVERIFY(InstrumentRig::writeFile(rig.medium(QStringLiteral("C")) + QStringLiteral("/C.DAT"), "c"));
        // "MED " with nothing after it is all the program can send for such a medium: the first
        // medium without a command code takes it; the medium code names any medium.
        QCOMPARE(rig.code("MED "), 0);
        QCOMPARE(rig.listing(), QByteArray("A:/"));
        QCOMPARE(rig.code("MED C:"), 0);
        QVERIFY(rig.listing().startsWith("C:/,C.DAT,1,"));
        QCOMPARE(rig.upload("FWT A:,/X.DAT,", "x"), 0); // the sender puts the two-character code
        QCOMPARE(InstrumentRig::readFile(rig.medium(QStringLiteral("A")) + QStringLiteral("/X.DAT")),
                 QByteArray("x"));
        QCOMPARE(rig.code("FMT C:"), 0);
        QCOMPARE(treeOf(rig.medium(QStringLiteral("C"))), QStringList());
    }

    void busyEvery()
    {
        InstrumentRig rig(optionsWith([](InstrumentOptions& o) { o.busyEvery = 3; }));
        QCOMPARE(rig.code("STS?"), 0);
        QCOMPARE(rig.code("STS?"), 0);
        QCOMPARE(rig.code("MKDR /NEW"), 60);
        QVERIFY(!QFileInfo::exists(rig.medium() + QStringLiteral("/NEW"))); // a busy answer does nothing
        QCOMPARE(rig.code("MKDR /NEW"), 0);
        QCOMPARE(rig.code("STS?"), 0);
        QCOMPARE(rig.code("STS?"), 60);
        QCOMPARE(rig.block(3, "DIR?").code, 7); // blocks are not commands
    }

    void shortNames()
    {
        InstrumentRig rig(optionsWith([](InstrumentOptions& o) { o.shortNames = true; }));
        QVERIFY(InstrumentRig::writeFile(rig.medium() + QStringLiteral("/long.dat"), "x"));
        QCOMPARE(rig.code("TDIF?"), 20);
        QCOMPARE(rig.upload("FWT 0,/trace.dat,", "x"), 20);
        QCOMPARE(rig.upload("FWT 0,/TRACE1234.DAT,", "x"), 20);
        QCOMPARE(rig.upload("FWT 0,/TRACE.DAT,", "x"), 0);
        QCOMPARE(rig.code("MKDR /FOLDER123"), 20);
        QCOMPARE(rig.code("MKDR /FOLDER12"), 0);
        QCOMPARE(rig.code("MOV 0,/TRACE.DAT,/Trace.DAT"), 20);
        QCOMPARE(rig.listing(), QByteArray(rig.listing())); // stable
        QVERIFY(!rig.listing().contains("long.dat"));
    }
};

ORVALT_TEST(TestCommandHandler);
#include "TestCommandHandler.moc"
