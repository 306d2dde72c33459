#pragma once

#include "core/ProfileFile.h"

#include <QString>
#include <QStringList>

namespace orvalt {

class DialogSeam;

// Where the settings file lies and what the program is called: the settings file is
// <dir>/<baseName>.ini, and the user settings store keeps everything but the window geometry under
// <baseName>.
struct ProgramPaths
{
    QString dir;
    QString baseName;

    // The running program's: dir beside it, or the per-user folder when it is installed
    // (settingsFolder).
    static ProgramPaths ofApplication();
    QString settingsFile(const QString& fileBase) const;
};

// The program's title: the application name of the window geometry in the user settings store,
// and the caption of its message boxes.
inline QString programTitle()
{
    return QStringLiteral("Orvalt");
}

// The two stores that keep the program's state between runs: the settings file beside the program
// (private-profile form) and the per-user settings store (QSettings, native format).
class Settings
{
public:
    // userStoreRoot empty: the platform's per-user store. Otherwise one file per application name
    // in that folder (tests and the demo keep the user's real settings untouched this way).
    Settings(ProgramPaths paths, DialogSeam& dialogs, QString userStoreRoot = QString());

    const ProgramPaths& paths() const { return m_paths; }
    // The application name for everything but the window geometry.
    const QString& exeName() const { return m_paths.baseName; }

    QString ReadIniValue(const QString& fileBase, const QString& section, const QString& key,
                         const QString& def) const;
    // On failure shows the write-failure message and returns as if it had succeeded; the result
    // says whether the value was stored, for callers that care.
    bool WriteIniValue(const QString& fileBase, const QString& section, const QString& key,
                       const QString& value);

    QString get(const QString& app, const QString& section, const QString& key, const QString& def) const;
    QString get(const QString& app, const QString& section, const QString& key, int def) const
    {
        return get(app, section, key, QString::number(def));
    }
    void save(const QString& app, const QString& section, const QString& key, const QString& value);

    // A stored number, or def when it is missing or does not convert (or lies outside [lo, hi]).
    int getInt(const QString& app, const QString& section, const QString& key, int def, int lo, int hi) const;
    double getDouble(const QString& app, const QString& section, const QString& key, double def) const;

    // The file of the user settings store of app, where the store is a file ("" where it is not,
    // as the registry on Windows).
    QString userStoreFile(const QString& app) const;

private:
    // Whether the user settings store of app may be read and written: missing, or a regular file
    // of at most kMaxUserStoreSize bytes that reads without error. A FIFO would hold the program
    // at its first read, a huge file take its memory; such a store is never written over, the
    // defaults stand in for it, and the user is told once.
    bool storeUsable(const QString& app) const;

    ProgramPaths m_paths;
    DialogSeam& m_dialogs;
    QString m_userStoreRoot;
    mutable QStringList m_unusableTold;
};

} // namespace orvalt
