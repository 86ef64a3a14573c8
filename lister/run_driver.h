// The run driver: the dialogue, the run values, the hand-over to a listing
// and the report at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "lister/run_values.h"

namespace lister {

// The whole run, from opening the screen to the exit with status 0; or,
// asked for --version or --help, that answer and the same exit.
[[noreturn]] void runMain(int argc, const char* const* argv);

std::string makeLabel(int i);
LabelTable makeLabelTable();
// C(n, 6); 0 below 6.
std::int64_t combinationsOf6(std::int32_t n);
// "VSR_" + n + "-6.asc".
std::string outputFileName(std::int32_t n);
// The typed choice without surrounding spaces, its first character
// upper-cased; empty for an empty answer.
std::string normalisedChoice(const std::string& answer);

// The output file's path at the cursor in `room` cells, in code page 437,
// every byte drawn as its glyph: whole when it fits, otherwise its first
// 20 characters, "..." and as many of its last ones as fill the room, so
// that the row keeps its place and the file's name stays in view.
void printPath(const std::string& path, std::size_t room);

// Paints a whole row in bg; the cursor ends after it.
void clearRow(int row, int width, Color fg, Color bg);
void drawBar(int row, int width);

}  // namespace lister
