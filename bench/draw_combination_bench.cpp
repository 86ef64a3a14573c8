// What the screen listing draws per combination: one cursor move, one
// colour change, six two-character labels and a space, on the headless
// screen with its window thread cycling beside it.
#include <benchmark/benchmark.h>

#include <array>
#include <string>

#include "screen/screen.h"
#include "tests/headless_screen.h"

namespace {

const std::array<std::string, 50> labels = [] {
    std::array<std::string, 50> l;
    for (int i = 1; i < 50; ++i) l[static_cast<std::size_t>(i)] = (i < 10 ? "0" : "") + std::to_string(i);
    return l;
}();

template <bool HoldLock>
void drawCombinations(benchmark::State& state) {
    testing_screen::HeadlessScreen open("", false);
    int row = 8, column = 2;
    std::int64_t count = 0;
    const int e[6] = {1, 12, 23, 34, 45, 49};
    for (auto _ : state) {
        if constexpr (HoldLock) {
            screen::ScreenHold hold;
            screen::moveCursor(row, column);
            screen::setColors(count % 2 ? 0x00FF00 : 0xFFFFFF, 0x000044);
            for (int k : e) screen::printText(labels[static_cast<std::size_t>(k)], false);
            screen::printText(" ", false);
        } else {
            screen::moveCursor(row, column);
            screen::setColors(count % 2 ? 0x00FF00 : 0xFFFFFF, 0x000044);
            for (int k : e) screen::printText(labels[static_cast<std::size_t>(k)], false);
            screen::printText(" ", false);
        }
        ++count;
        if (++row > 66) {
            row = 8;
            column += 14;
            if (column > 88) column = 2;
        }
    }
    state.counters["combinations/s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsRate);
}

void BM_DrawCombinationLockPerCall(benchmark::State& state) { drawCombinations<false>(state); }
void BM_DrawCombinationLockHeld(benchmark::State& state) { drawCombinations<true>(state); }

}  // namespace

BENCHMARK(BM_DrawCombinationLockPerCall);
BENCHMARK(BM_DrawCombinationLockHeld);
