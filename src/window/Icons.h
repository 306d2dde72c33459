#pragma once

#include <QIcon>
#include <QString>
#include <QStyle>

namespace orvalt {

// An icon from the desktop's theme (the first of the names it has), or the style's standard icon
// where the theme has none of them.
QIcon themedIcon(const QStringList& themeNames, QStyle::StandardPixmap fallback);
inline QIcon themedIcon(const QString& themeName, QStyle::StandardPixmap fallback)
{
    return themedIcon(QStringList{themeName}, fallback);
}

// The program's own icon (the desktop entry's), built into the program.
QIcon applicationIcon();

// Picks an installed icon theme when the platform names none (a bare X server, a minimal desktop).
void chooseIconTheme();

// The images of the medium selectors, by their names "FD", "INT", "CARD", "HDD".
QIcon mediumImage(const QString& imageKey);
// Pane rows: a folder or a file.
QIcon folderIcon();
QIcon fileIcon();

} // namespace orvalt
