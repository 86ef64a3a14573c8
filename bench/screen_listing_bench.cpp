// The whole screen listing of n combinations on the headless screen, with
// the window thread rendering and refreshing every 10 ms beside it.
#include <benchmark/benchmark.h>

#include "bench/headless_screen.h"
#include "bench/listing_bench.h"

namespace {

void BM_ScreenListing(benchmark::State& state) {
    OpenHeadless open;
    listWholeScreen(state);
}

}  // namespace

BENCHMARK(BM_ScreenListing)->Arg(49)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
