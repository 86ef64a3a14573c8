#include "screen/back_ends/terminal_output.h"

#include <algorithm>
#include <array>

#include "screen/cp437.h"
#include "screen/glyphs.h"

namespace screen {
namespace {

constexpr Color visibleBits = 0xFFFFFF;

constexpr const char* csi = "\x1b[";
constexpr const char* clearAll = "\x1b[0m\x1b[?25l\x1b[2J";  // pen reset, cursor hidden, all cleared
constexpr const char* crLf = "\r\n";
constexpr const char* sizeMessageStart = "La terminal debe medir al menos ";
constexpr const char* sizeMessageMiddle = " caracteres (ahora ";

// ---- writing ----------------------------------------------------------

void appendNumber(std::string& out, long value) { out += std::to_string(value); }

// CSI n X, with n left out when it is 1.
std::string relativeMove(int count, char final) {
    std::string s = csi;
    if (count != 1) s += std::to_string(count);
    s += final;
    return s;
}

std::string absoluteMove(int row, int column) {
    std::string s = csi;
    if (row != 1 || column != 1) {
        s += std::to_string(row);
        if (column != 1) {
            s += ';';
            s += std::to_string(column);
        }
    }
    s += 'H';
    return s;
}

// Along the cursor's row.
std::string horizontalMove(int from, int to) {
    if (to == from) return {};
    if (to > from) return relativeMove(to - from, 'C');
    std::string back = relativeMove(from - to, 'D');
    std::string fromStart = "\r";
    if (to > 1) fromStart += relativeMove(to - 1, 'C');
    return fromStart.size() < back.size() ? fromStart : back;
}

// The shortest of the moves that get from the cursor to (row, column).
std::string cursorMove(const TerminalView& v, int row, int column) {
    std::string best = absoluteMove(row, column);
    if (v.cursorRow == 0 || v.cursorColumn == 0) return best;
    std::string relative;
    if (row == v.cursorRow) {
        relative = horizontalMove(v.cursorColumn, column);
    } else if (row == v.cursorRow + 1 && column == 1 && v.cursorRow < v.rows) {
        relative = crLf;  // never scrolls: the cursor is above the last row
    } else {
        relative = relativeMove(std::abs(row - v.cursorRow), row > v.cursorRow ? 'B' : 'A');
        relative += horizontalMove(v.cursorColumn, column);
    }
    return relative.size() < best.size() ? relative : best;
}

bool samePen(const TerminalView& v, const TerminalCell& c) {
    return v.foreground == c.foreground && v.background == c.background && v.underlined == c.underlined;
}

void appendColor(std::string& out, const char* which, Color c) {
    out += which;
    appendNumber(out, (c >> 16) & 0xFF);
    out += ';';
    appendNumber(out, (c >> 8) & 0xFF);
    out += ';';
    appendNumber(out, c & 0xFF);
}

// One SGR for whatever of underline, foreground and background changed.
void setPen(TerminalView& v, const TerminalCell& c, std::string& out) {
    if (samePen(v, c)) return;
    out += csi;
    bool first = true;
    auto separate = [&] {
        if (!first) out += ';';
        first = false;
    };
    if (v.underlined != c.underlined) {
        separate();
        out += c.underlined ? "4" : "24";
    }
    if (v.foreground != c.foreground) {
        separate();
        appendColor(out, "38;2;", c.foreground);
    }
    if (v.background != c.background) {
        separate();
        appendColor(out, "48;2;", c.background);
    }
    out += 'm';
    v.foreground = c.foreground;
    v.background = c.background;
    v.underlined = c.underlined;
}

const std::array<std::string, 256> textOfByte = [] {
    std::array<std::string, 256> texts;
    for (int b = 0; b < 256; ++b) texts[static_cast<std::size_t>(b)] = utf8Of(cp437ToUnicode(static_cast<std::uint8_t>(b)));
    return texts;
}();

// The cursor stands after the written cell, or nowhere known once it wrote
// the last column (terminals differ in what a pending wrap does to moves).
void advanceCursor(TerminalView& v, int column) {
    v.cursorColumn = column < v.columns ? column + 1 : 0;
    if (v.cursorColumn == 0) v.cursorRow = 0;
}

// Rewriting the unchanged cells between the cursor and the next change,
// when they are in the pen of the moment and that is shorter than a move.
bool rewriteGap(const TerminalPicture& p, const TerminalView& v, int gridRow, int fromGridColumn, int toGridColumn,
                std::size_t moveLength, std::string& gap) {
    gap.clear();
    for (int c = fromGridColumn; c < toGridColumn; ++c) {
        const TerminalCell& cell = p.cells[static_cast<std::size_t>((gridRow - 1) * p.columns + (c - 1))];
        if (!samePen(v, cell)) return false;
        gap += textOfByte[cell.byte];
        if (gap.size() >= moveLength) return false;
    }
    return true;
}

}  // namespace

const std::string& terminalTextOf(std::uint8_t byte) { return textOfByte[byte]; }

TerminalCell terminalCellOf(const TextScreen& s, int row, int column) {
    const Cell& cell = cellAt(s, row, column);
    TerminalCell shown{cell.byte, cell.foreground & visibleBits, cell.background & visibleBits, false};
    if (row == s.mark.row && column == s.mark.column) {
        // The mark's one pixel line cannot be drawn here: underline instead.
        shown.byte = s.mark.covered.byte;
        shown.background = s.mark.covered.background & visibleBits;
        shown.underlined = true;
    }
    return shown;
}

void updatePicture(TerminalPicture& p, const TextScreen& s, LineSpan lines) {
    int firstRow = lines.first / s.cellHeight + 1;
    int lastRow = std::min(lines.last / s.cellHeight + 1, s.rows);
    if (p.columns != s.columns || p.rows != s.rows) {
        p.columns = s.columns;
        p.rows = s.rows;
        p.cells.assign(static_cast<std::size_t>(s.columns * s.rows), TerminalCell{});
        firstRow = 1;
        lastRow = s.rows;
    }
    for (int row = firstRow; row <= lastRow; ++row) {
        TerminalCell* cells = &p.cells[static_cast<std::size_t>((row - 1) * p.columns)];
        for (int column = 1; column <= p.columns; ++column)
            cells[column - 1] = terminalCellOf(s, row, column);
    }
}

void writePicture(const TerminalPicture& p, TerminalView& v, std::string& out) {
    const bool everything = !v.valid || v.shown.columns != p.columns || v.shown.rows != p.rows;
    if (everything) {
        out += clearAll;
        v.shown = p;
        v.valid = true;
        v.cursorRow = v.cursorColumn = 0;
        v.foreground = v.background = -1;
        v.underlined = false;
    }
    const int originRow = std::max(0, (v.rows - p.rows) / 2);
    const int originColumn = std::max(0, (v.columns - p.columns) / 2);
    const int visibleRows = std::min(p.rows, v.rows - originRow);
    const int visibleColumns = std::min(p.columns, v.columns - originColumn);
    std::string gap;
    for (int r = 1; r <= visibleRows; ++r) {
        const std::size_t rowStart = static_cast<std::size_t>((r - 1) * p.columns);
        for (int c = 1; c <= visibleColumns; ++c) {
            const TerminalCell& cell = p.cells[rowStart + static_cast<std::size_t>(c - 1)];
            TerminalCell& shown = v.shown.cells[rowStart + static_cast<std::size_t>(c - 1)];
            if (!everything && cell == shown) continue;
            shown = cell;
            const int row = originRow + r;
            const int column = originColumn + c;
            if (v.cursorRow != row || v.cursorColumn != column) {
                const std::string move = cursorMove(v, row, column);
                if (v.cursorRow == row && v.cursorColumn < column &&
                    rewriteGap(p, v, r, v.cursorColumn - originColumn, c, move.size(), gap))
                    out += gap;
                else
                    out += move;
                v.cursorRow = row;
            }
            setPen(v, cell, out);
            out += textOfByte[cell.byte];
            advanceCursor(v, column);
        }
    }
}

std::string sizeMessage(int columns, int rows) {
    return std::string(sizeMessageStart) + std::to_string(requiredTerminalColumns) + " x " +
           std::to_string(requiredTerminalRows) + sizeMessageMiddle + std::to_string(columns) + " x " +
           std::to_string(rows) + ").";
}

bool pictureFits(int columns, int rows) {
    return columns >= requiredTerminalColumns && rows >= requiredTerminalRows;
}

void writeSizeMessage(TerminalView& v, std::string& out) {
    out += clearAll;
    v.valid = false;
    v.cursorRow = v.cursorColumn = 0;
    v.foreground = v.background = -1;
    v.underlined = false;
    if (v.columns <= 0 || v.rows <= 0) return;
    // Word by word into lines that fit; a word wider than the terminal is cut.
    const std::string text = sizeMessage(v.columns, v.rows);
    const std::size_t width = static_cast<std::size_t>(v.columns);
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = std::min(text.size(), at + width);
        if (end < text.size()) {
            const std::size_t space = text.rfind(' ', end);
            if (space != std::string::npos && space > at) end = space;
        }
        lines.push_back(text.substr(at, end - at));
        at = end;
        while (at < text.size() && text[at] == ' ') ++at;
    }
    const int firstRow = std::max(0, (v.rows - static_cast<int>(lines.size())) / 2) + 1;
    for (std::size_t i = 0; i < lines.size() && firstRow + static_cast<int>(i) <= v.rows; ++i) {
        const int column = (v.columns - static_cast<int>(lines[i].size())) / 2 + 1;
        out += absoluteMove(firstRow + static_cast<int>(i), column);
        out += lines[i];
    }
}

}  // namespace screen
