#include "fileops/DestructiveQuestions.h"

#include "core/AppState.h"
#include "core/ResourceTexts.h"
#include "core/ShownName.h"
#include "panes/HostFs.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"

namespace orvalt {

namespace {

QString mediumNameOfPane(const PaneModel& pane)
{
    const QString text = pane.choosers().mediumText();
    return text.endsWith(QLatin1Char(':')) ? text.chopped(1) : text;
}

} // namespace

QString deleteQuestionText(const QList<DeletedRows>& sides)
{
    QString text = ResourceTexts::text(8105);
    for (const DeletedRows& side : sides) {
        if (side.names.isEmpty())
            continue;
        // One name a line, so the box shows them as a list however long they are.
        text += QStringLiteral("\nYes deletes from %1:").arg(side.where);
        qsizetype i = 0;
        for (; i < side.names.size() && i < kDeleteNamesShown; ++i) {
            text += QStringLiteral("\n    ") + escapedName(side.names.at(i));
            if (side.folders.value(i))
                text += QStringLiteral(" (a folder, with everything in it)");
        }
        if (i < side.names.size())
            text += QStringLiteral("\n    and %1 more").arg(side.names.size() - i);
    }
    return text;
}

QString formatQuestionText(const QString& mediumName, const QString& mediumCode)
{
    const QString medium = mediumName.isEmpty()
                               ? mediumCode
                               : QStringLiteral("%1 (%2)").arg(escapedName(mediumName), mediumCode);
    return ResourceTexts::text(8103) +
           QStringLiteral("\nEverything on the instrument's medium %1 will be erased: every file and folder "
                          "on it.")
               .arg(medium);
}

QString deleteQuestionText(ProgramContext& ctx, const QString& activeSide)
{
    const AppState& st = ctx.state;
    QList<DeletedRows> sides;
    for (const QString& side : activeSide.isEmpty() ? QStringList() : QStringList{activeSide}) {
        const PaneModel& pane = paneList(ctx, side);
        if (pane.currentRow() < 0)
            continue;
        DeletedRows rows;
        if (st.devId(side) == QLatin1String("0")) {
            QString folder = HostFs::nativePath(st.medium(side), st.path(side));
            if (folder.isEmpty())
                folder = st.medium(side) + st.path(side);
            rows.where = QStringLiteral("this computer (%1)").arg(escapedName(folder));
        } else {
            rows.where =
                QStringLiteral("the instrument's medium %1 (%2%3)")
                    .arg(escapedName(mediumNameOfPane(pane)), st.medium(side), escapedName(st.path(side)));
        }
        // The same rows the delete walks: those with a plain name.
        for (const PaneRow& row : pane.selectedItems()) {
            if (row.name.isEmpty() || joinPanePath(st.medium(side), st.path(side), row.name).isEmpty())
                continue;
            rows.names << row.name;
            rows.folders << row.folder;
        }
        sides << rows;
    }
    return deleteQuestionText(sides);
}

QString formatQuestionText(ProgramContext& ctx, const QString& side)
{
    return formatQuestionText(mediumNameOfPane(paneList(ctx, side)), ctx.state.medium(side));
}

} // namespace orvalt
