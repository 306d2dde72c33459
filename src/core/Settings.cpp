#include "core/Settings.h"

#include "core/DialogSeam.h"
#include "core/SettingsLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <cmath>
#include <memory>

namespace orvalt {

namespace {

std::unique_ptr<QSettings> openStore(const QString& root, const QString& app)
{
    if (root.isEmpty())
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, programTitle(),
                                           app);
    return std::make_unique<QSettings>(QDir(root).filePath(app + QStringLiteral(".conf")),
                                       QSettings::IniFormat);
}

} // namespace

ProgramPaths ProgramPaths::ofApplication()
{
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    return {settingsFolder(exe.absolutePath(), exe.completeBaseName()), exe.completeBaseName()};
}

QString ProgramPaths::settingsFile(const QString& fileBase) const
{
    return QDir(dir).filePath(fileBase + QStringLiteral(".ini"));
}

Settings::Settings(ProgramPaths paths, DialogSeam& dialogs, QString userStoreRoot)
    : m_paths(std::move(paths))
    , m_dialogs(dialogs)
    , m_userStoreRoot(std::move(userStoreRoot))
{}

QString Settings::ReadIniValue(const QString& fileBase, const QString& section, const QString& key,
                               const QString& def) const
{
    return ProfileFile(m_paths.settingsFile(fileBase)).read(section, key, def);
}

bool Settings::WriteIniValue(const QString& fileBase, const QString& section, const QString& key,
                             const QString& value)
{
    if (ProfileFile(m_paths.settingsFile(fileBase)).write(section, key, value))
        return true;
    const QString title = QStringLiteral("初期化ﾌｧｲﾙの書込みに失敗しました");
    const QString text = title + QLatin1Char('\n') + QStringLiteral("セクション名:") + section +
                         QLatin1Char('\n') + QStringLiteral("エントリ名:") + key + QLatin1Char('\n') +
                         QStringLiteral("書込みデータ:") + value + QLatin1Char('\n') + QLatin1Char('\n') +
                         QStringLiteral("    続行  ");
    // Whichever button is pressed, the caller goes on.
    m_dialogs.message(text, DialogSeam::Buttons(DialogSeam::Button::Ok) | DialogSeam::Button::Cancel,
                      DialogSeam::Icon::None, DialogSeam::Button::Ok, title);
    return false;
}

QString Settings::get(const QString& app, const QString& section, const QString& key,
                      const QString& def) const
{
    const auto store = openStore(m_userStoreRoot, app);
    const QVariant v = store->value(section + QLatin1Char('/') + key);
    return v.isValid() ? v.toString() : def;
}

void Settings::save(const QString& app, const QString& section, const QString& key, const QString& value)
{
    const auto store = openStore(m_userStoreRoot, app);
    store->setValue(section + QLatin1Char('/') + key, value);
}

int Settings::getInt(const QString& app, const QString& section, const QString& key, int def, int lo,
                     int hi) const
{
    bool ok = false;
    const int n = get(app, section, key, def).trimmed().toInt(&ok);
    return ok && n >= lo && n <= hi ? n : def;
}

double Settings::getDouble(const QString& app, const QString& section, const QString& key, double def) const
{
    bool ok = false;
    const double d = get(app, section, key, QString::number(def)).trimmed().toDouble(&ok);
    return ok && std::isfinite(d) ? d : def;
}

} // namespace orvalt
