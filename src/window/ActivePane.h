#pragma once

#include "core/AppState.h"
#include "panes/ProgramContext.h"

#include <QString>

namespace orvalt {

// Which pane is active is the front ends' to know: the window tells each routine where it acts.
// LActive and RActive are read here and in the window's own code, nowhere below it.

// The pane an action works on: the left one when its list had the focus last, else the right one
// when that list had it; empty before either list had the focus.
inline QString activeSide(const AppState& st)
{
    if (st.LActive)
        return QStringLiteral("L");
    if (st.RActive)
        return QStringLiteral("R");
    return QString();
}

// A list received the focus: its pane becomes the active pane.
inline void listFocused(ProgramContext& ctx, const QString& side)
{
    ctx.state.LActive = AppState::isLeft(side);
    ctx.state.RActive = !AppState::isLeft(side);
}

} // namespace orvalt
