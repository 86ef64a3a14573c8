// Printing on the text screen record: where text lands, wrapping at the
// right edge, the pending wrap on the last row, control bytes and
// scrolling, checked on the cells and on the frame's pixels.
#include "screen/text_screen.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/screen_text.h"

using namespace screen;
using testing_screen::countPixels;
using testing_screen::gridScreen;
using testing_screen::print;
using testing_screen::rowText;
using testing_screen::rowTrimmed;

namespace {

// Marks every row with its number so that scrolling shows as a shift.
void labelRows(TextScreen& s) {
    for (int row = 1; row <= s.rows; ++row) {
        placeCursor(s, row, 1);
        print(s, "R" + std::to_string(row));
    }
}

}  // namespace

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
