#pragma once

// What the benchmarks share: a dialog seam that answers nothing and shows nothing, and the
// virtual instrument started on a pseudo-terminal.

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/Settings.h"
#include "core/StatusPanel.h"
#include "link/PexLink.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <sys/resource.h>

namespace orvalt::bench {

class QuietDialogs : public DialogSeam
{
public:
    Button message(const QString& text, Buttons, Icon, Button, const QString&) override
    {
        lastMessage = text;
        return Button::Ok;
    }
    int overwriteQuestion(const QString&, const QString&, const QString&) override { return 0; }
    int nameDialog(const NameDialogView&, QString&, const std::function<bool(const QString&)>&) override
    {
        return 3;
    }
    void transferProgress(const QString&, qint64, qint64) override {}
    void setBusyPointer(bool) override {}
    void yield() override { QCoreApplication::processEvents(); }

    QString lastMessage;
};

// The virtual instrument serving media on a fresh pseudo-terminal; stopped when this goes.
class Instrument
{
public:
    Instrument(const QString& media, const QStringList& extra = {})
    {
        m_process.start(QStringLiteral(ORVALT_INSTRUMENT_PATH),
                        QStringList{QStringLiteral("--media"), media} + extra);
        if (m_process.waitForReadyRead(10000))
            m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~Instrument()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    QString device() const { return m_device; }

private:
    QProcess m_process;
    QString m_device;
};

// The program's state, settings, panes and host file system around a link, as the sender and the
// receiver see them in the window, with the benchmark's own dialog seam.
struct ProgramRig
{
    ProgramRig(DialogSeam& dialogs, link::PexLink& link, const QString& folder)
        : settings(ProgramPaths{folder, QStringLiteral("bench")}, dialogs, folder)
        , ctx{{state, settings, dialogs, link}, fs, left, right, panel}
    {}

    AppState state;
    Settings settings;
    PaneModel left;
    PaneModel right;
    StatusPanel panel;
    HostFs fs;
    ProgramContext ctx;
};

// The most memory this process has held so far, in kilobytes.
inline long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace orvalt::bench
