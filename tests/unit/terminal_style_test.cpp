// What a terminal can show: its colour depth and character set from the
// environment, the SGR forms each depth sends for lister's palette with its
// colours kept apart, and every cell byte in a terminal without UTF-8.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "screen/back_ends/terminal_output.h"
#include "screen/cp437.h"
#include "tests/model_terminal.h"

using namespace screen;

TEST(TerminalStyle, TheColourDepthComesFromTheEnvironment) {
    struct Case {
        const char *term, *colorTerm, *noColor;
        ColorDepth depth;
    };
    const Case cases[] = {
        {"xterm-256color", "truecolor", nullptr, ColorDepth::trueColor},
        {"xterm", "24bit", nullptr, ColorDepth::trueColor},
        {"xterm-direct", nullptr, nullptr, ColorDepth::trueColor},
        {"xterm-256color", nullptr, nullptr, ColorDepth::palette256},
        {"tmux-256color", "", nullptr, ColorDepth::palette256},
        {"xterm", nullptr, nullptr, ColorDepth::ansi16},
        {"screen", nullptr, nullptr, ColorDepth::ansi16},
        {"linux", nullptr, nullptr, ColorDepth::ansi16},
        {"vt100", nullptr, nullptr, ColorDepth::none},
        {"vt220", nullptr, nullptr, ColorDepth::none},
        {"xterm-mono", nullptr, nullptr, ColorDepth::none},
        {"xterm-256color", "truecolor", "1", ColorDepth::none},
        {"xterm", nullptr, "", ColorDepth::ansi16},  // set but empty: no say
    };
    for (const Case& c : cases)
        EXPECT_EQ(colorDepthFor(c.term, c.colorTerm, c.noColor), c.depth)
            << c.term << " " << (c.colorTerm ? c.colorTerm : "-") << " " << (c.noColor ? c.noColor : "-");
}

TEST(TerminalStyle, TheCharacterSetComesFromTheLocale) {
    const std::pair<const char*, TerminalCharset> cases[] = {
        {"UTF-8", TerminalCharset::utf8},          {"en_US.utf8", TerminalCharset::utf8},
        {"es_ES.UTF-8@euro", TerminalCharset::utf8}, {"ANSI_X3.4-1968", TerminalCharset::ascii},
        {"C", TerminalCharset::ascii},             {"POSIX", TerminalCharset::ascii},
        {"ISO-8859-1", TerminalCharset::latin1},   {"de_DE.ISO-8859-1", TerminalCharset::latin1},
        {"ISO-8859-15", TerminalCharset::latin9},  {"KOI8-R", TerminalCharset::ascii},
    };
    for (const auto& [name, charset] : cases) EXPECT_EQ(charsetFor(name), charset) << name;
}

namespace {

// lister's colours: the listing's two, the background, the title's, the
// file name's pair, the bars'.
constexpr Color white = 0xFFFFFF, green = 0x00FF00, background = 0x000044, frameText = 0xAAEEAA;
constexpr Color nameText = 0xFFFF8000, nameBack = 0xFF000040, barText = 0x0000AA, barBack = 0x008800;

// The RGB of a colour of the 256 beyond the first 16, as xterm defines them.
Color rgbOf256(int index) {
    if (index >= 232) return static_cast<Color>((8 + 10 * (index - 232)) * 0x010101);
    const auto level = [](int l) { return static_cast<Color>(l == 0 ? 0 : 55 + 40 * l); };
    const int cube = index - 16;
    return level(cube / 36) << 16 | level(cube / 6 % 6) << 8 | level(cube % 6);
}

}  // namespace

TEST(TerminalStyle, EachDepthSendsItsOwnFormAndKeepsListersColoursApart) {
    const TerminalCell listedWhite{'1', white, background, false}, listedGreen{'2', green, background, false},
        title{'V', frameText, background, false}, name{'V', nameText, nameBack, false},
        bar{' ', barText, barBack, false}, mark{'3', white, background, true};
    const std::pair<ColorDepth, const char*> depths[] = {
        {ColorDepth::trueColor, "24-bit"}, {ColorDepth::palette256, "256"}, {ColorDepth::ansi16, "16"},
        {ColorDepth::none, nullptr}};
    for (const auto& [depth, form] : depths) {
        SCOPED_TRACE(form ? form : "no colour");
        TerminalPicture p;
        p.columns = 6;
        p.rows = 1;
        p.cells = {listedWhite, listedGreen, title, name, bar, mark};
        TerminalView v;
        v.columns = 6;
        v.rows = 1;
        v.depth = depth;
        std::string out;
        writePicture(p, v, out);
        EXPECT_EQ(testing_screen::colourForms(out), form ? std::set<std::string>{form} : std::set<std::string>{}) << out;

        const Pen w = penOf(listedWhite, v), g = penOf(listedGreen, v), n = penOf(name, v);
        EXPECT_NE(w, g) << "the listing's two colours";
        EXPECT_NE(penOf(mark, v), w) << "the input mark";
        EXPECT_NE(penOf(bar, v), penOf(title, v)) << "the bars";
        if (depth == ColorDepth::none) continue;
        const std::set<std::int32_t> distinct = {w.foreground, g.foreground, w.background, n.foreground};
        EXPECT_EQ(distinct.size(), 4u) << "white, green, the background and the file's name";
        EXPECT_NE(n.foreground, n.background);
        if (depth != ColorDepth::palette256) continue;
        // The nearest of the 256: no channel further off than half a step of the cube.
        for (const TerminalCell& c : p.cells) {
            for (Color colour : {c.foreground, c.background}) {
                const Color shown = rgbOf256(colorCode(depth, colour));
                for (int shift : {0, 8, 16})
                    EXPECT_LE(std::abs(int((shown >> shift) & 0xFF) - int((colour >> shift) & 0xFF)), 48) << colour;
            }
        }
    }
}

TEST(TerminalStyle, OutsideUtf8EveryByteIsOneCharacterTheTerminalHas) {
    for (TerminalCharset charset : {TerminalCharset::ascii, TerminalCharset::latin1, TerminalCharset::latin9}) {
        for (int b = 0; b < 256; ++b) {
            const std::string& text = textOfCell(static_cast<std::uint8_t>(b), charset);
            const char32_t u = cp437ToUnicode(static_cast<std::uint8_t>(b));
            ASSERT_EQ(text.size(), 1u) << b;
            const auto shown = static_cast<unsigned char>(text[0]);
            const bool latin = charset != TerminalCharset::ascii && u >= 0xA0 && u <= 0xFF &&
                               !(charset == TerminalCharset::latin9 && (u == 0xBC || u == 0xBD));
            if (latin) {
                EXPECT_EQ(shown, u) << b;
                continue;
            }
            EXPECT_TRUE(shown >= 0x20 && shown < 0x7F) << b;
            if (u >= 0x20 && u < 0x7F) {
                EXPECT_EQ(shown, u) << b;
            }
            if (u >= 0x2500 && u < 0x2580) {
                EXPECT_NE(std::string("+-|=").find(static_cast<char>(shown)), std::string::npos) << b;
            }
        }
    }
    // A few letters as a reader of ASCII expects them.
    for (auto [character, ascii] : {std::pair{U'\u00E9', 'e'}, {U'\u00D1', 'N'}, {U'\u00BF', '?'}, {U'\u00B7', '.'}})
        EXPECT_EQ(textOfCell(static_cast<std::uint8_t>(unicodeToCp437(character)), TerminalCharset::ascii), std::string(1, ascii));
}
