// A model of the part of an xterm that the terminal writer uses, to play
// its bytes on; what a laid-out view of a picture must show on it; and
// which colour forms a stream of bytes uses.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "screen/back_ends/terminal_output.h"
#include "screen/cp437.h"
#include "screen/grid_view.h"

namespace testing_screen {

using screen::TerminalCell;
using screen::TerminalPicture;

// The colours of the pictures the tests draw: lister's white, green and blue.
inline constexpr screen::Color white = 0xFFFFFF;
inline constexpr screen::Color green = 0x00FF00;
inline constexpr screen::Color blue = 0x000044;

// Just the part of an xterm that the writer uses: CUP, CUU/CUD/CUF/CUB, CR,
// LF, ED 2, the cursor shown and hidden, SGR 0/4/24, dim and its end, the
// default colours and 38;2/48;2, UTF-8 text with a deferred wrap at the
// right edge. Anything else is an error.
struct ModelTerminal {
    struct Glyph {
        char32_t character = U' ';
        long foreground = -1;
        long background = -1;
        bool underlined = false;
    };
    int columns;
    int rows;
    std::vector<Glyph> cells;
    int row = 1, column = 1;
    bool wrapPending = false;
    bool cursorShown = true;
    long foreground = -1, background = -1;
    bool underlined = false;
    std::string errors;

    ModelTerminal(int c, int r) : columns(c), rows(r), cells(static_cast<std::size_t>(c * r)) {}

    Glyph& at(int r, int c) { return cells[static_cast<std::size_t>((r - 1) * columns + (c - 1))]; }

    void moveTo(int r, int c) {
        if (r < 1 || r > rows || c < 1 || c > columns) errors += "move outside; ";
        row = std::clamp(r, 1, rows);
        column = std::clamp(c, 1, columns);
        wrapPending = false;
    }

    void sgr(const std::vector<long>& p) {
        for (std::size_t i = 0; i < p.size(); ++i) {
            if (p[i] == 0) foreground = background = -1, underlined = false;
            else if (p[i] == 4) underlined = true;
            else if (p[i] == 24) underlined = false;
            else if (p[i] == 39 || p[i] == 49) (p[i] == 39 ? foreground : background) = -1;
            else if (p[i] == 2 || p[i] == 22) continue;  // dim: no colour of its own
            else if ((p[i] == 38 || p[i] == 48) && i + 4 < p.size() && p[i + 1] == 2) {
                const long rgb = (p[i + 2] << 16) | (p[i + 3] << 8) | p[i + 4];
                (p[i] == 38 ? foreground : background) = rgb;
                i += 4;
            } else errors += "unknown SGR; ";
        }
    }

    void play(const std::string& bytes) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
        std::size_t i = 0;
        while (i < bytes.size()) {
            if (b[i] == 0x1b && i + 1 < bytes.size() && b[i + 1] == '[') {
                std::size_t j = i + 2;
                bool privateMode = j < bytes.size() && b[j] == '?';
                if (privateMode) ++j;
                std::vector<long> p;
                long value = -1;
                for (; j < bytes.size() && ((b[j] >= '0' && b[j] <= '9') || b[j] == ';'); ++j) {
                    if (b[j] == ';') p.push_back(value < 0 ? 0 : value), value = -1;
                    else value = (value < 0 ? 0 : value) * 10 + (b[j] - '0');
                }
                if (value >= 0 || !p.empty()) p.push_back(value < 0 ? 0 : value);
                const char final = j < bytes.size() ? static_cast<char>(b[j]) : '?';
                const long n = p.empty() || p[0] == 0 ? 1 : p[0];
                if (privateMode) {
                    if (p.size() == 1 && p[0] == 25 && (final == 'l' || final == 'h')) cursorShown = final == 'h';
                    else errors += "unknown mode; ";
                } else if (final == 'H') moveTo(p.size() > 0 && p[0] ? int(p[0]) : 1, p.size() > 1 && p[1] ? int(p[1]) : 1);
                else if (final == 'A') moveTo(row - int(n), column);
                else if (final == 'B') moveTo(row + int(n), column);
                else if (final == 'C') moveTo(row, column + int(n));
                else if (final == 'D') moveTo(row, column - int(n));
                else if (final == 'J' && p.size() == 1 && p[0] == 2) {
                    for (Glyph& g : cells) g = Glyph{U' ', -1, background, false};
                } else if (final == 'm') sgr(p.empty() ? std::vector<long>{0} : p);
                else errors += std::string("unknown CSI ") + final + "; ";
                i = j + 1;
            } else if (b[i] == '\r') {
                column = 1, wrapPending = false, ++i;
            } else if (b[i] == '\n') {
                if (row == rows) errors += "scrolled; ";
                row = std::min(row + 1, rows), wrapPending = false, ++i;
            } else if (b[i] < 0x20 || b[i] == 0x7f) {
                errors += "control byte; ";
                ++i;
            } else {
                char32_t c = 0;
                std::size_t used = 1;
                if (screen::decodeUtf8(b + i, bytes.size() - i, c, used) != screen::Utf8Status::complete) errors += "bad UTF-8; ";
                i += used;
                if (wrapPending) {
                    if (row == rows) errors += "scrolled; ";
                    row = std::min(row + 1, rows), column = 1, wrapPending = false;
                }
                at(row, column) = Glyph{c, foreground, background, underlined};
                if (column == columns) wrapPending = true;
                else ++column;
            }
        }
    }
};

inline TerminalPicture pictureOf(int columns, int rows, TerminalCell fill) {
    TerminalPicture p;
    p.columns = columns;
    p.rows = rows;
    p.cells.assign(static_cast<std::size_t>(columns * rows), fill);
    return p;
}

inline TerminalCell& cellOf(TerminalPicture& p, int row, int column) {
    return p.cells[static_cast<std::size_t>((row - 1) * p.columns + (column - 1))];
}

// What the laid-out view puts at a terminal cell: a grid cell, a fold
// row's middle dot, an edge column's guillemet, or the terminal's blank.
inline ModelTerminal::Glyph expectedAt(const TerminalPicture& p, const screen::GridView& laid, int row, int column) {
    const int index = row - 1 - laid.originRow;
    const int offset = column - 1 - laid.originColumn;
    const int width = laid.columns + laid.foldedLeft + laid.foldedRight;
    if (index < 0 || index >= static_cast<int>(laid.rows.size()) || offset < 0 || offset >= width) return {};
    const int gridRow = laid.rows[static_cast<std::size_t>(index)];
    if (gridRow == screen::foldRow) return {U'\u00B7'};
    if (laid.foldedLeft && offset == 0) return {U'\u00AB'};
    if (laid.foldedRight && offset == width - 1) return {U'\u00BB'};
    const int gridColumn = laid.firstColumn + offset - (laid.foldedLeft ? 1 : 0);
    const TerminalCell& c = p.cells[static_cast<std::size_t>((gridRow - 1) * p.columns + (gridColumn - 1))];
    return {screen::cp437ToUnicode(c.byte), long(c.foreground), long(c.background), c.underlined};
}

// The model terminal shows the view, and its cursor on the input mark (the
// one underlined cell) while that is in view.
inline void expectShowsView(ModelTerminal& t, const TerminalPicture& p, const screen::GridView& laid, const std::string& what) {
    EXPECT_EQ(t.errors, "") << what;
    bool markInView = false;
    for (int r = 1; r <= t.rows; ++r) {
        for (int c = 1; c <= t.columns; ++c) {
            const ModelTerminal::Glyph want = expectedAt(p, laid, r, c);
            const ModelTerminal::Glyph& got = t.at(r, c);
            markInView |= want.underlined && p.markRow != 0;
            if (got.character != want.character || got.foreground != want.foreground ||
                got.background != want.background || got.underlined != want.underlined) {
                ADD_FAILURE() << what << ": terminal cell (" << r << ", " << c << ")";
                return;
            }
        }
    }
    EXPECT_EQ(t.cursorShown, markInView) << what;
    if (markInView) {
        EXPECT_TRUE(t.at(t.row, t.column).underlined) << what << ": the cursor is off the mark";
    }
}

// Which colour forms the SGRs in `bytes` use: "24-bit", "256", "16".
inline std::set<std::string> colourForms(const std::string& bytes) {
    std::set<std::string> forms;
    for (std::size_t at = bytes.find("\x1b["); at != std::string::npos; at = bytes.find("\x1b[", at + 1)) {
        const std::size_t end = bytes.find_first_not_of("0123456789;", at + 2);
        if (end == std::string::npos || bytes[end] != 'm') continue;
        std::istringstream parameters(bytes.substr(at + 2, end - at - 2));
        std::vector<int> p;
        for (std::string n; std::getline(parameters, n, ';');) p.push_back(n.empty() ? 0 : std::stoi(n));
        for (std::size_t i = 0; i < p.size(); ++i) {
            const bool extended = (p[i] == 38 || p[i] == 48) && i + 1 < p.size();
            if (extended) forms.insert(p[i + 1] == 2 ? "24-bit" : "256");
            if (extended) i += p[i + 1] == 2 ? 4 : 2;
            else if (p[i] % 10 < 8 && (p[i] / 10 == 3 || p[i] / 10 == 4 || p[i] / 10 == 9 || p[i] / 10 == 10)) forms.insert("16");
        }
    }
    return forms;
}

}  // namespace testing_screen
