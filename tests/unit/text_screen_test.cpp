// The text screen record: geometry, the grid sizes, moving the cursor, how
// glyphs become pixels and which pixel lines changed. Printing and
// scrolling are in text_printing_test.cpp.
#include "screen/text_screen.h"

#include <gtest/gtest.h>

#include <string>

#include "screen/glyphs.h"
#include "tests/screen_text.h"

using namespace screen;
using testing_screen::countPixels;
using testing_screen::gridScreen;
using testing_screen::print;
using testing_screen::rowTrimmed;

namespace {

constexpr Color sentinel = 0x12345678;

}  // namespace

TEST(TextScreenGeometry, OpenGridIs100By75ThenTheProgramsGridIs100By70) {
    TextScreen s;
    ASSERT_TRUE(validScreenMode(800, 600, 32));
    initTextScreen(s, 800, 600);
    EXPECT_EQ(s.columns, 100);
    EXPECT_EQ(s.rows, 75);
    EXPECT_EQ(s.foreground, 0xFFFFFFFFu);
    EXPECT_EQ(s.background, 0xFF000000u);
    EXPECT_EQ(countPixels(s, 0xFF000000, 0, 0, 799, 599), 800 * 600);
    setGridSize(s, 100, 70);
    EXPECT_EQ(s.columns, 100);
    EXPECT_EQ(s.rows, 70);
    EXPECT_EQ(s.cellHeight, 8);
}

TEST(TextScreenGeometry, InvalidModesAreRefused) {
    for (auto [w, h, d] : {std::tuple{0, 600, 32}, {800, -1, 32}, {800, 600, 3}, {800, 600, 64}})
        EXPECT_FALSE(validScreenMode(w, h, d)) << w << "x" << h << "x" << d;
    for (int d : {1, 2, 4, 8, 15, 16, 24, 32}) EXPECT_TRUE(validScreenMode(800, 600, d));
}

TEST(TextScreenGeometry, ASpaceAtTheLastCellWritesExactlyItsPixels) {
    TextScreen s = gridScreen();
    std::fill(s.frame.begin(), s.frame.end(), sentinel);
    s.background = 0x44;
    placeCursor(s, 70, 100);
    print(s, " ");
    EXPECT_EQ(countPixels(s, 0x44, 792, 552, 799, 559), 64);
    EXPECT_EQ(countPixels(s, sentinel, 0, 0, 799, 599), 800 * 600 - 64);
}

TEST(TextScreenGeometry, ClearScreenPaintsAll600LinesAndHomesTheCursor) {
    TextScreen s = gridScreen();
    placeCursor(s, 30, 40);
    s.foreground = 0xAAEEAA;
    s.background = 0x44;
    clearTextScreen(s);
    EXPECT_EQ(countPixels(s, 0x44, 0, 0, 799, 599), 800 * 600);
    EXPECT_EQ(s.cursorRow, 1);
    EXPECT_EQ(s.cursorColumn, 1);
    EXPECT_EQ(cellAt(s, 70, 100).background, 0x44u);
}

TEST(TextScreenGeometry, LinesBelowTheGridAreNeverTouchedByPrintingOrScrolling) {
    TextScreen s = gridScreen();
    std::fill(s.frame.begin() + 560 * 800, s.frame.end(), sentinel);
    s.background = 0x44;
    placeCursor(s, 70, 1);
    print(s, std::string(250, 'x'));
    scrollUp(s, 3);
    scrollUp(s, 200);
    EXPECT_EQ(countPixels(s, sentinel, 0, 560, 799, 599), 800 * 40);
}

struct GridSizeCase {
    int columns, rows;
    bool accepted;
    int cellHeight;
};

class SetTextSize : public ::testing::TestWithParam<GridSizeCase> {};

TEST_P(SetTextSize, AcceptsOnly8PixelWideCellsOf8_14Or16AndAlwaysHomesTheCursor) {
    const GridSizeCase c = GetParam();
    TextScreen s = gridScreen();
    placeCursor(s, 5, 1);
    print(s, "keep");
    placeCursor(s, 12, 34);
    s.pendingWrap = true;
    renderPendingCells(s);
    const auto before = s.frame;
    setGridSize(s, c.columns, c.rows);
    renderPendingCells(s);
    EXPECT_EQ(s.cursorRow, 1);
    EXPECT_EQ(s.cursorColumn, 1);
    EXPECT_FALSE(s.pendingWrap);
    if (c.accepted) {
        EXPECT_EQ(s.cellHeight, c.cellHeight);
        EXPECT_EQ(s.rows, c.rows > 0 ? c.rows : 70);
        EXPECT_EQ(s.cells.size(), static_cast<std::size_t>(s.columns * s.rows));
        EXPECT_EQ(rowTrimmed(s, 5), "");
    } else {
        EXPECT_EQ(s.rows, 70);
        EXPECT_EQ(s.columns, 100);
        EXPECT_EQ(s.frame, before);
        EXPECT_EQ(rowTrimmed(s, 5), "keep");
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, SetTextSize,
                         ::testing::Values(GridSizeCase{100, 70, true, 8}, GridSizeCase{100, 37, true, 16},
                                           GridSizeCase{100, 42, true, 14}, GridSizeCase{0, 37, true, 16},
                                           GridSizeCase{-5, 70, true, 8}, GridSizeCase{80, 25, false, 0},
                                           GridSizeCase{100, 80, false, 0}, GridSizeCase{101, 70, false, 0}));

TEST(TextScreenGeometry, SetTextSizeWithNoUsableArgumentDoesNothingAtAll) {
    TextScreen s = gridScreen();
    placeCursor(s, 12, 34);
    setGridSize(s, 0, -3);
    EXPECT_EQ(s.cursorRow, 12);
    EXPECT_EQ(s.cursorColumn, 34);
}

struct MoveCase {
    int row, column, expectRow, expectColumn;
};

class MoveCursor : public ::testing::TestWithParam<MoveCase> {};

TEST_P(MoveCursor, MovesOnlyInsideTheGridAndAlwaysCancelsThePendingWrap) {
    const MoveCase c = GetParam();
    TextScreen s = gridScreen();
    placeCursor(s, 10, 20);
    s.pendingWrap = true;
    placeCursor(s, c.row, c.column);
    EXPECT_EQ(s.cursorRow, c.expectRow);
    EXPECT_EQ(s.cursorColumn, c.expectColumn);
    EXPECT_FALSE(s.pendingWrap);
}

INSTANTIATE_TEST_SUITE_P(Moves, MoveCursor,
                         ::testing::Values(MoveCase{71, 1, 10, 20}, MoveCase{0, 101, 10, 20},
                                           MoveCase{-1, 5, 10, 20}, MoveCase{0, 5, 10, 5}, MoveCase{7, 0, 7, 20},
                                           MoveCase{0, 0, 10, 20}, MoveCase{70, 100, 70, 100},
                                           MoveCase{1, 1, 1, 1}, MoveCase{5, -1, 10, 20}));

TEST(TextScreenPixels, GlyphsAreDrawnInkInForegroundElseBackground) {
    TextScreen s = gridScreen();
    s.foreground = 0xFFFFFF;
    s.background = 0x000044;
    placeCursor(s, 2, 3);
    const std::string text = "Ag~\x01\xb3\xdb";
    print(s, text);
    const std::uint8_t* table = glyphTable(8);
    renderPendingCells(s);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(text[i]);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool ink = table[byte * 8 + y] & (0x80 >> x);
                ASSERT_EQ(pixelAt(s, static_cast<int>(16 + i * 8) + x, 8 + y), ink ? 0xFFFFFFu : 0x44u)
                    << "byte " << int(byte) << " at " << x << "," << y;
            }
        EXPECT_EQ(cellAt(s, 2, 3 + static_cast<int>(i)).byte, byte);
    }
}

TEST(TextScreenPixels, TheTopByteIsStoredButTheColourIsTheLow24Bits) {
    TextScreen s = gridScreen();
    s.background = 0xFF000040;
    placeCursor(s, 1, 1);
    print(s, " ");
    s.background = 0x40;
    placeCursor(s, 1, 2);
    print(s, " ");
    renderPendingCells(s);
    EXPECT_EQ(cellAt(s, 1, 1).background, 0xFF000040u);
    EXPECT_EQ(pixelAt(s, 0, 0), 0xFF000040u);
    EXPECT_EQ(pixelAt(s, 0, 0) & 0xFFFFFF, pixelAt(s, 8, 0) & 0xFFFFFF);
}

TEST(TextScreenPixels, ALone255DrawsOnlyTheBottomLineOverWhatIsThere) {
    // Whether or not the letter's pixels were drawn before the mark came.
    for (bool drawnFirst : {true, false}) {
        TextScreen s = gridScreen();
        s.foreground = 0xFFFFFF;
        s.background = 0x44;
        placeCursor(s, 4, 4);
        print(s, "W");
        TextScreen reference = s;
        renderPendingCells(reference);
        if (drawnFirst) renderPendingCells(s);
        s.foreground = 0x00FF00;
        s.background = 0x123456;
        placeCursor(s, 4, 4);
        print(s, "\xff");
        renderPendingCells(s);
        for (int y = 24; y < 32; ++y)
            for (int x = 24; x < 32; ++x)
                EXPECT_EQ(pixelAt(s, x, y), y == 31 ? 0x00FF00u : pixelAt(reference, x, y)) << x << "," << y;
        EXPECT_EQ(cellAt(s, 4, 4).byte, 255);
        EXPECT_EQ(cellAt(s, 4, 4).background, 0x123456u);
        EXPECT_EQ(s.cursorColumn, 5);
    }
}

TEST(TextScreenPixels, Two255sInOnePieceAreOrdinaryGlyphs) {
    TextScreen s = gridScreen();
    s.background = 0x44;
    std::fill(s.frame.begin(), s.frame.end(), sentinel);
    placeCursor(s, 4, 4);
    print(s, "\xff\xff");
    // Every pixel of both cells is rewritten (the glyph may have no ink).
    EXPECT_EQ(countPixels(s, sentinel, 24, 24, 39, 31), 0);
}

TEST(TextScreenChangedLines, PrintingMarksTheRowsLinesAndTheSpanCoversThem) {
    TextScreen s = gridScreen();
    clearChangedLines(s, changedSpan(s));
    EXPECT_TRUE(changedSpan(s).empty());
    placeCursor(s, 5, 10);
    print(s, "x");
    placeCursor(s, 9, 1);
    print(s, "y");
    const LineSpan span = changedSpan(s);
    EXPECT_EQ(span.first, 32);
    EXPECT_EQ(span.last, 71);
    clearChangedLines(s, span);
    EXPECT_TRUE(changedSpan(s).empty());
    scrollUp(s, 1);
    EXPECT_EQ(changedSpan(s).first, 0);
    EXPECT_EQ(changedSpan(s).last, 559);
}
