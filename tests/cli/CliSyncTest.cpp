// orvalt-cli sync against the virtual instrument: what a run fetches, keeps, deletes and removes;
// the instrument's dates on the host; a run cut off by a pulled cable, and the run that resumes it.

#include "CliRig.h"
#include "support/InstrumentProcess.h"
#include "support/TestMain.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>

using orvalt::test::CliResult;
using orvalt::test::CliRig;
using orvalt::test::InstrumentProcess;
using orvalt::test::show;

namespace {

QByteArray bytes(qsizetype size, int seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        b[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return b;
}

bool put(const QString& path, const QByteArray& content, const QDateTime& when = QDateTime())
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close(); // the last write would move the date again
    return !when.isValid() ||
           (file.open(QIODevice::ReadOnly) && file.setFileTime(when, QFileDevice::FileModificationTime));
}

// The first line of the summary, up to the time.
QString summary(const CliResult& r)
{
    const qsizetype at = r.out.indexOf(QStringLiteral("etch"));
    const QString line = at < 0 ? QString() : r.out.mid(at - 1).section(QLatin1Char('\n'), 0, 0);
    return line.section(QStringLiteral("; "), 0, 2);
}

const QDateTime kTaken(QDate(2023, 6, 1), QTime(9, 30, 15));

// The runs of a report file, one JSON object a line; an empty object for a line that is none.
QList<QJsonObject> reportOf(const QString& path)
{
    QFile file(path);
    QList<QJsonObject> runs;
    if (!file.open(QIODevice::ReadOnly))
        return runs;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.isEmpty())
            runs << QJsonDocument::fromJson(line).object();
    return runs;
}

// An instruments file of two instruments, each synced into its own folder of the host.
QByteArray shelfOf(const QString& deviceA, const QString& deviceB)
{
    return QStringLiteral("[a]\ndevice=%1\nbaud=38400\nremote=\"M:\\\\\"\nlocal=cardA\n"
                          "[b]\ndevice=%2\nbaud=38400\nparity=none\nremote=\"M:\\\\\"\nlocal=cardB\n")
        .arg(deviceA, deviceB)
        .toUtf8();
}

// $JOURNAL_STREAM's form of a file: "device:inode". A file given as a run's standard error stands
// for the journal's stream when the variable names it.
QString streamOf(const QString& path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return QString();
    return QStringLiteral("%1:%2")
        .arg(static_cast<qulonglong>(status.st_dev))
        .arg(static_cast<qulonglong>(status.st_ino));
}

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

// The value of a key of the timer's service, as its unit file of kind (user, system) gives it.
QString unitValue(const QString& kind, const QString& key)
{
    const QString text =
        readAll(QStringLiteral(ORVALT_SOURCE_DIR "/packaging/systemd/%1/orvalt-sync@.service").arg(kind));
    for (const QString& line : text.split(QLatin1Char('\n')))
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    return QString();
}

} // namespace

class CliSyncTest : public QObject
{
    Q_OBJECT

private:
    static CliResult sync(const CliRig& cli, const InstrumentProcess& instrument,
                          const QStringList& extra = {})
    {
        return cli.run(QStringList{"--device", instrument.devicePath(), "--quiet", "sync"} + extra +
                       QStringList{"M:\\", "card"});
    }

private slots:
    // What a second run fetches after a change on one side. Each row starts from a synced folder
    // (A.DAT, SUB/B.DAT, both dated kTaken) and changes one thing.
    void secondRun_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QStringList>("verbose"); // what -v tells of the second run, in any order
        const QString aCurrent = QStringLiteral("skipped M:\\A.DAT: current");
        const QString bCurrent = QStringLiteral("skipped M:\\SUB\\B.DAT: current");
        QTest::addRow("nothing changed")
            << "none"
            << "Fetched 0, 0 bytes; 2 skipped as current; 0 failed" << QStringList{aCurrent, bCurrent};
        QTest::addRow("one changed, one new")
            << "changed+new"
            << "Fetched 2, 11 bytes; 1 skipped as current; 0 failed"
            << QStringList{aCurrent, "copied B.DAT (5 bytes)", "copied C.DAT (6 bytes)"};
        // The listing's seconds count: a date one second off is a date that differs.
        QTest::addRow("a second later") << "later"
                                        << "Fetched 1, 4 bytes; 1 skipped as current; 0 failed"
                                        << QStringList{aCurrent, "copied B.DAT (4 bytes)"};
        // Within the same second, the host's milliseconds do not make a file differ.
        QTest::addRow("host milliseconds")
            << "millis"
            << "Fetched 0, 0 bytes; 2 skipped as current; 0 failed" << QStringList{aCurrent, bCurrent};
        QTest::addRow("host name in lower case")
            << "lower"
            << "Fetched 0, 0 bytes; 2 skipped as current; 0 failed" << QStringList{aCurrent, bCurrent};
        // B.DAT listed with a date that cannot be read: fetched once with the time of the copy, told
        // so, and then taken for current by its size.
        QTest::addRow("undated") << "undated"
                                 << "Fetched 0, 0 bytes; 2 skipped as current; 0 failed"
                                 << QStringList{aCurrent,
                                                bCurrent + " by its size (its date could not be read)"};
    }

    void secondRun()
    {
        QFETCH(QString, change);
        QFETCH(QString, told);
        QFETCH(QStringList, verbose);
        CliRig cli;
        QVERIFY(cli.isReady());
        const bool undated = change == "undated";
        InstrumentProcess instrument(undated ? QStringList{"--undated", "B.DAT"} : QStringList());
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString m = instrument.mediumDir();
        QVERIFY(put(m + "/A.DAT", bytes(300, 1), kTaken));
        QVERIFY(put(m + "/SUB/B.DAT", bytes(4, 2), kTaken));

        CliResult r = sync(cli, instrument);
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(summary(r), QStringLiteral("Fetched 2, 304 bytes; 0 skipped as current; 0 failed"));
        QCOMPARE(QFileInfo(cli.host("card/SUB/B.DAT")).lastModified() == kTaken, !undated);
        const QString toldUndated =
            QStringLiteral("The date of M:\\SUB\\B.DAT on the measurement device could not be read, so the "
                           "file got the time of the copy instead.\n");
        QCOMPARE(r.out.count(toldUndated), undated ? 1 : 0);
        QCOMPARE(r.out.contains("Dates that could not be read, files compared by size alone: 1\n"), undated);

        if (change == "changed+new") {
            QVERIFY(put(m + "/SUB/B.DAT", bytes(5, 3), kTaken)); // the same date, another size
            QVERIFY(put(m + "/C.DAT", bytes(6, 4), kTaken));
        } else if (change == "later") {
            QVERIFY(put(m + "/SUB/B.DAT", bytes(4, 2), kTaken.addSecs(1)));
        } else if (change == "millis") {
            QFile host(cli.host("card/SUB/B.DAT"));
            QVERIFY(host.open(QIODevice::ReadWrite));
            QVERIFY(host.setFileTime(kTaken.addMSecs(999), QFileDevice::FileModificationTime));
        } else if (change == "lower") {
            QVERIFY(QFile::rename(cli.host("card/A.DAT"), cli.host("card/a.dat")));
        }
        r = sync(cli, instrument, {"-v"});
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(summary(r), told);
        QVERIFY2(!r.out.contains("the time of the copy"), show(r)); // nothing fetched, nothing to tell
        // Each file once, in a line of its own.
        const QStringList lines = r.out.split(QLatin1Char('\n'));
        for (const QString& line : verbose)
            QVERIFY2(lines.count(line) == 1, qPrintable(line + QStringLiteral(" in ") + r.out));
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^(copied|skipped) "))).size(),
                 verbose.size());
        if (change == "lower")
            QVERIFY(!QFileInfo::exists(cli.host("card/A.DAT")));
        if (change == "changed+new")
            QCOMPARE(QFileInfo(cli.host("card/SUB/B.DAT")).size(), 5);
    }

    // --delete and --remove-source, each with the case it must leave alone; and -n, which does
    // neither.
    void deleteAndRemove_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("extraKept");
        QTest::addColumn<bool>("sourceKept");
        QTest::addRow("plain") << QStringList() << true << true;
        QTest::addRow("delete") << QStringList{"--delete"} << false << true;
        QTest::addRow("remove source") << QStringList{"--remove-source"} << true << false;
        QTest::addRow("dry run, delete") << QStringList{"-n", "--delete"} << true << true;
        QTest::addRow("dry run, remove source") << QStringList{"-n", "--remove-source"} << true << true;
    }

    void deleteAndRemove()
    {
        QFETCH(QStringList, options);
        QFETCH(bool, extraKept);
        QFETCH(bool, sourceKept);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString m = instrument.mediumDir();
        QVERIFY(put(m + "/SUB/B.DAT", bytes(700, 2), kTaken));
        QVERIFY(put(cli.host("card/OLD.DAT"), "old"));

        const CliResult r = sync(cli, instrument, options);
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(QFileInfo::exists(cli.host("card/OLD.DAT")), extraKept);
        QCOMPARE(QFileInfo::exists(m + "/SUB/B.DAT"), sourceKept);
        // Files go one by one; a folder stays, since "FDL " would take whatever was written into it
        // after it was listed.
        QVERIFY(QFileInfo(m + "/SUB").isDir());
        QVERIFY(!instrument.transcript().contains("CMD FDL SUB"));
        QCOMPARE(QFileInfo::exists(cli.host("card/SUB/B.DAT")), !options.contains("-n"));
        if (options.contains("-n"))
            QCOMPARE(r.out.contains("would remove M:\\SUB\\B.DAT from the instrument"),
                     options.contains("--remove-source"));
    }

    // A file of the instrument's name on the host is never replaced when the instrument's copy is
    // to go: the same bytes are left as they are, other bytes come home beside them under a
    // numbered name; either way the instrument's file goes only once it is home whole. The host's
    // name may be in another case.
    void removeSourceKeepsBoth_data()
    {
        QTest::addColumn<QString>("hostName");
        QTest::addColumn<QByteArray>("hostBytes");
        QTest::addColumn<QStringList>("hostAfter");
        const QByteArray same = bytes(300, 1);
        QTest::addRow("same bytes") << "DATA001.CSV" << same << QStringList{"DATA001.CSV"};
        // Same size and date, rewritten within the second: only the bytes tell.
        QTest::addRow("same size and date, other bytes")
            << "DATA001.CSV" << bytes(300, 9) << QStringList{"DATA001 (2).CSV", "DATA001.CSV"};
        QTest::addRow("numbering restarted")
            << "DATA001.CSV" << bytes(12, 5) << QStringList{"DATA001 (2).CSV", "DATA001.CSV"};
        QTest::addRow("other case") << "data001.csv" << bytes(12, 5)
                                    << QStringList{"DATA001 (2).CSV", "data001.csv"};
    }

    void removeSourceKeepsBoth()
    {
        QFETCH(QString, hostName);
        QFETCH(QByteArray, hostBytes);
        QFETCH(QStringList, hostAfter);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString m = instrument.mediumDir();
        QVERIFY(put(m + "/DATA001.CSV", bytes(300, 1), kTaken));
        QVERIFY(put(cli.host("card/" + hostName), hostBytes, kTaken));

        const CliResult r = sync(cli, instrument, {"--remove-source"});
        QVERIFY2(r.exitCode == 0, show(r));
        QVERIFY(!QFileInfo::exists(m + "/DATA001.CSV"));
        QCOMPARE(QDir(cli.host("card")).entryList(QDir::Files, QDir::Name), hostAfter);
        QCOMPARE(orvalt::test::treeOf(cli.host("card")).value(hostName), hostBytes);
        if (hostAfter.size() == 2) {
            QCOMPARE(orvalt::test::treeOf(cli.host("card")).value("DATA001 (2).CSV"), bytes(300, 1));
            QVERIFY2(r.out.contains("Fetched beside a host file of the same name, whose contents differ: 1"),
                     show(r));
        } else {
            QVERIFY2(r.out.contains("On the host already with the same contents: 1"), show(r));
        }
    }

    // A file that crossed a damaged line is read a second time before the instrument's copy goes;
    // on a clean line once is enough.
    void removeSourceReadsADamagedFileTwice_data()
    {
        QTest::addColumn<QStringList>("noise");
        QTest::addColumn<int>("reads");
        QTest::addRow("clean line") << QStringList() << 1;
        QTest::addRow("noisy line") << QStringList{"--drop", "0.002", "--seed", "7"} << 2;
    }

    void removeSourceReadsADamagedFileTwice()
    {
        QFETCH(QStringList, noise);
        QFETCH(int, reads);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument(noise);
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(put(instrument.mediumDir() + "/B.DAT", bytes(20000, 3), kTaken));
        const CliResult r = sync(cli, instrument, {"--remove-source"});
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(orvalt::test::treeOf(cli.host("card")).value("B.DAT"), bytes(20000, 3));
        QVERIFY(!QFileInfo::exists(instrument.mediumDir() + "/B.DAT"));
        const QString asked =
            QStringLiteral("BLK 3 10 ") + QString::fromLatin1(QByteArray("FRD? B.DAT").toHex());
        QCOMPARE(instrument.transcript().count(asked), reads);
        // The second reading matched and is gone again.
        QCOMPARE(QDir(cli.host("card")).entryList(QDir::Files), QStringList{"B.DAT"});
    }

    // The instrument writes a new file under the name while the old one comes home: the new one is
    // not the host's, and stays on the instrument.
    void removeSourceKeepsAFileWrittenAgain()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument({"--block-ms", "40"});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString m = instrument.mediumDir();
        QVERIFY(put(m + "/B.DAT", bytes(6000, 1), kTaken));
        QProcess process;
        cli.start(process, {"--device", instrument.devicePath(), "--quiet", "sync", "--remove-source", "M:\\",
                            "card"});
        const QString asked =
            QStringLiteral("BLK 3 10 ") + QString::fromLatin1(QByteArray("FRD? B.DAT").toHex());
        QTRY_VERIFY_WITH_TIMEOUT(instrument.transcript().contains(asked), 30000);
        // Once the instrument is reading the old file, a new one takes its name.
        QTRY_VERIFY_WITH_TIMEOUT(instrument.transcript().filter(QStringLiteral("BLK 4")).size() >= 2, 30000);
        QVERIFY(put(m + "/B.NEW", bytes(7000, 2), kTaken.addSecs(60)));
        QVERIFY(::rename(QFile::encodeName(m + "/B.NEW").constData(),
                         QFile::encodeName(m + "/B.DAT").constData()) == 0);
        const CliResult r = CliRig::finish(process);
        QVERIFY2(r.exitCode == 1, show(r));
        // Told either way: by the listing before the removal, or by a second reading (when the slow
        // instrument's blocks were asked for twice on the way).
        QVERIFY2(
            r.err.contains("M:\\B.DAT: changed on the instrument since it was fetched; it stays there") ||
                r.err.contains("M:\\B.DAT: the line damaged it on the way and a second reading"),
            show(r));
        QCOMPARE(orvalt::test::treeOf(cli.host("card")).value("B.DAT"), bytes(6000, 1));
        QCOMPARE(orvalt::test::treeOf(m).value("B.DAT"), bytes(7000, 2));
    }

    // Files moved home by --remove-source are gone from the instrument because they came home: a
    // later --delete of the same folder keeps them, and deletes only what the host had of its own.
    void deleteKeepsWhatWasMovedHome()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(put(instrument.mediumDir() + "/SUB/B.DAT", bytes(700, 2), kTaken));
        QVERIFY(put(cli.host("card/SUB/OLD.DAT"), "old"));
        CliResult r = sync(cli, instrument, {"--remove-source"});
        QVERIFY2(r.exitCode == 0, show(r));
        QVERIFY(!QFileInfo::exists(instrument.mediumDir() + "/SUB/B.DAT"));
        r = sync(cli, instrument, {"--delete"});
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(orvalt::test::treeOf(cli.host("card/SUB")).value("B.DAT"), bytes(700, 2));
        QVERIFY(!QFileInfo::exists(cli.host("card/SUB/OLD.DAT")));
        QVERIFY2(!r.out.contains(".orvalt-moved-home"), show(r));
    }

    // Links on the host are never followed: --delete removes a link itself and nothing it points to,
    // and a folder of the instrument whose name is a link on the host is not synced into it. -n says
    // exactly that. Nothing outside the synced folder changes.
    void linksNeverFollowed_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addRow("delete") << QStringList{"--delete"};
        QTest::addRow("dry run") << QStringList{"-n", "--delete"};
    }

    void linksNeverFollowed()
    {
        QFETCH(QStringList, options);
        const bool dry = options.contains("-n");
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString m = instrument.mediumDir();
        QVERIFY(put(m + "/SUB/NEW.DAT", bytes(30, 1), kTaken));
        QVERIFY(put(cli.host("outside/keep/KEEP.DAT"), "keep"));
        QVERIFY(put(cli.host("outside/sub/OLD.DAT"), "old"));
        QVERIFY(put(cli.host("outside/FILE.DAT"), "file"));
        QVERIFY(QDir().mkpath(cli.host("card")));
        QVERIFY(QFile::link(cli.host("outside/keep"), cli.host("card/archive")));
        QVERIFY(QFile::link(cli.host("outside/sub"), cli.host("card/SUB")));
        QVERIFY(QFile::link(cli.host("outside/FILE.DAT"), cli.host("card/FILE.LNK")));
        const auto outside = orvalt::test::treeOf(cli.host("outside"));

        const CliResult r = sync(cli, instrument, options);
        QVERIFY2(r.exitCode == 1, show(r));
        QCOMPARE(orvalt::test::treeOf(cli.host("outside")), outside);
        QVERIFY2(r.err.contains("M:\\SUB: a symbolic link of that name on the host, which is not followed"),
                 show(r));
        const QString archive = QDir::toNativeSeparators(cli.host("card/archive"));
        QVERIFY2(r.out.contains((dry ? "would delete the link " : "deleted the link ") + archive), show(r));
        QCOMPARE(QFileInfo(cli.host("card/archive")).isSymLink(), dry);
        QCOMPARE(QFileInfo(cli.host("card/FILE.LNK")).isSymLink(), dry);
        QVERIFY(QFileInfo(cli.host("card/SUB")).isSymLink());
        QVERIFY(!r.err.contains("could not be deleted"));
    }

    // Two host names that differ only in case: the one in the instrument's case is the instrument's
    // file; the other is neither fetched over nor deleted.
    void caseTwinsOnTheHost()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(put(instrument.mediumDir() + "/A.DAT", bytes(300, 1), kTaken));
        QVERIFY(put(cli.host("card/A.DAT"), bytes(300, 1), kTaken));
        QVERIFY(put(cli.host("card/a.dat"), "other"));
        const CliResult r = sync(cli, instrument, {"--delete"});
        QVERIFY2(r.exitCode == 1, show(r));
        QCOMPARE(orvalt::test::treeOf(cli.host("card")).value("a.dat"), QByteArray("other"));
        QCOMPARE(orvalt::test::treeOf(cli.host("card")).value("A.DAT"), bytes(300, 1));
        QVERIFY2(r.err.contains("not deleted: its name differs from one on the instrument only in case"),
                 show(r));
    }

    // A folder that still holds a file the host has not got stays on the instrument, and a file
    // the host holds under the same size but another date is not taken for fetched.
    void removeSourceKeepsWhatIsNotHome()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString m = instrument.mediumDir();
        QVERIFY(put(m + "/SUB/OK.DAT", bytes(10, 1), kTaken));
        QVERIFY(put(m + "/SUB/X/BAD.DAT", bytes(10, 2), kTaken));
        // A folder on the host where the instrument has a file: BAD.DAT cannot come home.
        QVERIFY(QDir().mkpath(cli.host("card/SUB/X/BAD.DAT")));
        const CliResult r = sync(cli, instrument, {"--remove-source"});
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY(!QFileInfo::exists(m + "/SUB/OK.DAT"));
        QVERIFY(QFileInfo::exists(m + "/SUB/X/BAD.DAT"));
    }

    // get of one file keeps the instrument's date as sync does, by the file's own name or by one
    // typed in another case.
    void getOneFileKeepsDate_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("instrumentOptions");
        QTest::addColumn<QString>("told");
        QTest::addRow("own name") << "M:\\SUB\\B.DAT" << QStringList() << QString();
        QTest::addRow("other case") << "M:\\SUB\\b.dat" << QStringList() << QString();
        // A date that cannot be read: the copy's time, told as the window tells it, and no failure.
        QTest::addRow("undated") << "M:\\SUB\\B.DAT" << QStringList{"--undated", "B.DAT"}
                                 << "The date of M:\\SUB\\B.DAT on the measurement device could not be "
                                    "read, so the file got the time of the copy instead.\n";
    }

    void getOneFileKeepsDate()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, instrumentOptions);
        QFETCH(QString, told);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument(instrumentOptions);
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(put(instrument.mediumDir() + "/SUB/B.DAT", bytes(40, 2), kTaken));
        const CliResult r =
            cli.run({"--device", instrument.devicePath(), "--quiet", "get", typed, "one.dat"});
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(r.out, told);
        QCOMPARE(QFileInfo(cli.host("one.dat")).lastModified() == kTaken, told.isEmpty());
    }

    // get replaces a regular file only: a FIFO or a device stays what it is, and a link is never
    // written through (what it points to may lie anywhere). Each is told, and the exit is 1.
    void getNeverReplacesSpecialFiles_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("told");
        QTest::addRow("FIFO") << "fifo"
                              << "Not a regular file (a device, FIFO or socket); not replaced.";
        QTest::addRow("link to a file outside") << "link"
                                                << "A symbolic link; nothing is written through it.";
        QTest::addRow("link to a device") << "device"
                                          << "A symbolic link; nothing is written through it.";
    }

    void getNeverReplacesSpecialFiles()
    {
        QFETCH(QString, target);
        QFETCH(QString, told);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(put(instrument.mediumDir() + "/B.DAT", bytes(40, 2), kTaken));
        QVERIFY(put(cli.host("outside/KEEP.DAT"), "keep"));
        const QString path = cli.host("one.dat");
        if (target == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            QVERIFY(QFile::link(target == "link" ? cli.host("outside/KEEP.DAT") : "/dev/null", path));
        const CliResult r =
            cli.run({"--device", instrument.devicePath(), "--quiet", "--yes", "get", "M:\\B.DAT", "one.dat"});
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY2(r.err.contains(told), show(r));
        QCOMPARE(orvalt::test::treeOf(cli.host("outside")).value("KEEP.DAT"), QByteArray("keep"));
        const QFileInfo after(path);
        QCOMPARE(after.isSymLink(), target != "fifo");
        QVERIFY(!after.isSymLink() ? !after.isFile() : true);
    }

    // get -r into a folder that holds a link of the copied folder's name: the link is not followed
    // (what it points to is outside the folder named), and the copy says so. A link named on the
    // command line itself is the user's to follow.
    void getTreeNeverEntersALinkedFolder()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(put(instrument.mediumDir() + "/DAY1/TOP.TXT", bytes(30, 1), kTaken));
        QVERIFY(put(cli.host("outside/KEEP.DAT"), "keep"));
        QVERIFY(QDir().mkpath(cli.host("into")));
        QVERIFY(QFile::link(cli.host("outside"), cli.host("into/DAY1")));
        CliResult r = cli.run(
            {"--device", instrument.devicePath(), "--quiet", "--yes", "get", "-r", "M:\\DAY1", "into"});
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY2(r.err.contains("DAY1 is a symbolic link, which is not followed; nothing is copied into it"),
                 show(r));
        QCOMPARE(orvalt::test::treeOf(cli.host("outside")).keys(), QStringList{"KEEP.DAT"});
        r = cli.run(
            {"--device", instrument.devicePath(), "--quiet", "--yes", "get", "-r", "M:\\DAY1", "into/DAY1"});
        QVERIFY2(r.exitCode == 0, show(r));
        QCOMPARE(orvalt::test::treeOf(cli.host("outside")).value("DAY1/TOP.TXT"), bytes(30, 1));
    }

    // A shelf of two instruments, one after the other (from the file beside the user settings) and
    // side by side (from --instruments): each instrument's files in its own folder, each its own
    // summary; side by side, both instruments are talked to at once.
    void shelf_data()
    {
        QTest::addColumn<bool>("parallel");
        QTest::addRow("all") << false;
        QTest::addRow("parallel") << true;
    }

    void shelf()
    {
        QFETCH(bool, parallel);
        CliRig cli;
        QVERIFY(cli.isReady());
        // Side by side, each instrument holds its first answer until the other has been talked to:
        // the run ends well only when both were at once.
        QTemporaryDir meeting;
        QStringList paced{"--baud", "38400"};
        if (parallel)
            paced << "--meet" << meeting.path();
        InstrumentProcess a(paced);
        InstrumentProcess b(paced);
        QVERIFY2(a.isReady() && b.isReady(), qPrintable(a.errorString() + b.errorString()));
        QVERIFY(put(a.mediumDir() + "/A.DAT", bytes(6000, 1), kTaken));
        QVERIFY(put(b.mediumDir() + "/B.DAT", bytes(6000, 2), kTaken));
        const QString file =
            parallel ? cli.host("shelf.ini") : QFileInfo(cli.userIniPath()).dir().filePath("instruments.ini");
        QVERIFY(put(file, shelfOf(a.devicePath(), b.devicePath())));

        const CliResult r = cli.run(
            parallel ? QStringList{"sync", "--parallel", "--instruments", file, "--report", "runs.json"}
                     : QStringList{"--quiet", "sync", "--all", "--report", "runs.json"});
        QVERIFY2(r.exitCode == 0, show(r));
        // Each instrument's run appends its own line, whole, side by side or not.
        QStringList locals;
        for (const QJsonObject& run : reportOf(cli.host("runs.json")))
            locals << QFileInfo(run.value("local").toString()).fileName() + QLatin1Char(' ') +
                          QString::number(run.value("fetched").toInt());
        locals.sort();
        QCOMPARE(locals, (QStringList{"cardA 1", "cardB 1"}));
        QCOMPARE(QFileInfo(cli.host("cardA/A.DAT")).size(), 6000);
        QCOMPARE(QFileInfo(cli.host("cardB/B.DAT")).size(), 6000);
        QVERIFY(!QFileInfo::exists(cli.host("cardA/B.DAT")));
        QCOMPARE(r.out.count(QStringLiteral("Fetched 1, 6000 bytes; 0 skipped as current; 0 failed")), 2);
        if (!parallel) {
            QVERIFY2(r.out.indexOf("a: M:\\ -> cardA") < r.out.indexOf("b: M:\\ -> cardB"), show(r));
            return;
        }
        QVERIFY2(r.out.contains("\nb: Fetched 1,") || r.out.startsWith("b: Fetched 1,"), show(r));
        // Each run's progress, off a terminal: whole lines after the instrument's name, never a line
        // redrawn in place, never among the summaries.
        for (const char* expected :
             {"(^|\n)a: A\\.DAT  [0-9,]+ of 6,000 bytes", "(^|\n)b: B\\.DAT  [0-9,]+ of 6,000 bytes"})
            QVERIFY2(r.err.contains(QRegularExpression(QLatin1String(expected))), show(r));
        QVERIFY2(!r.err.contains('\r') && !r.out.contains(" of 6,000 bytes"), show(r));
        QCOMPARE(QDir(meeting.path()).entryList(QDir::Files).size(), 2);
    }

    // sync --report: each run appends one line, what a monitoring system needs to know of it: when,
    // which instrument, what was fetched and skipped, each failure with its cause, the exit status.
    // A run that could not connect is reported too; a report that cannot be written fails the run.
    void report()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        const QString m = instrument.mediumDir();
        QVERIFY(put(m + "/A.DAT", bytes(300, 1), kTaken));
        QVERIFY(put(m + "/SUB/B.DAT", bytes(4, 2), kTaken));
        const QString reportPath = cli.host("nightly.json");
        const QStringList withReport{"--report", reportPath};

        CliResult r = sync(cli, instrument, withReport);
        QVERIFY2(r.exitCode == 0, show(r));
        // A file on the instrument where the host has a folder of its name: one failure.
        QVERIFY(put(m + "/C.DAT", bytes(5, 3), kTaken));
        QVERIFY(QDir().mkpath(cli.host("card/C.DAT")));
        r = sync(cli, instrument, withReport);
        QVERIFY2(r.exitCode == 1, show(r));
        r = cli.run({"--device", cli.host("no-such-device"), "--quiet", "sync", "--report", reportPath,
                     "M:\\", "card"});
        QVERIFY2(r.exitCode == 1, show(r));

        const QList<QJsonObject> runs = reportOf(reportPath);
        QCOMPARE(runs.size(), 3);
        const QJsonObject& first = runs.at(0);
        QCOMPARE(first.value("instrument").toObject(),
                 (QJsonObject{{"device", instrument.devicePath()}, {"model", "KD7350"}}));
        QCOMPARE(first.value("remote").toString(), QStringLiteral("M:\\"));
        QCOMPARE(first.value("local").toString(), cli.host("card"));
        for (const char* key : {"fetched", "bytes", "skipped", "failed", "exit_status"})
            QVERIFY2(first.value(key).isDouble(), key);
        QCOMPARE(first.value("fetched").toInt(), 2);
        QCOMPARE(first.value("bytes").toInt(), 304);
        QCOMPARE(first.value("skipped").toInt(), 0);
        QCOMPARE(first.value("failures").toArray(), QJsonArray());
        QCOMPARE(first.value("exit_status").toInt(), 0);
        const QDateTime start = QDateTime::fromString(first.value("start").toString(), Qt::ISODate);
        const QDateTime end = QDateTime::fromString(first.value("end").toString(), Qt::ISODate);
        QVERIFY2(start.isValid() && start <= end && start.secsTo(QDateTime::currentDateTime()) < 600,
                 qPrintable(first.value("start").toString()));
        QVERIFY(first.value("start").toString().contains(QRegularExpression("([+-]\\d\\d:\\d\\d|Z)$")));

        const QJsonObject& second = runs.at(1);
        QCOMPARE(second.value("fetched").toInt(), 0);
        QCOMPARE(second.value("skipped").toInt(), 2);
        QCOMPARE(second.value("failed").toInt(), 1);
        QCOMPARE(second.value("failures").toArray(),
                 (QJsonArray{QJsonObject{{"item", "M:\\C.DAT"},
                                         {"cause", "a file here, a folder of that name on the host"}}}));
        QCOMPARE(second.value("exit_status").toInt(), 1);

        const QJsonObject& third = runs.at(2);
        QCOMPARE(third.value("exit_status").toInt(), 1);
        QCOMPARE(third.value("fetched").toInt(), 0);
        QVERIFY2(third.value("failures")
                     .toArray()
                     .at(0)
                     .toObject()
                     .value("cause")
                     .toString()
                     .startsWith("It failed in the connection\nThere is no device"),
                 qPrintable(QJsonDocument(third).toJson()));

        // Where no report can be written, the run says so and fails, though everything else went.
        QVERIFY(QDir(cli.host("card/C.DAT")).removeRecursively());
        r = sync(cli, instrument, {"--report", cli.host("card")});
        QVERIFY2(r.exitCode == 1, show(r));
        QVERIFY2(r.err.contains(cli.host("card") + ": the report could not be written ("), show(r));
    }

    // An instruments file is read as untrusted: a value that is not one, an unknown key, a missing
    // key or a port in use by another instrument is told, naming the section and key.
    void shelfRefused_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("told");
        QTest::addRow("baud not a number")
            << QByteArray("baud=38400\nparity") << QByteArray("baud=fast\nparity") << 2
            << "[b] baud: --baud takes 9600";
        QTest::addRow("unknown key") << QByteArray("parity=none") << QByteArray("party=none") << 2
                                     << "[b] party: not a key";
        QTest::addRow("no local") << QByteArray("local=cardB") << QByteArray("") << 2
                                  << "[b]: local is missing";
        QTest::addRow("bad remote") << QByteArray("\"M:\\\\\"\nlocal=cardB")
                                    << QByteArray("DATA\nlocal=cardB") << 2
                                    << "[b] remote: not a remote path";
        // Both on a port another program holds: each is told so, nothing is shared, and the shelf
        // ends as each run does, to be tried again.
        QTest::addRow("port in use") << QByteArray("device=B") << QByteArray("device=A") << 75 << "in use";
    }

    void shelfRefused()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(int, exitCode);
        QFETCH(QString, told);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess a({"--baud", "38400"});
        QVERIFY2(a.isReady(), qPrintable(a.errorString()));
        QVERIFY(put(a.mediumDir() + "/A.DAT", bytes(12000, 1), kTaken));
        QByteArray shelf = shelfOf("A", "B");
        QVERIFY(shelf.contains(from));
        shelf.replace(from, to);
        shelf.replace("device=A", "device=" + a.devicePath().toUtf8());
        shelf.replace("device=B", "device=/dev/null");
        QVERIFY(put(cli.host("shelf.ini"), shelf));
        // Held here rather than by one of the two runs, so the row does not depend on the runs meeting.
        QSerialPort holder(a.devicePath());
        if (told == QLatin1String("in use"))
            QVERIFY(holder.open(QIODevice::ReadWrite));
        const CliResult r = cli.run({"sync", "--parallel", "--instruments", "shelf.ini"});
        QVERIFY2(r.exitCode == exitCode, show(r));
        QVERIFY2(r.err.contains(told), show(r));
        if (exitCode == 2)
            QVERIFY(!QFileInfo::exists(cli.host("cardA"))); // nothing ran
    }

    // The timer's service, run as its unit file says against the virtual instrument, its standard
    // error the journal's stream: the files come home, the report gains a line, each line carries
    // its priority. An instrument that does not answer and a port held by a run started by hand end
    // with the status the unit retries, and nothing else does; a section the file lacks is a mistake.
    void timerService_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("told"); // %1: the device
        QTest::addRow("collects") << "on" << 0 << "<6>orvalt-cli: copied A.DAT (300 bytes)\n";
        QTest::addRow("instrument off")
            << "off" << 75
            << "<3>orvalt-cli: It failed in the connection\n<3>The instrument stopped answering";
        QTest::addRow("port held by a run by hand")
            << "held" << 75
            << "<3>orvalt-cli: It failed in the connection\n<3>%1 is in use by another program";
        QTest::addRow("no such section") << "lab2" << 2 << "<3>orvalt-cli: %2: no section [lab2]\n";
    }

    void timerService()
    {
        QFETCH(QString, state);
        QFETCH(int, exitCode);
        QFETCH(QString, told);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess instrument;
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        QVERIFY(put(instrument.mediumDir() + "/A.DAT", bytes(300, 1), kTaken));
        const QString shelf = QFileInfo(cli.userIniPath()).dir().filePath("instruments.ini");
        QVERIFY(put(shelf, QStringLiteral("[lab1]\ndevice=%1\nremote=\"M:\\\\\"\nlocal=lab1\n")
                               .arg(instrument.devicePath())
                               .toUtf8()));
        const QString section = state == "lab2" ? state : QStringLiteral("lab1");
        QTemporaryDir stateDir;

        // The system's unit runs the same command as the user's, and both retry what the off
        // instrument ends with.
        const QString command = unitValue("user", "ExecStart");
        QCOMPARE(unitValue("system", "ExecStart"), command);
        QCOMPARE(unitValue("user", "RestartForceExitStatus"), QStringLiteral("75"));
        QCOMPARE(unitValue("system", "RestartForceExitStatus"), QStringLiteral("75"));
        QStringList words = command.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(words.takeFirst(), QStringLiteral("/usr/bin/orvalt-cli"));
        for (QString& word : words)
            word.replace(QStringLiteral("%i"), section)
                .replace(QStringLiteral("${STATE_DIRECTORY}"), stateDir.path());

        QSerialPort holder(instrument.devicePath());
        if (state == "held")
            QVERIFY(holder.open(QIODevice::ReadWrite));
        if (state == "off")
            QVERIFY(::kill(static_cast<pid_t>(instrument.process().processId()), SIGSTOP) == 0);
        const QString journal = cli.host("journal");
        QVERIFY(put(journal, QByteArray()));
        QProcess process;
        process.setStandardErrorFile(journal);
        cli.start(process, words, {{"JOURNAL_STREAM", streamOf(journal)}});
        const CliResult r = CliRig::finish(process);
        if (state == "off")
            ::kill(static_cast<pid_t>(instrument.process().processId()), SIGCONT);
        const QString err = readAll(journal);
        QVERIFY2(r.exitCode == exitCode, qPrintable(show(r) + err));
        told.replace(QStringLiteral("%1"), instrument.devicePath()).replace(QStringLiteral("%2"), shelf);
        QVERIFY2(err.contains(told), qPrintable(err));
        // Every line is marked, and no progress is among them.
        for (const QString& line : err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            QVERIFY2(line.contains(QRegularExpression("^<[3-6]>")) && !line.contains(" of 300 bytes"),
                     qPrintable(err));

        const QList<QJsonObject> runs = reportOf(QDir(stateDir.path()).filePath(section + ".json"));
        if (state == "lab2") {
            QCOMPARE(runs.size(), 0); // nothing ran
            return;
        }
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs.constFirst().value("exit_status").toInt(), exitCode);
        QCOMPARE(runs.constFirst().value("fetched").toInt(), exitCode == 0 ? 1 : 0);
        QCOMPARE(QFileInfo::exists(cli.host("lab1/A.DAT")), exitCode == 0);
    }

    // The journal is standard error only where $JOURNAL_STREAM names that very stream: a run handed
    // another one (by a script the service started) writes plain lines and its progress. Side by
    // side, the runs' priorities stand before their names, where the journal reads them.
    void journalOnlyWhereItIs_data()
    {
        QTest::addColumn<QString>("stream"); // "same", "other"
        QTest::addColumn<bool>("parallel");
        QTest::addColumn<QString>("told");
        QTest::addRow("the journal") << "same" << false << "\n<6>orvalt-cli: copied A.DAT (6,000 bytes)\n";
        QTest::addRow("another stream") << "other" << false << "\nprogress: A.DAT  ";
        QTest::addRow("side by side") << "same" << true << "\n<6>a: orvalt-cli: copied A.DAT (6,000 bytes)\n";
    }

    void journalOnlyWhereItIs()
    {
        QFETCH(QString, stream);
        QFETCH(bool, parallel);
        QFETCH(QString, told);
        CliRig cli;
        QVERIFY(cli.isReady());
        InstrumentProcess a({"--baud", "38400"});
        InstrumentProcess b({"--baud", "38400"});
        QVERIFY2(a.isReady() && b.isReady(), qPrintable(a.errorString() + b.errorString()));
        QVERIFY(put(a.mediumDir() + "/A.DAT", bytes(6000, 1), kTaken));
        QVERIFY(put(cli.host("shelf.ini"), shelfOf(a.devicePath(), b.devicePath())));
        const QString journal = cli.host("journal");
        QVERIFY(put(journal, "\n") && put(cli.host("elsewhere"), QByteArray()));
        QProcess process;
        process.setStandardErrorFile(journal, QIODevice::Append); // after its first line end
        // Progress lines asked for, which the journal does without.
        const QStringList arguments =
            parallel ? QStringList{"--progress-lines", "sync", "--parallel", "--instruments", "shelf.ini"}
                     : QStringList{"--progress-lines",
                                   "--device",
                                   a.devicePath(),
                                   "--baud",
                                   "38400",
                                   "sync",
                                   "M:\\",
                                   "card"};
        cli.start(process, arguments,
                  {{"JOURNAL_STREAM", streamOf(stream == "same" ? journal : cli.host("elsewhere"))}});
        const CliResult r = CliRig::finish(process);
        const QString err = readAll(journal);
        QVERIFY2(r.exitCode == 0, qPrintable(show(r) + err));
        QVERIFY2(err.contains(told), qPrintable(err));
        QCOMPARE(err.contains("progress"), stream == "other");
        QCOMPARE(err.contains('<'), stream == "same");
    }

    // The instrument goes away in the middle of a sync: nothing half-fetched lies under a real name,
    // and the next run fetches only what is still missing.
    void pulledCableThenResume()
    {
        CliRig cli;
        QVERIFY(cli.isReady());
        QTemporaryDir media;
        auto instrument = std::make_unique<InstrumentProcess>(QStringList{"--baud", "38400"}, media.path());
        QVERIFY2(instrument->isReady(), qPrintable(instrument->errorString()));
        const QString m = instrument->mediumDir();
        for (const char* name : {"/A.DAT", "/B.DAT", "/C.DAT"})
            QVERIFY(put(m + QLatin1String(name), bytes(8000, name[1]), kTaken));

        QProcess process;
        cli.start(process, {"--device", instrument->devicePath(), "--quiet", "sync", "M:\\", "card"});
        QVERIFY(process.waitForStarted());
        const QString asked =
            QStringLiteral("BLK 3 10 ") + QString::fromLatin1(QByteArray("FRD? B.DAT").toHex());
        QTRY_VERIFY_WITH_TIMEOUT(instrument->transcript().contains(asked), 60000);
        instrument->process().kill();
        CliResult r = CliRig::finish(process);
        QVERIFY2(r.exitCode == 1, show(r));
        const QStringList left = QDir(cli.host("card")).entryList(QDir::Files | QDir::Hidden);
        for (const QString& name : left)
            QCOMPARE(QFileInfo(cli.host("card/" + name)).size(), 8000);
        QVERIFY2(left.size() < 3, qPrintable(left.join(' ')));
        QVERIFY(!left.contains("C.DAT"));

        instrument.reset();
        InstrumentProcess again({}, media.path());
        QVERIFY2(again.isReady(), qPrintable(again.errorString()));
        r = sync(cli, again);
        QVERIFY2(r.exitCode == 0, show(r));
        QVERIFY2(summary(r).startsWith(QStringLiteral("Fetched %1,").arg(3 - left.size())), show(r));
        QCOMPARE(QDir(cli.host("card")).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }
};

ORVALT_TEST(CliSyncTest);

#include "CliSyncTest.moc"
