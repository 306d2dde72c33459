#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace orvalt::test {

// Runs the virtual instrument (ORVALT_INSTRUMENT_PATH) for a test: on a fresh temporary media folder
// or a given one, with extra arguments, recording a transcript unless the arguments name one.
// Construction waits for the pseudo-terminal's path on the instrument's first output line; the
// destructor stops it with SIGTERM.
class InstrumentProcess
{
public:
    explicit InstrumentProcess(const QStringList& arguments = {}, const QString& mediaDir = {});
    ~InstrumentProcess();
    InstrumentProcess(const InstrumentProcess&) = delete;
    InstrumentProcess& operator=(const InstrumentProcess&) = delete;

    // True once the instrument runs and has told its device.
    bool isReady() const { return !m_devicePath.isEmpty() && m_process.state() == QProcess::Running; }
    QString errorString() const { return m_error; }

    // The pseudo-terminal to open (or the --device given).
    QString devicePath() const { return m_devicePath; }
    QString mediaDir() const { return m_mediaDir; }
    // The folder of one medium, by the letter of its medium code ("M", "1", "2", "D", ...).
    QString mediumDir(const QString& letter = QStringLiteral("M")) const;
    QString transcriptPath() const { return m_transcriptPath; }
    // The transcript's lines so far ("CMD ...", "RAW ...", "BLK type length hex").
    QStringList transcript() const;

    // SIGTERM, then waits; true when the instrument ended by itself with exit code 0.
    bool stop(int timeoutMs = 10000);
    QProcess& process() { return m_process; }

private:
    QTemporaryDir m_temp;
    QString m_mediaDir;
    QString m_devicePath;
    QString m_transcriptPath;
    QString m_error;
    QProcess m_process;
};

} // namespace orvalt::test
