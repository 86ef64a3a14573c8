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
    const auto putLabel = [&](int at, int element) {
        const std::string& text = label[static_cast<std::size_t>(element)];
        cell[2 * at] = text[0];
        cell[2 * at + 1] = text[1];
    };
    enumerate(
        run,
        [&](int a, int b, int c, int d, int e, int first, int last) {
            int at = 0;
            for (int element : {a, b, c, d, e}) putLabel(at++, element);
            std::int64_t count = run.count;
            for (int f = first; f <= last; ++f, ++count) {
                putLabel(5, f);
                {
                    // The six labels and the gap in one print: a cell never
                    // reaches the right edge, so it shows exactly as seven
                    // prints would. One lock for the whole cell.
                    screen::ScreenHold hold;
                    screen::moveCursor(run.gridRow, run.gridCol);
                    screen::setColors(count % 2 == 0 ? white : green, background);
                    screen::printText(std::string_view(cell, cellLength), false);
                }
                if (++run.gridRow > lastGridRow) {
                    run.gridRow = firstGridRow;
                    run.gridCol += columnStep;
                    if (run.gridCol > lastGridColumn) {
                        run.gridCol = firstGridColumn;
                        ++run.page;
                    }
                }
            }
            return last - first + 1;
        },
        screenCheckMask);
}

}  // namespace lister
