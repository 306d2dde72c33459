#pragma once

#include <QList>
#include <QString>

namespace orvalt {

struct ProgramContext;

// The questions asked before data is destroyed say what they destroy: their own first line, then
// what goes and where, so that a Yes given out of habit still had the names in front of it. Made
// here once for the window and orvalt-cli.

// How many names the delete question lists before it only counts the rest.
inline constexpr int kDeleteNamesShown = 5;

// The rows to be deleted on one side: where they are ("this computer (/home/u/data)", "the
// instrument's medium INT MEM (M:\DATA)"), and each row's name and whether it is a folder.
struct DeletedRows
{
    QString where;
    QList<QString> names;
    QList<bool> folders;
};

// The delete question: its first line, then per side one line naming the first kDeleteNamesShown
// rows and how many more. The first line alone when nothing is selected.
QString deleteQuestionText(const QList<DeletedRows>& sides);

// The format question: its first line, then the medium by name and code and that all on it goes.
QString formatQuestionText(const QString& mediumName, const QString& mediumCode);

// Both from the panes as they are: the selected rows of the pane of side (none when empty), the
// medium of the pane of side.
QString deleteQuestionText(ProgramContext& ctx, const QString& side);
QString formatQuestionText(ProgramContext& ctx, const QString& side);

} // namespace orvalt
