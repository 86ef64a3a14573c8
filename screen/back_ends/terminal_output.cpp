#include "screen/back_ends/terminal_output.h"

#include <algorithm>

namespace screen {
namespace {

constexpr Color visibleBits = 0xFFFFFF;

constexpr const char* csi = "\x1b[";
constexpr const char* clearAll = "\x1b[0m\x1b[?25l\x1b[2J";  // pen reset, cursor hidden, all cleared
constexpr const char* crLf = "\r\n";
constexpr const char* showCursor = "\x1b[?25h";
constexpr const char* hideCursor = "\x1b[?25l";
constexpr const char* sizeMessageStart = "La terminal debe medir al menos ";
constexpr const char* sizeMessageMiddle = " caracteres (ahora ";
constexpr const char* sizeMessageEnd = "). Ctrl+C para salir.";

// What stands where the grid is not: the terminal's own blank, a fold row
// of middle dots, and the edge columns' guillemets.
constexpr TerminalCell blankOutside{' ', visibleBits, 0, false, true};
constexpr TerminalCell foldOutside{0xFA, visibleBits, 0, false, true};
constexpr TerminalCell leftEdge{0xAE, visibleBits, 0, false, true};
constexpr TerminalCell rightEdge{0xAF, visibleBits, 0, false, true};

// ---- moves ------------------------------------------------------------

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

// The cursor stands after the written cell, or nowhere known once it wrote
// the last column (terminals differ in what a pending wrap does to moves).
void advanceCursor(TerminalView& v, int column) {
    v.cursorColumn = column < v.columns ? column + 1 : 0;
    if (v.cursorColumn == 0) v.cursorRow = 0;
}

// ---- pens -------------------------------------------------------------

// A colour's code at the view's depth, looked up once (the 256 colours
// are searched): lister draws with a handful of colours.
std::int32_t codeOf(TerminalView& v, Color rgb) {
    if (v.depth == ColorDepth::trueColor) return static_cast<std::int32_t>(rgb & visibleBits);
    const std::uint32_t key = (rgb & visibleBits) + 1;
    const std::size_t slot = (key * 2654435761u) >> 28;
    if (v.cachedColors[slot] != key) {
        v.cachedColors[slot] = key;
        v.cachedCodes[slot] = colorCode(v.depth, rgb);
    }
    return v.cachedCodes[slot];
}

int brightness(Color c) { return 299 * ((c >> 16) & 0xFF) + 587 * ((c >> 8) & 0xFF) + 114 * (c & 0xFF); }
int saturation(Color c) {
    const int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    return std::max({r, g, b}) - std::min({r, g, b});
}

void appendColor(std::string& out, bool foreground, std::int32_t code, ColorDepth depth) {
    if (code < 0) {
        out += foreground ? "39" : "49";
    } else if (depth == ColorDepth::trueColor) {
        out += foreground ? "38;2;" : "48;2;";
        out += std::to_string((code >> 16) & 0xFF) + ';' + std::to_string((code >> 8) & 0xFF) + ';' +
               std::to_string(code & 0xFF);
    } else if (depth == ColorDepth::palette256) {
        out += foreground ? "38;5;" : "48;5;";
        out += std::to_string(code);
    } else {
        // 30-37 and 40-47, their bright halves 90-97 and 100-107.
        out += std::to_string((code < 8 ? 30 : 82) + (foreground ? 0 : 10) + code);
    }
}

// One SGR for whatever of the attributes and colours changed. Bold and dim
// go off together (22): the one that stays is set again.
void setPen(TerminalView& v, const Pen& p, std::string& out) {
    if (v.pen == p) return;
    out += csi;
    bool first = true;
    auto add = [&](const char* parameter) {
        if (!first) out += ';';
        first = false;
        out += parameter;
    };
    const std::uint8_t off = v.pen.attributes & ~p.attributes;
    std::uint8_t on = p.attributes & ~v.pen.attributes;
    if (off & (penBold | penDim)) {
        add("22");
        on |= p.attributes & (penBold | penDim);
    }
    if (off & penUnderline) add("24");
    if (off & penReverse) add("27");
    if (on & penBold) add("1");
    if (on & penDim) add("2");
    if (on & penUnderline) add("4");
    if (on & penReverse) add("7");
    if (v.pen.foreground != p.foreground) {
        add("");
        appendColor(out, true, p.foreground, v.depth);
    }
    if (v.pen.background != p.background) {
        add("");
        appendColor(out, false, p.background, v.depth);
    }
    out += 'm';
    v.pen = p;
}

// ---- the view ---------------------------------------------------------

GridView layView(const TerminalPicture& p, TerminalView& v) {
    GridViewRequest q;
    q.gridColumns = p.columns;
    q.gridRows = p.rows;
    q.viewColumns = v.columns;
    q.viewRows = v.rows;
    q.keptRows = p.keptRows.empty() ? nullptr : &p.keptRows;
    q.focusRow = p.focusRow;
    q.focusColumn = p.focusColumn;
    q.followedRow = v.followedRow;
    q.userRows = v.userRows;
    q.userColumns = v.userColumns;
    GridView laid = layGridView(q);
    // Only what of the user's move took effect is kept: moving back from
    // beyond an edge moves at once.
    v.followedRow = laid.followedRow;
    v.userRows = laid.windowRows >= p.rows ? 0 : laid.windowRow - laid.followedRow;
    v.userColumns = laid.firstColumn - laid.followedColumn;
    return laid;
}

// The cells of terminal row `row` as the view shows them; the grid row
// they show, or 0.
int viewRow(const TerminalPicture& p, const GridView& laid, int row, std::vector<TerminalCell>& line) {
    const int index = row - 1 - laid.originRow;
    if (index < 0 || index >= static_cast<int>(laid.rows.size())) {
        std::fill(line.begin(), line.end(), blankOutside);
        return 0;
    }
    const int gridRow = laid.rows[static_cast<std::size_t>(index)];
    const int width = laid.columns + (laid.foldedLeft ? 1 : 0) + (laid.foldedRight ? 1 : 0);
    const auto start = line.begin() + laid.originColumn;
    const auto end = start + std::min(width, static_cast<int>(line.end() - start));
    std::fill(line.begin(), start, blankOutside);  // the margins of a larger terminal
    std::fill(end, line.end(), blankOutside);
    if (gridRow == foldRow) {
        std::fill(start, end, foldOutside);
        return 0;
    }
    auto at = start;
    if (laid.foldedLeft) *at++ = leftEdge;
    const auto from = p.cells.begin() + (gridRow - 1) * p.columns + (laid.firstColumn - 1);
    at = std::copy(from, from + std::min(laid.columns, static_cast<int>(end - at)), at);
    if (laid.foldedRight && at != end) *at = rightEdge;
    return gridRow;
}

// Rewriting the unchanged cells between the cursor and the next change,
// when they are in the pen of the moment and that is shorter than a move.
bool rewriteGap(const std::vector<TerminalCell>& line, TerminalView& v, int from, int to, std::size_t moveLength,
                std::string& gap) {
    gap.clear();
    for (int c = from; c < to; ++c) {
        const TerminalCell& cell = line[static_cast<std::size_t>(c - 1)];
        if (!(penOf(cell, v) == v.pen)) return false;
        gap += textOfCell(cell.byte, v.charset);
        if (gap.size() >= moveLength) return false;
    }
    return true;
}

void moveTo(TerminalView& v, const std::vector<TerminalCell>* line, int row, int column, std::string& out) {
    if (v.cursorRow == row && v.cursorColumn == column) return;
    const std::string move = cursorMove(v, row, column);
    std::string gap;
    if (line && v.cursorRow == row && v.cursorColumn < column &&
        rewriteGap(*line, v, v.cursorColumn, column, move.size(), gap))
        out += gap;
    else
        out += move;
    v.cursorRow = row;
    v.cursorColumn = column;
}

// The terminal's cursor on the input mark while it is in view.
void placeTerminalCursor(const TerminalPicture& p, const GridView& laid, TerminalView& v, std::string& out) {
    const auto at = std::find(laid.rows.begin(), laid.rows.end(), p.markRow);
    const int offset = p.markColumn - laid.firstColumn;
    if (p.markRow != 0 && at != laid.rows.end() && offset >= 0 && offset < laid.columns) {
        const int row = laid.originRow + static_cast<int>(at - laid.rows.begin()) + 1;
        moveTo(v, nullptr, row, laid.originColumn + (laid.foldedLeft ? 1 : 0) + offset + 1, out);
        if (!v.cursorShown) out += showCursor;
        v.cursorShown = true;
    } else if (v.cursorShown) {
        out += hideCursor;
        v.cursorShown = false;
    }
}

}  // namespace

const std::string& terminalTextOf(std::uint8_t byte) { return textOfCell(byte, TerminalCharset::utf8); }

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
    p.keptRows = s.keptRows;
    p.focusRow = s.focusRow;
    p.focusColumn = s.mark.row != 0 ? s.mark.column : s.cursorColumn;
    p.markRow = s.mark.row;
    p.markColumn = s.mark.column;
}

Pen penOf(const TerminalCell& cell, TerminalView& v) {
    Pen pen;
    if (cell.underlined) pen.attributes |= penUnderline;
    if (cell.outside) {
        pen.attributes |= penDim;
    } else if (v.depth != ColorDepth::none) {
        pen.foreground = codeOf(v, cell.foreground);
        pen.background = codeOf(v, cell.background);
    } else if (brightness(cell.background) > brightness(cell.foreground)) {
        pen.attributes |= penReverse;  // the bars
    } else if (saturation(cell.foreground) >= 128) {
        pen.attributes |= penBold;  // green (and the file's name) against white
    }
    return pen;
}

void writePicture(const TerminalPicture& p, TerminalView& v, std::string& out) {
    if (!v.valid || v.shown.columns != v.columns || v.shown.rows != v.rows) {
        out += clearAll;
        v.shown.columns = v.columns;
        v.shown.rows = v.rows;
        v.shown.cells.assign(static_cast<std::size_t>(v.columns * v.rows), blankOutside);
        v.valid = true;
        v.cursorRow = v.cursorColumn = 0;
        v.cursorShown = false;
        v.pen = Pen{};
    }
    v.laid = layView(p, v);
    std::vector<TerminalCell> line(static_cast<std::size_t>(v.columns));
    for (int row = 1; row <= v.rows; ++row) {
        const int gridRow = viewRow(p, v.laid, row, line);
        const auto shown = v.shown.cells.begin() + (row - 1) * v.columns;
        const auto changed = std::mismatch(line.begin(), line.end(), shown);
        if (changed.first == line.end()) continue;
        int last = v.columns;
        while (line[static_cast<std::size_t>(last - 1)] == shown[last - 1]) --last;
        const int first = static_cast<int>(changed.first - line.begin()) + 1;
        // A kept row (an answer, the total, the report) goes out as one run
        // of text, which screen readers read as a line; elsewhere (the
        // listing) only the cells that changed.
        const bool wholeRun = gridRow > 0 && gridRow <= static_cast<int>(p.keptRows.size()) &&
                              p.keptRows[static_cast<std::size_t>(gridRow - 1)];
        for (int column = first; column <= last; ++column) {
            const TerminalCell& cell = line[static_cast<std::size_t>(column - 1)];
            if (!wholeRun && cell == shown[column - 1]) continue;
            moveTo(v, &line, row, column, out);
            shown[column - 1] = cell;
            setPen(v, penOf(cell, v), out);
            out += textOfCell(cell.byte, v.charset);
            advanceCursor(v, column);
        }
    }
    placeTerminalCursor(p, v.laid, v, out);
}

std::string sizeMessage(int columns, int rows) {
    return std::string(sizeMessageStart) + std::to_string(requiredTerminalColumns) + " x " +
           std::to_string(requiredTerminalRows) + sizeMessageMiddle + std::to_string(columns) + " x " +
           std::to_string(rows) + sizeMessageEnd;
}

bool pictureFits(int columns, int rows) {
    return columns >= requiredTerminalColumns && rows >= requiredTerminalRows;
}

void writeSizeMessage(TerminalView& v, std::string& out) {
    out += clearAll;
    v.valid = false;
    v.cursorRow = v.cursorColumn = 0;
    v.cursorShown = false;
    v.pen = Pen{};
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
