// The text screen as plain data: a frame of 32-bit pixels with a grid of
// coloured character cells drawn on it. Everything here works on a record
// passed in and knows nothing of threads, windows or keys; the one open
// screen and its lock live in screen.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace screen {

// 0xAARRGGBB; the top byte is kept with the pixel but never shown.
using Color = std::uint32_t;

struct Cell {
    std::uint8_t byte = ' ';
    Color foreground = 0xFFFFFFFF;
    Color background = 0xFF000000;
};

// Where a lone 255, the line editor's input mark, stands and the cell it
// covers; row 0 when there is none. Whatever cannot draw the mark's pixel
// line (a terminal) shows the covered cell marked in its own way.
struct InputMark {
    int row = 0;
    int column = 0;
    Cell covered;
};

struct TextScreen {
    int pixelWidth = 0;
    int pixelHeight = 0;
    // pixelWidth * pixelHeight, top line first. The cells marked pending
    // are drawn into it by renderPendingCells.
    std::vector<Color> frame;
    int columns = 0;
    int rows = 0;
    int cellHeight = 8;  // the cell width is always 8
    int cursorRow = 1;
    int cursorColumn = 1;
    bool pendingWrap = false;
    Color foreground = 0xFFFFFFFF;
    Color background = 0xFF000000;
    std::vector<Cell> cells;                // columns * rows, row by row
    std::vector<std::uint8_t> changedLines;  // one flag per pixel line
    // Printing records a cell and leaves its pixels pending: the listing
    // rewrites each cell many times between two refreshes of the display,
    // and only what stands at the refresh needs drawing.
    std::vector<std::uint8_t> pendingCells;  // one flag per cell
    std::vector<std::uint8_t> pendingRows;   // one flag per row
    InputMark mark;
    // Where a surface smaller than the grid shows only part of it: the rows
    // the program keeps in view there (one flag per row), and the row such
    // a view follows, the last one drawn on outside them or the input
    // mark's (0 before either).
    std::vector<std::uint8_t> keptRows;
    int focusRow = 0;
};

inline constexpr int cellWidth = 8;

// The first and last changed pixel lines; empty when first > last.
struct LineSpan {
    int first = 0;
    int last = -1;
    bool empty() const { return first > last; }
};

// False (and the record untouched) unless the size and depth are usable.
bool validScreenMode(int width, int height, int depth);
// A fresh black screen of width/8 x height/8 cells, cursor at (1, 1).
void initTextScreen(TextScreen& s, int width, int height);

// A new size forgets the kept rows.
void setGridSize(TextScreen& s, int columns, int rows);
// Rows outside the grid are left out.
void keepRowsInView(TextScreen& s, int firstRow, int lastRow);
void clearTextScreen(TextScreen& s);
// A 0 keeps that coordinate; a move outside the grid does not move at
// all. Either way a pending wrap is cancelled.
inline void placeCursor(TextScreen& s, int row, int column) {
    s.pendingWrap = false;
    const int newRow = row == 0 ? s.cursorRow : row;
    const int newColumn = column == 0 ? s.cursorColumn : column;
    if (newRow < 1 || newRow > s.rows || newColumn < 1 || newColumn > s.columns) return;
    s.cursorRow = newRow;
    s.cursorColumn = newColumn;
}
void scrollUp(TextScreen& s, int k);
// Writes the bytes as one write. Returns how many BEL bytes asked for a
// beep, which the caller sounds: the record itself makes no noise.
int writeBytes(TextScreen& s, const char* text, std::size_t length);
// The same for any text; writeBytes takes the short plain texts itself.
int writeBytesInGeneral(TextScreen& s, const char* text, std::size_t length);
// The same write with every byte drawn as its glyph, CR, LF, BS, TAB and
// BEL included: for texts lister did not write itself (a folder's name).
void writeGlyphs(TextScreen& s, const char* text, std::size_t length);
// The write of no bytes that still carries out a pending wrap.
void resolvePendingWrap(TextScreen& s);

inline Cell& cellAt(TextScreen& s, int row, int column) {
    return s.cells[static_cast<std::size_t>((row - 1) * s.columns + (column - 1))];
}
inline const Cell& cellAt(const TextScreen& s, int row, int column) {
    return s.cells[static_cast<std::size_t>((row - 1) * s.columns + (column - 1))];
}
inline Color pixelAt(const TextScreen& s, int x, int y) {
    return s.frame[static_cast<std::size_t>(y * s.pixelWidth + x)];
}

// Draws the glyph of every pending cell from its record into the frame.
// Whoever reads the frame calls it first.
void renderPendingCells(TextScreen& s);

LineSpan changedSpan(const TextScreen& s);
void clearChangedLines(TextScreen& s, LineSpan span);

// CR, LF, BS, TAB and BEL act; every other byte is drawn as its glyph.
constexpr bool isControlByte(std::uint8_t b) { return b < 14 && ((0x2780u >> b) & 1u); }

// Records bytes that all fit on the cursor's row and leaves their pixels
// pending; the cursor stays.
inline void recordPiece(TextScreen& s, const std::uint8_t* bytes, std::size_t count) {
    const std::size_t at = static_cast<std::size_t>((s.cursorRow - 1) * s.columns + (s.cursorColumn - 1));
    const Color fg = s.foreground;
    const Color bg = s.background;
    if (s.mark.row == s.cursorRow && s.mark.column >= s.cursorColumn &&
        s.mark.column < s.cursorColumn + static_cast<int>(count))
        s.mark.row = 0;  // written over
    // Through local pointers: a flag stored as a byte could be any byte of
    // the record, which would have the compiler reload its vectors after
    // every cell.
    Cell* cells = s.cells.data() + at;
    std::uint8_t* pending = s.pendingCells.data() + at;
    for (std::size_t i = 0; i < count; ++i) {
        cells[i] = Cell{bytes[i], fg, bg};
        pending[i] = 1;
    }
    s.pendingRows[static_cast<std::size_t>(s.cursorRow - 1)] = 1;
    if (!s.keptRows[static_cast<std::size_t>(s.cursorRow - 1)]) s.focusRow = s.cursorRow;
    std::uint8_t* lines = &s.changedLines[static_cast<std::size_t>((s.cursorRow - 1) * s.cellHeight)];
    if (s.cellHeight == 8) {
        constexpr std::uint64_t eightFlags = 0x0101010101010101u;  // one store, not a loop
        std::memcpy(lines, &eightFlags, sizeof eightFlags);
    } else {
        std::memset(lines, 1, static_cast<std::size_t>(s.cellHeight));
    }
}

// Every label of the listing comes this way, millions a second, so the
// common case stays inline: a few plain bytes that stop short of the right
// edge need no wrapping, scrolling or control codes.
inline int writeBytes(TextScreen& s, const char* text, std::size_t length) {
    constexpr std::size_t shortText = 16;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
    if (length - 1 < shortText && !s.pendingWrap && length <= static_cast<std::size_t>(s.columns - s.cursorColumn) &&
        !(length == 1 && bytes[0] == 255)) {
        bool plain = true;
        for (std::size_t i = 0; i < length; ++i) plain &= !isControlByte(bytes[i]);
        if (plain) {
            recordPiece(s, bytes, length);
            s.cursorColumn += static_cast<int>(length);
            return 0;
        }
    }
    return writeBytesInGeneral(s, text, length);
}

}  // namespace screen
