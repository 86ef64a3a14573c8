// How a cell of the screen record shows on a terminal: the input mark as
// the cell it covers, underlined; colours without their top byte; and
// which rows a change reads again.
#include <gtest/gtest.h>

#include <string>

#include "screen/back_ends/terminal_output.h"
#include "tests/screen_text.h"

using namespace screen;
using testing_screen::gridScreen;
using testing_screen::print;

namespace {

constexpr Color white = 0xFFFFFF;
constexpr Color blue = 0x000044;

const TerminalCell& cellOf(const TerminalPicture& p, int row, int column) {
    return p.cells[static_cast<std::size_t>((row - 1) * p.columns + (column - 1))];
}

}  // namespace

TEST(TerminalPicture, TheInputMarkShowsWhatItStandsOverUnderlined) {
    struct Case {
        const char* what;
        std::string before;    // printed at (4, 10) and shown
        std::string then;      // printed at (4, 10) in the same refresh, not shown yet
        int marks;             // how many times the mark is drawn at (4, 12)
        Color markBackground;  // the background when the mark is drawn
        TerminalCell expected;
    };
    const Case cases[] = {
        {"the letter written in the same refresh", "1  ", "132", 1, blue, {'2', white, blue, true}},
        {"the blank written over the letter it showed", "abc", "   ", 1, blue, {' ', white, blue, true}},
        {"a blank", "12", "", 1, blue, {' ', white, blue, true}},
        {"the background the cell shows, not the mark's", "ab ", "", 1, 0x112233, {' ', white, blue, true}},
        {"an underscore it showed before", "ab_", "", 1, blue, {'_', white, blue, true}},
        {"a full block", "ab\xdb", "", 1, blue, {0xdb, white, blue, true}},
        {"a mark over a mark keeps the letter", "abc", "", 2, blue, {'c', white, blue, true}},
    };
    for (const Case& c : cases) {
        TextScreen s = gridScreen();
        s.foreground = white;
        s.background = blue;
        clearTextScreen(s);
        placeCursor(s, 4, 10);
        print(s, c.before);
        renderPendingCells(s);
        placeCursor(s, 4, 10);
        print(s, c.then);
        s.background = c.markBackground;
        for (int i = 0; i < c.marks; ++i) {
            placeCursor(s, 4, 12);
            print(s, "\xff");
        }
        renderPendingCells(s);
        EXPECT_EQ(terminalCellOf(s, 4, 12), c.expected) << c.what;
    }
}

TEST(TerminalPicture, TheMarkMovesUpWithAScrollAndGoesWithTheTopRow) {
    TextScreen s = gridScreen();
    placeCursor(s, 1, 3);
    print(s, "\xff");
    placeCursor(s, 70, 5);
    print(s, "q\b\xff");
    scrollUp(s, 1);
    EXPECT_TRUE(terminalCellOf(s, 69, 5).underlined);
    EXPECT_EQ(terminalCellOf(s, 69, 5).byte, 'q');
    EXPECT_FALSE(terminalCellOf(s, 70, 5).underlined);
    EXPECT_FALSE(terminalCellOf(s, 1, 3).underlined);  // the older mark was never the mark
}

TEST(TerminalPicture, AByte255AmongOtherBytesIsAPlainCellAndColoursLoseTheirTopByte) {
    TextScreen s = gridScreen();
    s.foreground = 0xFFFF8000;
    s.background = 0xFF000040;
    placeCursor(s, 6, 2);
    print(s, "\xff");  // a mark, then written over
    placeCursor(s, 6, 1);
    print(s, "a\xff" "b");
    renderPendingCells(s);
    EXPECT_EQ(terminalCellOf(s, 6, 2), (TerminalCell{255, 0xFF8000, 0x40, false}));
}

TEST(TerminalPicture, OnlyTheRowsOfTheChangedLinesAreReadAgain) {
    TextScreen s = gridScreen();
    TerminalPicture p;
    updatePicture(p, s, LineSpan{});  // a new size: every row
    ASSERT_EQ(p.rows, 70);
    placeCursor(s, 2, 1);
    print(s, "two");
    placeCursor(s, 3, 1);
    print(s, "three");
    placeCursor(s, 70, 1);
    print(s, "last");
    renderPendingCells(s);
    updatePicture(p, s, LineSpan{16, 23});  // row 3 only
    EXPECT_EQ(cellOf(p, 2, 1).byte, ' ');
    EXPECT_EQ(cellOf(p, 3, 1).byte, 't');
    updatePicture(p, s, LineSpan{552, 599});  // row 70 and the lines below the grid
    EXPECT_EQ(cellOf(p, 70, 1).byte, 'l');
}
