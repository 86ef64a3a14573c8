// The whole screen listing of n combinations on the headless screen, with
// the window thread rendering and refreshing every 10 ms beside it.
#include <benchmark/benchmark.h>

#include "bench/listing_bench.h"
#include "tests/headless_screen.h"

namespace {

void BM_ScreenListing(benchmark::State& state) {
    testing_screen::HeadlessScreen open("", false);
    listWholeScreen(state);
}

}  // namespace

BENCHMARK(BM_ScreenListing)->Arg(49)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
