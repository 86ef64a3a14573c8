// The one open screen on the headless back end: opening, the named
// operations, and the pictures closeScreen leaves behind.
#include "screen/screen.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "screen/key_delivery.h"
#include "screen/keyboard.h"
#include "tests/png_image.h"
#include "tests/headless_screen.h"
#include "tests/screen_text.h"
#include "tests/temp_dir.h"

using namespace screen;
using testing_screen::headlessOptions;

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A script that is empty: its end is there at once.
struct EmptyScript : testing_screen::KeyScript {
    EmptyScript() { end(); }
};

}  // namespace

TEST(ScreenSession, ClosingWritesThePictureAndTheCells) {
    testing_files::TempDir dir;
    EmptyScript script;
    ScreenOptions options = headlessOptions(script);
    options.screenshotPath = dir.path + "/shot.png";
    options.cellsPath = dir.path + "/cells.txt";
    ASSERT_EQ(openScreenWith(800, 600, 32, options), 0);
    EXPECT_STREQ(openBackEndName(), "headless");
    setTextSize(100, 70);
    setColors(0xAAEEAA, 0xFF000044);
    clearScreen();
    moveCursor(1, 1);
    printText("Hola", true);
    setColors(0xFFFFFF, 0x008800);
    moveCursor(70, 97);
    printText("fin", false);
    closeScreen();

    const testing_png::Image png = testing_png::loadPng(options.screenshotPath);
    EXPECT_EQ(png.width, 800);
    ASSERT_EQ(png.height, 600);
    auto pixel = [&](int x, int y) { return png.at(x, y); };
    EXPECT_EQ(pixel(799, 599), 0x000044u);  // below the grid, the top byte gone
    EXPECT_EQ(pixel(400, 300), 0x000044u);
    int inked = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 32; ++x) inked += pixel(x, y) == 0xAAEEAAu;
    EXPECT_GT(inked, 20);  // "Hola" is drawn in the frame colour
    int bar = 0;
    for (int y = 552; y < 560; ++y)
        for (int x = 768; x < 800; ++x) bar += pixel(x, y) == 0x008800u;
    EXPECT_GT(bar, 100);

    const std::string cells = readAll(options.cellsPath);
    ASSERT_EQ(cells.size(), 70u * 101u);
    EXPECT_EQ(cells.substr(0, 5), "Hola ");
    EXPECT_EQ(cells.substr(69 * 101, 101), std::string(96, ' ') + "fin \n");
    for (int row = 0; row < 70; ++row) EXPECT_EQ(cells[static_cast<std::size_t>(row * 101 + 100)], '\n');
}

TEST(ScreenSession, CellsAreDumpedExactlyAsStoredIncludingNewlineBytes) {
    testing_files::TempDir dir;
    EmptyScript script;
    ScreenOptions options = headlessOptions(script);
    options.cellsPath = dir.path + "/cells.txt";
    ASSERT_EQ(openScreenWith(800, 600, 32, options), 0);
    moveCursor(2, 1);
    printText(std::string("\x00\x0b\xff\xdb", 4), false);
    closeScreen();
    const std::string cells = readAll(options.cellsPath);
    ASSERT_EQ(cells.size(), 75u * 101u);  // no setTextSize: the open grid
    EXPECT_EQ(cells.substr(101, 4), std::string("\x00\x0b\xff\xdb", 4));
}

TEST(ScreenSession, UnwritablePicturesAreReportedAndChangeNothingElse) {
    EmptyScript script;
    ScreenOptions options = headlessOptions(script);
    options.screenshotPath = "/nonexistent-folder/shot.png";
    options.cellsPath = "/nonexistent-folder/cells.txt";
    ASSERT_EQ(openScreenWith(800, 600, 32, options), 0);
    ::testing::internal::CaptureStderr();
    closeScreen();
    const std::string messages = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("cannot write the screenshot /nonexistent-folder/shot.png: No such file"),
              std::string::npos)
        << messages;
    EXPECT_NE(messages.find("cannot write the cells file /nonexistent-folder/cells.txt: No such file"),
              std::string::npos)
        << messages;
}

TEST(ScreenSession, RefusesBadModesAndASecondScreen) {
    EmptyScript script;
    EXPECT_EQ(openScreenWith(0, 600, 32, headlessOptions(script)), 1);
    EXPECT_EQ(openScreenWith(800, 600, 7, headlessOptions(script)), 1);
    ASSERT_EQ(openScreenWith(800, 600, 32, headlessOptions(script)), 0);
    EXPECT_EQ(openScreenWith(800, 600, 32, headlessOptions(script)), 1);
    closeScreen();
}

TEST(ScreenSession, FallsBackWhenABackEndCannotOpen) {
    EmptyScript script;
    ScreenOptions options = headlessOptions(script);
    BackEnd broken = headlessBackEnd();
    broken.name = "broken";
    broken.open = [](BackEnd&, const BackEndSetup&, std::string& why) {
        why = "no display";
        return false;
    };
    options.backEnds.insert(options.backEnds.begin(), broken);
    options.firstWasChosen = true;
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(openScreenWith(800, 600, 32, options), 0);
    const std::string messages = ::testing::internal::GetCapturedStderr();
    EXPECT_STREQ(openBackEndName(), "headless");
    EXPECT_NE(messages.find("the broken screen cannot open (no display)"), std::string::npos) << messages;
    closeScreen();
}

TEST(ScreenSession, OperationsWithoutAnOpenScreenDoNothing) {
    setTextSize(100, 70);
    setColors(1, 2);
    clearScreen();
    moveCursor(3, 3);
    printText("nothing", true);
    printInt64(5);
    closeScreen();
    EXPECT_EQ(textSize().columns, 0);
    EXPECT_EQ(cursorPosition().row, 0);
    EXPECT_EQ(pollKey(), "");
    waitForKey();  // returns: no key can ever come
}

TEST(ScreenSession, NamedOperationsFollowTheRecord) {
    EmptyScript script;
    ASSERT_EQ(openScreenWith(800, 600, 32, headlessOptions(script)), 0);
    setTextSize(100, 70);
    EXPECT_EQ(textSize().columns, 100);
    EXPECT_EQ(textSize().rows, 70);
    moveCursor(70, 1);
    printText(spaces(100), false);
    EXPECT_EQ(cursorPosition().row, 70);
    EXPECT_EQ(cursorPosition().column, 100);
    resolvePendingWrap();
    EXPECT_EQ(cursorPosition().column, 1);
    moveCursor(6, 1);
    printInt32(-7);
    printInt64(13983816);
    printDouble(0.25);
    printText("\a", false);
    const TextScreen s = screenSnapshot();
    EXPECT_EQ(testing_screen::rowTrimmed(s, 6), "-7 13983816 0.25");
    EXPECT_EQ(beepCount(), 1);
    EXPECT_EQ(spaces(0), "");
    EXPECT_EQ(spaces(-4), "");
    EXPECT_EQ(spaces(3), "   ");
    closeScreen();
}
