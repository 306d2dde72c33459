#pragma once

#include <QString>

namespace orvalt {

struct AppState;
struct Endpoint;
struct ProgramContext;

// Checks a name against the instrument's rules, asking for another one in the name dialog where
// needed. kind is "FILE" or "FOLDER"; mode "CHECK" before a file is copied into where (nothing to
// check for a host folder), "CHANGE" to name a new folder in where (the folder is renamed here,
// and the name given is left in NewFolderName). Returns 0 when the name can be used unchanged, -1
// when another name was chosen (it is in WarnName), 3 when the user cancelled (or a host move
// refused the name).
qint16 NameCheck(ProgramContext& ctx, const QString& name, const QString& shortName, const QString& kind,
                 const QString& mode, const Endpoint& where);
// Whether a name breaks the rules of where: empty, longer than the whole-name limit, or with a
// character that is not allowed. In mode "CHECK" a name is never bad for a host folder.
bool nameIsBadFor(const AppState& st, const QString& name, const QString& mode, const Endpoint& where);
// Asks for a new name of one item of where (kind "FILE" or "FOLDER") until it is acceptable, then
// renames it (an unchanged name too). Returns -1 when renamed, 3 when cancelled, 0 when there was
// nothing to rename.
qint16 RenameItem(ProgramContext& ctx, const QString& name, const QString& shortName, const QString& kind,
                  const Endpoint& where);
// The toolbar's "ファイル名変更" on the pane of side (the active one; nothing for none): one name
// dialog for each selected row, then the pane is refilled.
void toolbarRename(ProgramContext& ctx, const QString& side);

} // namespace orvalt
