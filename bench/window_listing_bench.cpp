// The whole n = 49 screen listing with the window open and presenting
// beside it, to set against BM_ScreenListing/49 on the headless screen.
// Needs a display; run under a virtual one, for example
//   xvfb-run -a env SDL_RENDER_DRIVER=software ./lister_bench --benchmark_filter=ScreenListing
#include <benchmark/benchmark.h>

#include "lister/listings.h"
#include "lister/run_driver.h"
#include "screen/screen.h"

namespace {

constexpr const char* windowTitle = "lister_bench";

void BM_WindowScreenListing(benchmark::State& state) {
    screen::ScreenOptions options;
    options.backEnds.push_back(screen::windowBackEnd());
    options.setup.title = windowTitle;
    if (screen::openScreenWith(800, 600, 32, options) != 0) {
        state.SkipWithError("no window opens here (no display?)");
        return;
    }
    screen::setTextSize(100, 70);
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
    screen::closeScreen();
    state.counters["combinations/s"] =
        benchmark::Counter(static_cast<double>(combinations), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_WindowScreenListing)->Arg(49)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
