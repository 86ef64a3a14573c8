// How a cell of the screen record shows on a terminal: the input mark as
// the cell it covers, underlined; colours without their top byte; and
// which rows a change reads again.
#include <gtest/gtest.h>

#include <string>

#include "screen/back_ends/terminal_output.h"
#include "screen/grid_view.h"
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

namespace {

// A view as one line: its origin, its rows as runs of grid rows with "."
// for a fold, and its columns with "<" or ">" for a folded edge.
std::string describe(const GridView& v) {
    std::string text = std::to_string(v.originRow) + "," + std::to_string(v.originColumn) + ":";
    for (std::size_t i = 0; i < v.rows.size(); ++i) {
        const int row = v.rows[i];
        if (row == foldRow) {
            text += " .";
            continue;
        }
        if (i > 0 && v.rows[i - 1] == row - 1 && i + 1 < v.rows.size() && v.rows[i + 1] == row + 1) continue;
        const bool endsRun = i > 0 && v.rows[i - 1] == row - 1;
        text += (endsRun ? "-" : " ") + std::to_string(row);
    }
    text += " | ";
    if (v.foldedLeft) text += "<";
    text += std::to_string(v.firstColumn) + "-" + std::to_string(v.firstColumn + v.columns - 1);
    if (v.foldedRight) text += ">";
    return text + " f" + std::to_string(v.followedRow);
}

}  // namespace

// The grid of 100 x 70 with lister's kept rows (4-6, 68-70) on surfaces of
// every size: the kept rows always there, the window following the focus,
// a fold row or an edge column wherever something is left out.
TEST(GridView, KeepsTheDialogueAndOutcomeAndFollowsTheFocus) {
    struct Case {
        const char* what;
        int columns, rows, focusRow, focusColumn, followedRow, userRows, userColumns;
        const char* expected;
    };
    const Case cases[] = {
        {"a larger terminal, centred", 120, 80, 40, 57, 1, 0, 0, "5,10: 1-70 | 1-100 f1"},
        {"80 x 24 at the first question", 80, 24, 4, 58, 1, 0, 0, "0,0: 1-20 . 68-70 | 1-79> f1"},
        {"80 x 24 while the listing writes row 40", 80, 24, 40, 57, 1, 0, 0, "0,0: . 4-6 . 26-40 . 68-70 | 1-79> f26"},
        {"a focus in the window leaves it", 80, 24, 35, 57, 30, 0, 0, "0,0: . 4-6 . 30-44 . 68-70 | 1-79> f30"},
        {"a focus on a kept row leaves it", 80, 24, 69, 42, 30, 0, 0, "0,0: . 4-6 . 30-44 . 68-70 | 1-79> f30"},
        {"the window meets the kept rows", 132, 43, 40, 57, 1, 0, 0, "0,16: . 3-40 . 68-70 | 1-100 f3"},
        {"the last column in view", 80, 24, 69, 99, 1, 0, 0, "0,0: 1-20 . 68-70 | <22-100 f1"},
        {"moved up by the user", 80, 24, 40, 57, 26, -30, 0, "0,0: 1-20 . 68-70 | 1-79> f26"},
        {"moved down past the end", 80, 24, 40, 57, 26, 100, 0, "0,0: . 4-6 . 52-70 | 1-79> f26"},
        {"moved right past the end", 80, 24, 4, 10, 1, 0, 50, "0,0: 1-20 . 68-70 | <22-100 f1"},
        {"40 x 12", 40, 12, 40, 57, 1, 0, 0, "0,0: . 4-6 . 38-40 . 68-70 | <20-57> f38"},
        {"too few rows for the kept ones", 40, 8, 40, 10, 1, 0, 0, "0,0: 33-40 | 1-39> f33"},
    };
    std::vector<std::uint8_t> kept(70, 0);
    for (int row : {4, 5, 6, 68, 69, 70}) kept[static_cast<std::size_t>(row - 1)] = 1;
    for (const Case& c : cases) {
        GridViewRequest q;
        q.gridColumns = 100;
        q.gridRows = 70;
        q.viewColumns = c.columns;
        q.viewRows = c.rows;
        q.keptRows = &kept;
        q.focusRow = c.focusRow;
        q.focusColumn = c.focusColumn;
        q.followedRow = c.followedRow;
        q.userRows = c.userRows;
        q.userColumns = c.userColumns;
        EXPECT_EQ(describe(layGridView(q)), c.expected) << c.what;
    }
}
