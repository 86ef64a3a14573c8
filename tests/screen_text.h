// Readable views of a text screen for assertions.
#pragma once

#include <string>

#include "screen/text_screen.h"

namespace testing_screen {

// The bytes of one row's cells.
inline std::string rowText(const screen::TextScreen& s, int row) {
    std::string text;
    for (int column = 1; column <= s.columns; ++column) text += static_cast<char>(screen::cellAt(s, row, column).byte);
    return text;
}

// The row with trailing spaces dropped.
inline std::string rowTrimmed(const screen::TextScreen& s, int row) {
    std::string text = rowText(s, row);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// A fresh 800 x 600 screen with the 100 x 70 grid the program uses.
inline screen::TextScreen gridScreen() {
    screen::TextScreen s;
    screen::initTextScreen(s, 800, 600);
    screen::setGridSize(s, 100, 70);
    return s;
}

// How many pixels of the rectangle (x0, y0)-(x1, y1), corners included,
// are of the colour, once the pending cells are drawn.
inline int countPixels(screen::TextScreen& s, screen::Color color, int x0, int y0, int x1, int y1) {
    screen::renderPendingCells(s);
    int count = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) count += screen::pixelAt(s, x, y) == color;
    return count;
}

// Writes a text to a record, as printText would without newline.
inline int print(screen::TextScreen& s, const std::string& text) {
    return screen::writeBytes(s, text.data(), text.size());
}

}  // namespace testing_screen
