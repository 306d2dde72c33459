#pragma once

#include "viewer/ViewDocument.h"

#include <QString>
#include <memory>
#include <optional>

namespace orvalt {

struct Endpoint;
struct ProgramContext;

// What the viewer is handed: the file's first bytes made into a document, and what must live as
// long as the viewer does.
struct ViewOpened
{
    ViewDocument document;
    std::shared_ptr<void> keep;
};

// Reads up to cap bytes of the file name in folder for the viewer: a host file as it is, an
// instrument's through the receiver into a temporary file, which lives as long as the viewer. A
// failure is told through the dialogs; then nothing is returned.
std::optional<ViewOpened> openForView(ProgramContext& ctx, const Endpoint& folder, const QString& name,
                                      qint64 cap = kViewCap);

} // namespace orvalt
