// The whole n = 49 screen listing with the window open and presenting
// beside it, to set against BM_ScreenListing/49 on the headless screen.
// Needs a display; run under a virtual one, for example
//   xvfb-run -a env SDL_RENDER_DRIVER=software ./lister_window_bench
#include <benchmark/benchmark.h>

#include "bench/listing_bench.h"
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
    listWholeScreen(state);
    screen::closeScreen();
}

}  // namespace

BENCHMARK(BM_WindowScreenListing)->Arg(49)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
