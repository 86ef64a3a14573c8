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
#include "screen/grid_view.h"

using namespace screen;

namespace {

// The colours of the pictures the tests draw: lister's white, green and blue.
constexpr Color white = 0xFFFFFF;
constexpr Color green = 0x00FF00;
constexpr Color blue = 0x000044;

// Just the part of an xterm that the writer uses: CUP, CUU/CUD/CUF/CUB, CR,
// LF, ED 2, the cursor shown and hidden, SGR 0/4/24, dim and its end, the
// default colours and 38;2/48;2, UTF-8 text with a deferred wrap at the
// right edge. Anything else is an error.
struct ModelTerminal {
    struct Glyph {
        char32_t character = U' ';
        long foreground = -1, background = -1;
        bool underlined = false;
    };
    int columns, rows;
    std::vector<Glyph> cells;
    int row = 1, column = 1;
    bool wrapPending = false;
    bool cursorShown = true;
    long foreground = -1, background = -1;
    bool underlined = false;
    std::string errors;

    ModelTerminal(int c, int r) : columns(c), rows(r), cells(static_cast<std::size_t>(c * r)) {}

    Glyph& at(int r, int c) { return cells[static_cast<std::size_t>((r - 1) * columns + (c - 1))]; }

    void moveTo(int r, int c) {
        if (r < 1 || r > rows || c < 1 || c > columns) errors += "move outside; ";
        row = std::clamp(r, 1, rows);
        column = std::clamp(c, 1, columns);
        wrapPending = false;
    }

    void sgr(const std::vector<long>& p) {
        for (std::size_t i = 0; i < p.size(); ++i) {
            if (p[i] == 0) foreground = background = -1, underlined = false;
            else if (p[i] == 4) underlined = true;
            else if (p[i] == 24) underlined = false;
            else if (p[i] == 39 || p[i] == 49) (p[i] == 39 ? foreground : background) = -1;
            else if (p[i] == 2 || p[i] == 22) continue;  // dim: no colour of its own
            else if ((p[i] == 38 || p[i] == 48) && i + 4 < p.size() && p[i + 1] == 2) {
                const long rgb = (p[i + 2] << 16) | (p[i + 3] << 8) | p[i + 4];
                (p[i] == 38 ? foreground : background) = rgb;
                i += 4;
            } else errors += "unknown SGR; ";
        }
    }

    void play(const std::string& bytes) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
        std::size_t i = 0;
        while (i < bytes.size()) {
            if (b[i] == 0x1b && i + 1 < bytes.size() && b[i + 1] == '[') {
                std::size_t j = i + 2;
                bool privateMode = j < bytes.size() && b[j] == '?';
                if (privateMode) ++j;
                std::vector<long> p;
                long value = -1;
                for (; j < bytes.size() && ((b[j] >= '0' && b[j] <= '9') || b[j] == ';'); ++j) {
                    if (b[j] == ';') p.push_back(value < 0 ? 0 : value), value = -1;
                    else value = (value < 0 ? 0 : value) * 10 + (b[j] - '0');
                }
                if (value >= 0 || !p.empty()) p.push_back(value < 0 ? 0 : value);
                const char final = j < bytes.size() ? static_cast<char>(b[j]) : '?';
                const long n = p.empty() || p[0] == 0 ? 1 : p[0];
                if (privateMode) {
                    if (p.size() == 1 && p[0] == 25 && (final == 'l' || final == 'h')) cursorShown = final == 'h';
                    else errors += "unknown mode; ";
                } else if (final == 'H') moveTo(p.size() > 0 && p[0] ? int(p[0]) : 1, p.size() > 1 && p[1] ? int(p[1]) : 1);
                else if (final == 'A') moveTo(row - int(n), column);
                else if (final == 'B') moveTo(row + int(n), column);
                else if (final == 'C') moveTo(row, column + int(n));
                else if (final == 'D') moveTo(row, column - int(n));
                else if (final == 'J' && p.size() == 1 && p[0] == 2) {
                    for (Glyph& g : cells) g = Glyph{U' ', -1, background, false};
                } else if (final == 'm') sgr(p.empty() ? std::vector<long>{0} : p);
                else errors += std::string("unknown CSI ") + final + "; ";
                i = j + 1;
            } else if (b[i] == '\r') {
                column = 1, wrapPending = false, ++i;
            } else if (b[i] == '\n') {
                if (row == rows) errors += "scrolled; ";
                row = std::min(row + 1, rows), wrapPending = false, ++i;
            } else if (b[i] < 0x20 || b[i] == 0x7f) {
                errors += "control byte; ";
                ++i;
            } else {
                char32_t c = 0;
                std::size_t used = 1;
                if (decodeUtf8(b + i, bytes.size() - i, c, used) != Utf8Status::complete) errors += "bad UTF-8; ";
                i += used;
                if (wrapPending) {
                    if (row == rows) errors += "scrolled; ";
                    row = std::min(row + 1, rows), column = 1, wrapPending = false;
                }
                at(row, column) = Glyph{c, foreground, background, underlined};
                if (column == columns) wrapPending = true;
                else ++column;
            }
        }
    }
};

TerminalPicture pictureOf(int columns, int rows, TerminalCell fill) {
    TerminalPicture p;
    p.columns = columns;
    p.rows = rows;
    p.cells.assign(static_cast<std::size_t>(columns * rows), fill);
    return p;
}

TerminalCell& cellOf(TerminalPicture& p, int row, int column) {
    return p.cells[static_cast<std::size_t>((row - 1) * p.columns + (column - 1))];
}

// What the laid-out view puts at a terminal cell: a grid cell, a fold
// row's middle dot, an edge column's guillemet, or the terminal's blank.
ModelTerminal::Glyph expectedAt(const TerminalPicture& p, const GridView& laid, int row, int column) {
    const int index = row - 1 - laid.originRow;
    const int offset = column - 1 - laid.originColumn;
    const int width = laid.columns + laid.foldedLeft + laid.foldedRight;
    if (index < 0 || index >= static_cast<int>(laid.rows.size()) || offset < 0 || offset >= width) return {};
    const int gridRow = laid.rows[static_cast<std::size_t>(index)];
    if (gridRow == foldRow) return {U'\u00B7'};
    if (laid.foldedLeft && offset == 0) return {U'\u00AB'};
    if (laid.foldedRight && offset == width - 1) return {U'\u00BB'};
    const int gridColumn = laid.firstColumn + offset - (laid.foldedLeft ? 1 : 0);
    const TerminalCell& c = p.cells[static_cast<std::size_t>((gridRow - 1) * p.columns + (gridColumn - 1))];
    return {cp437ToUnicode(c.byte), long(c.foreground), long(c.background), c.underlined};
}

// The model terminal shows the view, and its cursor on the input mark (the
// one underlined cell) while that is in view.
void expectShowsView(ModelTerminal& t, const TerminalPicture& p, const GridView& laid, const std::string& what) {
    EXPECT_EQ(t.errors, "") << what;
    bool markInView = false;
    for (int r = 1; r <= t.rows; ++r) {
        for (int c = 1; c <= t.columns; ++c) {
            const ModelTerminal::Glyph want = expectedAt(p, laid, r, c);
            const ModelTerminal::Glyph& got = t.at(r, c);
            markInView |= want.underlined && p.markRow != 0;
            if (got.character != want.character || got.foreground != want.foreground ||
                got.background != want.background || got.underlined != want.underlined) {
                ADD_FAILURE() << what << ": terminal cell (" << r << ", " << c << ")";
                return;
            }
        }
    }
    EXPECT_EQ(t.cursorShown, markInView) << what;
    if (markInView) {
        EXPECT_TRUE(t.at(t.row, t.column).underlined) << what << ": the cursor is off the mark";
    }
}

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
            std::string row;
            for (int col = 1; col <= c.columns; ++col) row += static_cast<char>(t.at(r, col).character);
            const std::size_t first = row.find_first_not_of(' ');
            if (first == std::string::npos) continue;
            const std::size_t right = row.size() - 1 - row.find_last_not_of(' ');
            EXPECT_LE(std::abs(static_cast<int>(first) - static_cast<int>(right)), 1) << c.columns << " x " << c.rows;
            words += (words.empty() ? "" : " ") + row.substr(first, row.size() - right - first);
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
