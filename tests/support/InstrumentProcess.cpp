#include "support/InstrumentProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

namespace orvalt::test {

namespace {
constexpr int kStartMs = 15000;

QString valueOf(const QStringList& arguments, const QString& option)
{
    const qsizetype at = arguments.indexOf(option);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
}
} // namespace

InstrumentProcess::InstrumentProcess(const QStringList& arguments, const QString& mediaDir)
{
    m_mediaDir = mediaDir.isEmpty() ? m_temp.filePath(QStringLiteral("media")) : mediaDir;
    QStringList all{QStringLiteral("--media"), m_mediaDir};
    m_transcriptPath = valueOf(arguments, QStringLiteral("--transcript"));
    if (m_transcriptPath.isEmpty()) {
        m_transcriptPath = m_temp.filePath(QStringLiteral("transcript.txt"));
        all << QStringLiteral("--transcript") << m_transcriptPath;
    }
    all << arguments;

    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(ORVALT_INSTRUMENT_PATH), all);
    if (!m_process.waitForStarted(kStartMs)) {
        m_error = QStringLiteral("cannot start the instrument: %1").arg(m_process.errorString());
        return;
    }
    const QString device = valueOf(arguments, QStringLiteral("--device"));
    if (!device.isEmpty()) {
        m_devicePath = device; // a served device prints nothing
        return;
    }
    const QDeadlineTimer deadline(kStartMs);
    while (!m_process.canReadLine() && m_process.state() == QProcess::Running && !deadline.hasExpired())
        m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(deadline.remainingTime(), 1)));
    if (!m_process.canReadLine()) {
        m_error = QStringLiteral("the instrument told no device (exit code %1)").arg(m_process.exitCode());
        return;
    }
    m_devicePath = QString::fromLocal8Bit(m_process.readLine()).trimmed();
}

InstrumentProcess::~InstrumentProcess()
{
    if (m_process.state() != QProcess::NotRunning && !stop()) {
        m_process.kill();
        m_process.waitForFinished(kStartMs);
    }
}

QString InstrumentProcess::mediumDir(const QString& letter) const
{
    return QDir(m_mediaDir).filePath(letter);
}

QStringList InstrumentProcess::transcript() const
{
    QFile file(m_transcriptPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool InstrumentProcess::stop(int timeoutMs)
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    m_process.terminate(); // SIGTERM
    if (!m_process.waitForFinished(timeoutMs))
        return false;
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

} // namespace orvalt::test
