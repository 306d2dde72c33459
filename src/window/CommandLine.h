#pragma once

#include <optional>

namespace orvalt {

// The window program's command line, read before its application object exists, which needs a
// display: --help and --version are answered, and a wrong option refused, without one. The
// options of the Qt toolkit are taken and left to it. Returns the exit status when the program is
// to end here, nothing when the window is to start.
std::optional<int> handleCommandLine(int argc, char** argv);

} // namespace orvalt
