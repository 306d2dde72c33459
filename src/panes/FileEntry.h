#pragma once

#include <QString>
#include <QtGlobal>

namespace orvalt {

// One file or folder as the listings, the copy and the rename hand it around, whichever side it
// comes from. The attribute bits are those of the host's classic file attributes.
struct FileEntry
{
    QString name;
    QString shortName;
    QString date;
    qint32 size = 0;
    qint16 attributes = 0;

    static constexpr qint16 kReadOnly = 1;
    static constexpr qint16 kHidden = 2;
    static constexpr qint16 kFolder = 16;

    bool isFolder() const { return (attributes & kFolder) != 0; }
};

} // namespace orvalt
