#include "panes/RemotePaths.h"

namespace orvalt {

QString MediumCode(const QString& pathOrCode)
{
    const QString code = pathOrCode.left(2);
    if (code == QLatin1String("M:"))
        return QStringLiteral("0");
    if (code == QLatin1String("1:"))
        return QStringLiteral("1");
    if (code == QLatin1String("D:"))
        return QStringLiteral("2");
    if (code == QLatin1String("2:"))
        return QStringLiteral("3");
    return QString();
}

QString MediumOfCaption(const QString& caption)
{
    return caption.right(2);
}

QString SlashPath(const QString& path)
{
    QString slashed = path;
    return slashed.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

QString NameOfPath(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('\\')) + 1);
}

QString FolderOfPath(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('\\')) + 1);
}

namespace {

// The media the table knows by name, with their pictures. Codes are not listed here: every medium
// code is the last two characters of the list text.
struct KnownMedium
{
    const char* name;
    const char* imageKey;
};

constexpr KnownMedium kKnownMedia[] = {
    {"INT MEM", "INT"}, {"Card 1", "CARD"}, {"FD", "FD"},
    {"Card 2", "CARD"}, {"Drive A", "FD"},  {"Drive C", "HDD"},
};

} // namespace

QList<MediumInfo> mediaList(const QStringList& mediumNames)
{
    QList<MediumInfo> list;
    QString previousImage;
    for (const QString& name : mediumNames) {
        MediumInfo info;
        info.name = name;
        info.listText = name + QLatin1Char(':');
        info.mediumCode = MediumOfCaption(info.listText);
        info.commandCode = MediumCode(info.mediumCode);
        info.imageKey = previousImage;
        for (const KnownMedium& known : kKnownMedia) {
            if (name == QLatin1String(known.name)) {
                info.imageKey = QLatin1String(known.imageKey);
                break;
            }
        }
        previousImage = info.imageKey;
        list.append(info);
    }
    return list;
}

QString joinPanePath(const QString& mediumCode, const QString& panePath, const QString& name)
{
    if (name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('\\')) ||
        name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        return QString();
    const QString folder = panePath == QLatin1String("\\") ? QString() : panePath;
    return mediumCode + folder + QLatin1Char('\\') + name;
}

} // namespace orvalt
