#pragma once

#include "shell/AppState.h"
#include "shell/Settings.h"
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

private:
    QString mkdir(const QString& name) const
    {
        QDir(dir.path()).mkpath(name);
        return QDir(dir.path()).filePath(name);
    }
};

} // namespace orvalt::test
