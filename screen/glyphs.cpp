#include "screen/glyphs.h"

#include <array>
#include <cstddef>

#include "screen/glyph_sheet.h"

namespace screen {
namespace {

using Glyphs8 = std::array<std::uint8_t, 256 * 8>;

constexpr std::size_t lineEnd(const char* text, std::size_t at) {
    while (text[at] != '\0' && text[at] != '\n') ++at;
    return at;
}

struct ParsedSheet {
    Glyphs8 rows{};
    const char* error = nullptr;
};

// Reads the sheet: bands of a ':' label line and eight pixel lines, each
// pixel line eight groups of eight '#'/'.' separated by single spaces. Any
// deviation stops the compilation, so a slip in the drawing cannot ship.
constexpr ParsedSheet parseSheet(const char* text) {
    ParsedSheet sheet;
    auto& rows = sheet.rows;
    auto fail = [&sheet](const char* why) {
        sheet.error = why;
        return sheet;
    };
    int band = 0;
    int line = 0;
    std::size_t at = 0;
    while (text[at] != '\0') {
        const std::size_t end = lineEnd(text, at);
        if (end == at || text[at] == ':') {
            if (text[at] == ':' && line != 0) return fail("glyph sheet: label inside a band");
        } else {
            if (end - at != 71) return fail("glyph sheet: a pixel line must be 71 characters");
            if (band >= 32) return fail("glyph sheet: more than 32 bands");
            for (int g = 0; g < 8; ++g) {
                std::uint8_t bits = 0;
                for (int x = 0; x < 8; ++x) {
                    const char c = text[at + static_cast<std::size_t>(g * 9 + x)];
                    if (c != '#' && c != '.') return fail("glyph sheet: pixels are '#' or '.'");
                    if (c == '#') bits = static_cast<std::uint8_t>(bits | (0x80 >> x));
                }
                if (g < 7 && text[at + static_cast<std::size_t>(g * 9 + 8)] != ' ')
                    return fail("glyph sheet: groups are separated by one space");
                rows[static_cast<std::size_t>((band * 8 + g) * 8 + line)] = bits;
            }
            if (++line == 8) {
                line = 0;
                ++band;
            }
        }
        at = text[end] == '\0' ? end : end + 1;
    }
    if (band != 32 || line != 0) return fail("glyph sheet: 32 whole bands expected");
    return sheet;
}

constexpr ParsedSheet sheet = parseSheet(glyphs::glyphSheet);
static_assert(sheet.error == nullptr, "the glyph sheet is malformed");
constexpr Glyphs8 glyphs8 = sheet.rows;

// Taller cells repeat source lines: line y of a cell of height h shows
// line y * 8 / h of the 8 x 8 glyph.
template <int Height>
constexpr std::array<std::uint8_t, 256 * Height> stretched() {
    std::array<std::uint8_t, 256 * Height> rows{};
    for (int g = 0; g < 256; ++g)
        for (int y = 0; y < Height; ++y)
            rows[static_cast<std::size_t>(g * Height + y)] =
                glyphs8[static_cast<std::size_t>(g * 8 + y * 8 / Height)];
    return rows;
}

constexpr auto glyphs14 = stretched<14>();
constexpr auto glyphs16 = stretched<16>();

constexpr bool blankGlyph(int g) {
    for (int y = 0; y < 8; ++y)
        if (glyphs8[static_cast<std::size_t>(g * 8 + y)] != 0) return false;
    return true;
}
static_assert(blankGlyph(' '), "the space has no ink");

}  // namespace

const std::uint8_t* glyphTable(int cellHeight) {
    switch (cellHeight) {
        case 8: return glyphs8.data();
        case 14: return glyphs14.data();
        case 16: return glyphs16.data();
        default: return nullptr;
    }
}

}  // namespace screen
