// View of a file on the instrument: read through the receiver into a temporary file that lives as
// long as the viewer, with the progress window and its Cancel, the first 20 MB of a longer file,
// and the link in order afterwards, whatever became of the read.

#include "panes/Endpoint.h"
#include "support/TestMain.h"
#include "transfer/CopyDriver.h"
#include "transfer/CopyWindowRig.h"
#include "viewer/ViewSource.h"
#include "viewer/Viewers.h"
#include "window/frmView.h"

#include <QApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QTest>
#include <QTreeView>

using namespace orvalt;
using test::CopyWindow;
using test::viewers;

namespace {

// The temporary folders views hold now.
QStringList viewFolders()
{
    return QDir(QDir::tempPath())
        .entryList({QStringLiteral("orvalt-view-*")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

Endpoint instrumentFolder(const QString& medium, const QString& folder)
{
    Endpoint e;
    e.host = false;
    e.medium = medium;
    e.folder = folder;
    return e;
}

} // namespace

class ViewFromInstrumentTest : public QObject
{
    Q_OBJECT

private slots:
    // F3 in either of two instrument panes reads the file of that pane's medium and folder; the
    // temporary file goes with the viewer, and nothing lands in a pane's folder.
    void bothPanes()
    {
        CopyWindow rig(QStringLiteral("M"), QStringLiteral("1"));
        QVERIFY(
            test::putFile(rig.path(QStringLiteral("L"), QStringLiteral("DATA/T.CSV")), "A,B\n1,2\n3,4\n"));
        QVERIFY(test::putFile(rig.path(QStringLiteral("R"), QStringLiteral("T.CSV")), "card one\n"));
        QVERIFY(rig.start());
        rig.window->show();
        rig.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
        const QStringList before = viewFolders();
        const QStringList media = test::folderNames(rig.instrument.mediaDir());

        rig.state().Lpath = QStringLiteral("\\DATA");
        rig.renew();
        rig.select(QStringLiteral("L"), {QStringLiteral("T.CSV")});
        rig.select(QStringLiteral("R"), {QStringLiteral("T.CSV")});
        for (const QString& side : {QStringLiteral("L"), QStringLiteral("R")}) {
            QTreeView* list = AppState::isLeft(side) ? rig.window->controls().L_ListView
                                                     : rig.window->controls().lvListView;
            rig.window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
            listFocused(rig.ctx(), side);
            list->setFocus();
            QTest::keyClick(list, Qt::Key_F3);
        }
        QTRY_COMPARE(viewers().size(), 2);
        QStringList seen;
        for (frmView* v : viewers())
            seen << v->document().origin + QLatin1Char('=') + QString::fromLatin1(v->document().bytes);
        seen.sort();
        QCOMPARE(seen, (QStringList{"1:\\T.CSV=card one\n", "M:\\DATA\\T.CSV=A,B\n1,2\n3,4\n"}));
        QCOMPARE(viewFolders().size(), before.size() + 2);
        QVERIFY(rig.dialogs().texts().isEmpty());
        QCOMPARE(rig.dialogs().progressWindow.opened, 2);
        QVERIFY(!rig.dialogs().progressWindow.open);
        QVERIFY(!rig.state().TransferBusy);

        for (frmView* v : viewers())
            v->close();
        QTRY_COMPARE(viewFolders(), before);
        QCOMPARE(test::folderNames(rig.instrument.mediaDir()), media);
    }

    // A file longer than the viewer reads is read from its start only, however long (2^31 bytes
    // and more too); the instrument is let go of the rest, so the next command is answered.
    void firstBytesOfALongFile_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("note");
        QTest::newRow("5,000 bytes") << qint64(5000)
                                     << "The file holds 5,000 bytes; the first 1,000 bytes are shown.";
        QTest::newRow("2 GB") << qint64(2147483648LL)
                              << "The file holds 2,147,483,648 bytes; the first 1,000 bytes are shown.";
        QTest::newRow("as long as read") << qint64(1000) << "";
    }

    void firstBytesOfALongFile()
    {
        QFETCH(qint64, size);
        QFETCH(QString, note);
        CopyWindow rig(QStringLiteral("host"), QStringLiteral("M"));
        QVERIFY(test::putFile(rig.path(QStringLiteral("R"), QStringLiteral("BIG.BIN")), pattern(1000)));
        QVERIFY(test::putFile(rig.path(QStringLiteral("R"), QStringLiteral("NEXT.TXT")), "next"));
        QFile big(rig.path(QStringLiteral("R"), QStringLiteral("BIG.BIN")));
        QVERIFY(big.resize(size)); // beyond the pattern a hole of zeros, which takes no disk space
        QVERIFY(rig.start());
        std::optional<ViewOpened> opened =
            openForView(rig.ctx(), instrumentFolder(QStringLiteral("M:"), QStringLiteral("\\")),
                        QStringLiteral("BIG.BIN"), 1000);
        QVERIFY(opened);
        QCOMPARE(opened->document.bytes, pattern(1000));
        QCOMPARE(opened->document.fileSize, size);
        QCOMPARE(opened->document.notes.join(QLatin1Char('\n')), note);
        QVERIFY(rig.dialogs().texts().isEmpty());
        std::optional<ViewOpened> next =
            openForView(rig.ctx(), instrumentFolder(QStringLiteral("M:"), QStringLiteral("\\")),
                        QStringLiteral("NEXT.TXT"));
        QVERIFY(next);
        QCOMPARE(next->document.bytes, QByteArray("next"));
    }

    // Cancel in the progress window ends the read at once (there is no other file to finish it
    // for): no viewer, nothing said, nothing left; a file changed under the read is told.
    void stoppedOrChanged_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("told");
        QTest::newRow("cancel") << true << "";
        QTest::newRow("changed while read") << false
                                            << "M:\\LOG.TXT cannot be viewed.\nThe instrument broke the file "
                                               "off; it may have changed while it was "
                                               "read. Press View to read it again.";
    }

    void stoppedOrChanged()
    {
        QFETCH(bool, cancel);
        QFETCH(QString, told);
        CopyWindow rig(QStringLiteral("host"), QStringLiteral("M"));
        const QString file = rig.path(QStringLiteral("R"), QStringLiteral("LOG.TXT"));
        // Bytes that do not shrink: the compressed link would otherwise have read the whole file
        // into its first blocks.
        QByteArray noise(300000, '\0');
        QRandomGenerator random(28);
        random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        QVERIFY(test::putFile(file, noise));
        QVERIFY(test::putFile(rig.path(QStringLiteral("R"), QStringLiteral("NEXT.TXT")), "next"));
        QVERIFY(rig.start());
        const QStringList before = viewFolders();
        rig.dialogs().onTransferProgress = [&](const test::ScriptedDialogs::Progress& p) {
            if (p.done < 1000 || p.done > 5000)
                return;
            if (cancel)
                rig.window->dispatcher().dispatch(ToolKeys::Interrupt); // the progress window's Cancel
            else
                QFile(file).resize(2000);
        };
        const Endpoint root = instrumentFolder(QStringLiteral("M:"), QStringLiteral("\\"));
        QVERIFY(!openForView(rig.ctx(), root, QStringLiteral("LOG.TXT")));
        QCOMPARE(rig.dialogs().texts().join(QLatin1Char('|')), told);
        QVERIFY(rig.dialogs().progress.last().done < 300000);
        QCOMPARE(viewFolders(), before);
        QVERIFY(!rig.state().TransferBusy);
        QVERIFY(!rig.state().StopRequested);
        rig.dialogs().onTransferProgress = nullptr;
        std::optional<ViewOpened> next = openForView(rig.ctx(), root, QStringLiteral("NEXT.TXT"));
        QVERIFY(next);
        QCOMPARE(next->document.bytes, QByteArray("next"));
    }

    void notConnected()
    {
        CopyWindow rig(QStringLiteral("host"), QStringLiteral("M"));
        QVERIFY(test::putFile(rig.path(QStringLiteral("R"), QStringLiteral("A.TXT")), "a"));
        QVERIFY(rig.start());
        rig.window->dispatcher().dispatch(ToolKeys::Disconnect);
        rig.dialogs().shown.clear();
        QVERIFY(!openForView(rig.ctx(), instrumentFolder(QStringLiteral("M:"), QStringLiteral("\\")),
                             QStringLiteral("A.TXT")));
        QCOMPARE(rig.dialogs().texts(), QStringList{"It isn't connected"});
    }
};

ORVALT_TEST(ViewFromInstrumentTest);
#include "ViewFromInstrumentTest.moc"
