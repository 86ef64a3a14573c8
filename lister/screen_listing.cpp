// Screen mode: each combination in the next cell of a 7 x 59 grid, page
// after page, never pausing and never clearing.
#include "lister/enumeration.h"
#include "lister/listings.h"
#include "screen/screen.h"

namespace lister {
namespace {

constexpr std::int32_t columnStep = 14;
constexpr std::int32_t lastGridColumn = 88;
constexpr char cellGap = ' ';
constexpr std::size_t cellLength = 13;  // six labels and the gap

// The cells of one run, whose first five labels `cell` holds already.
void drawCells(RunValues& run, char* cell, int first, int last) {
    const LabelTable& label = run.labels;
    std::int64_t count = run.count;
    // One lock for the whole run of cells, not one per call: the window
    // thread waits a microsecond at most.
    screen::ScreenHold hold;
    for (int f = first; f <= last; ++f, ++count) {
        const std::string& text = label[static_cast<std::size_t>(f)];
        cell[10] = text[0];
        cell[11] = text[1];
        // The six labels and the gap in one print: a cell never reaches the
        // right edge, so it shows exactly as seven prints would.
        screen::moveCursor(run.gridRow, run.gridCol);
        screen::setColors(count % 2 == 0 ? white : green, background);
        screen::printText(std::string_view(cell, cellLength), false);
        if (++run.gridRow > lastGridRow) {
            run.gridRow = firstGridRow;
            run.gridCol += columnStep;
            if (run.gridCol > lastGridColumn) {
                run.gridCol = firstGridColumn;
                ++run.page;
            }
        }
    }
}

// Called through a pointer no optimiser can see through, so that it stays
// a function of its own: a browser compiles a function at its best only
// once it has been called often, and this one is called once a run, where
// the loops around it run once a listing (about a fifth of the listing's
// time there; nothing natively).
void (*volatile const drawRunOfCells)(RunValues&, char*, int, int) = drawCells;

}  // namespace

void runScreenListing(RunValues& run) {
    showProgress(run.count, run.total, run.page, run.choice, run.fileName);
    char cell[cellLength];
    cell[cellLength - 1] = cellGap;
    enumerate(
        run,
        [&](int a, int b, int c, int d, int e, int first, int last) {
            int at = 0;
            for (int element : {a, b, c, d, e}) {
                const std::string& text = run.labels[static_cast<std::size_t>(element)];
                cell[at++] = text[0];
                cell[at++] = text[1];
            }
            drawRunOfCells(run, cell, first, last);
            return last - first + 1;
        },
        screenCheckMask);
}

}  // namespace lister
