#pragma once

#include "core/AppState.h"
#include "core/Settings.h"
#include "support/ScriptedDialogs.h"

#include <QDir>
#include <QTemporaryDir>

namespace orvalt::test {

// Both settings stores in a fresh temporary folder, with scripted dialogs: the program's folder is
// <tmp>/program (settings file orvalt.ini), the user settings store <tmp>/user.
struct TempStores
{
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    AppState state;
    Settings settings;

    TempStores()
        : settings(ProgramPaths{programDir(), QStringLiteral("orvalt")}, dialogs, userDir())
    {}

    QString programDir() const { return mkdir(QStringLiteral("program")); }
    QString userDir() const { return mkdir(QStringLiteral("user")); }
    QString iniPath() const { return QDir(programDir()).filePath(QStringLiteral("orvalt.ini")); }

    // Both host panes start in an empty folder of their own instead of the root volume, whose
    // listing walks the whole disk for the folder sizes.
    void quietPanes()
    {
        const QString folder = mkdir(QStringLiteral("pane"));
        const QString pane = QDir::cleanPath(folder).replace(QLatin1Char('/'), QLatin1Char('\\'));
        settings.save(QStringLiteral("orvalt"), QStringLiteral("Settings"), QStringLiteral("Lpath"), pane);
        settings.save(QStringLiteral("orvalt"), QStringLiteral("Settings"), QStringLiteral("Rpath"), pane);
    }

private:
    QString mkdir(const QString& name) const
    {
        QDir(dir.path()).mkpath(name);
        return QDir(dir.path()).filePath(name);
    }
};

} // namespace orvalt::test
