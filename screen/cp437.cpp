#include "screen/cp437.h"

#include <array>

namespace screen {
namespace {

constexpr std::array<char32_t, 32> lowGraphics = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9,
    0x2642, 0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7,
    0x25AC, 0x21A8, 0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC};

constexpr std::array<char32_t, 128> upperHalf = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

constexpr char32_t house = 0x2302;  // byte 127
constexpr char unknownCharacter = '?';

// The byte whose glyph shows `c`, or -1: ASCII as itself, then the
// glyphs of the control bytes and of 127, then the upper half.
int glyphByte(char32_t c) {
    if (c < 128) return static_cast<int>(c);
    for (std::size_t i = 1; i < lowGraphics.size(); ++i)
        if (lowGraphics[i] == c) return static_cast<int>(i);
    return c == house ? 127 : unicodeToCp437(c);
}

}  // namespace

char32_t cp437ToUnicode(std::uint8_t byte) {
    if (byte < 32) return lowGraphics[byte];
    if (byte < 127) return byte;
    if (byte == 127) return house;
    return upperHalf[static_cast<std::size_t>(byte - 128)];
}

int unicodeToCp437(char32_t character) {
    if (character >= 32 && character < 127) return static_cast<int>(character);
    for (std::size_t i = 0; i < upperHalf.size(); ++i)
        if (upperHalf[i] == character) return static_cast<int>(128 + i);
    return -1;
}

std::string cp437FromUtf8(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = 0;
        std::size_t used = 1;
        int byte = -1;
        if (decodeUtf8(bytes + at, text.size() - at, c, used) == Utf8Status::complete)
            byte = glyphByte(c);
        else
            used = 1;  // a byte outside valid UTF-8 stands for itself alone
        shown += byte < 0 ? unknownCharacter : static_cast<char>(byte);
        at += used;
    }
    return shown;
}

std::string utf8Of(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

Utf8Status decodeUtf8(const std::uint8_t* bytes, std::size_t length, char32_t& character, std::size_t& used) {
    if (length == 0) return Utf8Status::incomplete;
    const std::uint8_t lead = bytes[0];
    std::size_t size = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
        character = lead;
        used = 1;
        return Utf8Status::complete;
    } else if ((lead & 0xE0) == 0xC0) {
        size = 2, value = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        size = 3, value = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        size = 4, value = lead & 0x07, smallest = 0x10000;
    } else {
        return Utf8Status::invalid;
    }
    for (std::size_t i = 1; i < size; ++i) {
        if (i >= length) return Utf8Status::incomplete;
        if ((bytes[i] & 0xC0) != 0x80) return Utf8Status::invalid;
        value = (value << 6) | (bytes[i] & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return Utf8Status::invalid;
    character = value;
    used = size;
    return Utf8Status::complete;
}

}  // namespace screen
