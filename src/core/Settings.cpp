#include "core/Settings.h"

#include "core/DialogSeam.h"
#include "core/SettingsLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <memory>

namespace orvalt {

namespace {

// The store holds a few dozen short values; anything near this is not ours.
constexpr qint64 kMaxUserStoreSize = 1024 * 1024;

std::unique_ptr<QSettings> openStore(const QString& root, const QString& app)
{
    if (root.isEmpty())
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, programTitle(),
                                           app);
    return std::make_unique<QSettings>(QDir(root).filePath(app + QStringLiteral(".conf")),
                                       QSettings::IniFormat);
}

// The store is text: a control character other than a line's end or a tab means something else
// was written there, which QSettings would read past without a word.
bool readsAsSettings(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.read(kMaxUserStoreSize + 1);
    return std::none_of(bytes.cbegin(), bytes.cend(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && u != '\n' && u != '\r' && u != '\t') || u == 0x7F;
    });
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

QString Settings::userStoreFile(const QString& app) const
{
    if (!m_userStoreRoot.isEmpty())
        return QDir(m_userStoreRoot).filePath(app + QStringLiteral(".conf"));
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // Where QSettings keeps a user's native store here; asking QSettings itself would read it.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(programTitle() + QLatin1Char('/') + app + QStringLiteral(".conf"));
#else
    return QString();
#endif
}

bool Settings::storeUsable(const QString& app) const
{
    const QString file = userStoreFile(app);
    if (file.isEmpty())
        return true;
    const QFileInfo info(file);
    QString why;
    if (!info.exists() && !info.isSymLink())
        return true;
    if (!info.isFile())
        why = QStringLiteral("not a regular file");
    else if (info.size() > kMaxUserStoreSize)
        why = QStringLiteral("larger than %1 bytes").arg(kMaxUserStoreSize);
    else if (!readsAsSettings(file) || openStore(m_userStoreRoot, app)->status() != QSettings::NoError)
        why = QStringLiteral("it does not read as settings");
    if (why.isEmpty())
        return true;
    if (!m_unusableTold.contains(file)) {
        m_unusableTold.append(file);
        m_dialogs.warning(
            QStringLiteral("The settings store %1 is not used (%2): the defaults stand in for it, "
                           "and it is left as it is.")
                .arg(QDir::toNativeSeparators(file), why));
    }
    return false;
}

QString Settings::get(const QString& app, const QString& section, const QString& key,
                      const QString& def) const
{
    if (!storeUsable(app))
        return def;
    const auto store = openStore(m_userStoreRoot, app);
    const QVariant v = store->value(section + QLatin1Char('/') + key);
    return v.isValid() ? v.toString() : def;
}

void Settings::save(const QString& app, const QString& section, const QString& key, const QString& value)
{
    if (!storeUsable(app))
        return;
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
