#include "window/Icons.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>

namespace orvalt {

QIcon themedIcon(const QStringList& themeNames, QStyle::StandardPixmap fallback)
{
    for (const QString& name : themeNames)
        if (QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    return QApplication::style()->standardIcon(fallback);
}

QIcon applicationIcon()
{
    return QIcon(QStringLiteral(":/icons/org.orvalt.Orvalt.svg"));
}

void chooseIconTheme()
{
    const QString current = QIcon::themeName();
    if (!current.isEmpty() && current != QLatin1String("hicolor"))
        return;
    // Without a desktop session Qt may search only its own resources; the system's themes lie in
    // the XDG data folders.
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QString icons = QDir(data).filePath(QStringLiteral("icons"));
        if (!paths.contains(icons) && QDir(icons).exists())
            paths << icons;
    }
    QIcon::setThemeSearchPaths(paths);
    const QStringList candidates = {QStringLiteral("Adwaita"), QStringLiteral("breeze"),
                                    QStringLiteral("oxygen"), QStringLiteral("Tango")};
    for (const QString& dir : QIcon::themeSearchPaths()) {
        for (const QString& theme : candidates) {
            if (QDir(dir + QLatin1Char('/') + theme).exists()) {
                QIcon::setThemeName(theme);
                return;
            }
        }
    }
}

QIcon mediumImage(const QString& imageKey)
{
    if (imageKey == QLatin1String("FD"))
        return themedIcon(QStringLiteral("media-floppy"), QStyle::SP_DriveFDIcon);
    if (imageKey == QLatin1String("INT"))
        return themedIcon(
            {QStringLiteral("drive-harddisk-solidstate"), QStringLiteral("drive-removable-media")},
            QStyle::SP_DriveHDIcon);
    if (imageKey == QLatin1String("CARD"))
        return themedIcon(QStringLiteral("media-flash"), QStyle::SP_DriveCDIcon);
    if (imageKey == QLatin1String("HDD"))
        return themedIcon(QStringLiteral("drive-harddisk"), QStyle::SP_DriveHDIcon);
    return QIcon();
}

// Every pane row carries one of these two: looked up in the theme once, not once a row.
QIcon folderIcon()
{
    static const QIcon icon = themedIcon(QStringLiteral("folder"), QStyle::SP_DirIcon);
    return icon;
}

QIcon fileIcon()
{
    static const QIcon icon = themedIcon(QStringLiteral("text-x-generic"), QStyle::SP_FileIcon);
    return icon;
}

} // namespace orvalt
