#include "screen/text_screen.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "screen/glyphs.h"

namespace screen {
namespace {

constexpr std::uint8_t cr = 13;
constexpr std::uint8_t lf = 10;
constexpr std::uint8_t bs = 8;
constexpr std::uint8_t tab = 9;
constexpr std::uint8_t bel = 7;
constexpr std::uint8_t inputMark = 255;

static_assert(isControlByte(cr) && isControlByte(lf) && isControlByte(bs) && isControlByte(tab) && isControlByte(bel) &&
              !isControlByte(0) && !isControlByte(11) && !isControlByte(27));

// For each glyph line byte, the eight pixels as all-ones (ink) or zero.
constexpr auto inkMasks = [] {
    std::array<std::array<std::uint32_t, 8>, 256> masks{};
    for (int bits = 0; bits < 256; ++bits)
        for (int x = 0; x < 8; ++x)
            masks[static_cast<std::size_t>(bits)][static_cast<std::size_t>(x)] =
                (bits & (0x80 >> x)) ? 0xFFFFFFFFu : 0u;
    return masks;
}();

void fillLines(TextScreen& s, int firstLine, int lineCount, int width, Color color) {
    for (int y = firstLine; y < firstLine + lineCount; ++y) {
        Color* line = &s.frame[static_cast<std::size_t>(y * s.pixelWidth)];
        std::fill(line, line + width, color);
    }
}

void markLines(TextScreen& s, int firstLine, int lineCount) {
    std::memset(&s.changedLines[static_cast<std::size_t>(firstLine)], 1, static_cast<std::size_t>(lineCount));
}

void blankCells(TextScreen& s, std::size_t first, std::size_t count) {
    const Cell blank{' ', s.foreground, s.background};
    std::fill(s.cells.begin() + static_cast<std::ptrdiff_t>(first),
              s.cells.begin() + static_cast<std::ptrdiff_t>(first + count), blank);
}

Color* cellPixels(TextScreen& s, int row, int column) {
    return &s.frame[static_cast<std::size_t>((row - 1) * s.cellHeight * s.pixelWidth + (column - 1) * cellWidth)];
}

// Every pixel of the cell from its record: ink in its foreground, the rest
// in its background.
void renderCell(TextScreen& s, int row, int column) {
    const Cell& cell = cellAt(s, row, column);
    const std::uint8_t* glyph = glyphTable(s.cellHeight) + cell.byte * s.cellHeight;
    const Color inkDiff = cell.foreground ^ cell.background;
    Color* line = cellPixels(s, row, column);
    for (int y = 0; y < s.cellHeight; ++y, line += s.pixelWidth) {
        const auto& ink = inkMasks[glyph[y]];
        for (std::size_t x = 0; x < cellWidth; ++x) line[x] = cell.background ^ (inkDiff & ink[x]);
    }
    s.pendingCells[static_cast<std::size_t>((row - 1) * s.columns + (column - 1))] = 0;
}

void clearPending(TextScreen& s) {
    s.pendingCells.assign(s.cells.size(), 0);
    s.pendingRows.assign(static_cast<std::size_t>(s.rows), 0);
}

// The input mark: only the cell's bottom pixel line, in the foreground,
// over whatever the cell shows now.
[[gnu::noinline]] void putMark(TextScreen& s) {
    const std::size_t at = static_cast<std::size_t>((s.cursorRow - 1) * s.columns + (s.cursorColumn - 1));
    if (s.pendingCells[at]) renderCell(s, s.cursorRow, s.cursorColumn);
    Color* bottom = cellPixels(s, s.cursorRow, s.cursorColumn) + (s.cellHeight - 1) * s.pixelWidth;
    std::fill(bottom, bottom + cellWidth, s.foreground);
    // A mark drawn again where it stands still covers what it covered.
    if (s.mark.row != s.cursorRow || s.mark.column != s.cursorColumn) s.mark.covered = s.cells[at];
    s.mark.row = s.cursorRow;
    s.mark.column = s.cursorColumn;
    s.focusRow = s.cursorRow;
    s.cells[at] = Cell{inputMark, s.foreground, s.background};
    markLines(s, (s.cursorRow - 1) * s.cellHeight, s.cellHeight);
}

// Bytes that all fit on the cursor's row, from the cursor on.
void putPiece(TextScreen& s, const std::uint8_t* bytes, int count) {
    if (count == 1 && bytes[0] == inputMark)
        putMark(s);
    else
        recordPiece(s, bytes, static_cast<std::size_t>(count));
}

// A run of drawn bytes, in pieces that end at the right edge.
void drawRun(TextScreen& s, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        if (s.cursorRow > s.rows) scrollUp(s, s.cursorRow - s.rows);
        const std::size_t room = static_cast<std::size_t>(s.columns - s.cursorColumn + 1);
        const int piece = static_cast<int>(std::min(count, room));
        putPiece(s, bytes, piece);
        bytes += piece;
        count -= static_cast<std::size_t>(piece);
        s.cursorColumn += piece;
        if (s.cursorColumn > s.columns) {
            s.cursorColumn = 1;
            ++s.cursorRow;
        }
    }
}

}  // namespace

bool validScreenMode(int width, int height, int depth) {
    constexpr std::array depths{1, 2, 4, 8, 15, 16, 24, 32};
    return width > 0 && height > 0 && std::find(depths.begin(), depths.end(), depth) != depths.end();
}

void initTextScreen(TextScreen& s, int width, int height) {
    s.pixelWidth = width;
    s.pixelHeight = height;
    s.frame.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0xFF000000);
    s.columns = width / cellWidth;
    s.rows = height / 8;
    s.cellHeight = 8;
    s.foreground = 0xFFFFFFFF;
    s.background = 0xFF000000;
    s.cells.assign(static_cast<std::size_t>(s.columns * s.rows), Cell{' ', s.foreground, s.background});
    s.cursorRow = 1;
    s.cursorColumn = 1;
    s.pendingWrap = false;
    s.changedLines.assign(static_cast<std::size_t>(height), 1);
    clearPending(s);
    s.keptRows.assign(static_cast<std::size_t>(s.rows), 0);
    s.focusRow = 0;
}

void setGridSize(TextScreen& s, int columns, int rows) {
    if (columns <= 0 && rows <= 0) return;
    const int newColumns = columns > 0 ? columns : s.columns;
    const int newRows = rows > 0 ? rows : s.rows;
    const int newCellWidth = columns > 0 ? s.pixelWidth / columns : cellWidth;
    const int newCellHeight = rows > 0 ? s.pixelHeight / rows : s.cellHeight;
    if (newCellWidth == cellWidth && (newCellHeight == 8 || newCellHeight == 14 || newCellHeight == 16)) {
        s.columns = newColumns;
        s.rows = newRows;
        s.cellHeight = newCellHeight;
        s.cells.assign(static_cast<std::size_t>(s.columns * s.rows), Cell{' ', s.foreground, s.background});
        s.keptRows.assign(static_cast<std::size_t>(s.rows), 0);
        s.focusRow = 0;
        clearTextScreen(s);
    }
    s.cursorRow = 1;
    s.cursorColumn = 1;
    s.pendingWrap = false;
}

void keepRowsInView(TextScreen& s, int firstRow, int lastRow) {
    for (int row = std::max(firstRow, 1); row <= std::min(lastRow, s.rows); ++row)
        s.keptRows[static_cast<std::size_t>(row - 1)] = 1;
}

void clearTextScreen(TextScreen& s) {
    std::fill(s.frame.begin(), s.frame.end(), s.background);
    blankCells(s, 0, s.cells.size());
    s.mark.row = 0;
    clearPending(s);
    markLines(s, 0, s.pixelHeight);
    s.cursorRow = 1;
    s.cursorColumn = 1;
    s.pendingWrap = false;
}

void scrollUp(TextScreen& s, int k) {
    // Pixels move with their cells, so draw what is pending first.
    renderPendingCells(s);
    const int gridLines = s.rows * s.cellHeight;
    const int gridWidth = s.columns * cellWidth;
    s.mark.row = k >= s.mark.row ? 0 : s.mark.row - k;
    s.focusRow = std::max(0, s.focusRow - k);
    if (k >= s.rows) {
        fillLines(s, 0, gridLines, gridWidth, s.background);
        blankCells(s, 0, s.cells.size());
    } else {
        const int movedLines = (s.rows - k) * s.cellHeight;
        const int shift = k * s.cellHeight;
        for (int y = 0; y < movedLines; ++y)
            std::memmove(&s.frame[static_cast<std::size_t>(y * s.pixelWidth)],
                         &s.frame[static_cast<std::size_t>((y + shift) * s.pixelWidth)],
                         static_cast<std::size_t>(gridWidth) * sizeof(Color));
        fillLines(s, movedLines, shift, gridWidth, s.background);
        const std::size_t movedCells = static_cast<std::size_t>((s.rows - k) * s.columns);
        const std::size_t shiftCells = static_cast<std::size_t>(k * s.columns);
        std::memmove(s.cells.data(), s.cells.data() + shiftCells, movedCells * sizeof(Cell));
        blankCells(s, movedCells, shiftCells);
    }
    markLines(s, 0, gridLines);
    s.cursorRow = s.rows;
}

namespace {

// With `obeyControls` false every byte is drawn as its glyph.
int writeText(TextScreen& s, const char* text, std::size_t length, bool obeyControls) {
    if (length == 0) return 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
    resolvePendingWrap(s);
    enum class Last { nothing, drawn, moved } last = Last::nothing;  // BEL aside
    int beeps = 0;
    std::size_t i = 0;
    const auto acts = [obeyControls](std::uint8_t b) { return obeyControls && isControlByte(b); };
    while (i < length) {
        const std::uint8_t b = bytes[i];
        if (!acts(b)) {
            std::size_t end = i + 1;
            while (end < length && !acts(bytes[end])) ++end;
            drawRun(s, bytes + i, end - i);
            last = Last::drawn;
            i = end;
            continue;
        }
        switch (b) {
            case cr:
                s.cursorColumn = 1;
                last = Last::moved;
                break;
            case lf:
                s.cursorColumn = 1;
                // Past twice the grid every further scroll clears the same.
                s.cursorRow = std::min(s.cursorRow + 1, 2 * s.rows);
                last = Last::moved;
                break;
            case bs:
                if (s.cursorColumn > 1) --s.cursorColumn;
                last = Last::moved;
                break;
            case tab: {
                static constexpr std::uint8_t blanks[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
                drawRun(s, blanks, static_cast<std::size_t>(8 - (s.cursorColumn - 1) % 8));
                last = Last::drawn;
                break;
            }
            default:  // BEL
                ++beeps;
                break;
        }
        ++i;
    }
    if (s.cursorRow > s.rows) {
        if (last == Last::moved) {
            scrollUp(s, s.cursorRow - s.rows);
        } else {
            // The write filled the bottom-right cell: park there, and let
            // the next write scroll unless a cursor move comes first.
            s.cursorRow = s.rows;
            s.cursorColumn = s.columns;
            s.pendingWrap = true;
        }
    }
    return beeps;
}

}  // namespace

int writeBytesInGeneral(TextScreen& s, const char* text, std::size_t length) {
    return writeText(s, text, length, true);
}

void writeGlyphs(TextScreen& s, const char* text, std::size_t length) { writeText(s, text, length, false); }

void resolvePendingWrap(TextScreen& s) {
    if (!s.pendingWrap) return;
    s.pendingWrap = false;
    s.cursorRow = s.rows + 1;
    s.cursorColumn = 1;
    scrollUp(s, 1);
}

void renderPendingCells(TextScreen& s) {
    for (int row = 1; row <= s.rows; ++row) {
        std::uint8_t& rowPending = s.pendingRows[static_cast<std::size_t>(row - 1)];
        if (!rowPending) continue;
        const std::uint8_t* pending = &s.pendingCells[static_cast<std::size_t>((row - 1) * s.columns)];
        for (int column = 1; column <= s.columns; ++column)
            if (pending[column - 1]) renderCell(s, row, column);
        rowPending = 0;
    }
}

LineSpan changedSpan(const TextScreen& s) {
    LineSpan span;
    const auto& lines = s.changedLines;
    const auto first = std::find(lines.begin(), lines.end(), 1);
    if (first == lines.end()) return span;
    const auto last = std::find(lines.rbegin(), lines.rend(), 1);
    span.first = static_cast<int>(first - lines.begin());
    span.last = static_cast<int>(lines.rend() - last) - 1;
    return span;
}

void clearChangedLines(TextScreen& s, LineSpan span) {
    if (span.empty()) return;
    std::memset(&s.changedLines[static_cast<std::size_t>(span.first)], 0,
                static_cast<std::size_t>(span.last - span.first + 1));
}

}  // namespace screen
