// The instrument goes away in the middle of an exchange (its process killed or terminated, as when
// the cable is pulled or the instrument switched off): the call in hand fails, no partial file is
// left on either side, and Connection works again once an instrument is back on the same line.
// Also the link's idle hook, which lets the window repaint while a call waits for an answer.

#include "TransferRig.h"
#include "core/StatusPanel.h"
#include "panes/ConnectActions.h"
#include "panes/PaneModel.h"
#include "panes/RemoteListing.h"
#include "session/CommandExchange.h"
#include "support/PipeTransport.h"
#include "support/TestMain.h"
#include "transfer/FileTransfer.h"

#include <QTest>
#include <csignal>
#include <memory>

using namespace orvalt;
using orvalt::test::HookedDialogs;
using orvalt::test::InstrumentProcess;
using orvalt::test::patternBytes;
using orvalt::test::readFile;
using orvalt::test::writeFile;

namespace {

enum class Operation
{
    Send,
    Receive,
    Listing
};

QString hostPath(const QString& native)
{
    return QDir::cleanPath(native).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

// A program without a window whose port is a fixed path, where each new instrument makes its
// pseudo-terminal appear (--link), as a serial port stays where it is when the cable is plugged
// back in. The media folder outlives the instruments.
class CableRig
{
public:
    CableRig()
        : m_link([this](int) { return m_dir.filePath(QStringLiteral("line")); })
        , ctx{{m_stores.state, m_stores.settings, dialogs, m_link}, hostFs, left, right, panel}
    {
        QDir().mkpath(media());
        QDir().mkpath(host());
        m_stores.state.Interactive = true;
    }

    bool plugIn()
    {
        // The old instrument goes first: ending, it takes its --link away.
        instrument.reset();
        instrument = std::make_unique<InstrumentProcess>(
            QStringList{QStringLiteral("--link"), m_dir.filePath(QStringLiteral("line"))},
            m_dir.filePath(QStringLiteral("media")));
        return instrument->isReady();
    }

    // Ends the instrument and waits until it is gone, so nothing it might still answer can race
    // with the test. SIGSTOP leaves the line open and silent, as a pulled cable does; the call
    // returns once the instrument has stopped.
    void pull(int signal)
    {
        const auto pid = static_cast<pid_t>(instrument->process().processId());
        ::kill(pid, signal);
        if (signal != SIGSTOP) {
            instrument->process().waitForFinished(10000);
            return;
        }
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        for (int i = 0; i < 200; ++i) {
            stat.open(QIODevice::ReadOnly);
            const QByteArray fields = stat.readAll();
            stat.close();
            if (fields.mid(fields.lastIndexOf(')') + 2, 1) == "T")
                return;
            QTest::qWait(10);
        }
    }

    QString media() const { return m_dir.filePath(QStringLiteral("media/M")); }
    QString host() const { return m_dir.filePath(QStringLiteral("host")); }

    HookedDialogs dialogs;
    PaneModel left;
    PaneModel right;
    StatusPanel panel;
    HostFs hostFs;
    std::unique_ptr<InstrumentProcess> instrument;

private:
    QTemporaryDir m_dir;
    test::TempStores m_stores;
    link::PexLink m_link;

public:
    ProgramContext ctx;
};

} // namespace

class PulledCableTest : public QObject
{
    Q_OBJECT

private slots:
    void instrumentEndsMidExchange_data()
    {
        QTest::addColumn<int>("operationNumber");
        QTest::addColumn<int>("signal");
        const std::pair<const char*, Operation> operations[] = {
            {"file to the instrument", Operation::Send},
            {"file from the instrument", Operation::Receive},
            {"listing", Operation::Listing}};
        for (const auto& [name, operation] : operations) {
            QTest::addRow("%s, SIGKILL", name) << static_cast<int>(operation) << int{SIGKILL};
            QTest::addRow("%s, SIGTERM", name) << static_cast<int>(operation) << int{SIGTERM};
            QTest::addRow("%s, SIGSTOP", name) << static_cast<int>(operation) << int{SIGSTOP};
        }
    }

    void instrumentEndsMidExchange()
    {
        QFETCH(int, operationNumber);
        QFETCH(int, signal);
        const auto operation = static_cast<Operation>(operationNumber);
        CableRig rig;
        QVERIFY(rig.plugIn());
        Connect(rig.ctx);
        QVERIFY(rig.ctx.state.Connected);
        QCOMPARE(rig.ctx.link.PexSetTimeOut(1000), 0); // a silent line costs the time-out

        const QByteArray content = patternBytes(64 * 1024, 5);
        const QByteArray old("old contents");
        const QString hostFile = QDir(rig.host()).filePath(QStringLiteral("F.DAT"));
        const QString remoteFile = QStringLiteral("M:\\F.DAT");
        const QString instrumentFile = QDir(rig.media()).filePath(QStringLiteral("F.DAT"));
        QVERIFY(writeFile(operation == Operation::Send ? hostFile : instrumentFile, content));
        QVERIFY(writeFile(operation == Operation::Send ? instrumentFile : hostFile, old));
        // The listing compresses about ten times, and the requests sent ahead bring several blocks
        // at once: it must be long enough that the pull comes before its last block has arrived.
        const int listed = operation == Operation::Listing ? 3000 : 300;
        for (int i = 0; i < listed; ++i)
            QVERIFY(writeFile(QDir(rig.media()).filePath(QStringLiteral("LISTED%1.TXT").arg(i)), "x"));

        bool pulled = false;
        auto pullOnce = [&] {
            if (!pulled) {
                pulled = true;
                rig.pull(signal);
            }
        };
        rig.dialogs.onProgress = [&](qint64 done) {
            if (done >= 16 * 1024)
                pullOnce();
        };
        auto run = [&](qint32* listingResult) -> qint32 {
            switch (operation) {
            case Operation::Send:
                return RmtSendFile(rig.ctx, hostPath(hostFile), remoteFile);
            case Operation::Receive:
                return RmtReceiveFile(rig.ctx, remoteFile, hostPath(hostFile));
            case Operation::Listing:
                break;
            }
            const QString listing = DirList(rig.ctx, QString(), listingResult);
            return listing.count(QLatin1String("LISTED"));
        };

        QCOMPARE(SendCmd(rig.ctx.state, rig.ctx.link, rig.dialogs, QStringLiteral("CDR /")), 0);
        const int yieldsBefore = rig.dialogs.yields;
        rig.dialogs.onYield = [&](int yields) {
            if (operation == Operation::Listing && yields - yieldsBefore >= 10)
                pullOnce();
        };
        qint32 listingResult = 0;
        const qint32 result = run(&listingResult);
        QVERIFY(pulled);
        if (operation == Operation::Listing) {
            // Some entries arrived, not all, and the listing says it is incomplete.
            QVERIFY2(result > 0 && result < listed, qPrintable(QString::number(result)));
            QVERIFY(listingResult != 0);
        } else {
            QVERIFY(result != 0);
        }
        rig.dialogs.onYield = nullptr;
        rig.dialogs.onProgress = nullptr;
        if (signal == SIGSTOP) {
            // The instrument wakes and takes what waited on the line. After the time-out the
            // sender asked nothing more: "DUMMY" would have cost a second time-out.
            ::kill(static_cast<pid_t>(rig.instrument->process().processId()), SIGCONT);
            QCOMPARE(SendCmd(rig.ctx.state, rig.ctx.link, rig.dialogs, QStringLiteral("STS?")), 0);
            QVERIFY(!rig.instrument->transcript().contains(QStringLiteral("CMD DUMMY")));
        }

        // The destination keeps what it had, and nothing half-written lies beside it. A killed
        // instrument cannot clean up its own side; its half-written file never takes the name.
        const QString destination = operation == Operation::Send ? instrumentFile : hostFile;
        if (operation != Operation::Listing)
            QCOMPARE(readFile(destination), old);
        QCOMPARE(QDir(rig.host()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("F.DAT")});
        if (signal == SIGTERM)
            QCOMPARE(QDir(rig.media()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("F.DAT")),
                     QStringList{QStringLiteral("F.DAT")});

        // The instrument is back on the same line: Connection opens the port again and the same
        // exchange goes through.
        QVERIFY(rig.plugIn());
        Connect(rig.ctx);
        QVERIFY(rig.ctx.state.Connected);
        QCOMPARE(SendCmd(rig.ctx.state, rig.ctx.link, rig.dialogs, QStringLiteral("CDR /")), 0);
        listingResult = -99;
        const qint32 again = run(&listingResult);
        if (operation == Operation::Listing) {
            QCOMPARE(again, listed);
            QCOMPARE(listingResult, 0);
        } else {
            QCOMPARE(again, 0);
            QCOMPARE(readFile(destination), content);
        }
    }

    // A peer that never answers: the call waits out its time-out, and the hook runs all along.
    // The hook may close the link (the window closes); any other call from it is refused.
    void idleHookRunsWhileWaiting_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<qint32>("expected");
        QTest::addRow("only repaints") << QStringLiteral("none") << link::PexResult::TimeOut;
        QTest::addRow("closes the link") << QStringLiteral("close") << link::PexResult::NotOpen;
        QTest::addRow("calls the link again") << QStringLiteral("reenter") << link::PexResult::TimeOut;
    }

    void idleHookRunsWhileWaiting()
    {
        QFETCH(QString, action);
        QFETCH(qint32, expected);
        auto [near, far] = test::PipeTransport::createPair();
        link::PexLink pex;
        pex.attach(*near);
        QCOMPARE(pex.PexSetTimeOut(400), 0);
        int calls = 0;
        qint32 inner = -1;
        pex.setIdleHook([&] {
            ++calls;
            if (action == QLatin1String("close")) {
                pex.PexClose();
            } else if (action == QLatin1String("reenter") && inner < 0) {
                QByteArray reply(255, ' ');
                inner = pex.PexSendCommand("STS?", reply);
            }
        });
        QByteArray reply(255, ' ');
        QCOMPARE(pex.PexSendCommand("STS?", reply), expected);
        QVERIFY(calls > 0);
        if (action == QLatin1String("close")) {
            QCOMPARE(calls, 1);
            QCOMPARE(pex.PexSendCommand("STS?", reply), link::PexResult::NotOpen);
        } else if (action == QLatin1String("reenter")) {
            QCOMPARE(inner, link::PexResult::BadArgument);
        }
        // Only the one request went out (and its silent repeat): the refused call sent nothing.
        link::FrameDecoder decoder;
        int requests = 0;
        for (QByteArray bytes = far->read(0); !bytes.isEmpty(); bytes = far->read(0))
            for (const link::FrameDecoder::Event& event : decoder.feed(bytes))
                requests += event.type == link::FrameDecoder::Event::Type::Frame;
        QCOMPARE(requests, action == QLatin1String("close") ? 1 : 2);
    }
};

ORVALT_TEST(PulledCableTest);
#include "PulledCableTest.moc"
