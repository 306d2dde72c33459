#pragma once

#include "core/AppState.h"

#include <QString>
#include <QStringList>

namespace orvalt {

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

// The panes the toolbar's delete and rename serve: the left one if active, then the right one.
inline QStringList activeSidesLeftFirst(const AppState& st)
{
    QStringList sides;
    if (st.LActive)
        sides << QStringLiteral("L");
    if (st.RActive)
        sides << QStringLiteral("R");
    return sides;
}

inline bool isHostPane(const AppState& st, const QString& side)
{
    return st.devId(side) == QLatin1String("0");
}

// Whether the pane that is worked on (the active one) shows the host computer.
inline bool activePaneIsHost(const AppState& st)
{
    return (isHostPane(st, QStringLiteral("L")) && st.LActive) ||
           (isHostPane(st, QStringLiteral("R")) && st.RActive);
}

} // namespace orvalt
