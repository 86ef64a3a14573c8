// The values one run of lister owns from the first answer to the exit,
// shared by the driver, the enumeration and both listings.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "screen/text_screen.h"

namespace lister {

using screen::Color;

inline constexpr Color frameText = 0xAAEEAA;
inline constexpr Color white = 0xFFFFFF;
inline constexpr Color green = 0x00FF00;
inline constexpr Color background = 0x000044;
inline constexpr Color barText = 0x0000AA;
inline constexpr Color barBack = 0x008800;
inline constexpr Color nameText = 0xFFFF8000;
inline constexpr Color nameBack = 0xFF000040;  // blue 64, not the 68 of background

inline constexpr int screenWidth = 100;
inline constexpr int firstGridRow = 8;
inline constexpr int lastGridRow = 66;
inline constexpr int firstGridColumn = 2;
// Below the grid: the progress panel's count, then its hint; at the end the
// closing lines stand on them. The last row holds the report or an error.
inline constexpr int countRow = 68;
inline constexpr int hintRow = 69;
inline constexpr int reportRow = 70;

inline constexpr std::int32_t fewestElements = 7;
inline constexpr std::int32_t mostElements = 49;

// Entry i (1-49) is i in two digits: "01" ... "49". Entry 0 is unused.
using LabelTable = std::array<std::string, mostElements + 1>;

struct RunValues {
    std::int32_t n = 0;
    std::string choice;  // "P" screen, "G" file
    std::string fileName;
    std::string filePath;
    std::int64_t total = 0;
    std::int64_t count = 0;
    std::int64_t page = 1;
    std::int32_t gridRow = firstGridRow;
    std::int32_t gridCol = firstGridColumn;
    bool interrupted = false;
    double startTime = 0;
    double elapsed = 0;
    LabelTable labels;
};

}  // namespace lister
