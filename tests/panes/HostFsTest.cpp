#include "panes/HostFs.h"

#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace orvalt;

namespace {

// The pane form of a native path on the root volume (drive prefix empty).
QString hostPath(const QString& nativePath)
{
    QString path = nativePath;
    return path.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

void writeFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(contents), contents.size());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Read-only the way the code tests it: by the owner's permission bit, which holds also for root.
void makeReadOnly(const QString& path)
{
    QVERIFY(QFile::setPermissions(path,
                                  QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
}

bool isWritableByOwner(const QString& path)
{
    return QFile::permissions(path) & QFileDevice::WriteOwner;
}

QStringList namesOf(const QList<HostItem>& items)
{
    QStringList names;
    for (const HostItem& item : items)
        names.append(item.entry.name);
    return names;
}

} // namespace

class HostFsTest : public QObject
{
    Q_OBJECT

    HostFs m_fs;
    std::unique_ptr<QTemporaryDir> m_dir;

    QString native(const QString& relative) const { return m_dir->filePath(relative); }
    QString host(const QString& relative) const { return hostPath(m_dir->filePath(relative)); }

private slots:
    void init()
    {
        // A fresh folder per test, so one test's leftovers cannot satisfy another's checks.
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void nativePath_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("panePath");
        QTest::addColumn<QString>("expected");
        QTest::newRow("root volume, root") << QString() << QStringLiteral("\\") << QStringLiteral("/");
        QTest::newRow("root volume, folder")
            << QString() << QStringLiteral("\\A\\B") << QStringLiteral("/A/B");
        QTest::newRow("final separator") << QString() << QStringLiteral("\\A\\") << QStringLiteral("/A");
        QTest::newRow("mounted volume, root")
            << QStringLiteral("/media/usb") << QStringLiteral("\\") << QStringLiteral("/media/usb/");
        QTest::newRow("mounted volume, file")
            << QStringLiteral("/media/usb") << QStringLiteral("\\DATA\\X.DAT")
            << QStringLiteral("/media/usb/DATA/X.DAT");
        QTest::newRow("names with dots and blanks")
            << QString() << QStringLiteral("\\a..b\\ c .d") << QStringLiteral("/a..b/ c .d");
        QTest::newRow("parent component") << QString() << QStringLiteral("\\A\\..\\..\\etc") << QString();
        QTest::newRow("parent at the end") << QString() << QStringLiteral("\\A\\..") << QString();
        QTest::newRow("dot component") << QString() << QStringLiteral("\\A\\.\\B") << QString();
        QTest::newRow("slash in a name") << QString() << QStringLiteral("\\A/../B") << QString();
        QTest::newRow("empty component") << QString() << QStringLiteral("\\A\\\\B") << QString();
        QTest::newRow("NUL in a name")
            << QString() << QStringLiteral("\\A") + QChar(0) + QStringLiteral("B") << QString();
        QTest::newRow("no leading separator") << QString() << QStringLiteral("A\\B") << QString();
        QTest::newRow("empty pane path") << QString() << QString() << QString();
        QTest::newRow("relative prefix") << QStringLiteral("media") << QStringLiteral("\\A") << QString();
        QTest::newRow("prefix with final slash")
            << QStringLiteral("/media/") << QStringLiteral("\\A") << QString();
        QTest::newRow("prefix climbing")
            << QStringLiteral("/media/../etc") << QStringLiteral("\\A") << QString();
    }
    void nativePath()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, panePath);
        QFETCH(QString, expected);
        QCOMPARE(HostFs::nativePath(prefix, panePath), expected);
        QCOMPARE(HostFs::nativePath(prefix + panePath), expected);
    }

    void refusedPathsTouchNothing()
    {
        QVERIFY(QDir(native(QString())).mkpath(QStringLiteral("a/keep")));
        const QString climbing = host(QStringLiteral("a/keep")) + QStringLiteral("\\..");
        QCOMPARE(m_fs.deleteFolder(climbing, true).error, HostFsError::InvalidPath);
        QVERIFY(m_fs.createFolder(climbing + QStringLiteral("\\x")).error == HostFsError::InvalidPath);
        QVERIFY(!m_fs.folderExists(climbing));
        QVERIFY(QFileInfo(native(QStringLiteral("a/keep"))).isDir());
        QCOMPARE(m_fs.deleteFolder(QStringLiteral("\\"), true).error, HostFsError::InvalidPath);
        QCOMPARE(HostFs::nativePath(QStringLiteral("no separator")), QString());
    }

    void drives()
    {
        const QList<HostDrive> drives = m_fs.drives();
        QVERIFY(!drives.isEmpty());
        QVERIFY(drives.first().isRoot);
        QCOMPARE(drives.first().prefix, QString());
        for (const HostDrive& drive : drives) {
            QVERIFY2(!drive.prefix.startsWith(QLatin1String("/proc")), qPrintable(drive.prefix));
            QVERIFY2(!drive.prefix.startsWith(QLatin1String("/sys")), qPrintable(drive.prefix));
            QVERIFY2(!drive.prefix.startsWith(QLatin1String("/dev")), qPrintable(drive.prefix));
            QVERIFY2(QFileInfo(HostFs::nativePath(drive.prefix, QStringLiteral("\\"))).isDir(),
                     qPrintable(drive.prefix));
        }
    }

    void listFolderPutsFoldersFirst()
    {
        // Created interleaved, so the file system's own order mixes them.
        writeFile(native(QStringLiteral("b.txt")), QByteArray(1500, 'x'));
        QVERIFY(QDir(native(QString())).mkdir(QStringLiteral("a folder")));
        writeFile(native(QStringLiteral("readme")), QByteArray());
        QVERIFY(QDir(native(QString())).mkdir(QStringLiteral("zz")));
        writeFile(native(QStringLiteral("zz/inner.dat")), QByteArray(2500, 'y'));
        writeFile(native(QStringLiteral(".hidden")), QByteArray(3, 'h'));
        // Enough names of both cases that the disk's own order (hash order on ext4) is not the
        // name order by chance.
        for (const char* folder : {"Beta", "kilo", "Lima"})
            QVERIFY(QDir(native(QString())).mkdir(QString::fromLatin1(folder)));
        for (const char* file : {"C.csv", "delta", "Echo", "f.txt", "Golf"})
            writeFile(native(QString::fromLatin1(file)), QByteArray(1, 'c'));
        makeReadOnly(native(QStringLiteral("readme")));

        // Each group in name order, case-blind, whatever order the disk keeps.
        const QList<HostItem> items = m_fs.listFolder(host(QString()), HostFs::FolderSizes::Walk);
        QCOMPARE(items.size(), 13);
        const QStringList folders = namesOf(items.mid(0, 5));
        const QStringList files = namesOf(items.mid(5));
        QCOMPARE(folders, (QStringList{"a folder", "Beta", "kilo", "Lima", "zz"}));
        QCOMPARE(files,
                 (QStringList{".hidden", "b.txt", "C.csv", "delta", "Echo", "f.txt", "Golf", "readme"}));
        for (const HostItem& item : items) {
            QCOMPARE(item.entry.isFolder(), folders.contains(item.entry.name));
            QVERIFY(item.created.isValid());
            QCOMPARE(item.entry.date.size(), 19);
            if (item.entry.name == QLatin1String("zz"))
                QCOMPARE(item.size, 2500);
            if (item.entry.name == QLatin1String("b.txt"))
                QCOMPARE(item.entry.size, 1500);
            if (item.entry.name == QLatin1String("readme"))
                QCOMPARE(item.entry.attributes, FileEntry::kReadOnly);
            if (item.entry.name == QLatin1String(".hidden"))
                QCOMPARE(item.entry.attributes, FileEntry::kHidden);
        }
        QVERIFY(m_fs.listFolder(host(QStringLiteral("missing")), HostFs::FolderSizes::Skip).isEmpty());
    }

    void shortNames_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("two long names")
            << QStringList{QStringLiteral("longfolder2"), QStringLiteral("longfolder1")}
            << QStringList{QStringLiteral("LONGFO~2"), QStringLiteral("LONGFO~1")};
        QTest::newRow("8.3 once upper-cased")
            << QStringList{QStringLiteral("readme.txt"), QStringLiteral("DATA"), QStringLiteral("a{b}.c")}
            << QStringList{QStringLiteral("README.TXT"), QStringLiteral("DATA"), QStringLiteral("A{B}.C")};
        QTest::newRow("same 8.3 name in two cases")
            << QStringList{QStringLiteral("readme.txt"), QStringLiteral("README.TXT")}
            << QStringList{QStringLiteral("README~1.TXT"), QStringLiteral("README.TXT")};
        QTest::newRow("bases of 8 and 9")
            << QStringList{QStringLiteral("longname"), QStringLiteral("longname1"),
                           QStringLiteral("ABCDEFGHI")}
            << QStringList{QStringLiteral("LONGNAME"), QStringLiteral("LONGNA~1"),
                           QStringLiteral("ABCDEF~1")};
        QTest::newRow("blanks") << QStringList{QStringLiteral("my file.txt"), QStringLiteral("a b")}
                                << QStringList{QStringLiteral("MYFILE~1.TXT"), QStringLiteral("AB~1")};
        QTest::newRow("several dots") << QStringList{QStringLiteral("trace.2002.dat"),
                                                     QStringLiteral("a.b.c"), QStringLiteral("x.jpeg")}
                                      << QStringList{QStringLiteral("TRACE2~1.DAT"), QStringLiteral("AB~1.C"),
                                                     QStringLiteral("X~1.JPE")};
        QTest::newRow("leading dot") << QStringList{QStringLiteral(".profile")}
                                     << QStringList{QStringLiteral("PROFIL~1")};
        QTest::newRow("characters an 8.3 name cannot hold")
            << QStringList{QStringLiteral("data+1.csv"), QStringLiteral("m\u00fcll.dat")}
            << QStringList{QStringLiteral("DATA_1~1.CSV"), QStringLiteral("M_LL~1.DAT")};
        QTest::newRow("alias taken by a real name")
            << QStringList{QStringLiteral("longfolder"), QStringLiteral("LONGFO~1")}
            << QStringList{QStringLiteral("LONGFO~2"), QStringLiteral("LONGFO~1")};
        QStringList ten;
        QStringList aliases;
        for (int i = 0; i < 10; ++i) {
            ten << QStringLiteral("measurement%1.dat").arg(i);
            aliases << (i < 9 ? QStringLiteral("MEASUR~%1.DAT").arg(i + 1) : QStringLiteral("MEASU~10.DAT"));
        }
        QTest::newRow("ten of one basis") << ten << aliases;
    }
    void shortNames()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, expected);
        QCOMPARE(HostFs::shortNames(names), expected);
        for (const QString& shortName : expected)
            QVERIFY2(HostFs::isShortName(shortName), qPrintable(shortName));
    }

    void shortNamesOnDisk()
    {
        QVERIFY(QDir(native(QString())).mkdir(QStringLiteral("longfolder1")));
        QVERIFY(QDir(native(QString())).mkdir(QStringLiteral("longfolder2")));
        writeFile(native(QStringLiteral("readme.txt")), "r");
        for (const HostItem& item : m_fs.listFolder(host(QString()), HostFs::FolderSizes::Skip)) {
            const QString expected =
                item.entry.name == QLatin1String("readme.txt") ? QStringLiteral("README.TXT")
                : item.entry.name.endsWith(QLatin1Char('1'))   ? QStringLiteral("LONGFO~1")
                                                               : QStringLiteral("LONGFO~2");
            QCOMPARE(item.entry.shortName, expected);
        }
        QCOMPARE(
            m_fs.folderEntry(host(QStringLiteral("longfolder2")), HostFs::FolderSizes::Skip)->entry.shortName,
            QStringLiteral("LONGFO~2"));
        QCOMPARE(m_fs.fileEntry(host(QStringLiteral("readme.txt")))->entry.shortName,
                 QStringLiteral("README.TXT"));
        QVERIFY(!m_fs.fileEntry(host(QStringLiteral("longfolder1"))));
        QVERIFY(!m_fs.folderEntry(host(QStringLiteral("readme.txt")), HostFs::FolderSizes::Skip));
    }

    void folderSizeDoesNotFollowLinks()
    {
        QVERIFY(QDir(native(QString())).mkpath(QStringLiteral("tree/sub/deeper")));
        writeFile(native(QStringLiteral("tree/a.dat")), QByteArray(100, 'a'));
        writeFile(native(QStringLiteral("tree/sub/deeper/b.dat")), QByteArray(20, 'b'));
        writeFile(native(QStringLiteral("outside.dat")), QByteArray(5000, 'o'));
        QVERIFY(QFile::link(native(QStringLiteral("tree")), native(QStringLiteral("tree/sub/loop"))));
        QVERIFY(QFile::link(native(QStringLiteral("outside.dat")), native(QStringLiteral("tree/link.dat"))));
        QCOMPARE(m_fs.folderSize(host(QStringLiteral("tree"))), 120);
        QCOMPARE(m_fs.folderEntry(host(QStringLiteral("tree")), HostFs::FolderSizes::Walk)->size, 120);
    }

    void existence()
    {
        writeFile(native(QStringLiteral("f.dat")), "x");
        QVERIFY(m_fs.fileExists(host(QStringLiteral("f.dat"))));
        QVERIFY(!m_fs.folderExists(host(QStringLiteral("f.dat"))));
        QVERIFY(m_fs.folderExists(host(QString())));
        QVERIFY(!m_fs.fileExists(host(QString())));
        QVERIFY(!m_fs.fileExists(host(QStringLiteral("none.dat"))));
    }

    void createFolder()
    {
        QVERIFY(m_fs.createFolder(host(QStringLiteral("NEW0001"))).ok());
        QVERIFY(QFileInfo(native(QStringLiteral("NEW0001"))).isDir());
        QCOMPARE(m_fs.createFolder(host(QStringLiteral("NEW0001"))).error, HostFsError::AlreadyExists);
        QCOMPARE(m_fs.createFolder(host(QStringLiteral("gone/NEW0001"))).error, HostFsError::PathNotFound);
    }

    void copyFile_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<bool>("targetReadOnly");
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<bool>("intoFolder");
        QTest::addColumn<HostFsError>("error");
        QTest::newRow("new file") << false << false << false << false << HostFsError::None;
        QTest::newRow("new file into a folder") << false << false << false << true << HostFsError::None;
        QTest::newRow("existing, no overwrite")
            << true << false << false << false << HostFsError::AlreadyExists;
        QTest::newRow("existing, overwrite") << true << false << true << true << HostFsError::None;
        QTest::newRow("read-only, overwrite") << true << true << true << false << HostFsError::ReadOnly;
        QTest::newRow("read-only, no overwrite")
            << true << true << false << false << HostFsError::AlreadyExists;
    }
    void copyFile()
    {
        QFETCH(bool, targetExists);
        QFETCH(bool, targetReadOnly);
        QFETCH(bool, overwrite);
        QFETCH(bool, intoFolder);
        QFETCH(HostFsError, error);
        QVERIFY(QDir(native(QString())).mkdir(QStringLiteral("to")));
        writeFile(native(QStringLiteral("a.dat")), "new contents");
        const QString target = native(QStringLiteral("to/a.dat"));
        if (targetExists)
            writeFile(target, "old");
        if (targetReadOnly)
            makeReadOnly(target);

        const QString destination =
            intoFolder ? host(QStringLiteral("to")) + QLatin1Char('\\') : host(QStringLiteral("to/a.dat"));
        const HostFsResult result = m_fs.copyFile(host(QStringLiteral("a.dat")), destination, overwrite);
        QCOMPARE(result.error, error);
        QCOMPARE(result.text.isEmpty(), result.ok());
        QCOMPARE(readFile(target), result.ok() ? QByteArray("new contents") : QByteArray("old"));
        // Nothing is left behind beside the target, whatever happened.
        QCOMPARE(QDir(native(QStringLiteral("to"))).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void copyFileFailures()
    {
        writeFile(native(QStringLiteral("a.dat")), "x");
        QVERIFY(QDir(native(QString())).mkdir(QStringLiteral("sub")));
        QCOMPARE(m_fs.copyFile(host(QStringLiteral("none.dat")), host(QStringLiteral("b.dat")), true).error,
                 HostFsError::FileNotFound);
        QCOMPARE(m_fs.copyFile(host(QStringLiteral("sub")), host(QStringLiteral("b.dat")), true).error,
                 HostFsError::FileNotFound);
        QCOMPARE(m_fs.copyFile(host(QStringLiteral("a.dat")), host(QStringLiteral("gone/b.dat")), true).error,
                 HostFsError::PathNotFound);
        QCOMPARE(m_fs.copyFile(host(QStringLiteral("a.dat")), host(QStringLiteral("sub")), true).error,
                 HostFsError::AlreadyExists);
    }

    void copyKeepsReadOnly()
    {
        writeFile(native(QStringLiteral("ro.dat")), "x");
        makeReadOnly(native(QStringLiteral("ro.dat")));
        QVERIFY(m_fs.copyFile(host(QStringLiteral("ro.dat")), host(QStringLiteral("copy.dat")), false).ok());
        QVERIFY(!isWritableByOwner(native(QStringLiteral("copy.dat"))));
        QCOMPARE(m_fs.copyFile(host(QStringLiteral("ro.dat")), host(QStringLiteral("copy.dat")), true).error,
                 HostFsError::ReadOnly);
    }

    void copyFolderMerges_data()
    {
        QTest::addColumn<bool>("overwrite");
        QTest::newRow("keep existing") << false;
        QTest::newRow("overwrite") << true;
    }
    void copyFolderMerges()
    {
        QFETCH(bool, overwrite);
        QVERIFY(QDir(native(QString())).mkpath(QStringLiteral("src/sub")));
        QVERIFY(QDir(native(QString())).mkpath(QStringLiteral("dest/src")));
        writeFile(native(QStringLiteral("src/same.dat")), "source");
        writeFile(native(QStringLiteral("src/sub/new.dat")), "deep");
        writeFile(native(QStringLiteral("dest/src/same.dat")), "existing");
        writeFile(native(QStringLiteral("dest/src/only-here.dat")), "mine");
        QVERIFY(QFile::link(QStringLiteral("same.dat"), native(QStringLiteral("src/alias"))));

        const HostFsResult result = m_fs.copyFolder(
            host(QStringLiteral("src")), host(QStringLiteral("dest")) + QLatin1Char('\\'), overwrite);
        QVERIFY2(result.ok(), qPrintable(result.text));
        QCOMPARE(result.kept, overwrite ? 0 : 1);
        QCOMPARE(readFile(native(QStringLiteral("dest/src/same.dat"))),
                 overwrite ? QByteArray("source") : QByteArray("existing"));
        QCOMPARE(readFile(native(QStringLiteral("dest/src/sub/new.dat"))), QByteArray("deep"));
        QCOMPARE(readFile(native(QStringLiteral("dest/src/only-here.dat"))), QByteArray("mine"));
        const QFileInfo alias(native(QStringLiteral("dest/src/alias")));
        QVERIFY(alias.isSymLink());
        QCOMPARE(alias.symLinkTarget(), native(QStringLiteral("dest/src/same.dat")));
    }

    void copyFolderGoesOnPastAFailure()
    {
        QVERIFY(QDir(native(QString())).mkpath(QStringLiteral("src")));
        QVERIFY(QDir(native(QString())).mkpath(QStringLiteral("copy")));
        writeFile(native(QStringLiteral("src/a.dat")), "a");
        writeFile(native(QStringLiteral("src/b.dat")), "b");
        writeFile(native(QStringLiteral("copy/a.dat")), "locked");
        makeReadOnly(native(QStringLiteral("copy/a.dat")));
        const HostFsResult result =
            m_fs.copyFolder(host(QStringLiteral("src")), host(QStringLiteral("copy")), true);
        QCOMPARE(result.error, HostFsError::ReadOnly);
        QVERIFY(result.text.contains(QLatin1String("a.dat")));
        QCOMPARE(readFile(native(QStringLiteral("copy/a.dat"))), QByteArray("locked"));
        QCOMPARE(readFile(native(QStringLiteral("copy/b.dat"))), QByteArray("b"));
    }

    void copyFolderIntoItself()
    {
        QVERIFY(QDir(native(QString())).mkpath(QStringLiteral("src/inner")));
        writeFile(native(QStringLiteral("src/a.dat")), "a");
        QCOMPARE(m_fs.copyFolder(host(QStringLiteral("src")),
                                 host(QStringLiteral("src/inner")) + QLatin1Char('\\'), true)
                     .error,
                 HostFsError::InvalidPath);
        QCOMPARE(m_fs.copyFolder(host(QStringLiteral("src")), host(QStringLiteral("src")), true).error,
                 HostFsError::InvalidPath);
        QVERIFY(!QFileInfo::exists(native(QStringLiteral("src/inner/src"))));
        QCOMPARE(m_fs.copyFolder(host(QStringLiteral("none")), host(QStringLiteral("x")), true).error,
                 HostFsError::PathNotFound);
    }

    void moves()
    {
        QVERIFY(QDir(native(QString())).mkpath(QStringLiteral("old/inner")));
        writeFile(native(QStringLiteral("a.dat")), "a");
        writeFile(native(QStringLiteral("b.dat")), "b");
        makeReadOnly(native(QStringLiteral("a.dat")));

        QCOMPARE(m_fs.moveFile(host(QStringLiteral("a.dat")), host(QStringLiteral("b.dat"))).error,
                 HostFsError::AlreadyExists);
        QVERIFY(m_fs.moveFile(host(QStringLiteral("a.dat")), host(QStringLiteral("a.dat"))).ok());
        QVERIFY(m_fs.moveFile(host(QStringLiteral("a.dat")), host(QStringLiteral("c.dat"))).ok());
        QCOMPARE(readFile(native(QStringLiteral("c.dat"))), QByteArray("a"));
        QVERIFY(!QFileInfo::exists(native(QStringLiteral("a.dat"))));
        QVERIFY(m_fs.moveFile(host(QStringLiteral("c.dat")), host(QStringLiteral("old")) + QLatin1Char('\\'))
                    .ok());
        QVERIFY(QFileInfo::exists(native(QStringLiteral("old/c.dat"))));
        QCOMPARE(m_fs.moveFile(host(QStringLiteral("none.dat")), host(QStringLiteral("x.dat"))).error,
                 HostFsError::FileNotFound);

        QCOMPARE(m_fs.moveFolder(host(QStringLiteral("old")), host(QStringLiteral("old/inner/x"))).error,
                 HostFsError::InvalidPath);
        QCOMPARE(m_fs.moveFolder(host(QStringLiteral("old")), host(QStringLiteral("b.dat"))).error,
                 HostFsError::AlreadyExists);
        QCOMPARE(m_fs.moveFolder(host(QStringLiteral("old")), host(QStringLiteral("gone/new"))).error,
                 HostFsError::PathNotFound);
        QVERIFY(m_fs.moveFolder(host(QStringLiteral("old")), host(QStringLiteral("old"))).ok());
        QVERIFY(m_fs.moveFolder(host(QStringLiteral("old")), host(QStringLiteral("new"))).ok());
        QVERIFY(QFileInfo::exists(native(QStringLiteral("new/inner"))));
        QVERIFY(QFileInfo::exists(native(QStringLiteral("new/c.dat"))));
        QVERIFY(!QFileInfo::exists(native(QStringLiteral("old"))));
    }

    void deleteFile_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("force");
        QTest::addColumn<HostFsError>("error");
        QTest::newRow("plain") << false << false << HostFsError::None;
        QTest::newRow("read-only") << true << false << HostFsError::ReadOnly;
        QTest::newRow("read-only, forced") << true << true << HostFsError::None;
    }
    void deleteFile()
    {
        QFETCH(bool, readOnly);
        QFETCH(bool, force);
        QFETCH(HostFsError, error);
        writeFile(native(QStringLiteral("f.dat")), "x");
        if (readOnly)
            makeReadOnly(native(QStringLiteral("f.dat")));
        QCOMPARE(m_fs.deleteFile(host(QStringLiteral("f.dat")), force).error, error);
        QCOMPARE(QFileInfo::exists(native(QStringLiteral("f.dat"))), error != HostFsError::None);
        QCOMPARE(m_fs.deleteFile(host(QStringLiteral("f.dat")), true).error == HostFsError::FileNotFound,
                 true ^ QFileInfo::exists(native(QStringLiteral("f.dat"))));
    }

    void deleteFolder_data()
    {
        QTest::addColumn<bool>("readOnlyInside");
        QTest::addColumn<bool>("force");
        QTest::addColumn<HostFsError>("error");
        QTest::newRow("plain") << false << false << HostFsError::None;
        QTest::newRow("read-only file inside") << true << false << HostFsError::ReadOnly;
        QTest::newRow("read-only file inside, forced") << true << true << HostFsError::None;
    }
    void deleteFolder()
    {
        QFETCH(bool, readOnlyInside);
        QFETCH(bool, force);
        QFETCH(HostFsError, error);
        QVERIFY(QDir(native(QString())).mkpath(QStringLiteral("victim/a/b")));
        QVERIFY(QDir(native(QString())).mkpath(QStringLiteral("precious")));
        writeFile(native(QStringLiteral("victim/first.dat")), "1");
        writeFile(native(QStringLiteral("victim/a/b/deep.dat")), "2");
        writeFile(native(QStringLiteral("precious/keep.dat")), "3");
        QVERIFY(QFile::link(native(QStringLiteral("precious")), native(QStringLiteral("victim/a/link"))));
        if (readOnlyInside)
            makeReadOnly(native(QStringLiteral("victim/a/b/deep.dat")));

        QCOMPARE(m_fs.deleteFolder(host(QStringLiteral("victim")), force).error, error);
        if (error == HostFsError::None) {
            QVERIFY(!QFileInfo::exists(native(QStringLiteral("victim"))));
        } else {
            // Refused as a whole: nothing in it went.
            QVERIFY(QFileInfo::exists(native(QStringLiteral("victim/first.dat"))));
            QVERIFY(QFileInfo::exists(native(QStringLiteral("victim/a/b/deep.dat"))));
        }
        QCOMPARE(readFile(native(QStringLiteral("precious/keep.dat"))), QByteArray("3"));
    }
};

ORVALT_TEST(HostFsTest);
#include "HostFsTest.moc"
