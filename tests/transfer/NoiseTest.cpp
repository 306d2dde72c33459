// Files of random sizes through the sender and the receiver on a line that damages and loses bytes
// both ways (the virtual instrument's --corrupt and --drop). Every destination is filled with old
// contents first: a transfer that reports success must have delivered the file exactly, and one
// that reports a failure must have left the old contents in place.

#include "TransferRig.h"
#include "link/LinkHarness.h"
#include "support/TestMain.h"
#include "transfer/FileTransfer.h"

#include <QRandomGenerator>
#include <QTest>

using namespace orvalt;
using orvalt::test::InstrumentProcess;
using orvalt::test::readFile;
using orvalt::test::TransferRig;
using orvalt::test::writeFile;

namespace {

QByteArray randomBytes(QRandomGenerator& random, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(random.bounded(256));
    return bytes;
}

QByteArray oldContents(const QString& name)
{
    return QByteArrayLiteral("old contents of ") + name.toLatin1();
}

} // namespace

class NoiseTest : public QObject
{
    Q_OBJECT

private slots:
    // File data may hold bytes that look like the start of a frame. When the real start of an
    // answer is damaged, the reader looks for one inside the data: here it finds a short false
    // frame, whose bad check makes the program repeat at once, and the start of a longer one that
    // would run on into the answer to the repeat and swallow its start. The instrument repeats the
    // same bytes, so unless the repeat starts reading afresh every repeat fails the same way.
    void strayMarkersInADamagedAnswer()
    {
        test::LinkHarness h;
        QByteArray data(256, '\0');
        data.replace(100, 10, QByteArray::fromHex("04a0057878787878 0000"));
        data.replace(200, 3, QByteArray::fromHex("04a040"));
        h.handler.respond = [&data](const link::Request&) {
            link::Answer answer;
            answer.kind = link::Answer::Kind::Block;
            answer.payload = data;
            return answer;
        };
        h.instrumentEnd->flipByteAt(1, 0x80); // the first answer's CTL: a bad header
        h.start();
        qint32 type = 3;
        qint32 length = 4;
        QCOMPARE(h.link.PexSendData(type, length, "DIR?"), 0);
        QByteArray buffer(256, ' ');
        QCOMPARE(h.link.PexReceiveData(type, length, buffer.data(), 256), 0);
        QCOMPARE(buffer, data);
        QCOMPARE(h.handler.requests().size(), 1);
        QVERIFY(h.link.retransmissions() <= 2);
    }

    // The same on the instrument's side: the start of a data block the program sends is damaged,
    // and the instrument's reader runs into the stray frames in its data; it answers every repeat
    // with a Nak. The program lets the line rest so that the instrument drops the stray frame.
    void strayMarkersInADamagedRequest()
    {
        test::LinkHarness h;
        QByteArray data(256, '\0');
        data.replace(100, 10, QByteArray::fromHex("02a0057878787878 0000"));
        data.replace(200, 3, QByteArray::fromHex("02a040"));
        h.hostEnd->flipByteAt(1, 0x80); // the request's CTL: a bad header
        h.start();
        qint32 type = 0;
        qint32 length = 256;
        QCOMPARE(h.link.PexSendData(type, length, data.constData()), 0);
        QByteArray buffer(256, ' ');
        QCOMPARE(h.link.PexReceiveData(type, length, buffer.data(), 256), 0);
        const QList<link::Request> requests = h.handler.requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.constFirst().payload, data);
    }

    // A flipped bit turns the start marker of a repeated request into a line feed. Taken for an
    // empty raw line it would make the instrument forget the last request and carry out the next
    // repeat a second time (a file block stored twice, or the next block of a file read handed out
    // in place of the one that was lost); it is junk, answered with a Nak.
    void junkLineBetweenRepeats()
    {
        test::LinkHarness h;
        h.instrumentEnd->flipByteAt(2, 0x01); // the answer's check: the program repeats at once
        h.hostEnd->flipByteAt(4, 0x08);       // the repeat's marker 0x02 becomes 0x0A
        h.start();
        qint32 type = 4;
        qint32 length = 0;
        QCOMPARE(h.link.PexSendData(type, length, nullptr), 0);
        QByteArray buffer(256, ' ');
        QCOMPARE(h.link.PexReceiveData(type, length, buffer.data(), 256), 0);
        QCOMPARE(h.handler.requests().size(), 1);
    }

    void noisyLineBothWays_data()
    {
        QTest::addColumn<QString>("noise");
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("files");
        QTest::addColumn<bool>("failing");
        // The rate the link is built for; a line ten times worse; and one where most exchanges
        // are damaged eight times in a row, so transfers fail and must leave the old contents.
        QTest::addRow("1e-4") << QStringLiteral("0.0001") << 9u << 20 << false;
        QTest::addRow("1e-3") << QStringLiteral("0.001") << 3u << 4 << false;
        QTest::addRow("1e-2") << QStringLiteral("0.01") << 5u << 3 << true;
    }

    void noisyLineBothWays()
    {
        QFETCH(QString, noise);
        QFETCH(quint32, seed);
        QFETCH(int, files);
        QFETCH(bool, failing);
        InstrumentProcess instrument({QStringLiteral("--corrupt"), noise, QStringLiteral("--drop"), noise,
                                      QStringLiteral("--seed"), QString::number(seed)});
        QVERIFY2(instrument.isReady(), qPrintable(instrument.errorString()));
        TransferRig rig(&instrument);
        QVERIFY(rig.isOpen());
        QRandomGenerator random(seed);
        const QString media = instrument.mediumDir();
        QVERIFY(QDir().mkpath(media));

        int failures = 0;
        int silent = 0;
        int sends = 0;
        QStringList instrumentNames;
        QStringList hostNames;
        for (int i = 0; i < files; ++i) {
            const QByteArray content = randomBytes(random, random.bounded(64 * 1024 + 1));

            // Host to instrument.
            const QString sent = QStringLiteral("S%1.DAT").arg(i, 3, 10, QLatin1Char('0'));
            QVERIFY(writeFile(rig.native(QStringLiteral("out/") + sent), content));
            QVERIFY(writeFile(media + QLatin1Char('/') + sent, oldContents(sent)));
            instrumentNames << sent;
            const qint32 sendResult =
                RmtSendFile(rig.ctx, rig.host(QStringLiteral("out/") + sent), QStringLiteral("M:\\") + sent);
            ++sends;
            const QByteArray there = readFile(media + QLatin1Char('/') + sent);
            if (sendResult == 0) {
                silent += there != content;
                QVERIFY2(there == content, qPrintable(sent));
            } else {
                ++failures;
                QVERIFY2(there == oldContents(sent),
                         qPrintable(QStringLiteral("%1 after %2").arg(sent).arg(sendResult)));
            }

            // Instrument to host.
            const QString received = QStringLiteral("R%1.DAT").arg(i, 3, 10, QLatin1Char('0'));
            QVERIFY(writeFile(media + QLatin1Char('/') + received, content));
            QVERIFY(writeFile(rig.native(QStringLiteral("in/") + received), oldContents(received)));
            instrumentNames << received;
            hostNames << received;
            const qint32 receiveResult = RmtReceiveFile(rig.ctx, QStringLiteral("M:\\") + received,
                                                        rig.host(QStringLiteral("in/") + received));
            const QByteArray here = readFile(rig.native(QStringLiteral("in/") + received));
            if (receiveResult == 0) {
                silent += here != content;
                QVERIFY2(here == content, qPrintable(received));
            } else {
                ++failures;
                QVERIFY2(here == oldContents(received),
                         qPrintable(QStringLiteral("%1 after %2").arg(received).arg(receiveResult)));
            }
        }
        qInfo("%d transfers, %llu retransmissions, %d failures reported, %d silent corruptions", 2 * files,
              static_cast<unsigned long long>(rig.link().retransmissions()), failures, silent);
        QCOMPARE(silent, 0);
        if (failing)
            QVERIFY(failures > 0);
        QVERIFY(rig.link().retransmissions() > 0);

        // No temporary or partial file is left on either side, whatever failed.
        instrumentNames.sort();
        QCOMPARE(QDir(media).entryList(QDir::Files | QDir::Hidden, QDir::Name), instrumentNames);
        QCOMPARE(QDir(rig.native(QStringLiteral("in"))).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 hostNames);
        // Each closing command was carried out once however often it had to be sent (one that was
        // lost on the way every time is missing).
        const qsizetype closings = instrument.transcript().count(QStringLiteral("CMD DUMMY"));
        QVERIFY2(closings <= sends && closings >= sends - failures, qPrintable(QString::number(closings)));
    }
};

ORVALT_TEST(NoiseTest);
#include "NoiseTest.moc"
