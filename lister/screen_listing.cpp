// Screen mode: each combination in the next cell of a 7 x 59 grid, page
// after page, never pausing and never clearing.
#include "lister/enumeration.h"
#include "lister/listings.h"
#include "screen/screen.h"

namespace lister {
namespace {

constexpr std::int32_t columnStep = 14;
constexpr std::int32_t lastGridColumn = 88;
constexpr char cellGap[] = " ";

}  // namespace

void runScreenListing(RunValues& run) {
    showProgress(run.count, run.total, run.page, run.choice, run.fileName);
    const LabelTable& label = run.labels;
    enumerate(
        run,
        [&](int a, int b, int c, int d, int e, int f) {
            // One lock for the whole cell instead of one per call.
            screen::ScreenHold hold;
            screen::moveCursor(run.gridRow, run.gridCol);
            screen::setColors(run.count % 2 == 0 ? white : green, background);
            for (int element : {a, b, c, d, e, f}) screen::printText(label[static_cast<std::size_t>(element)], false);
            screen::printText(cellGap, false);
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
