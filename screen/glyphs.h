// Glyph bitmaps in code page 437 order: one byte per pixel line, bit 7 the
// leftmost pixel. The 8 x 8 set is drawn in glyph_sheet.h; the 8 x 14 and
// 8 x 16 sets are stretched from it.
#pragma once

#include <cstdint>

namespace screen {

// The rows of all 256 glyphs for a cell height of 8, 14 or 16, glyph after
// glyph (glyph b starts at b * cellHeight); null for any other height.
const std::uint8_t* glyphTable(int cellHeight);

}  // namespace screen
