#pragma once

#include "transfer/CopyRun.h"

#include <QString>
#include <functional>

namespace orvalt {

struct Endpoint;
struct ProgramContext;

// What a row copy needs to know of the folder it copies into. The window reads it from the
// destination pane; orvalt-cli from its own listing of that folder, or from the host.
class CopyDestination
{
public:
    virtual ~CopyDestination() = default;
    // Whether an item of that name and kind is there, names compared as that side compares them.
    virtual bool has(const QString& name, bool folder) = 0;
    // How the overwrite question describes it.
    virtual QString describe(const QString& name, bool folder) = 0;
    // What the destination listed under a file's name before the copy, where that is known without
    // asking the instrument: what settles a write the instrument never confirmed.
    virtual ListedBefore listedBefore(const QString& /*name*/) { return {}; }
};

// An item of the source pane, as a row copy takes it.
struct CopyItem
{
    QString path;      // its pane path: a host path, or a remote path (M:\DATA\A.DAT)
    QString name;      // its own name
    QString shortName; // its short (8.3) name on the host; its name elsewhere
    bool folder = false;
    // A file's name at the destination when it is not its own (before the name check).
    QString targetName;
    // How the overwrite question describes it; asked only when the question comes.
    std::function<QString()> describe;
};

// How a row copy ended.
struct RowCopied
{
    bool stop = false;      // the rest of the selection is dropped
    bool attempted = false; // the one-file or folder copy ran (the row was neither refused nor skipped)
    qint32 result = 0;      // a file's: the one-file copy's result
    QString targetName;     // a file's: the name it has at the destination
};

// One row of Copy to Left / Copy to Right and of orvalt-cli get and put: the item (in from) into
// the folder of to. A file passes the instrument's name rules of to first (the name check, with the
// name dialog where needed; Cancel stops the copy), and is copied under the name it leaves
// (copyFileAs). A folder whose name the instrument cannot hold is refused with text 8305 and stops
// the copy; it is copied by CopyFolderTree, and its name at the destination is its short name when
// it goes from the host to an instrument that takes no long names. An item of that name and kind
// at the destination brings the overwrite question (none after "Completely, Yes"): No skips the
// row, Cancel stops the copy.
RowCopied copyRow(ProgramContext& ctx, CopyRun& run, const CopyItem& item, const Endpoint& from,
                  const Endpoint& to, CopyDestination& destination);

} // namespace orvalt
