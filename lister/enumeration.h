// The one enumeration both listings drive: every 6-element subset of
// {1..n} in lexicographic order, with the stop check at a fixed cadence.
#pragma once

#include <cstdint>

#include "lister/run_values.h"

namespace lister {

inline constexpr std::int64_t screenCheckMask = 1023;
inline constexpr std::int64_t fileCheckMask = 8191;

// Redraws the panel and takes one key: true when it was ESC.
bool stopCheck(const RunValues& run);

// Calls output(a, b, c, d, e, f) for each combination of run.n, counts it,
// calls postStep(), and at every count that is a multiple of checkMask + 1
// runs the stop check; ESC sets run.interrupted and leaves every loop at
// once, and so does a postStep that returns false (the file failed). The
// callables are inlined: this is the per-combination path.
template <typename Output, typename PostStep>
void enumerate(RunValues& run, Output&& output, PostStep&& postStep, std::int64_t checkMask) {
    const int n = run.n;
    // The count lives in a register; run.count is only stored, so that a
    // line written through a char pointer cannot force a reload each time.
    std::int64_t count = run.count;
    for (int a = 1; a <= n - 5; ++a)
        for (int b = a + 1; b <= n - 4; ++b)
            for (int c = b + 1; c <= n - 3; ++c)
                for (int d = c + 1; d <= n - 2; ++d)
                    for (int e = d + 1; e <= n - 1; ++e)
                        for (int f = e + 1; f <= n; ++f) {
                            output(a, b, c, d, e, f);
                            run.count = ++count;
                            if (!postStep()) return;
                            if ((count & checkMask) == 0 && stopCheck(run)) {
                                run.interrupted = true;
                                return;
                            }
                        }
}

}  // namespace lister
