// What lister says about itself on the command line, before any screen
// opens. lister takes no arguments: help and version aside, any argument
// is a mistake.
#pragma once

#include <optional>

namespace lister {

// Reads the arguments as command-line tools do: -h or --help prints the
// usage and -V or --version the version on standard output (the first
// argument decides; short options may run together, -hV), and -- ends the
// options. Any other argument is said on standard error, with the usage
// line. Returns nothing when lister is to run, otherwise the status to end
// with: 0 once answered, 2 for a mistake, 1 when the answer could not be
// written.
std::optional<int> answerCommandLine(int argc, const char* const* argv);

}  // namespace lister
