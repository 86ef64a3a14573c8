// The one open text screen: every operation here acts on it, holds the
// screen lock from start to end, and does nothing while no screen is open.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "screen/back_end.h"
#include "screen/text_screen.h"

namespace screen {

struct GridSize {
    int columns = 0;
    int rows = 0;
};

struct CursorPosition {
    int row = 0;
    int column = 0;
};

// 0 when the screen opened, 1 when the mode is unusable or nothing could
// present it. The back end comes from LISTER_SCREEN (window, terminal or
// headless); LISTER_SCREENSHOT and LISTER_CELLS name files that closeScreen
// fills with the final picture and the final cell grid.
int openScreen(int width, int height, int depth, int pages, int flags, int refreshRate);
void setTextSize(int columns, int rows);
// Where only part of the grid can be shown (a small terminal, a phone),
// these rows stay in view; the rest follows what the program draws.
void keepRowsInView(int firstRow, int lastRow);
GridSize textSize();
void setColors(Color foreground, Color background);
void clearScreen();
void moveCursor(int row, int column);
CursorPosition cursorPosition();
void resolvePendingWrap();
bool pendingWrapIsSet();
void printText(std::string_view text, bool newline);
// Every byte as its glyph, none obeyed as a control: for a path.
void printGlyphs(std::string_view text);
void printInt32(std::int32_t value);
void printInt64(std::int64_t value);
void printDouble(double value);
std::string spaces(int count);
void beep(int hertz, int milliseconds);
void closeScreen();

// Keeps the screen lock across several operations, so that what they draw
// together (one listed combination, say) costs one lock, not one each.
struct ScreenHold {
    ScreenHold();
    ~ScreenHold();
    ScreenHold(const ScreenHold&) = delete;
    ScreenHold& operator=(const ScreenHold&) = delete;
};

// What openScreen decides from the environment, spelled out.
struct ScreenOptions {
    std::vector<BackEnd> backEnds;  // tried in order until one opens
    bool firstWasChosen = false;    // named by the user, so say why it failed
    BackEndSetup setup;
    std::string screenshotPath;
    std::string cellsPath;
};

ScreenOptions optionsFromEnvironment();
int openScreenWith(int width, int height, int depth, ScreenOptions options);

// For tests and dumps: a copy of the open screen, taken under the lock.
TextScreen screenSnapshot();
std::int64_t beepCount();
const char* openBackEndName();

}  // namespace screen
