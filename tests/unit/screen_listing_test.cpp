// The enumeration, the progress panel and the screen listing.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "lister/enumeration.h"
#include "lister/listings.h"
#include "lister/run_driver.h"
#include "screen/key_delivery.h"
#include "screen/screen.h"
#include "tests/headless_screen.h"
#include "tests/screen_text.h"

using namespace lister;
using testing_screen::rowText;
using testing_screen::rowTrimmed;

namespace {

using Combination = std::array<int, 6>;

std::int64_t combinationsOfR(int n, int r) {
    if (r < 0 || n < r) return 0;
    std::int64_t value = 1;
    for (int i = 1; i <= r; ++i) value = value * (n - r + i) / i;
    return value;
}

// The k-th combination (0-based) of {1..n} in lexicographic order, counted
// out directly rather than by running loops like the program's.
Combination combinationAt(int n, std::int64_t k) {
    Combination out{};
    int next = 1;
    for (int slot = 0; slot < 6; ++slot) {
        for (;; ++next) {
            const std::int64_t after = combinationsOfR(n - next, 5 - slot);
            if (k < after) break;
            k -= after;
        }
        out[static_cast<std::size_t>(slot)] = next++;
    }
    return out;
}

std::string cellText(const Combination& c) {
    std::string text;
    for (int e : c) text += (e < 10 ? "0" : "") + std::to_string(e);
    return text + " ";
}

RunValues runFor(int n, const char* choice) {
    RunValues run;
    run.n = n;
    run.choice = choice;
    run.fileName = outputFileName(n);
    run.total = combinationsOf6(n);
    run.labels = makeLabelTable();
    return run;
}

}  // namespace

TEST(Enumeration, SevenElementsInLexicographicOrder) {
    RunValues run = runFor(7, "P");
    std::vector<Combination> seen;
    enumerate(
        run,
        [&](int a, int b, int c, int d, int e, int first, int last) {
            for (int f = first; f <= last; ++f) seen.push_back({a, b, c, d, e, f});
            return last - first + 1;
        },
        screenCheckMask);
    const std::vector<Combination> expected = {{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 7}, {1, 2, 3, 4, 6, 7},
                                               {1, 2, 3, 5, 6, 7}, {1, 2, 4, 5, 6, 7}, {1, 3, 4, 5, 6, 7},
                                               {2, 3, 4, 5, 6, 7}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(run.count, 7);
    EXPECT_FALSE(run.interrupted);
}

TEST(Enumeration, EveryNCountsItsTotalInOrderEndingAtTheTopSix) {
    for (int n : {7, 8, 12, 16, 23, 49}) {
        RunValues run = runFor(n, "G");
        Combination previous{};
        Combination last{};
        bool ordered = true;
        std::int64_t checked = 0;
        enumerate(
            run,
            [&](int a, int b, int c, int d, int e, int first, int lastF) {
                // A run never passes a multiple of the check interval.
                ordered &= run.count / (fileCheckMask + 1) == (run.count + lastF - first) / (fileCheckMask + 1);
                for (int f = first; f <= lastF; ++f) {
                    const Combination now{a, b, c, d, e, f};
                    ordered &= previous < now && a < b && b < c && c < d && d < e && e < f;
                    // Spot checks against the combination counted out directly.
                    const std::int64_t count = run.count + (f - first);
                    if (count % 100003 == 0) {
                        ordered &= now == combinationAt(n, count);
                        ++checked;
                    }
                    previous = last = now;
                }
                return lastF - first + 1;
            },
            fileCheckMask);
        EXPECT_EQ(run.count, combinationsOf6(n)) << n;
        EXPECT_TRUE(ordered) << n;
        EXPECT_GT(checked, 0);
        EXPECT_EQ(last, (Combination{n - 5, n - 4, n - 3, n - 2, n - 1, n})) << n;
    }
}

TEST(ScreenListing, SevenCellsDownColumnTwoInAlternatingColours) {
    // A script that never ends: only the keys a test posts stop a listing.
    testing_screen::HeadlessScreen open("", false);
    RunValues run = runFor(7, "P");
    runScreenListing(run);
    const screen::TextScreen s = screen::screenSnapshot();
    for (int k = 0; k < 7; ++k) {
        const int row = 8 + k;
        EXPECT_EQ(rowTrimmed(s, row), " " + cellText(combinationAt(7, k)).substr(0, 12)) << row;
        EXPECT_EQ(screen::cellAt(s, row, 2).foreground, k % 2 == 0 ? white : green) << row;
        EXPECT_EQ(screen::cellAt(s, row, 14).byte, ' ');
        EXPECT_EQ(screen::cellAt(s, row, 14).background, background);
    }
    EXPECT_EQ(rowTrimmed(s, 15), "");
    EXPECT_EQ(run.page, 1);
    // No check ran: the panel still shows what it showed before the first.
    EXPECT_EQ(rowTrimmed(s, 68), " > GENERADAS:  0 /  7   PAGINA:  1");
    EXPECT_EQ(rowTrimmed(s, 69), " > MODO PANTALLA. Pulsa ESC para detener.");
}

TEST(ScreenListing, TenElementsFillThreeColumnsAnd33RowsOfTheFourth) {
    testing_screen::HeadlessScreen open("", false);
    RunValues run = runFor(10, "P");
    runScreenListing(run);
    const screen::TextScreen s = screen::screenSnapshot();
    for (int column : {2, 16, 30})
        for (int row = 8; row <= 66; ++row) EXPECT_NE(screen::cellAt(s, row, column).byte, ' ') << row << "," << column;
    for (int row = 8; row <= 40; ++row) EXPECT_NE(screen::cellAt(s, row, 44).byte, ' ') << row;
    EXPECT_EQ(screen::cellAt(s, 41, 44).byte, ' ');
    EXPECT_EQ(rowText(s, 40).substr(43, 13), cellText(combinationAt(10, 209)));
}

TEST(ScreenListing, The414thCombinationWritesOverTheFirstInGreenOnPage2) {
    testing_screen::HeadlessScreen open("", false);
    RunValues run = runFor(11, "P");  // 462 combinations: one wrap
    runScreenListing(run);
    const screen::TextScreen s = screen::screenSnapshot();
    EXPECT_EQ(rowText(s, 8).substr(1, 13), cellText(combinationAt(11, 413)));
    EXPECT_EQ(screen::cellAt(s, 8, 2).foreground, green);
    EXPECT_EQ(rowText(s, 9).substr(1, 13), cellText(combinationAt(11, 414)));
    // Beyond the rewritten cells the first page still shows.
    EXPECT_EQ(rowText(s, 8).substr(15, 13), cellText(combinationAt(11, 59)));
    EXPECT_EQ(run.page, 2);
}

struct StopCase {
    const char* name;
    int n;
    std::vector<screen::KeyCode> keys;
    std::int64_t stopsAt;  // 0: runs to the end
    std::int64_t page;
};

class StopChecks : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopChecks, OneKeyPerCheckAndOnlyEscStops) {
    const StopCase& c = GetParam();
    testing_screen::HeadlessScreen open("", false);
    for (screen::KeyCode k : c.keys) screen::postKey(k);
    RunValues run = runFor(c.n, "P");
    runScreenListing(run);
    const screen::TextScreen s = screen::screenSnapshot();
    if (c.stopsAt == 0) {
        EXPECT_FALSE(run.interrupted);
        EXPECT_EQ(run.count, run.total);
        return;
    }
    EXPECT_TRUE(run.interrupted);
    EXPECT_EQ(run.count, c.stopsAt);
    EXPECT_EQ(rowTrimmed(s, 68),
              " > GENERADAS:  " + std::to_string(c.stopsAt) + " /  13983816   PAGINA:  " + std::to_string(c.page));
    // The last cell drawn is that of the combination that reached the check.
    const std::int64_t last = c.stopsAt - 1;
    const int row = 8 + static_cast<int>(last % 413 % 59);
    const int column = 2 + 14 * static_cast<int>(last % 413 / 59);
    EXPECT_EQ(rowText(s, row).substr(static_cast<std::size_t>(column - 1), 13), cellText(combinationAt(c.n, last)));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, StopChecks,
    ::testing::Values(StopCase{"EscAtTheFirstCheck", 49, {27}, 1024, 3},
                      StopCase{"AnotherKeyFirst", 49, {'x', 27}, 2048, 5},
                      StopCase{"AnExtendedKeyIsNotEsc", 49, {screen::keyLeft, 27}, 2048, 5},
                      StopCase{"TheCloseRequestIsNotEsc", 49, {screen::keyCloseRequest, 'q', 27}, 3072, 8},
                      StopCase{"TwelveElementsNeverCheck", 12, {27}, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });
