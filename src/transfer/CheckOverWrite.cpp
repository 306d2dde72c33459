#include "transfer/CheckOverWrite.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "core/StatusPanel.h"
#include "panes/ProgramContext.h"

namespace orvalt {

qint16 CheckOverWrite(ProgramContext& ctx, const QString& name, const QString& source, const QString& dest)
{
    AppState& st = ctx.state;
    if (st.OverwriteAll)
        return 0;
    st.OverwriteName = name;
    st.OverwriteSource = source;
    st.OverwriteDest = dest;
    st.DialogAnswer = 0;
    const int answer = ctx.dialogs.overwriteQuestion(st.OverwriteName, st.OverwriteSource, st.OverwriteDest);
    // Anything but the four answers counts as Cancel, as closing the dialog does.
    st.DialogAnswer = static_cast<qint16>(answer >= 0 && answer <= 3 ? answer : 3);
    if (st.DialogAnswer == 1) {
        ctx.statusPanel1.setText(ResourceTexts::text(1021));
        st.OverwriteAll = true;
    }
    return st.DialogAnswer;
}

} // namespace orvalt
