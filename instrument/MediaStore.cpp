#include "MediaStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace orvalt::instrument {

namespace {

// Each clash is told once in a run, however often the folder is read.
void warnPassedOver(const QFileInfo& passedOver, const QString& kept)
{
    static QSet<QString> told;
    if (told.contains(passedOver.filePath()))
        return;
    told.insert(passedOver.filePath());
    std::fprintf(stderr,
                 "orvalt-instrument: %s: \"%s\" is passed over: a medium cannot hold it beside \"%s\", "
                 "which differs only in case\n",
                 qPrintable(QDir::toNativeSeparators(passedOver.absolutePath())),
                 qPrintable(passedOver.fileName()), qPrintable(kept));
}

const QDir::Filters kAllEntries = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;

bool isServed(const QFileInfo& info, const MediaNamePolicy& policy)
{
    return !info.isSymLink() && ((info.isDir() && policy.accepts(info.fileName(), NameKind::Folder)) ||
                                 (info.isFile() && policy.accepts(info.fileName(), NameKind::File)));
}

// The name under which a folder's served entries hold a name, or nothing. Every path a command
// names is looked up so, one folder at a time: the names alone are compared, and only those that
// match are looked at further.
std::optional<QString> storedName(const QString& hostFolder, const QString& name,
                                  const MediaNamePolicy& policy)
{
    QStringList matches;
    for (const QString& entry : QDir(hostFolder).entryList(kAllEntries, QDir::Unsorted)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            matches.append(entry);
    }
    std::sort(matches.begin(), matches.end());
    std::optional<QString> stored;
    for (const QString& match : std::as_const(matches)) {
        const QFileInfo info(hostFolder + QLatin1Char('/') + match);
        if (!isServed(info, policy))
            continue;
        if (stored)
            warnPassedOver(info, *stored);
        else
            stored = match;
    }
    return stored;
}

} // namespace

bool isReadableFolder(const QString& hostFolder)
{
    std::error_code error;
    const std::filesystem::directory_iterator opened(
        std::filesystem::path(QFile::encodeName(hostFolder).toStdString()), error);
    return !error;
}

std::optional<QFileInfoList> servedEntries(const QString& hostFolder, const MediaNamePolicy& policy)
{
    if (!isReadableFolder(hostFolder))
        return std::nullopt;
    QFileInfoList entries = QDir(hostFolder).entryInfoList(kAllEntries, QDir::Unsorted);
    std::sort(entries.begin(), entries.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return a.fileName() < b.fileName(); });
    QFileInfoList served;
    QHash<QString, QString> byFoldedName;
    for (const QFileInfo& info : std::as_const(entries)) {
        if (!isServed(info, policy))
            continue;
        const QString folded = info.fileName().toCaseFolded();
        const auto kept = byFoldedName.constFind(folded);
        if (kept != byFoldedName.constEnd()) {
            warnPassedOver(info, *kept);
            continue;
        }
        byFoldedName.insert(folded, info.fileName());
        served.append(info);
    }
    return served;
}

QString Location::parentHostPath() const
{
    QString parent = medium->folder;
    for (qsizetype i = 0; i + 1 < components.size(); ++i)
        parent += QLatin1Char('/') + components.at(i);
    return parent;
}

QString MediaStore::commandCodeOf(const QString& mediumCode)
{
    if (mediumCode == QLatin1String("M:"))
        return QStringLiteral("0");
    if (mediumCode == QLatin1String("1:"))
        return QStringLiteral("1");
    if (mediumCode == QLatin1String("D:"))
        return QStringLiteral("2");
    if (mediumCode == QLatin1String("2:"))
        return QStringLiteral("3");
    return {};
}

bool MediaStore::open(const QString& mediaDir, const QStringList& mediaNames, QString* error)
{
    m_media.clear();
    if (!QDir().mkpath(mediaDir)) {
        *error = QStringLiteral("cannot make the media folder %1").arg(mediaDir);
        return false;
    }
    for (const QString& name : mediaNames) {
        if (name.isEmpty()) {
            *error = QStringLiteral("a medium name is empty");
            return false;
        }
        const QChar letter = name.back();
        if (letter.unicode() > 127 || !letter.isLetterOrNumber()) {
            *error = QStringLiteral("medium \"%1\": its code letter must be a letter or a digit").arg(name);
            return false;
        }
        for (const Medium& other : std::as_const(m_media)) {
            // Compared without case: on a case-insensitive host both would share one folder.
            if (other.mediumCode.compare(QString(letter) + QLatin1Char(':'), Qt::CaseInsensitive) == 0) {
                *error = QStringLiteral("media \"%1\" and \"%2\" share the code %3:")
                             .arg(other.name, name, letter);
                return false;
            }
        }
        const QString folder = QDir(mediaDir).filePath(QString(letter));
        if (!QDir().mkpath(folder)) {
            *error = QStringLiteral("cannot make the medium folder %1").arg(folder);
            return false;
        }
        Medium medium;
        medium.name = name;
        medium.mediumCode = QString(letter) + QLatin1Char(':');
        medium.commandCode = commandCodeOf(medium.mediumCode);
        medium.folder = QFileInfo(folder).canonicalFilePath();
        m_media.append(medium);
    }
    if (m_media.isEmpty()) {
        *error = QStringLiteral("no media");
        return false;
    }
    return true;
}

const Medium* MediaStore::mediumOf(const QString& code) const
{
    for (const Medium& medium : m_media) {
        if (code.isEmpty() ? medium.commandCode.isEmpty() : medium.commandCode == code)
            return &medium;
    }
    if (code.size() == 2 && code.endsWith(QLatin1Char(':'))) {
        for (const Medium& medium : m_media) {
            if (medium.mediumCode == code)
                return &medium;
        }
    }
    return nullptr;
}

std::optional<Location> MediaStore::resolve(const Medium& medium, const QStringList& cwd,
                                            const QString& path) const
{
    if (path.contains(QLatin1String("//")))
        return std::nullopt; // an empty component
    QString text = path;
    const bool absolute = text.startsWith(QLatin1Char('/'));
    if (absolute)
        text.remove(0, 1);
    Location location;
    location.medium = &medium;
    location.folderMark = text.endsWith(QLatin1Char('/'));
    if (location.folderMark)
        text.chop(1);
    if (!absolute)
        location.components = cwd;
    if (!text.isEmpty()) {
        const QStringList parts = text.split(QLatin1Char('/'));
        for (const QString& part : parts) {
            if (!m_namePolicy.acceptsEither(part))
                return std::nullopt;
            location.components.append(part);
        }
    }
    location.writtenName = location.name();
    // Each name as the medium stores it, as far as the entries exist.
    QString folder = medium.folder;
    for (QString& part : location.components) {
        const std::optional<QString> stored = storedName(folder, part, m_namePolicy);
        if (!stored)
            break; // nothing beneath a missing entry exists either
        part = *stored;
        folder += QLatin1Char('/') + part;
    }
    if (!staysInside(medium, location.components))
        return std::nullopt;
    location.hostPath = medium.folder;
    for (const QString& part : std::as_const(location.components))
        location.hostPath += QLatin1Char('/') + part;
    return location;
}

bool MediaStore::staysInside(const Medium& medium, const QStringList& components) const
{
    // A symbolic link placed in the media folder could point anywhere; the instrument has none of
    // its own, so any link on the way ends the path.
    QString path = medium.folder;
    for (const QString& part : components) {
        path += QLatin1Char('/') + part;
        const QFileInfo info(path);
        if (info.isSymLink())
            return false;
        if (!info.exists())
            break; // nothing beneath a missing entry exists either
    }
    const QFileInfo deepest(path);
    if (!deepest.exists())
        return true;
    const QString canonical = deepest.canonicalFilePath();
    return canonical == medium.folder || canonical.startsWith(medium.folder + QLatin1Char('/'));
}

} // namespace orvalt::instrument
