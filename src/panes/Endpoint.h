#pragma once

#include "core/AppState.h"
#include "panes/RemotePaths.h"

#include <QString>

namespace orvalt {

// Where an action acts: this computer or the instrument, the drive or medium, and the folder. The
// routines below the window and orvalt-cli are told it by their arguments; only the front ends
// know which pane is active, and they build these from the panes (paneEndpoint), from a command
// line, or from what was dropped where.
struct Endpoint
{
    bool host = true;
    // A host pane's drive prefix ("" for "/", "C:"), or an instrument medium's ("M:", "1:").
    QString medium;
    // "\" for the root, else "\DATA\SUB" (no "\" at the end).
    QString folder = QStringLiteral("\\");
    // The pane that shows this place ("L" or "R"), whose rows stand for a listing of it; empty for a
    // place no pane shows.
    QString pane;

    bool isInstrument() const { return !host; }
    // The folder as a copy names its destination: "M:\DATA\", "M:\", "\home\me\".
    QString folderPath() const { return joinPanePath(medium, folder, QString()); }
    // An item of the folder ("M:\DATA\A.DAT"); empty for a name that is not one plain name.
    QString pathOf(const QString& name) const { return joinPanePath(medium, folder, name); }
};

// The place of a folder as a copy names it ("M:\DATA\", "C:\WORK\", "\home\me\"): what stands
// before its first "\" is the drive or medium. pane names the pane that shows it, if one does.
inline Endpoint endpointOf(bool host, const QString& folderPath, const QString& pane = QString())
{
    Endpoint e;
    e.host = host;
    e.pane = pane;
    const qsizetype cut = folderPath.indexOf(QLatin1Char('\\'));
    e.medium = cut < 0 ? folderPath : folderPath.left(cut);
    QString folder = cut < 0 ? QString() : folderPath.mid(cut);
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('\\')))
        folder.chop(1);
    e.folder = folder.isEmpty() ? QStringLiteral("\\") : folder;
    return e;
}

// The place a pane shows.
inline Endpoint paneEndpoint(const AppState& st, const QString& side)
{
    Endpoint e;
    e.host = st.devId(side) == QLatin1String("0");
    e.medium = st.medium(side);
    e.folder = st.path(side);
    e.pane = AppState::isLeft(side) ? QStringLiteral("L") : QStringLiteral("R");
    return e;
}

} // namespace orvalt
