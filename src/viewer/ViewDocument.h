#pragma once

#include "viewer/MeasurementFile.h"
#include "viewer/TextGuess.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

namespace orvalt {

// What the viewer shows of one file: its first bytes (the whole file up to the cap), what kind of
// file they make, and the notes a user should read before trusting what is shown.
struct ViewDocument
{
    enum class Kind
    {
        Empty,
        Text,
        Binary,
        Measurement
    };

    QString name;   // the file's name, for the window's title
    QString origin; // where it lies: a host path or an instrument path ("M:\DATA\TRACE001.CSV")
    QByteArray bytes;
    qint64 fileSize = 0; // the whole file, of which bytes are the first
    bool cutShort() const { return fileSize > bytes.size(); }
    Kind kind = Kind::Empty;
    TextEncoding encoding = TextEncoding::Latin1;
    std::shared_ptr<const MeasurementFile> measurement; // a text file that reads as one
    QStringList notes;
};

// What the viewer reads of a file at most: a larger one is shown from its beginning.
inline constexpr qint64 kViewCap = 20 * 1000 * 1000;

// A file of many columns draws this many at first; the user ticks the others.
inline constexpr int kSeriesDrawnAtFirst = 8;

// Looks at the bytes: empty, binary (hex only), a measurement file (numbers to draw), or text.
// fileSize is the size of the whole file, when bytes are only its beginning.
ViewDocument viewDocument(const QString& name, const QString& origin, QByteArray bytes, qint64 fileSize);

// Reads up to cap bytes of a host file (a native path) for the viewer. False with why set when
// it cannot be read.
bool readForView(const QString& nativePath, qint64 cap, QByteArray& bytes, qint64& fileSize, QString& why);

// "3,145,728 bytes"; and "20 MB" from a million bytes on: sizes as the viewer tells them.
QString byteCountText(qint64 bytes);
QString shortSizeText(qint64 bytes);

} // namespace orvalt
