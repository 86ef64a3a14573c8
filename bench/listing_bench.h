// The whole screen listing of state.range(0) elements on whatever screen is
// open, timed by the benchmark, with its rate as a counter.
#pragma once

#include <benchmark/benchmark.h>

#include "lister/listings.h"
#include "lister/run_driver.h"

inline void listWholeScreen(benchmark::State& state) {
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
