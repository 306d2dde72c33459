#include "session/Connection.h"

#include "core/AppState.h"
#include "core/DialogSeam.h"
#include "core/ResourceTexts.h"
#include "session/SessionContext.h"

namespace orvalt {

bool CheckConnect(SessionContext& s, const QString& device, const QString& side)
{
    AppState& st = s.state;
    st.medium(side) = device.right(2);
    if (st.Connected)
        return true;
    if (st.LDevID != QLatin1String("1") && st.RDevID != QLatin1String("1"))
        return true;
    if (st.Interactive)
        s.dialogs.plain(ResourceTexts::text(8108));
    return false;
}

} // namespace orvalt
