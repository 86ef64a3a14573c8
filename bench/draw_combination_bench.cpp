// What the screen listing draws per combination: one cursor move, one
// colour change and one print of the cell's 13 bytes (six labels and a
// space), with the screen lock taken once for a run of cells, on the
// headless screen with its window thread cycling beside it. The second
// benchmark takes the lock for each cell instead, to show what a run's
// lock saves.
#include <benchmark/benchmark.h>

#include <string_view>

#include "screen/screen.h"
#include "tests/headless_screen.h"

namespace {

// The longest run the listing draws under one lock: a combination's last
// element going from 6 to 49.
constexpr int cellsPerRun = 44;
constexpr std::string_view cell = "011223344549 ";

struct GridPlace {
    int row = 8;
    int column = 2;
    std::int64_t count = 0;
};

void drawCell(GridPlace& at) {
    screen::moveCursor(at.row, at.column);
    screen::setColors(at.count % 2 ? 0x00FF00 : 0xFFFFFF, 0x000044);
    screen::printText(cell, false);
    ++at.count;
    if (++at.row > 66) {
        at.row = 8;
        at.column += 14;
        if (at.column > 88) at.column = 2;
    }
}

template <int CellsPerLock>
void drawCombinations(benchmark::State& state) {
    testing_screen::HeadlessScreen open("", false);
    GridPlace at;
    while (state.KeepRunningBatch(CellsPerLock)) {
        screen::ScreenHold hold;
        for (int i = 0; i < CellsPerLock; ++i) drawCell(at);
    }
    state.counters["combinations/s"] = benchmark::Counter(static_cast<double>(at.count), benchmark::Counter::kIsRate);
}

void BM_DrawCombination(benchmark::State& state) { drawCombinations<cellsPerRun>(state); }
void BM_DrawCombinationLockPerCell(benchmark::State& state) { drawCombinations<1>(state); }

}  // namespace

BENCHMARK(BM_DrawCombination);
BENCHMARK(BM_DrawCombinationLockPerCell);
