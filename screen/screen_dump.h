// Pictures of the screen for tests and scripts: the frame as a PNG and the
// cell grid as text. Each returns the empty text on success, else why not.
#pragma once

#include <string>

#include "screen/text_screen.h"

namespace screen {

// The frame as an RGB PNG of each pixel's low 24 bits.
std::string writeScreenshot(const TextScreen& s, const std::string& path);
// One line per row: the row's cell bytes exactly as stored, then LF.
std::string writeCellsDump(const TextScreen& s, const std::string& path);

}  // namespace screen
