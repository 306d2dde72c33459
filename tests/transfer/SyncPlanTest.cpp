// What sync plans for each name of an instrument folder and the host folder beside it: every guard of
// --delete and --remove-source, names that differ only in case, links and special files on the host.

#include "transfer/SyncPlan.h"

#include "support/TestMain.h"

#include <QTest>

using namespace orvalt;

namespace {

const QString kWhen = QStringLiteral("2023/06/01 09:30:15");

// "NAME SIZE [DATE TIME]" for a file (no date: one the listing gives undated), "NAME/" for a folder.
ListingEntry remoteOf(const QString& text)
{
    const QStringList f = text.split(QLatin1Char(' '));
    ListingEntry e;
    e.name = f.at(0);
    if (e.name.endsWith(QLatin1Char('/'))) {
        e.name.chop(1);
        e.folder = true;
        return e;
    }
    e.sizeField = f.value(1);
    e.dateField = f.size() > 3 ? f.at(2) : QStringLiteral("0000/00/00");
    e.timeField = f.size() > 3 ? f.at(3) : QStringLiteral("00:00:00");
    return e;
}

// "NAME KIND [SIZE [DATE TIME]]", KIND f (file), d (folder), l (link), o (FIFO, device), with "m"
// after it for one --remove-source brought home.
SyncHostEntry hostOf(const QString& text)
{
    const QStringList f = text.split(QLatin1Char(' '));
    SyncHostEntry e;
    e.name = f.at(0);
    const QString kind = f.value(1);
    e.kind = kind.startsWith(QLatin1Char('d'))   ? SyncHostKind::Folder
             : kind.startsWith(QLatin1Char('l')) ? SyncHostKind::Link
             : kind.startsWith(QLatin1Char('o')) ? SyncHostKind::Other
                                                 : SyncHostKind::File;
    // "m" after the kind: brought home by --remove-source.
    e.movedHome = kind.endsWith(QLatin1Char('m'));
    e.size = f.value(2).toLongLong();
    e.modified = QDateTime::fromString(f.value(3, kWhen.section(QLatin1Char(' '), 0, 0)) + QLatin1Char(' ') +
                                           f.value(4, kWhen.section(QLatin1Char(' '), 1, 1)),
                                       QStringLiteral("yyyy/MM/dd hh:mm:ss"));
    return e;
}

QString actionText(SyncAction a)
{
    switch (a) {
    case SyncAction::Fetch:
        return QStringLiteral("fetch");
    case SyncAction::Current:
        return QStringLiteral("current");
    case SyncAction::Descend:
        return QStringLiteral("descend");
    case SyncAction::Conflict:
        return QStringLiteral("conflict");
    case SyncAction::Delete:
        return QStringLiteral("delete");
    case SyncAction::Keep:
        return QStringLiteral("keep");
    }
    return QString();
}

QString reasonText(SyncReason r)
{
    switch (r) {
    case SyncReason::None:
        return QString();
    case SyncReason::New:
        return QStringLiteral("/new");
    case SyncReason::Size:
        return QStringLiteral("/size");
    case SyncReason::Date:
        return QStringLiteral("/date");
    case SyncReason::HostCopy:
        return QStringLiteral("/host-copy");
    case SyncReason::FolderOnHost:
        return QStringLiteral("/folder-on-host");
    case SyncReason::FileOnHost:
        return QStringLiteral("/file-on-host");
    case SyncReason::HostLink:
        return QStringLiteral("/link");
    case SyncReason::HostSpecial:
        return QStringLiteral("/special");
    case SyncReason::CaseCollision:
        return QStringLiteral("/case");
    case SyncReason::NotDeleted:
        return QStringLiteral("/not-deleted");
    case SyncReason::MovedHome:
        return QStringLiteral("/moved-home");
    }
    return QString();
}

// "HOSTNAME action[/reason][ both][ remove]"
QString stepText(const SyncStep& s)
{
    QString text = s.hostName + QLatin1Char(' ') + actionText(s.action) + reasonText(s.reason);
    if (s.keepBoth)
        text += QStringLiteral(" both");
    if (s.removeAfter)
        text += QStringLiteral(" remove");
    return text;
}

} // namespace

class SyncPlanTest : public QObject
{
    Q_OBJECT

private slots:
    void plan_data()
    {
        QTest::addColumn<QStringList>("remote");
        QTest::addColumn<QStringList>("host");
        QTest::addColumn<QString>("options"); // "delete", "remove", "cut" (the listing came back cut short)
        QTest::addColumn<QStringList>("steps");

        const QString file = QStringLiteral("A.DAT 300 ") + kWhen;
        QTest::addRow("new") << QStringList{file} << QStringList() << QString()
                             << QStringList{"A.DAT fetch/new"};
        QTest::addRow("current") << QStringList{file} << QStringList{"A.DAT f 300"} << QString()
                                 << QStringList{"A.DAT current"};
        QTest::addRow("size differs") << QStringList{file} << QStringList{"A.DAT f 301"} << QString()
                                      << QStringList{"A.DAT fetch/size"};
        QTest::addRow("a second later") << QStringList{file} << QStringList{"A.DAT f 300 2023/06/01 09:30:16"}
                                        << QString() << QStringList{"A.DAT fetch/date"};
        // Undated on the instrument: the size alone can tell, so an equal size is current.
        QTest::addRow("undated, same size") << QStringList{"A.DAT 300"} << QStringList{"A.DAT f 300"}
                                            << QString() << QStringList{"A.DAT current"};
        QTest::addRow("size not a number") << QStringList{"A.DAT ?? " + kWhen} << QStringList{"A.DAT f 300"}
                                           << QString() << QStringList{"A.DAT fetch/size"};

        // --delete, and the listing cut short that stops it.
        QTest::addRow("extra kept") << QStringList() << QStringList{"OLD.DAT f 3"} << QString()
                                    << QStringList{"OLD.DAT keep/not-deleted"};
        QTest::addRow("extra deleted")
            << QStringList() << QStringList{"OLD.DAT f 3"} << "delete" << QStringList{"OLD.DAT delete"};
        QTest::addRow("listing cut short")
            << QStringList() << QStringList{"OLD.DAT f 3", "OLDDIR d"} << "delete cut"
            << QStringList{"OLD.DAT keep/not-deleted", "OLDDIR keep/not-deleted"};
        // What --remove-source brought home is gone from the instrument because it came home.
        QTest::addRow("moved home kept")
            << QStringList() << QStringList{"DATA001.CSV fm 3", "OLD.DAT f 3"} << "delete"
            << QStringList{"DATA001.CSV keep/moved-home", "OLD.DAT delete"};
        QTest::addRow("moved home, a later file of its name")
            << QStringList{file} << QStringList{"A.DAT fm 12"} << QString()
            << QStringList{"A.DAT fetch/host-copy both"};
        QTest::addRow("moved home, the same file")
            << QStringList{file} << QStringList{"A.DAT fm 300"} << QString() << QStringList{"A.DAT current"};
        QTest::addRow("extra link deleted itself")
            << QStringList() << QStringList{"archive l"} << "delete" << QStringList{"archive delete"};

        // --remove-source: only what this run fetches goes, and never over a host file.
        QTest::addRow("remove: new") << QStringList{file} << QStringList() << "remove"
                                     << QStringList{"A.DAT fetch/new remove"};
        QTest::addRow("remove: same size and date")
            << QStringList{file} << QStringList{"A.DAT f 300"} << "remove"
            << QStringList{"A.DAT fetch/host-copy both remove"};
        QTest::addRow("remove: undated, same size")
            << QStringList{"A.DAT 300"} << QStringList{"A.DAT f 300"} << "remove"
            << QStringList{"A.DAT fetch/host-copy both remove"};
        QTest::addRow("remove: other contents, other case")
            << QStringList{file} << QStringList{"a.dat f 12"} << "remove"
            << QStringList{"a.dat fetch/host-copy both remove"};
        QTest::addRow("remove: folder never removed")
            << QStringList{"SUB/"} << QStringList{"SUB d"} << "remove" << QStringList{"SUB descend"};
        QTest::addRow("remove: current without it")
            << QStringList{file} << QStringList{"A.DAT f 300"} << QString() << QStringList{"A.DAT current"};

        // Names that differ only in case.
        QTest::addRow("exact case preferred") << QStringList{file} << QStringList{"A.DAT f 300", "a.dat f 9"}
                                              << "delete" << QStringList{"A.DAT current", "a.dat keep/case"};
        QTest::addRow("exact case preferred, listed last")
            << QStringList{file} << QStringList{"a.dat f 9", "A.DAT f 300"} << "delete"
            << QStringList{"A.DAT current", "a.dat keep/case"};
        QTest::addRow("no exact case: collision")
            << QStringList{file} << QStringList{"a.dat f 9", "A.dat f 300"} << "delete"
            << QStringList{"A.DAT conflict/case", "a.dat keep/case", "A.dat keep/case"};
        QTest::addRow("one match in another case")
            << QStringList{file} << QStringList{"a.dat f 300"} << "delete" << QStringList{"a.dat current"};
        QTest::addRow("two instrument names in one case")
            << QStringList{file, "a.dat 5 " + kWhen} << QStringList() << QString()
            << QStringList{"A.DAT fetch/new", "a.dat conflict/case"};

        // What stands on the host under the name.
        QTest::addRow("link where a folder is")
            << QStringList{"SUB/"} << QStringList{"SUB l"} << "delete" << QStringList{"SUB conflict/link"};
        QTest::addRow("link where a file is")
            << QStringList{file} << QStringList{"A.DAT l"} << "remove" << QStringList{"A.DAT conflict/link"};
        QTest::addRow("FIFO where a file is") << QStringList{file} << QStringList{"A.DAT o"} << QString()
                                              << QStringList{"A.DAT conflict/special"};
        QTest::addRow("folder where a file is") << QStringList{file} << QStringList{"A.DAT d"} << QString()
                                                << QStringList{"A.DAT conflict/folder-on-host"};
        QTest::addRow("file where a folder is") << QStringList{"SUB/"} << QStringList{"SUB f 1"} << "delete"
                                                << QStringList{"SUB conflict/file-on-host"};
    }

    void plan()
    {
        QFETCH(QStringList, remote);
        QFETCH(QStringList, host);
        QFETCH(QString, options);
        QFETCH(QStringList, steps);
        QList<ListingEntry> r;
        for (const QString& t : remote)
            r.append(remoteOf(t));
        QList<SyncHostEntry> h;
        for (const QString& t : host)
            h.append(hostOf(t));
        SyncOptions o;
        o.deleteExtra = options.contains(QLatin1String("delete"));
        o.removeSource = options.contains(QLatin1String("remove"));
        o.listingComplete = !options.contains(QLatin1String("cut"));
        QStringList got;
        for (const SyncStep& s : planSync(r, h, o))
            got << stepText(s);
        QCOMPARE(got, steps);
    }

    void besideName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("beside");
        QTest::addRow("first free") << "DATA001.CSV" << QStringList() << "DATA001 (2).CSV";
        QTest::addRow("next free") << "DATA001.CSV" << QStringList{"DATA001 (2).CSV"} << "DATA001 (3).CSV";
        QTest::addRow("no extension") << "TRACE" << QStringList() << "TRACE (2)";
        QTest::addRow("last extension") << "A.TAR.GZ" << QStringList() << "A.TAR (2).GZ";
        QTest::addRow("leading dot") << ".HIDDEN" << QStringList() << ".HIDDEN (2)";
        QTest::addRow("percent in the name") << "%1.CSV" << QStringList() << "%1 (2).CSV";
    }

    void besideName()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, taken);
        QFETCH(QString, beside);
        QCOMPARE(orvalt::besideName(name, [&](const QString& n) { return taken.contains(n); }), beside);
    }

    void besideNameGivesUp()
    {
        QVERIFY(orvalt::besideName(QStringLiteral("A.DAT"), [](const QString&) { return true; }).isEmpty());
    }
};

ORVALT_TEST(SyncPlanTest);

#include "SyncPlanTest.moc"
