// The view of the grid in terminals of every size, played on the model
// terminal: random changes with a moving focus, mark and user move; lister's
// own grid from 40 x 12 up; a user's move that meets the grid's edge.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "screen/back_ends/terminal_output.h"
#include "tests/model_terminal.h"

using namespace screen;
using namespace testing_screen;

namespace {

constexpr Color white = 0xFFFFFF;
constexpr Color green = 0x00FF00;
constexpr Color blue = 0x000044;

}  // namespace

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

// lister's grid in terminals from 40 x 12 up: rows 4-6 and 68-70 always in
// view, the last row written (40) or the input mark followed.
TEST(TerminalOutput, ASmallTerminalShowsTheKeptRowsAndFollowsTheProgram) {
    struct Case {
        int columns, rows, focusRow, focusColumn, markRow, markColumn;
    };
    const Case cases[] = {{80, 24, 40, 57, 0, 0}, {80, 24, 4, 58, 4, 58}, {80, 24, 69, 95, 0, 0},
                          {100, 30, 40, 57, 0, 0}, {132, 43, 40, 57, 0, 0}, {40, 12, 5, 58, 5, 58}};
    for (const Case& c : cases) {
        TerminalPicture p = pictureOf(100, 70, {' ', white, blue, false});
        for (std::size_t i = 0; i < p.cells.size(); ++i) p.cells[i].byte = static_cast<std::uint8_t>(33 + i % 90);
        p.keptRows.assign(70, 0);
        for (int row : {4, 5, 6, 68, 69, 70}) p.keptRows[static_cast<std::size_t>(row - 1)] = 1;
        p.focusRow = c.focusRow;
        p.focusColumn = c.focusColumn;
        p.markRow = c.markRow;
        p.markColumn = c.markColumn;
        if (c.markRow) cellOf(p, c.markRow, c.markColumn).underlined = true;
        TerminalView v;
        v.columns = c.columns;
        v.rows = c.rows;
        std::string out;
        writePicture(p, v, out);
        ModelTerminal t(c.columns, c.rows);
        t.play(out);
        const std::string what = std::to_string(c.columns) + " x " + std::to_string(c.rows);
        expectShowsView(t, p, v.laid, what);
        for (int row : {4, 5, 6, 68, 69, 70, c.focusRow})
            EXPECT_NE(std::find(v.laid.rows.begin(), v.laid.rows.end(), row), v.laid.rows.end()) << what << ": row " << row;
        const int shownColumns = v.laid.firstColumn + v.laid.columns;
        EXPECT_TRUE(c.focusColumn >= v.laid.firstColumn && c.focusColumn < shownColumns) << what;
    }
}

// A move past the grid's edge keeps only what took effect: the way back
// starts at once.
TEST(TerminalOutput, TheUsersMoveStopsAtTheEdge) {
    TerminalPicture p = pictureOf(100, 70, {' ', white, blue, false});
    p.focusRow = 40;
    TerminalView v;
    v.columns = 80;
    v.rows = 24;
    v.userRows = -1000;
    v.userColumns = 1000;
    std::string out;
    writePicture(p, v, out);
    EXPECT_EQ(v.laid.windowRow, 1);
    EXPECT_EQ(v.laid.firstColumn + v.laid.columns - 1, 100);
    v.userRows += 1;
    v.userColumns -= 1;
    writePicture(p, v, out);
    EXPECT_GT(v.laid.windowRow, 1);
    EXPECT_LT(v.laid.firstColumn + v.laid.columns - 1, 100);
}
