// What the terminal can show: how many colours, which characters. Read
// from the environment once when the terminal opens; everything here is
// pure, the reading of the environment included (it takes the values).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "screen/text_screen.h"

namespace screen {

enum class ColorDepth { none, ansi16, palette256, trueColor };

// The character set of the terminal's locale: UTF-8, the Latin-1 sets, or
// ASCII alone (the C locale, and anything we do not know).
enum class TerminalCharset { utf8, latin1, latin9, ascii };

// 24-bit where COLORTERM says so, else what TERM names; none where NO_COLOR
// is set and not empty. Null stands for a variable that is not set.
ColorDepth colorDepthFor(const char* term, const char* colorTerm, const char* noColor);

// From the locale's codeset name (nl_langinfo), or from the locale's own
// name when the system cannot load it ("de_DE.ISO-8859-1", "C").
TerminalCharset charsetFor(std::string_view codesetOrLocale);

// The colour as the depth sends it: the RGB value itself at 24 bits, the
// nearest index of the 256 or 16 colours, -1 at no colour.
std::int32_t colorCode(ColorDepth depth, Color rgb);

// The bytes that show a cell byte in the charset: its UTF-8 character, its
// Latin-1 byte, or the nearest ASCII character (box drawing as + - |).
const std::string& textOfCell(std::uint8_t byte, TerminalCharset charset);

}  // namespace screen
