#include "screen/grid_view.h"

#include <algorithm>

namespace screen {
namespace {

bool isKept(const GridViewRequest& q, int row) {
    return q.keptRows && row >= 1 && row <= static_cast<int>(q.keptRows->size()) &&
           (*q.keptRows)[static_cast<std::size_t>(row - 1)];
}

// The kept rows and the window from `first`, in grid order, with a fold
// row wherever grid rows are left out.
void foldRows(const GridViewRequest& q, int first, int height, std::vector<int>& rows) {
    rows.clear();
    int lastShown = 0;
    for (int row = 1; row <= q.gridRows; ++row) {
        if (!isKept(q, row) && (row < first || row >= first + height)) continue;
        if (row != lastShown + 1) rows.push_back(foldRow);
        rows.push_back(row);
        lastShown = row;
    }
    if (lastShown != q.gridRows) rows.push_back(foldRow);
}

// The first row of a window of `height` rows: where it stood, moved as
// little as brings the focus into it. A focus on a kept row is in view
// already and leaves the window alone.
int followRow(const GridViewRequest& q, int height) {
    int first = std::clamp(q.followedRow, 1, q.gridRows - height + 1);
    if (q.focusRow >= 1 && q.focusRow <= q.gridRows && !isKept(q, q.focusRow)) {
        if (q.focusRow < first) first = q.focusRow;
        if (q.focusRow >= first + height) first = q.focusRow - height + 1;
    }
    return first;
}

void layRows(const GridViewRequest& q, GridView& v) {
    if (q.viewRows >= q.gridRows) {
        v.originRow = (q.viewRows - q.gridRows) / 2;
        v.rows.resize(static_cast<std::size_t>(q.gridRows));
        for (int row = 1; row <= q.gridRows; ++row) v.rows[static_cast<std::size_t>(row - 1)] = row;
        v.followedRow = q.followedRow;
        v.windowRow = 1;
        v.windowRows = q.gridRows;
        return;
    }
    // The tallest window that fits beside the kept rows and the folds.
    for (int height = q.viewRows; height >= 1; --height) {
        const int followed = followRow(q, height);
        const int first = std::clamp(followed + q.userRows, 1, q.gridRows - height + 1);
        foldRows(q, first, height, v.rows);
        if (static_cast<int>(v.rows.size()) <= q.viewRows) {
            v.followedRow = followed;
            v.windowRow = first;
            v.windowRows = height;
            return;
        }
    }
    // Too few rows even for the kept ones: the window alone, unmarked.
    GridViewRequest alone = q;
    alone.keptRows = nullptr;
    v.followedRow = followRow(alone, q.viewRows);
    const int first = std::clamp(v.followedRow + q.userRows, 1, q.gridRows - q.viewRows + 1);
    v.rows.clear();
    for (int row = first; row < first + q.viewRows; ++row) v.rows.push_back(row);
    v.windowRow = first;
    v.windowRows = q.viewRows;
}

// How many grid columns show from `first`, beside the edge columns that
// mark what is folded on either side.
int columnsFrom(const GridViewRequest& q, int first, bool& foldedLeft, bool& foldedRight) {
    foldedLeft = first > 1;
    const int room = q.viewColumns - (foldedLeft ? 1 : 0);
    foldedRight = first + room - 1 < q.gridColumns;
    return foldedRight ? room - 1 : q.gridColumns - first + 1;
}

// Columns follow the focus with as much to its left as fits, from column 1
// where it can: what was just written or typed lies left of it. Nothing
// else is kept, so a text is read from its start again once the program
// writes near the left.
void layColumns(const GridViewRequest& q, GridView& v) {
    if (q.viewColumns >= q.gridColumns) {
        v.originColumn = (q.viewColumns - q.gridColumns) / 2;
        v.firstColumn = 1;
        v.columns = q.gridColumns;
        return;
    }
    const int focus = std::clamp(q.focusColumn, 1, q.gridColumns);
    bool left = false;
    bool right = false;
    int followed = 1;
    while (focus > followed + columnsFrom(q, followed, left, right) - 1) ++followed;
    // The user's move, up to where the last grid column reaches the edge.
    int highest = followed;
    while (columnsFrom(q, highest, left, right), right) ++highest;
    v.followedColumn = followed;
    v.firstColumn = std::clamp(followed + q.userColumns, 1, highest);
    v.columns = columnsFrom(q, v.firstColumn, v.foldedLeft, v.foldedRight);
}

}  // namespace

GridView layGridView(const GridViewRequest& request) {
    GridView view;
    if (request.gridRows <= 0 || request.gridColumns <= 0 || request.viewRows <= 0 || request.viewColumns <= 2)
        return view;
    layRows(request, view);
    layColumns(request, view);
    return view;
}

}  // namespace screen
