// The whole screen listing of n combinations on the headless screen, with
// the window thread rendering and refreshing every 10 ms beside it.
#include <benchmark/benchmark.h>

#include "bench/headless_screen.h"
#include "lister/listings.h"
#include "lister/run_driver.h"

namespace {

void BM_ScreenListing(benchmark::State& state) {
    OpenHeadless open;
    lister::RunValues run;
    run.n = static_cast<std::int32_t>(state.range(0));
    run.choice = "P";
    run.fileName = lister::outputFileName(run.n);
    run.total = lister::combinationsOf6(run.n);
    run.labels = lister::makeLabelTable();
    std::int64_t combinations = 0;
    for (auto _ : state) {
        run.count = 0;
        run.page = 1;
        run.gridRow = lister::firstGridRow;
        run.gridCol = lister::firstGridColumn;
        lister::runScreenListing(run);
        combinations += run.count;
    }
    state.counters["combinations/s"] =
        benchmark::Counter(static_cast<double>(combinations), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_ScreenListing)->Arg(49)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
