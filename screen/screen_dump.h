// Pictures of the screen for tests and scripts: the frame as a PNG and the
// cell grid as text. Each returns null on success, else why not, in words
// that take no memory to tell: memory may be what ran out.
#pragma once

#include <string>

#include "screen/text_screen.h"

namespace screen {

// The frame as an RGB PNG of each pixel's low 24 bits.
const char* writeScreenshot(const TextScreen& s, const std::string& path);
// One line per row: the row's cell bytes exactly as stored, then LF.
const char* writeCellsDump(const TextScreen& s, const std::string& path);

}  // namespace screen
