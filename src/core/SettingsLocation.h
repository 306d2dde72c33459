#pragma once

#include <QString>

namespace orvalt {

// The folder that holds the settings file <baseName>.ini of a program lying in programDir.
//
// A program run from a build folder or a portable copy keeps the file beside itself. A program run
// from an installed prefix (it lies in <prefix>/bin and <prefix>/share/orvalt/orvalt.ini exists) may
// not write there, so it keeps a per-user copy in the Orvalt folder of the user's configuration
// folder ($XDG_CONFIG_HOME, or the per-user application data folder on Windows), made from the
// installed default when it is missing. The prefix is never written to, not even as root.
QString settingsFolder(const QString& programDir, const QString& baseName);

// The installed default settings file of a program lying in programDir, or empty when the program
// does not lie in an installed prefix.
QString installedDefaultSettings(const QString& programDir);

} // namespace orvalt
