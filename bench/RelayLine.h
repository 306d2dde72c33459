#pragma once

// The line the throughput benchmarks measure on: two pseudo-terminals joined by the paced relay
// (bench/PacedRelay.h), with the virtual instrument serving one end (--device) and the program, or
// ZMODEM's sz and rz, on the ends. Every row of a table runs on a line of its own, built alike.

#include "bench/PacedRelay.h"
#include "link/PexLink.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <memory>

namespace orvalt::bench {

struct LineConditions
{
    double bytesPerSecond = 11520.0; // 115200 baud, 8N1
    double noise = 0.0;              // probability of a damaged byte each way (half lost, half flipped)
    std::chrono::microseconds oneWay{0};
};

class RelayLine
{
public:
    explicit RelayLine(const LineConditions& conditions)
    {
        if (!openPty(m_a) || !openPty(m_b))
            return;
        m_relay = std::make_unique<PacedRelay>(m_a.master, m_b.master, conditions.bytesPerSecond,
                                               conditions.noise, conditions.oneWay);
    }
    ~RelayLine()
    {
        if (m_relay)
            m_relay->stop();
        closePty(m_a);
        closePty(m_b);
    }
    RelayLine(const RelayLine&) = delete;
    RelayLine& operator=(const RelayLine&) = delete;

    bool isOpen() const { return m_relay != nullptr; }
    QString endA() const { return m_a.path; }
    QString endB() const { return m_b.path; }
    PacedRelay* relay() { return m_relay.get(); }

private:
    Pty m_a;
    Pty m_b;
    std::unique_ptr<PacedRelay> m_relay;
};

// The virtual instrument serving one end of a line, with four empty media.
class LineInstrument
{
public:
    LineInstrument(const QString& device, const QStringList& extra)
    {
        for (const char* medium : {"M", "1", "2", "D"})
            QDir(m_media.path()).mkpath(QLatin1String(medium));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(
            QStringLiteral(ORVALT_INSTRUMENT_PATH),
            QStringList{QStringLiteral("--media"), m_media.path(), QStringLiteral("--device"), device} +
                extra);
        m_process.waitForStarted(10000);
    }
    ~LineInstrument()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }
    QString media() const { return m_media.path(); }
    QString mediumFile(const QString& name) const { return m_media.filePath(QStringLiteral("M/") + name); }

private:
    QTemporaryDir m_media;
    QProcess m_process;
};

// Opens the link at 115200 baud on a device and waits until the instrument answers.
inline bool openLink(link::PexLink& link)
{
    link::PexOpenRecord record;
    record.baud = 4; // 115200
    if (link.PexOpen(record) != 0 || link.PexRetry(1) != 0 || link.PexSetTimeOut(6000) != 0)
        return false;
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        QByteArray reply(255, ' ');
        link.PexSetTimeOut(500);
        const qint32 result = link.PexSendCommand("STS?", reply);
        link.PexSetTimeOut(6000);
        if (result == 0)
            return true;
    }
    return false;
}

struct ZmodemRun
{
    double seconds = 0;
    bool ok = false;
    QString note;
};

// sz sends the files (paths relative to from) to rz, which writes them into into, over a line of
// its own with the given conditions. The time runs from the start until sz has ended, that is until
// its last acknowledgement came.
inline ZmodemRun runZmodem(const QString& from, const QStringList& files, const QString& into,
                           const LineConditions& conditions, qint64 payloadBytes)
{
    ZmodemRun run;
    RelayLine line(conditions);
    if (!line.isOpen()) {
        run.note = QStringLiteral("no pseudo-terminal");
        return run;
    }
    QProcess receiver;
    receiver.setWorkingDirectory(into);
    receiver.setStandardInputFile(line.endB());
    receiver.setStandardOutputFile(line.endB());
    receiver.setStandardErrorFile(QProcess::nullDevice());
    QProcess sender;
    sender.setWorkingDirectory(from);
    sender.setStandardInputFile(line.endA());
    sender.setStandardOutputFile(line.endA());
    sender.setStandardErrorFile(QProcess::nullDevice());

    QElapsedTimer timer;
    timer.start();
    receiver.start(QStringLiteral("rz"), {QStringLiteral("-b"), QStringLiteral("-y")});
    sender.start(QStringLiteral("sz"), QStringList{QStringLiteral("-b")} + files);
    const int limitMs = static_cast<int>(payloadBytes / conditions.bytesPerSecond * 1000 * 4 + 30000);
    const bool done = sender.waitForFinished(limitMs);
    run.seconds = timer.nsecsElapsed() / 1e9;
    const bool receiverEnded = receiver.waitForFinished(10000);
    if (!done || !receiverEnded) {
        sender.kill();
        receiver.kill();
        sender.waitForFinished();
        receiver.waitForFinished();
    }
    run.ok = done && sender.exitCode() == 0;
    for (const QString& file : files) {
        QFile sent(QDir(from).filePath(file));
        QFile got(QDir(into).filePath(QFileInfo(file).fileName()));
        if (!run.ok || !sent.open(QIODevice::ReadOnly) || !got.open(QIODevice::ReadOnly) ||
            sent.readAll() != got.readAll()) {
            run.ok = false;
            break;
        }
    }
    if (!run.ok)
        run.note = done ? QStringLiteral("sz %1, rz %2, or files differ")
                              .arg(sender.exitCode())
                              .arg(receiver.exitCode())
                        : QStringLiteral("did not finish");
    return run;
}

} // namespace orvalt::bench
