// The text screen as a terminal shows it, and the bytes that bring a
// terminal from one picture to the next: xterm-compatible cursor moves,
// colours at the terminal's depth, characters in its charset. A terminal
// smaller than the grid shows the view of it that layGridView lays out.
// Pure: it only fills strings.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "screen/back_ends/terminal_style.h"
#include "screen/grid_view.h"
#include "screen/text_screen.h"

namespace screen {

// Below this the view is too small to be of use: a message instead.
inline constexpr int requiredTerminalColumns = 40;
inline constexpr int requiredTerminalRows = 12;

// One cell as the terminal shows it: a code page 437 byte, the visible
// (low 24) bits of its colours, and the input mark as an underline. A cell
// outside the grid (a margin, a fold row, an edge column) is shown in the
// terminal's own colours, dimmed.
struct TerminalCell {
    std::uint8_t byte = ' ';
    Color foreground = 0xFFFFFF;
    Color background = 0;
    bool underlined = false;
    bool outside = false;
    bool operator==(const TerminalCell&) const = default;
};

struct TerminalPicture {
    int columns = 0;
    int rows = 0;
    std::vector<TerminalCell> cells;  // row by row
    // What a view of part of it follows (see grid_view.h); the input
    // mark's cell, row 0 when there is none.
    std::vector<std::uint8_t> keptRows;
    int focusRow = 0;
    int focusColumn = 0;
    int markRow = 0;
    int markColumn = 0;
};

// How one cell of the screen record shows: the input mark as the cell it
// covers, underlined in the mark's colour.
TerminalCell terminalCellOf(const TextScreen& s, int row, int column);

// Brings the rows that the changed pixel lines cover up to date; every row
// when the grid size changed. The focus and the mark always.
void updatePicture(TerminalPicture& picture, const TextScreen& s, LineSpan lines);

// The attributes of a pen, one bit each.
enum PenAttribute : std::uint8_t { penBold = 1, penDim = 2, penUnderline = 4, penReverse = 8 };

// Colours as colorCode gives them (-1: the terminal's own) and attributes.
struct Pen {
    std::int32_t foreground = -1;
    std::int32_t background = -1;
    std::uint8_t attributes = 0;
    bool operator==(const Pen&) const = default;
};

// What our writes have made the terminal show, where they left its cursor
// and pen, and which part of the grid it shows.
struct TerminalView {
    int columns = 0;  // the terminal's size
    int rows = 0;
    ColorDepth depth = ColorDepth::trueColor;
    TerminalCharset charset = TerminalCharset::utf8;
    bool valid = false;  // false: the next write clears and draws anew
    TerminalPicture shown;  // the terminal's cells, its size
    int cursorRow = 0;  // 1-based terminal position; 0 when unknown
    int cursorColumn = 0;
    bool cursorShown = false;
    Pen pen;
    // The view: where it last followed the program to, the user's move
    // from there, and how it was laid out last.
    int followedRow = 1;
    int userRows = 0;
    int userColumns = 0;
    GridView laid;
    // Colours already looked up at this depth: 24-bit value + 1, and code.
    std::array<std::uint32_t, 16> cachedColors{};
    std::array<std::int32_t, 16> cachedCodes{};
};

// How a cell shows at the view's depth. With no colour, the listing's two
// colours, the bars and the input mark are told apart by attributes.
Pen penOf(const TerminalCell& cell, TerminalView& view);

// Appends the bytes that make the terminal show the view of `picture`:
// the whole grid centred where it fits, else the kept rows and the part
// that follows the program, with fold rows and edge columns. Only what
// differs from what the terminal shows is written, in row order; a kept
// row from its first to its last change in one run. The terminal's cursor
// stands at the input mark while there is one in view, hidden otherwise.
void writePicture(const TerminalPicture& picture, TerminalView& view, std::string& out);

std::string sizeMessage(int columns, int rows);
// Whether the terminal is large enough for a view of the grid.
bool pictureFits(int columns, int rows);
// Clears the terminal and shows the size message centred, in lines that
// fit; the view becomes invalid, so the picture is drawn anew once it fits.
void writeSizeMessage(TerminalView& view, std::string& out);

// The UTF-8 text a cell byte shows as (byte 0 as a space).
const std::string& terminalTextOf(std::uint8_t byte);

}  // namespace screen
