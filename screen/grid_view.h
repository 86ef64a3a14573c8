// Which part of the grid a surface too small for it shows: a terminal of
// 80 x 24, a phone's canvas. The rows the program keeps in view (its
// dialogue and its outcome) are always shown; the other rows shown are a
// window that follows the program's focus (the input mark while a question
// is answered, else the last write) and that the user may move. Rows left
// out are marked by a fold row, columns left out by an edge column, so the
// view is never taken for the whole picture. Pure: the surface keeps what
// it followed last and hands it back.
#pragma once

#include <cstdint>
#include <vector>

namespace screen {

// A view row that marks grid rows folded away, in place of a grid row.
inline constexpr int foldRow = 0;

struct GridViewRequest {
    int gridColumns = 0;
    int gridRows = 0;
    int viewColumns = 0;  // the surface, in cells
    int viewRows = 0;
    // One flag per grid row, or empty: the rows kept in view.
    const std::vector<std::uint8_t>* keptRows = nullptr;
    int focusRow = 0;  // 0: no focus; the window stays where it was
    int focusColumn = 0;
    // The first row of the window, as the last view returned it. Columns
    // keep nothing: they show the focus with as much to its left as fits.
    int followedRow = 1;
    // The user's move away from the followed window, in rows and columns.
    int userRows = 0;
    int userColumns = 0;
};

struct GridView {
    // Where the view starts on the surface (0-based): a surface larger than
    // the grid shows it centred.
    int originRow = 0;
    int originColumn = 0;
    std::vector<int> rows;  // the grid row on each view row, or foldRow
    int firstColumn = 1;    // the first grid column shown
    int columns = 0;        // how many grid columns are shown
    // An edge column on that side, before or after the grid's columns,
    // marks columns folded away.
    bool foldedLeft = false;
    bool foldedRight = false;
    // The window's first row as the focus put it, without the user's
    // move: hand it back as the request's followedRow next time.
    int followedRow = 1;
    // The window as shown, the user's move included, and its height; and
    // the first column the focus alone would show. From these a surface
    // learns how much of the user's move took effect (none past an edge).
    int windowRow = 1;
    int windowRows = 0;
    int followedColumn = 1;
    bool operator==(const GridView&) const = default;
};

GridView layGridView(const GridViewRequest& request);

}  // namespace screen
