#include "screen/back_ends/terminal_style.h"

#include <array>
#include <cctype>

#include "screen/cp437.h"

namespace screen {
namespace {

// The 16 colours as the PC's text mode (and the Linux console) show them.
constexpr Color ansiColors[16] = {0x000000, 0xAA0000, 0x00AA00, 0xAA5500, 0x0000AA, 0xAA00AA, 0x00AAAA, 0xAAAAAA,
                                  0x555555, 0xFF5555, 0x55FF55, 0xFFFF55, 0x5555FF, 0xFF55FF, 0x55FFFF, 0xFFFFFF};
// The 256-colour palette beyond its first 16 (which each terminal sets
// its own way): a 6 x 6 x 6 cube of these levels, then 24 greys.
constexpr int cubeLevels[6] = {0, 95, 135, 175, 215, 255};
constexpr int cubeStart = 16;
constexpr int greyStart = 232;

constexpr int red(Color c) { return static_cast<int>((c >> 16) & 0xFF); }
constexpr int green(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int blue(Color c) { return static_cast<int>(c & 0xFF); }

// Weighted as the eye weighs the three, so that a dark blue stays nearer
// black than a bright blue, and orange finds brown rather than red.
int distance(Color a, Color b) {
    const int r = red(a) - red(b), g = green(a) - green(b), bl = blue(a) - blue(b);
    return 2 * r * r + 4 * g * g + 3 * bl * bl;
}

Color paletteColor(int index) {
    if (index < cubeStart) return ansiColors[index];
    if (index >= greyStart) {
        const Color level = static_cast<Color>(8 + 10 * (index - greyStart));
        return level << 16 | level << 8 | level;
    }
    const int cube = index - cubeStart;
    return static_cast<Color>(cubeLevels[cube / 36] << 16 | cubeLevels[cube / 6 % 6] << 8 | cubeLevels[cube % 6]);
}

std::int32_t nearest(Color rgb, int first, int last) {
    std::int32_t best = first;
    for (int i = first + 1; i <= last; ++i)
        if (distance(rgb, paletteColor(i)) < distance(rgb, paletteColor(best))) best = i;
    return best;
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }
bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// The nearest ASCII character of each code page 437 byte outside printable
// ASCII: bytes 0-31, then 128-255 (127, the house, is '^').
constexpr char asciiLow[] = " oo*****#o#oodd*><|!PS-|^v><L-^v";
constexpr char asciiHigh[] =
    "CueaaaaceeeiiiAA" "EaAooouuyOUcLYPf" "aiounNao?--%%!<>" ":%#|++++++|+++++"
    "++++-++++++++=++" "+++++++++++#####" "aBGpSsutFTOd8fen" "=+><()/~o..vn2# ";
static_assert(sizeof asciiLow == 33 && sizeof asciiHigh == 129, "one character for each byte");

char asciiOf(std::uint8_t byte) {
    if (byte < 32) return asciiLow[byte];
    if (byte >= 128) return asciiHigh[byte - 128];
    return byte == 127 ? '^' : static_cast<char>(byte);
}

std::string textIn(std::uint8_t byte, TerminalCharset charset) {
    const char32_t character = cp437ToUnicode(byte);
    if (charset == TerminalCharset::utf8) return utf8Of(character);
    // Latin-9 puts other letters where Latin-1 has the fractions.
    const bool latin = charset == TerminalCharset::latin1 ||
                       (charset == TerminalCharset::latin9 && character != U'\u00BC' && character != U'\u00BD');
    if (latin && character >= 0xA0 && character <= 0xFF) return std::string(1, static_cast<char>(character));
    return std::string(1, asciiOf(byte));
}

using TextTable = std::array<std::string, 256>;

TextTable tableFor(TerminalCharset charset) {
    TextTable texts;
    for (int b = 0; b < 256; ++b) texts[static_cast<std::size_t>(b)] = textIn(static_cast<std::uint8_t>(b), charset);
    return texts;
}

}  // namespace

ColorDepth colorDepthFor(const char* term, const char* colorTerm, const char* noColor) {
    if (noColor && *noColor) return ColorDepth::none;
    const std::string_view colors = colorTerm ? colorTerm : "";
    if (colors == "truecolor" || colors == "24bit") return ColorDepth::trueColor;
    const std::string_view name = term ? term : "";
    if (endsWith(name, "-direct")) return ColorDepth::trueColor;
    if (name.find("256col") != std::string_view::npos) return ColorDepth::palette256;
    // The terminals of old (vt100, vt220) and the monochrome entries.
    const bool oldTerminal = startsWith(name, "vt") && name.size() > 2 && std::isdigit(static_cast<unsigned char>(name[2]));
    if (oldTerminal || name.find("mono") != std::string_view::npos || endsWith(name, "-m")) return ColorDepth::none;
    return ColorDepth::ansi16;
}

TerminalCharset charsetFor(std::string_view codeset) {
    // "en_US.UTF-8@euro" names its codeset after the point.
    if (const std::size_t at = codeset.find('@'); at != std::string_view::npos) codeset = codeset.substr(0, at);
    if (const std::size_t point = codeset.rfind('.'); point != std::string_view::npos) codeset = codeset.substr(point + 1);
    std::string plain;
    for (char c : codeset)
        if (c != '-' && c != '_') plain += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (plain == "UTF8") return TerminalCharset::utf8;
    if (plain == "ISO88591" || plain == "LATIN1" || plain == "CP1252") return TerminalCharset::latin1;
    if (plain == "ISO885915" || plain == "LATIN9") return TerminalCharset::latin9;
    return TerminalCharset::ascii;
}

std::int32_t colorCode(ColorDepth depth, Color rgb) {
    rgb &= 0xFFFFFF;
    switch (depth) {
        case ColorDepth::trueColor: return static_cast<std::int32_t>(rgb);
        case ColorDepth::palette256: return nearest(rgb, cubeStart, 255);
        case ColorDepth::ansi16: return nearest(rgb, 0, cubeStart - 1);
        case ColorDepth::none: break;
    }
    return -1;
}

const std::string& textOfCell(std::uint8_t byte, TerminalCharset charset) {
    static const TextTable tables[4] = {tableFor(TerminalCharset::utf8), tableFor(TerminalCharset::latin1),
                                        tableFor(TerminalCharset::latin9), tableFor(TerminalCharset::ascii)};
    return tables[static_cast<int>(charset)][byte];
}

}  // namespace screen
