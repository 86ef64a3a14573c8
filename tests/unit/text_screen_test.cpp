// The text screen record: geometry, printing, wrapping, scrolling and the
// pending wrap, checked on the cells and on the frame's pixels.
#include "screen/text_screen.h"

#include <gtest/gtest.h>

#include <string>

#include "screen/glyphs.h"
#include "tests/screen_text.h"

using namespace screen;
using testing_screen::gridScreen;
using testing_screen::print;
using testing_screen::rowText;
using testing_screen::rowTrimmed;

namespace {

constexpr Color sentinel = 0x12345678;

// Marks every row with its number so that scrolling shows as a shift.
void labelRows(TextScreen& s) {
    for (int row = 1; row <= s.rows; ++row) {
        placeCursor(s, row, 1);
        print(s, "R" + std::to_string(row));
    }
}

int countPixels(TextScreen& s, Color color, int x0, int y0, int x1, int y1) {
    renderPendingCells(s);
    int count = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) count += pixelAt(s, x, y) == color;
    return count;
}

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

// A print from a start cell: where the text lands, where the cursor ends,
// and how many rows the screen scrolled (seen through the row labels).
struct PrintCase {
    const char* name;
    int row, column;
    std::string text;
    int endRow, endColumn;
    bool pendingWrap;
    int scrolled;
};

class PrintWrapAndScroll : public ::testing::TestWithParam<PrintCase> {};

TEST_P(PrintWrapAndScroll, LandsWhereExpected) {
    const PrintCase& c = GetParam();
    TextScreen s = gridScreen();
    labelRows(s);
    placeCursor(s, c.row, c.column);
    print(s, c.text);
    EXPECT_EQ(s.cursorRow, c.endRow);
    EXPECT_EQ(s.cursorColumn, c.endColumn);
    EXPECT_EQ(s.pendingWrap, c.pendingWrap);
    EXPECT_EQ(rowText(s, 1).substr(0, 3), "R" + std::to_string(1 + c.scrolled) + (c.scrolled + 1 < 10 ? " " : ""));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrintWrapAndScroll,
    ::testing::Values(
        PrintCase{"RowOfSpaces", 5, 1, std::string(100, ' '), 6, 1, false, 0},
        PrintCase{"RowOfSpacesOnTheLastRowParks", 70, 1, std::string(100, ' '), 70, 100, true, 0},
        PrintCase{"Text150At69", 69, 1, std::string(150, 'a'), 70, 51, false, 0},
        PrintCase{"Text200At69FillsTwoRows", 69, 1, std::string(200, 'a'), 70, 100, true, 0},
        PrintCase{"Text250At69ScrollsOnce", 69, 1, std::string(250, 'a'), 70, 51, false, 1},
        PrintCase{"NewlineOnLastRowScrolls", 70, 1, "abc\r\n", 70, 1, false, 1},
        PrintCase{"LineFeedsAddUp", 70, 1, "\n\n\n", 70, 1, false, 3},
        PrintCase{"LineFeedAboveTheBottom", 10, 7, "\n", 11, 1, false, 0},
        PrintCase{"CarriageReturn", 10, 7, "ab\r", 10, 1, false, 0},
        PrintCase{"BackspaceAtColumn1StaysPut", 10, 1, "\b\b", 10, 1, false, 0},
        PrintCase{"BackspaceNeverGoesUp", 11, 2, "\b\b\b", 11, 1, false, 0},
        PrintCase{"BackspaceAfterText", 10, 5, "xyz\b", 10, 7, false, 0},
        PrintCase{"BellMovesNothing", 10, 5, "\a", 10, 5, false, 0},
        PrintCase{"TabFromColumn1", 10, 1, "\t", 10, 9, false, 0},
        PrintCase{"TabFromColumn5", 10, 5, "\t", 10, 9, false, 0},
        PrintCase{"TabFromColumn9", 10, 9, "\t", 10, 17, false, 0},
        PrintCase{"TabWrapsLikeSpaces", 10, 97, "\t", 11, 5, false, 0},
        PrintCase{"FillTheLastRowThenReturn", 70, 1, std::string(100, 'a') + "\r", 70, 1, false, 1},
        PrintCase{"FillTheLastRowThenBell", 70, 51, std::string(50, 'a') + "\a", 70, 100, true, 0},
        PrintCase{"ExactlyToTheRightEdgeAboveTheBottom", 20, 91, std::string(10, 'a'), 21, 1, false, 0},
        PrintCase{"LineFeedsScrollByTheirNumber", 70, 1, std::string(69, '\n'), 70, 1, false, 69}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextScreenPrint, AfterAParkedWriteAMoveCursorWritesTheLastRowWithoutScrolling) {
    TextScreen s = gridScreen();
    labelRows(s);
    placeCursor(s, 70, 1);
    print(s, std::string(100, ' '));
    ASSERT_TRUE(s.pendingWrap);
    placeCursor(s, 70, 1);
    print(s, "ok");
    EXPECT_EQ(rowTrimmed(s, 70), "ok");
    EXPECT_EQ(rowTrimmed(s, 1), "R1");
}

TEST(TextScreenPrint, AfterAParkedWriteTheNextPrintScrollsFirst) {
    TextScreen s = gridScreen();
    labelRows(s);
    s.background = 0x44;
    placeCursor(s, 70, 1);
    print(s, std::string(100, 'z'));
    print(s, "next");
    EXPECT_EQ(rowTrimmed(s, 1), "R2");
    EXPECT_EQ(rowText(s, 69), std::string(100, 'z'));
    EXPECT_EQ(rowTrimmed(s, 70), "next");
    EXPECT_EQ(cellAt(s, 70, 100).background, 0x44u);
    EXPECT_EQ(s.cursorRow, 70);
    EXPECT_EQ(s.cursorColumn, 5);
}

TEST(TextScreenPrint, EmptyTextLeavesEvenThePendingWrap) {
    TextScreen s = gridScreen();
    placeCursor(s, 70, 1);
    print(s, std::string(100, ' '));
    print(s, "");
    EXPECT_TRUE(s.pendingWrap);
}

TEST(TextScreenPrint, PendingWrapThenANewlineScrollsTwice) {
    TextScreen s = gridScreen();
    labelRows(s);
    placeCursor(s, 70, 1);
    print(s, std::string(100, ' '));
    // printText("", true): the empty write does nothing, the CR LF write
    // resolves the wrap and then feeds a line.
    print(s, "");
    print(s, "\r\n");
    EXPECT_EQ(rowTrimmed(s, 1), "R3");
    EXPECT_EQ(s.cursorRow, 70);
    EXPECT_EQ(s.cursorColumn, 1);
}

TEST(TextScreenPrint, ThreeBytesWithNewlineOnTheLastRow) {
    TextScreen s = gridScreen();
    s.background = 0x44;
    placeCursor(s, 70, 1);
    print(s, "abc");
    print(s, "\r\n");
    EXPECT_EQ(rowTrimmed(s, 69), "abc");
    EXPECT_EQ(rowTrimmed(s, 70), "");
    EXPECT_EQ(countPixels(s, 0x44, 0, 552, 799, 559), 800 * 8);
    EXPECT_EQ(s.cursorRow, 70);
    EXPECT_EQ(s.cursorColumn, 1);
}

TEST(TextScreenPrint, ResolvePendingWrapScrollsOnlyWhenSet) {
    TextScreen s = gridScreen();
    labelRows(s);
    placeCursor(s, 40, 7);
    resolvePendingWrap(s);
    EXPECT_EQ(rowTrimmed(s, 1), "R1");
    EXPECT_EQ(s.cursorRow, 40);
    placeCursor(s, 70, 1);
    print(s, std::string(100, 'q'));
    resolvePendingWrap(s);
    EXPECT_EQ(rowTrimmed(s, 1), "R2");
    EXPECT_EQ(s.cursorRow, 70);
    EXPECT_EQ(s.cursorColumn, 1);
    EXPECT_FALSE(s.pendingWrap);
}

TEST(TextScreenPrint, BellsAreCountedAndDrawNothing) {
    TextScreen s = gridScreen();
    placeCursor(s, 3, 3);
    EXPECT_EQ(print(s, "a\ab\a\a"), 3);
    EXPECT_EQ(rowTrimmed(s, 3), "  ab");
}

TEST(TextScreenPrint, ControlBytesOtherThanTheFiveAreDrawnAsGlyphs) {
    TextScreen s = gridScreen();
    placeCursor(s, 2, 1);
    const std::string bytes = {'\0', '\x01', '\x06', '\x0b', '\x0c', '\x0e', '\x1b', '\x7f'};
    print(s, bytes);
    EXPECT_EQ(rowText(s, 2).substr(0, bytes.size()), bytes);
    EXPECT_EQ(s.cursorColumn, 1 + static_cast<int>(bytes.size()));
}

TEST(TextScreenPrint, ScrollingByTheWholeGridOrMoreBlanksIt) {
    TextScreen s = gridScreen();
    labelRows(s);
    s.background = 0x44;
    scrollUp(s, 70);
    for (int row : {1, 35, 70}) EXPECT_EQ(rowTrimmed(s, row), "");
    EXPECT_EQ(countPixels(s, 0x44, 0, 0, 799, 559), 800 * 560);
}

TEST(TextScreenPrint, ScrollMovesPixelsAndCellsAndBlanksTheBottom) {
    TextScreen s = gridScreen();
    s.foreground = 0x00FF00;
    placeCursor(s, 3, 1);
    print(s, "#");
    renderPendingCells(s);
    const Color row3Pixel = pixelAt(s, 3, 16 + 3);
    s.background = 0x44;
    scrollUp(s, 2);
    EXPECT_EQ(rowTrimmed(s, 1), "#");
    EXPECT_EQ(pixelAt(s, 3, 3), row3Pixel);
    EXPECT_EQ(cellAt(s, 1, 1).foreground, 0x00FF00u);
    EXPECT_EQ(countPixels(s, 0x44, 0, 544, 799, 559), 800 * 16);
    EXPECT_EQ(cellAt(s, 70, 1).background, 0x44u);
}

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
