// The bytes sent to the terminal: exact for small changes (only what
// changed, the shortest move, colours only when they change), and checked
// by playing them on the model terminal for whole pictures: every code
// page 437 byte, random changes in terminals larger and smaller than the
// picture, and the size message. How a cell of the screen record shows is
// in terminal_picture_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "screen/cp437.h"
#include "screen/back_ends/terminal_output.h"
#include "tests/model_terminal.h"

using namespace screen;
using namespace testing_screen;

namespace {

const std::string clearAll = "\x1b[0m\x1b[?25l\x1b[2J";

// A 10 x 3 picture of 'a' in white on blue, already on a 10 x 3 terminal,
// with the cursor at (row, column) and the pen white on blue.
TerminalView shownView(const TerminalPicture& p, int row, int column) {
    TerminalView v;
    v.columns = p.columns;
    v.rows = p.rows;
    v.valid = true;
    v.shown = p;
    v.cursorRow = row;
    v.cursorColumn = column;
    v.pen = {white, blue, 0};
    return v;
}

}  // namespace

TEST(TerminalOutput, AFirstPictureClearsAndDrawsEveryCell) {
    TerminalPicture p = pictureOf(3, 2, {'a', white, blue, false});
    cellOf(p, 2, 1).byte = 'd';
    TerminalView v;
    v.columns = 3;
    v.rows = 2;
    std::string out;
    writePicture(p, v, out);
    EXPECT_EQ(out, clearAll + "\x1b[H\x1b[38;2;255;255;255;48;2;0;0;68maaa\x1b[2Hdaa");
    out.clear();
    writePicture(p, v, out);
    EXPECT_EQ(out, "") << "nothing changed, nothing sent";
}

TEST(TerminalOutput, OnlyChangedCellsWithTheShortestMoveAndOnlyTheColoursThatChange) {
    struct Change {
        int row, column;
        TerminalCell cell;
    };
    struct Case {
        const char* what;
        int cursorRow, cursorColumn;  // 0: unknown
        std::vector<Change> changes;
        std::string bytes;
    };
    const TerminalCell x{'X', white, blue, false};
    const Case cases[] = {
        {"cursor unknown: absolute move", 0, 0, {{2, 5, x}}, "\x1b[2;5HX"},
        {"already there", 2, 5, {{2, 5, x}}, "X"},
        {"one cell ahead: rewrite it rather than move", 1, 1, {{1, 2, x}}, "aX"},
        {"six ahead: a move is shorter", 1, 1, {{1, 7, x}}, "\x1b[6CX"},
        {"back along the row", 1, 9, {{1, 3, x}}, "\x1b[6DX"},
        {"back to the start of the row", 1, 9, {{1, 1, x}}, "\rX"},
        {"next row, first column", 1, 4, {{2, 1, x}}, "\r\nX"},
        {"straight down", 1, 4, {{2, 4, x}}, "\x1b[BX"},
        {"two rows down to column 1: absolute is shorter", 1, 4, {{3, 1, x}}, "\x1b[3HX"},
        {"up", 3, 4, {{1, 4, x}}, "\x1b[2AX"},
        {"neighbours need no move", 1, 1, {{1, 1, x}, {1, 2, x}, {1, 3, x}}, "XXX"},
        {"foreground only", 1, 1, {{1, 1, {'g', green, blue, false}}}, "\x1b[38;2;0;255;0mg"},
        {"background only", 1, 1, {{1, 1, {'b', white, 0x102030, false}}}, "\x1b[48;2;16;32;48mb"},
        {"underline on, then off again",
         1,
         1,
         {{1, 1, {'u', white, blue, true}}, {1, 2, x}},
         "\x1b[4mu\x1b[24mX"},
        {"a gap in another pen is moved over, not rewritten",
         1,
         1,
         {{1, 2, {'g', green, blue, false}}, {1, 4, {'h', green, blue, false}}},
         "a\x1b[38;2;0;255;0mg\x1b[Ch"},
        {"last column: the next move is absolute", 1, 10, {{1, 10, x}, {2, 1, x}}, "X\x1b[2HX"},
    };
    for (const Case& c : cases) {
        const TerminalPicture before = pictureOf(10, 3, {'a', white, blue, false});
        TerminalView v = shownView(before, c.cursorRow, c.cursorColumn);
        TerminalPicture after = before;
        for (const Change& ch : c.changes) cellOf(after, ch.row, ch.column) = ch.cell;
        std::string out;
        writePicture(after, v, out);
        EXPECT_EQ(out, c.bytes) << c.what;
        ModelTerminal t(10, 3);
        t.play(clearAll);
        t.sgr({38, 2, 255, 255, 255, 48, 2, 0, 0, 68});
        for (ModelTerminal::Glyph& g : t.cells) g = {U'a', white, blue, false};
        t.moveTo(c.cursorRow ? c.cursorRow : 1, c.cursorColumn ? c.cursorColumn : 1);
        t.play(out);
        expectShowsView(t, after, v.laid, c.what);
    }
    // A kept row (an answer, the report) goes out as one run of text, so
    // that a screen reader reads it as a line: the gap in another pen too.
    TerminalPicture before = pictureOf(10, 3, {'a', white, blue, false});
    before.keptRows = {0, 1, 0};
    TerminalView v = shownView(before, 2, 1);
    TerminalPicture after = before;
    cellOf(after, 2, 2) = cellOf(after, 2, 4) = {'g', green, blue, false};
    std::string out;
    writePicture(after, v, out);
    EXPECT_EQ(out, "a\x1b[38;2;0;255;0mg\x1b[38;2;255;255;255ma\x1b[38;2;0;255;0mg");
}

TEST(TerminalOutput, EveryCodePage437ByteShowsAsItsUnicodeCharacter) {
    TerminalPicture p = pictureOf(16, 16, {});
    for (int b = 0; b < 256; ++b) p.cells[static_cast<std::size_t>(b)] = {static_cast<std::uint8_t>(b), white, blue, false};
    TerminalView v;
    v.columns = 16;
    v.rows = 16;
    std::string out;
    writePicture(p, v, out);
    ModelTerminal t(16, 16);
    t.play(out);
    expectShowsView(t, p, v.laid, "all 256 bytes");
    EXPECT_EQ(t.at(1, 1).character, U' ') << "byte 0 shows as a space";
    for (int b = 32; b < 256; ++b) {
        if (b == 127) continue;  // the house sign has no way back: it is never typed
        EXPECT_EQ(unicodeToCp437(t.at(b / 16 + 1, b % 16 + 1).character), b) << b;
    }
}

TEST(TerminalOutput, RandomChangesKeepTheTerminalEqualToThePicture) {
    std::mt19937 random(437);
    const Color colours[] = {white, green, blue, 0x0000AA, 0x008800};
    struct Size {
        int columns, rows;
    };
    // The grid fits exactly, stands centred in a larger terminal, and shows
    // in part in a smaller one, following a focus and an input mark that
    // move at random, and moved by the user.
    for (const Size size : {Size{20, 6}, Size{27, 9}, Size{12, 5}}) {
        TerminalPicture p = pictureOf(20, 6, {' ', white, blue, false});
        p.keptRows = {1, 0, 0, 0, 0, 1};
        TerminalView v;
        v.columns = size.columns;
        v.rows = size.rows;
        ModelTerminal t(size.columns, size.rows);
        for (int round = 0; round < 200; ++round) {
            const int changes = static_cast<int>(random() % 30);
            for (int i = 0; i < changes; ++i) {
                TerminalCell& c = p.cells[random() % p.cells.size()];
                c = {static_cast<std::uint8_t>(random() % 256), colours[random() % 5], colours[random() % 5], false};
            }
            if (p.markRow) cellOf(p, p.markRow, p.markColumn).underlined = false;
            p.markRow = static_cast<int>(random() % 7);  // 0: none
            p.markColumn = static_cast<int>(random() % 20) + 1;
            if (p.markRow) cellOf(p, p.markRow, p.markColumn).underlined = true;
            p.focusRow = p.markRow ? p.markRow : static_cast<int>(random() % 7);
            p.focusColumn = p.markRow ? p.markColumn : static_cast<int>(random() % 20) + 1;
            if (random() % 4 == 0) v.userRows += static_cast<int>(random() % 5) - 2;
            if (random() % 4 == 0) v.userColumns += static_cast<int>(random() % 9) - 4;
            std::string out;
            writePicture(p, v, out);
            t.play(out);
            expectShowsView(t, p, v.laid, std::to_string(size.columns) + " x " + std::to_string(size.rows) + ", round " + std::to_string(round));
            if (::testing::Test::HasFailure()) return;
        }
    }
}

TEST(TerminalOutput, TheSizeMessageStandsCentredInLinesThatFit) {
    struct Case {
        int columns, rows;
    };
    for (const Case c : {Case{80, 24}, Case{40, 10}, Case{12, 8}, Case{100, 69}, Case{99, 70}}) {
        TerminalView v;
        v.columns = c.columns;
        v.rows = c.rows;
        v.valid = true;
        std::string out;
        writeSizeMessage(v, out);
        EXPECT_FALSE(v.valid) << "the picture is drawn anew afterwards";
        ModelTerminal t(c.columns, c.rows);
        t.play(out);
        EXPECT_EQ(t.errors, "");
        std::string words;
        std::vector<int> lineRows;
        for (int r = 1; r <= c.rows; ++r) {
            std::string line;
            int first = 0, last = 0;
            for (int col = 1; col <= c.columns; ++col) {
                const char32_t ch = t.at(r, col).character;
                if (ch != U' ') {
                    if (!first) first = col;
                    last = col;
                }
            }
            if (!first) continue;
            for (int col = first; col <= last; ++col) line += static_cast<char>(t.at(r, col).character);
            const int left = first - 1, right = c.columns - last;
            EXPECT_LE(std::abs(left - right), 1) << c.columns << " x " << c.rows << " row " << r;
            words += (words.empty() ? "" : " ") + line;
            lineRows.push_back(r);
        }
        EXPECT_EQ(words, sizeMessage(c.columns, c.rows));
        ASSERT_FALSE(lineRows.empty());
        EXPECT_LE(std::abs((lineRows.front() - 1) - (c.rows - lineRows.back())), 1) << "centred from top to bottom";
    }
    EXPECT_EQ(sizeMessage(30, 10), "La terminal debe medir al menos 40 x 12 caracteres (ahora 30 x 10). Ctrl+C para salir.");
    EXPECT_FALSE(pictureFits(39, 12));
    EXPECT_FALSE(pictureFits(40, 11));
    EXPECT_TRUE(pictureFits(40, 12));
}

// lister's colours at every depth: the listing's two, the background and
// the file's name apart, and with no colour the mark and the bars too.
TEST(TerminalOutput, EachDepthKeepsListersColoursApart) {
    const TerminalCell listed{'1', white, blue, false}, other{'2', green, blue, false}, mark{'3', white, blue, true},
        name{'V', 0xFFFF8000, 0xFF000040, false}, bar{' ', 0x0000AA, 0x008800, false}, title{'V', 0xAAEEAA, blue, false};
    for (ColorDepth depth : {ColorDepth::trueColor, ColorDepth::palette256, ColorDepth::ansi16, ColorDepth::none}) {
        TerminalView v;
        v.depth = depth;
        const Pen w = penOf(listed, v), g = penOf(other, v), n = penOf(name, v);
        EXPECT_NE(w, g) << int(depth);
        EXPECT_NE(penOf(mark, v), w) << int(depth);
        EXPECT_NE(penOf(bar, v), penOf(title, v)) << int(depth);
        if (depth == ColorDepth::none) continue;
        EXPECT_EQ((std::set{w.foreground, g.foreground, w.background, n.foreground}).size(), 4u) << int(depth);
    }
}

// Outside UTF-8 each byte is one character the terminal has: Latin-1's own
// where it has it, else ASCII, box drawing as + - | =.
TEST(TerminalOutput, OutsideUtf8EveryByteIsOneCharacterTheTerminalHas) {
    for (int b = 0; b < 256; ++b) {
        const char32_t u = cp437ToUnicode(static_cast<std::uint8_t>(b));
        const std::string ascii = textOfCell(static_cast<std::uint8_t>(b), TerminalCharset::ascii);
        const std::string latin = textOfCell(static_cast<std::uint8_t>(b), TerminalCharset::latin1);
        const bool box = u >= 0x2500 && u < 0x2580;
        EXPECT_TRUE(ascii.size() == 1 && ascii[0] >= 0x20 && ascii[0] < 0x7F && (!box || std::strchr("+-|=", ascii[0]))) << b;
        EXPECT_EQ(latin, u >= 0xA0 && u <= 0xFF ? std::string(1, static_cast<char>(u)) : ascii) << b;
    }
}
