#pragma once

#include "panes/FileEntry.h"
#include "panes/ListingText.h"
#include "panes/PaneModel.h"

#include <QList>
#include <QString>

namespace orvalt {

struct ProgramContext;

// The listing of the instrument's current folder ("DIR?"), as one text of comma-separated fields:
// a header, then name, size, date, time and a fifth field for each entry; a folder's name ends
// with "/". What arrived before a failure is returned; result (when given) tells whether the
// listing is complete: 0, the link's result of the call that failed, or -1 when the instrument
// refused or broke off the answer, so a cut listing is never taken for the whole folder.
QString DirList(ProgramContext& ctx, const QString& unusedPath = QString(), qint32* result = nullptr);

// The message for a listing that ended early (result of DirList other than 0).
QString listingFailureText(ProgramContext& ctx, qint32 result);

// Text 8303 "This medium can't be chosen" for a refused "MED " of the medium medium ("INT MEM"), and
// under it why, where the program knows: the link's failure (the instrument stopped answering, the
// port went away), or the reason the instrument gave.
QString mediumRefusedText(ProgramContext& ctx, qint32 result, const QString& medium);
// Text 8304 "This Path can't be chosen" for a refused "CDR " of folder ("M:\DATA"), and why.
QString pathRefusedText(ProgramContext& ctx, qint32 result, const QString& folder);

// The rows of a listing's entries, as an instrument pane shows them.
QList<PaneRow> listingRows(const QList<ListingEntry>& entries);

// Adds the instrument folder of a pane ("L" or "R") to its list, which the caller has emptied:
// selects the medium ("MED ") and folder ("CDR "), then lists it.
void R_LoadListview(ProgramContext& ctx, const QString& side);
inline void R_LoadListviewL(ProgramContext& ctx)
{
    R_LoadListview(ctx, QStringLiteral("L"));
}
inline void R_LoadListviewR(ProgramContext& ctx)
{
    R_LoadListview(ctx, QStringLiteral("R"));
}

// The size of the file of that name in a fresh listing of the current folder; 0 when there is none
// (a folder of that name does not count).
qint32 RmtFileSize(ProgramContext& ctx, const QString& name);

} // namespace orvalt
