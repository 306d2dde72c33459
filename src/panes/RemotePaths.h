#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace orvalt {

// Instrument media and the remote path form. A remote path is a two-character medium code and a
// "\"-separated path from the medium's root (M:\DIR\NAME.DAT); commands carry it as a slash path
// (/DIR/NAME.DAT) or as the bare name, and name a medium by its one-character command code.

// Command code of a medium: "M:" 0, "1:" 1, "D:" 2, "2:" 3, empty for any other code. Only the
// first two characters of the argument count, so a whole remote path may be passed.
QString MediumCode(const QString& pathOrCode);

// The medium code that a media-list text ends with ("Card 2:" gives "2:"); empty for an empty text.
QString MediumOfCaption(const QString& caption);

// Every "\" turned into "/", nothing else changed ("\" gives "/", \DIR\ gives /DIR/).
QString SlashPath(const QString& path);

// What follows the last "\" (all of it without one, empty when it ends with "\").
QString NameOfPath(const QString& path);

// Everything up to and including the last "\" (M:\DIR\NAME.DAT gives M:\DIR\; empty without one).
QString FolderOfPath(const QString& path);

// One entry of an instrument's media list.
struct MediumInfo
{
    QString name;        // the setting value, "INT MEM"
    QString listText;    // "INT MEM:"
    QString imageKey;    // "INT", "CARD", "FD", "HDD", or empty
    QString mediumCode;  // "M:"
    QString commandCode; // "0", or empty for media that "MED " and "FMT " cannot name
};

// The media list for the configured medium names, in order. A name the table does not know takes
// the image of the entry before it (none for the first).
QList<MediumInfo> mediaList(const QStringList& mediumNames);

// The path of an entry in a pane: medium code, pane folder (the root "\" taken as empty), "\" and
// the name (M:\DIR\NAME.DAT). An empty name gives the folder with a final "\" (M:\DIR\), as the
// copy uses for its destination. A name that is not one plain name ("." or "..", or with "\", "/"
// or NUL in it) could reach outside the pane's folder and gives an empty result.
QString joinPanePath(const QString& mediumCode, const QString& panePath, const QString& name);

} // namespace orvalt
