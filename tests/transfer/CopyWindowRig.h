#pragma once

// The real main window, headless, with each pane on a host folder of its own or on a medium of the
// virtual instrument, for the copy actions end to end.

#include "panes/HostListing.h"
#include "panes/Navigation.h"
#include "panes/PaneModel.h"
#include "support/InstrumentProcess.h"
#include "support/PaneRows.h"
#include "support/TempStores.h"
#include "window/ActivePane.h"
#include "window/Toolbar.h"
#include "window/frmMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

namespace orvalt::test {

class CopyWindow
{
public:
    // left and right: "host", or the letter of an instrument medium ("M" INT MEM, "1" Card 1).
    CopyWindow(const QString& left, const QString& right, const QStringList& instrumentArguments = {})
        : instrument(instrumentArguments)
        , m_left(left)
        , m_right(right)
    {
        QDir().mkpath(hostDir(QStringLiteral("L")));
        QDir().mkpath(hostDir(QStringLiteral("R")));
        QFile ini(stores.iniPath());
        if (ini.open(QIODevice::WriteOnly)) {
            ini.write(QStringLiteral("[Settings]\nLDevID=%1\nRDevID=%2\n[Product]\nModel=KD7350\n"
                                     "Medium1=INT MEM\nMedium2=Card 1\n")
                          .arg(isHost(left) ? 0 : 1)
                          .arg(isHost(right) ? 0 : 1)
                          .toLatin1());
        }
        ini.close();
        const QString app = QStringLiteral("orvalt");
        const QString settings = QStringLiteral("Settings");
        stores.settings.save(app, QStringLiteral("Com1"), QStringLiteral("Device"), instrument.devicePath());
        stores.settings.save(app, settings, QStringLiteral("Lpath"), startPath(QStringLiteral("L")));
        stores.settings.save(app, settings, QStringLiteral("Rpath"), startPath(QStringLiteral("R")));
        stores.settings.save(app, settings, QStringLiteral("Ldrive"), driveOf(left));
        stores.settings.save(app, settings, QStringLiteral("Rdrive"), driveOf(right));
    }

    // Loads the window and, when a pane shows the instrument, connects. False when that failed.
    bool start()
    {
        if (!instrument.isReady())
            return false;
        window = std::make_unique<frmMain>(stores.state, stores.settings, stores.dialogs);
        window->load();
        if (!isHost(m_left) || !isHost(m_right)) {
            window->dispatcher().dispatch(ToolKeys::Connect);
            if (!stores.state.Connected)
                return false;
        }
        stores.state.Interactive = true;
        stores.dialogs.shown.clear();
        return true;
    }

    ProgramContext& ctx() { return window->context(); }
    AppState& state() { return stores.state; }
    ScriptedDialogs& dialogs() { return stores.dialogs; }
    PaneModel& list(const QString& side) { return paneList(ctx(), side); }

    // The native folder a pane shows: its host folder, or its instrument medium's folder.
    QString dir(const QString& side) const
    {
        const QString& kind = AppState::isLeft(side) ? m_left : m_right;
        return isHost(kind) ? hostDir(side) : instrument.mediumDir(kind);
    }
    QString path(const QString& side, const QString& name) const { return QDir(dir(side)).filePath(name); }

    // Lists both panes anew (after files were put in place behind the program's back).
    void renew()
    {
        LoadListview(ctx(), QStringLiteral("L"));
        LoadListview(ctx(), QStringLiteral("R"));
    }

    // Gives a pane's list the focus and selects the rows of these names (missing names are skipped).
    void select(const QString& side, const QStringList& names)
    {
        listFocused(ctx(), side);
        PaneModel& pane = list(side);
        pane.selection()->clearSelection();
        for (int i = 0; i < pane.rowCount(); ++i)
            if (names.contains(pane.row(i).name))
                pane.selection()->select(pane.index(i, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    QStringList rows(const QString& side) { return rowNames(list(side)); }

    // The commands the instrument received ("MKDR /A", "CDR /B"), in order.
    QStringList commands() const
    {
        QStringList found;
        for (const QString& line : instrument.transcript())
            if (line.startsWith(QLatin1String("CMD ")))
                found << line.mid(4);
        return found;
    }

    InstrumentProcess instrument;
    TempStores stores;
    std::unique_ptr<frmMain> window;

private:
    static bool isHost(const QString& kind) { return kind == QLatin1String("host"); }
    static QString driveOf(const QString& kind)
    {
        return kind == QLatin1String("1") ? QStringLiteral("2") : QStringLiteral("1");
    }

    QString hostDir(const QString& side) const
    {
        return QDir(m_host.path())
            .filePath(AppState::isLeft(side) ? QStringLiteral("left") : QStringLiteral("right"));
    }
    QString startPath(const QString& side) const
    {
        const QString& kind = AppState::isLeft(side) ? m_left : m_right;
        if (!isHost(kind))
            return QStringLiteral("\\");
        return QDir::cleanPath(hostDir(side)).replace(QLatin1Char('/'), QLatin1Char('\\'));
    }

    QTemporaryDir m_host;
    QString m_left;
    QString m_right;
};

inline bool putFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The names in a folder, sorted, folders with a final "/".
inline QStringList folderNames(const QString& path)
{
    QStringList names;
    const QDir dir(path);
    for (const QFileInfo& info :
         dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
        names << info.fileName() + (info.isDir() ? QStringLiteral("/") : QString());
    return names;
}

} // namespace orvalt::test
