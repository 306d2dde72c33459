#pragma once

#include "viewer/ViewDocument.h"

#include <QString>
#include <memory>
#include <optional>

namespace orvalt {

struct ProgramContext;

// A file to view: on this computer (a host path, "\home\me\A.CSV") or on the instrument (a remote
// path, "M:\DATA\TRACE001.CSV").
struct ViewTarget
{
    bool instrument = false;
    QString path;
};

// What the viewer is handed: the file's first bytes made into a document, and what must live as
// long as the viewer does.
struct ViewOpened
{
    ViewDocument document;
    std::shared_ptr<void> keep;
};

// Reads up to cap bytes of the file for the viewer. A failure is told through the dialogs; then
// nothing is returned.
std::optional<ViewOpened> openForView(ProgramContext& ctx, const ViewTarget& target, qint64 cap = kViewCap);

} // namespace orvalt
