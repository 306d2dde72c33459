#include "panes/MediumName.h"

#include "core/Settings.h"
#include "panes/PaneModel.h"
#include "panes/ProgramContext.h"
#include "panes/RemotePaths.h"

#include <QStringList>

namespace orvalt {

QString mediumNameOf(ProgramContext& ctx, const QString& remotePath)
{
    const QString code = remotePath.left(2);
    for (const PaneModel* pane : {&ctx.leftPane, &ctx.rightPane}) {
        for (const ChooserEntry& medium : pane->choosers().media) {
            if (medium.data == code)
                return medium.text.endsWith(QLatin1Char(':')) ? medium.text.chopped(1) : medium.text;
        }
    }
    // No pane shows it (orvalt-cli has none to show): the media the settings file names.
    QStringList names;
    for (int i = 1; i <= 16; ++i) {
        const QString name = ctx.settings.ReadIniValue(ctx.settings.exeName(), QStringLiteral("Product"),
                                                       QStringLiteral("Medium%1").arg(i), QString());
        if (name.isEmpty())
            break;
        names << name;
    }
    for (const MediumInfo& medium : mediaList(names))
        if (medium.mediumCode == code)
            return medium.name;
    return code;
}

} // namespace orvalt
