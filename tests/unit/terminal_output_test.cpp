// The bytes sent to the terminal: exact for small changes (only what
// changed, the shortest move, colours only when they change), and checked
// by playing them on a small model terminal for whole pictures: every code
// page 437 byte, random changes, centring and the size message. How a cell
// of the screen record shows is in terminal_picture_test.cpp.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "screen/cp437.h"
#include "screen/back_ends/terminal_output.h"

using namespace screen;

namespace {

// Just the part of an xterm that the writer uses: CUP, CUU/CUD/CUF/CUB, CR,
// LF, ED 2, SGR 0/4/24/38;2/48;2, UTF-8 text with a deferred wrap at the
// right edge. Anything else is an error.
struct ModelTerminal {
    struct Glyph {
        char32_t character = U' ';
        long foreground = -1;
        long background = -1;
        bool underlined = false;
    };
    int columns;
    int rows;
    std::vector<Glyph> cells;
    int row = 1, column = 1;
    bool wrapPending = false;
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
                    if (!(p.size() == 1 && p[0] == 25 && final == 'l')) errors += "unknown mode; ";
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
    return {columns, rows, std::vector<TerminalCell>(static_cast<std::size_t>(columns * rows), fill)};
}

TerminalCell& cellOf(TerminalPicture& p, int row, int column) {
    return p.cells[static_cast<std::size_t>((row - 1) * p.columns + (column - 1))];
}

// What the model terminal shows where the picture stands, against it.
void expectShows(ModelTerminal& t, const TerminalPicture& p, int originRow, int originColumn, const std::string& what) {
    EXPECT_EQ(t.errors, "") << what;
    for (int r = 1; r <= p.rows; ++r) {
        for (int c = 1; c <= p.columns; ++c) {
            const TerminalCell& want = p.cells[static_cast<std::size_t>((r - 1) * p.columns + (c - 1))];
            const ModelTerminal::Glyph& got = t.at(originRow + r, originColumn + c);
            const char32_t wantCharacter = cp437ToUnicode(want.byte);
            if (got.character != wantCharacter || got.foreground != long(want.foreground) ||
                got.background != long(want.background) || got.underlined != want.underlined) {
                ADD_FAILURE() << what << ": cell (" << r << ", " << c << ") byte " << int(want.byte);
                return;
            }
        }
    }
}

constexpr Color white = 0xFFFFFF;
constexpr Color green = 0x00FF00;
constexpr Color blue = 0x000044;

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
    v.foreground = white;
    v.background = blue;
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
        expectShows(t, after, 0, 0, c.what);
    }
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
    expectShows(t, p, 0, 0, "all 256 bytes");
    EXPECT_EQ(t.at(1, 1).character, U' ') << "byte 0 shows as a space";
    for (int b = 32; b < 256; ++b) {
        if (b == 127) continue;  // the house sign has no way back: it is never typed
        EXPECT_EQ(unicodeToCp437(t.at(b / 16 + 1, b % 16 + 1).character), b) << b;
    }
}

TEST(TerminalOutput, RandomChangesKeepTheTerminalEqualToThePicture) {
    std::mt19937 random(437);
    const Color colours[] = {white, green, blue, 0x0000AA, 0x008800};
    for (int terminalSize = 0; terminalSize < 2; ++terminalSize) {
        // The grid fits exactly, then it stands centred in a larger terminal.
        const int columns = terminalSize ? 27 : 20, rows = terminalSize ? 9 : 6;
        TerminalPicture p = pictureOf(20, 6, {' ', white, blue, false});
        TerminalView v;
        v.columns = columns;
        v.rows = rows;
        ModelTerminal t(columns, rows);
        for (int round = 0; round < 200; ++round) {
            const int changes = static_cast<int>(random() % 30);
            for (int i = 0; i < changes; ++i) {
                TerminalCell& c = p.cells[random() % p.cells.size()];
                c.byte = static_cast<std::uint8_t>(random() % 256);
                c.foreground = colours[random() % 5];
                c.background = colours[random() % 5];
                c.underlined = random() % 7 == 0;
            }
            std::string out;
            writePicture(p, v, out);
            t.play(out);
            expectShows(t, p, (rows - 6) / 2, (columns - 20) / 2, "round " + std::to_string(round));
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
    EXPECT_EQ(sizeMessage(80, 24), "La terminal debe medir al menos 100 x 70 caracteres (ahora 80 x 24).");
    EXPECT_FALSE(pictureFits(99, 70));
    EXPECT_FALSE(pictureFits(100, 69));
    EXPECT_TRUE(pictureFits(100, 70));
}
