// The two things lister says about itself on the command line, before
// any screen opens.
#pragma once

#include <cstdio>

namespace lister {

// When an argument is --version or --help (the first of them counts),
// prints the version or the usage on `out` and returns true: the caller
// then ends with status 0. Any other argument is no option of lister's.
bool answeredCommandLine(int argc, const char* const* argv, std::FILE* out);

}  // namespace lister
