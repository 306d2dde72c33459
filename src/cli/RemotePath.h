#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace orvalt::cli {

// A remote path as a command line gives it: a medium code and the names from the medium's root
// (M:\DATA\A.DAT). Only what the instrument's commands can carry is accepted, so that a name can
// never change what a command means: every name is plain Latin-1 text without "\", "/" or ",".
struct RemotePath
{
    QString medium;    // "M:"
    QStringList names; // folders and the item, from the medium's root; empty for the root itself

    bool isRoot() const { return names.isEmpty(); }
    QString name() const { return names.isEmpty() ? QString() : names.constLast(); }
    // "M:\DATA\A.DAT"; the root is "M:\".
    QString path() const;
    // The path with a final "\", as a folder copied into is given: "M:\DATA\", "M:\".
    QString folderPath() const;
    // The path a pane keeps for this folder: "\DATA", "\" for the root.
    QString panePath() const;
    RemotePath parent() const;
    RemotePath child(const QString& name) const;
};

// Longest remote path taken from a command line; the instrument's command buffers are shorter,
// and the routines that send a path refuse what does not fit.
inline constexpr int kMaxRemotePath = 1024;

// Reads "M:", "M:\", "M:\DATA", "M:\DATA\" or "M:\DATA\A.DAT". Refused (with why): no medium code,
// a missing "\" after it, an empty, "." or ".." name, a "/" or "," in a name, a control character,
// a character outside Latin-1, or more than kMaxRemotePath characters.
std::optional<RemotePath> parseRemotePath(const QString& text, QString* why);

} // namespace orvalt::cli
