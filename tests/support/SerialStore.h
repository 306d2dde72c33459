#pragma once

#include "core/Settings.h"
#include "support/ScriptedDialogs.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

namespace orvalt::test {

// A user settings store in a temporary folder, and a look at what it holds underneath Settings.
struct SerialStore
{
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    Settings settings{ProgramPaths{dir.path(), QStringLiteral("Orvalt")}, dialogs, dir.path()};

    std::unique_ptr<QSettings> raw() const
    {
        return std::make_unique<QSettings>(QDir(dir.path()).filePath(QStringLiteral("Orvalt.conf")),
                                           QSettings::IniFormat);
    }
    void put(const QString& section, const QString& key, const QString& value)
    {
        raw()->setValue(section + QLatin1Char('/') + key, value);
    }
    QString stored(const QString& section, const QString& key) const
    {
        return raw()->value(section + QLatin1Char('/') + key).toString();
    }
    QStringList keys() const
    {
        QStringList all = raw()->allKeys();
        all.sort();
        return all;
    }
};

} // namespace orvalt::test
