#pragma once

#include "panes/ListingText.h"
#include "transfer/CopyRun.h"

#include <optional>

namespace orvalt {

// How a write the instrument never confirmed turned out, by what its listing shows now.
enum class UnconfirmedOutcome
{
    Written,    // the file is there with the size sent, where before there was none or another
    NotWritten, // nothing there where nothing was, or the entry exactly as it was before
    Unknown     // the listing cannot tell (or there was no listing)
};

// The outcome of write by the entry of its name now (nullopt: no entry of that name). Where what
// was there before is not known, only a missing file tells: a file of the size sent may be an
// older one of the same size.
UnconfirmedOutcome settleWrite(const UnconfirmedWrite& write, const std::optional<ListingEntry>& after);

} // namespace orvalt
