#pragma once

// A ProgramContext without a window: state and settings in temporary stores, scripted dialogs with
// hooks into the transfer's yields and progress, two panes and the first status panel without a
// view, the host file system, and
// a link opened on the virtual instrument's pseudo-terminal (when one is given).

#include "core/StatusPanel.h"
#include "link/PexLink.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "support/HostFiles.h"
#include "support/InstrumentProcess.h"
#include "support/TempStores.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>

namespace orvalt::test {

// Scripted dialogs that can act in the middle of a transfer: at the n-th yield or at a progress step.
class HookedDialogs : public ScriptedDialogs
{
public:
    void yield() override
    {
        ScriptedDialogs::yield();
        if (onYield)
            onYield(yields);
    }
    void transferProgress(const QString& file, qint64 done, qint64 total) override
    {
        ScriptedDialogs::transferProgress(file, done, total);
        if (onProgress)
            onProgress(done);
    }
    std::function<void(int)> onYield;
    std::function<void(qint64)> onProgress;
};

class TransferRig
{
public:
    explicit TransferRig(InstrumentProcess* instrument = nullptr)
        : m_link([instrument](int) { return instrument ? instrument->devicePath() : QString(); })
        , ctx{{m_stores.state, m_stores.settings, dialogs, m_link}, hostFs, leftPane, rightPane, statusPanel1}
    {
        if (instrument) {
            m_opened = m_link.PexOpen(link::PexOpenRecord{}) == 0 && m_link.PexRetry(1) == 0 &&
                       m_link.PexSetTimeOut(6000) == 0;
        }
        m_stores.state.Connected = m_opened;
    }
    // On a link the test has opened itself (to a crafted instrument over the in-process pipe).
    explicit TransferRig(link::PexLink& opened)
        : ctx{{m_stores.state, m_stores.settings, dialogs, opened}, hostFs, leftPane, rightPane, statusPanel1}
    {
        m_opened = true;
        m_stores.state.Connected = true;
    }

    bool isOpen() const { return m_opened; }
    AppState& state() { return m_stores.state; }
    link::PexLink& link() { return m_link; }

    // Left pane the host and active, right pane the instrument (or as given).
    void panes(const QString& left, const QString& right, bool leftActive = true)
    {
        state().LDevID = left;
        state().RDevID = right;
        state().LActive = leftActive;
        state().RActive = !leftActive;
    }

    // A scratch folder of the host, as a native path and as a host path ("\tmp\...").
    QString native(const QString& name = QString()) const
    {
        return name.isEmpty() ? m_host.path() : QDir(m_host.path()).filePath(name);
    }
    static QString hostPath(const QString& nativePath)
    {
        return QDir::cleanPath(nativePath).replace(QLatin1Char('/'), QLatin1Char('\\'));
    }
    QString host(const QString& name = QString()) const { return hostPath(native(name)); }

    HookedDialogs dialogs;
    PaneModel leftPane;
    PaneModel rightPane;
    StatusPanel statusPanel1;
    HostFs hostFs;

private:
    TempStores m_stores;
    QTemporaryDir m_host;
    link::PexLink m_link;
    bool m_opened = false;

public:
    ProgramContext ctx;
};

inline QByteArray patternBytes(qsizetype size, int seed = 0)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251 + seed) & 0xFF);
    return bytes;
}

// The transcript's lines that record blocks ("BLK kind length hex") and commands ("CMD ...").
inline QStringList linesStarting(const QStringList& transcript, const QString& prefix)
{
    QStringList lines;
    for (const QString& line : transcript)
        if (line.startsWith(prefix))
            lines << line;
    return lines;
}

} // namespace orvalt::test
