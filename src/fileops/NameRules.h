#pragma once

#include "core/DialogSeam.h"
#include "panes/Endpoint.h"

#include <QString>

namespace orvalt {

struct AppState;
struct ProgramContext;

// The instrument's naming rules and the name dialog frmFileWarn that asks for another name.

// What the name dialog asks about, and how it presents itself.
inline const QString kWarnKindFile = QStringLiteral("FILE");
inline const QString kWarnKindFolder = QStringLiteral("FOLDER");
inline const QString kWarnModeCheck = QStringLiteral("CHECK");
inline const QString kWarnModeChange = QStringLiteral("CHANGE");

inline constexpr int kShortNameLimit = 8;
inline constexpr int kLongNameLimit = 32;
inline constexpr int kExtensionLength = 3;

// The rules of a name given in where: 8.3 names in upper case on an instrument that takes no long
// names; no rules of this kind on the host.
bool shortNameMode(const AppState& st, const Endpoint& where);
// 8 characters with short names, else 32.
inline int wholeNameLimit(bool shortNames)
{
    return shortNames ? kShortNameLimit : kLongNameLimit;
}
// A-Z, 0-9 and . ! # $ & % ' ( ) ^ @ _ { } always; a-z except in short-name mode; nothing else.
bool isAllowedNameChar(QChar c, bool shortNames);
bool nameCharsAllowed(const QString& name, bool shortNames);

// The first "." splits the name: a base of 1 to baseLimit characters and an extension of exactly
// three (8.3 with 8, 32+3 with 32).
bool hasFileForm(const QString& name, int baseLimit);

// What the name dialog shows for WarnName, WarnKind, WarnMode and WarnShortNames.
DialogSeam::NameDialogView fileWarnView(const AppState& st);

// The dialog's OK rule: in "CHANGE" mode (a rename on a host pane) anything goes, except while a
// new folder is named; otherwise a file needs the file form and a folder 1 to the whole-name limit
// characters. Characters are not looked at here.
bool fileWarnAccepts(const AppState& st, const QString& text);

// Shows frmFileWarn for WarnName. OK leaves the accepted text in WarnName and DialogAnswer 0;
// Cancel or the close box leave DialogAnswer 3 and WarnName as it was. Either way NewFolderMode
// is cleared. Returns DialogAnswer.
qint16 showFileWarn(ProgramContext& ctx);

} // namespace orvalt
