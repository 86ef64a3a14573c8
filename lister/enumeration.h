// The one enumeration both listings drive: every 6-element subset of
// {1..n} in lexicographic order, with the stop check at a fixed cadence.
#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "lister/run_values.h"

namespace lister {

inline constexpr std::int64_t screenCheckMask = 1023;
inline constexpr std::int64_t fileCheckMask = 8191;

// Redraws the panel and takes one key: true when it was ESC.
bool stopCheck(const RunValues& run);

// The loops below the first two elements, for one pair of them; false
// once the listing must stop. A call of its own for each pair: a browser
// optimises a function only for its later calls, and the loops around
// these run once a listing (nothing natively: about a thousand calls).
template <typename OutputRun>
bool enumerateAfterPair(RunValues& run, OutputRun& outputRun, std::int64_t checkMask, int a, int b) {
    const int n = run.n;
    for (int c = b + 1; c <= n - 3; ++c)
        for (int d = c + 1; d <= n - 2; ++d)
            for (int e = d + 1; e <= n - 1; ++e)
                for (int first = e + 1; first <= n;) {
                    const std::int64_t toCheck = checkMask + 1 - (run.count & checkMask);
                    const int last = static_cast<int>(std::min<std::int64_t>(n, first - 1 + toCheck));
                    const int output = outputRun(a, b, c, d, e, first, last);
                    run.count += output;
                    if (output <= last - first) return false;
                    if ((run.count & checkMask) == 0 && stopCheck(run)) {
                        run.interrupted = true;
                        return false;
                    }
                    first = last + 1;
                }
    return true;
}

// Every combination of run.n in lexicographic order, handed out in runs
// that share their first five elements: outputRun(a, b, c, d, e, first,
// last) outputs those whose last element goes from first to last, with
// run.count the count before the first of them, and returns how many it
// output: fewer when the listing must stop at once (its file failed). The
// count moves on by as many. No run goes past a multiple of checkMask + 1:
// there the stop check runs, and ESC sets run.interrupted and leaves every
// loop. Runs leave each listing an innermost loop over the one element
// that changes: this is the per-combination path.
template <typename OutputRun>
void enumerate(RunValues& run, OutputRun&& outputRun, std::int64_t checkMask) {
    using Run = std::remove_reference_t<OutputRun>;
    // Called through a pointer no optimiser can see through, so that it
    // stays a function of its own (one called once would be inlined).
    static bool (*volatile const afterPair)(RunValues&, Run&, std::int64_t, int, int) = enumerateAfterPair<Run>;
    const int n = run.n;
    for (int a = 1; a <= n - 5; ++a)
        for (int b = a + 1; b <= n - 4; ++b)
            if (!afterPair(run, outputRun, checkMask, a, b)) return;
}

}  // namespace lister
