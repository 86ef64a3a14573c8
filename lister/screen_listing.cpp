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

}  // namespace

void runScreenListing(RunValues& run) {
    showProgress(run.count, run.total, run.page, run.choice, run.fileName);
    const LabelTable& label = run.labels;
    char cell[cellLength];
    cell[cellLength - 1] = cellGap;
    enumerate(
        run,
        [&](int a, int b, int c, int d, int e, int f) {
            // The six labels and the gap in one print: a cell never reaches
            // the right edge, so it shows exactly as seven prints would.
            char* at = cell;
            for (int element : {a, b, c, d, e, f}) {
                const std::string& text = label[static_cast<std::size_t>(element)];
                at[0] = text[0];
                at[1] = text[1];
                at += 2;
            }
            screen::ScreenHold hold;  // one lock for the whole cell
            screen::moveCursor(run.gridRow, run.gridCol);
            screen::setColors(run.count % 2 == 0 ? white : green, background);
            screen::printText(std::string_view(cell, cellLength), false);
        },
        [&] {
            if (++run.gridRow > lastGridRow) {
                run.gridRow = firstGridRow;
                run.gridCol += columnStep;
                if (run.gridCol > lastGridColumn) {
                    run.gridCol = firstGridColumn;
                    ++run.page;
                }
            }
            return true;
        },
        screenCheckMask);
}

}  // namespace lister
