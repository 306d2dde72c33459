#include "core/SettingsLocation.h"

#include "core/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace orvalt {

namespace {

// The settings file reader takes no more either.
constexpr qint64 kMaxDefaultSize = 4 * 1024 * 1024;

// Makes file from the installed default. A failure is left for the first write to tell, with the
// settings file's own message; until then the program runs on the defaults of each key.
void copyDefault(const QString& installedDefault, const QString& folder, const QString& file)
{
    QFile source(installedDefault);
    if (!QDir().mkpath(folder) || !source.open(QIODevice::ReadOnly) || source.size() > kMaxDefaultSize)
        return;
    const QByteArray contents = source.readAll();
    // Written whole under another name and then renamed: a second program starting at the same
    // moment (the window and orvalt-cli) never reads half a file. The copy is the user's, writable
    // by them whatever the installed file's permissions are.
    QSaveFile copy(file);
    if (copy.open(QIODevice::WriteOnly) && copy.write(contents) == contents.size())
        copy.commit();
}

} // namespace

QString installedDefaultSettings(const QString& programDir)
{
    const QDir bin(programDir);
    if (bin.dirName() != QLatin1String("bin"))
        return QString();
    const QString path = QDir::cleanPath(bin.absoluteFilePath(QStringLiteral("../share/orvalt/orvalt.ini")));
    return QFileInfo(path).isFile() ? path : QString();
}

QString settingsFolder(const QString& programDir, const QString& baseName)
{
    const QString installedDefault = installedDefaultSettings(programDir);
    if (installedDefault.isEmpty())
        return programDir;
    // Beside the per-user settings store of Linux (~/.config/Orvalt/orvalt.conf).
    const QString folder = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                               .filePath(programTitle());
    const QString file = QDir(folder).filePath(baseName + QStringLiteral(".ini"));
    if (!QFileInfo::exists(file))
        copyDefault(installedDefault, folder, file);
    return folder;
}

} // namespace orvalt
