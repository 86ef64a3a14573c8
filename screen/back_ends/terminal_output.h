// The text screen as a terminal shows it, and the bytes that bring a
// terminal from one picture to the next: xterm-compatible cursor moves and
// 24-bit colours, UTF-8 characters. Pure: it only fills strings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "screen/text_screen.h"

namespace screen {

inline constexpr int requiredTerminalColumns = 100;
inline constexpr int requiredTerminalRows = 70;

// One cell as the terminal shows it: a code page 437 byte, the visible
// (low 24) bits of its colours, and the input mark as an underline.
struct TerminalCell {
    std::uint8_t byte = ' ';
    Color foreground = 0xFFFFFF;
    Color background = 0;
    bool underlined = false;
    bool operator==(const TerminalCell&) const = default;
};

struct TerminalPicture {
    int columns = 0;
    int rows = 0;
    std::vector<TerminalCell> cells;  // row by row
};

// How one cell of the screen record shows: the input mark as the cell it
// covers, underlined in the mark's colour.
TerminalCell terminalCellOf(const TextScreen& s, int row, int column);

// Brings the rows that the changed pixel lines cover up to date; every row
// when the grid size changed.
void updatePicture(TerminalPicture& picture, const TextScreen& s, LineSpan lines);

// What our writes have made the terminal show, and where they left its
// cursor and pen.
struct TerminalView {
    int columns = 0;  // the terminal's size
    int rows = 0;
    bool valid = false;  // false: the next write draws every cell
    TerminalPicture shown;
    int cursorRow = 0;  // 1-based terminal position; 0 when unknown
    int cursorColumn = 0;
    std::int64_t foreground = -1;  // -1: the terminal's default
    std::int64_t background = -1;
    bool underlined = false;
};

// Appends the bytes that make the terminal show `picture`, centred when the
// terminal is larger: only the cells that differ from what it shows, or all
// of them (after clearing) when the view is not valid.
void writePicture(const TerminalPicture& picture, TerminalView& view, std::string& out);

std::string sizeMessage(int columns, int rows);
bool pictureFits(int columns, int rows);
// Clears the terminal and shows the size message centred, in lines that
// fit; the view becomes invalid, so the picture is drawn anew once it fits.
void writeSizeMessage(TerminalView& view, std::string& out);

// The UTF-8 text a cell byte shows as (byte 0 as a space).
const std::string& terminalTextOf(std::uint8_t byte);

}  // namespace screen
