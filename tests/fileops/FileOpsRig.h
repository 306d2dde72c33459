#pragma once

// What the file-operation tests share: a program context without a window for the name rules, and
// helpers for driving the real main window against host folders and the virtual instrument.

#include "core/StatusPanel.h"
#include "link/PexLink.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "support/InstrumentProcess.h"
#include "support/PaneRows.h"
#include "support/TempStores.h"
#include "window/frmMain.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QToolBar>

namespace orvalt::test {

// A context for routines that only read the state and ask the dialogs (no panes, no link).
struct NameRig
{
    TempStores s;
    link::PexLink link;
    HostFs hostFs;
    PaneModel left;
    PaneModel right;
    StatusPanel panel;
    ProgramContext ctx{{s.state, s.settings, s.dialogs, link}, hostFs, left, right, panel};

    // The left pane shows the host and has the focus; the right one shows the instrument.
    NameRig()
    {
        s.state.LDevID = QStringLiteral("0");
        s.state.RDevID = QStringLiteral("1");
        s.state.LActive = true;
    }
};

inline void writeFile(const QString& path, qsizetype size = 10)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(QByteArray(size, 'x'));
}

// The pane path of a host folder on the root volume ("/tmp/x" gives "\tmp\x").
inline QString panePathOf(const QString& nativeFolder)
{
    return QDir::cleanPath(nativeFolder).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

inline QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// Stores for the main window: the left pane on a host folder, the right one on the host or on the
// instrument's first medium, Com1 the instrument's pseudo-terminal.
inline void writeStores(TempStores& s, const QString& leftFolder, const QString& rightFolder,
                        const InstrumentProcess* instrument = nullptr, const QByteArray& product = {})
{
    s.quietPanes();
    QFile ini(s.iniPath());
    if (ini.open(QIODevice::WriteOnly)) {
        ini.write("[Settings]\nLDevID=0\nRDevID=" + QByteArray(instrument ? "1" : "0") + "\n[Product]\n" +
                  (product.isEmpty() ? QByteArray("Model=KD7350\nMedium1=INT MEM\nMedium2=Card 1\n"
                                                  "Medium3=Card 2\nMedium4=FD\n")
                                     : product));
        ini.close();
    }
    const QString app = QStringLiteral("orvalt");
    const QString section = QStringLiteral("Settings");
    s.settings.save(app, section, QStringLiteral("Lpath"), panePathOf(leftFolder));
    if (!rightFolder.isEmpty())
        s.settings.save(app, section, QStringLiteral("Rpath"), panePathOf(rightFolder));
    if (instrument) {
        s.settings.save(app, QStringLiteral("Com1"), QStringLiteral("Device"), instrument->devicePath());
        s.settings.save(app, section, QStringLiteral("Rdrive"), QStringLiteral("1"));
        s.settings.save(app, section, QStringLiteral("Rpath"), QStringLiteral("\\"));
    }
}

inline void press(frmMain& w, const QString& key)
{
    for (QAction* a : w.controls().tbToolBar->actions())
        if (a->data().toString() == key)
            a->trigger();
}

} // namespace orvalt::test
