// What the window thread does for a terminal in each cycle of a screen
// listing: take the changed rows of the screen record (a whole new page of
// the listing each cycle, as at full speed) and write what the terminal
// must change, at 80 x 24 and at 100 x 70. The time is per cycle, the
// page's drawing left out; the bytes per cycle are a counter.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "screen/back_ends/terminal_output.h"
#include "screen/text_screen.h"

namespace {

constexpr screen::Color white = 0xFFFFFF, green = 0x00FF00, background = 0x000044;

// One page of the listing's 7 x 59 cells, each a different combination
// from the pages before.
void drawPage(screen::TextScreen& s, int page) {
    char cell[] = "010203040506 ";
    int count = 0;
    for (int column = 2; column <= 86; column += 14) {
        for (int row = 8; row <= 66; ++row, ++count) {
            const int last = 7 + (page * 413 + count) % 43;
            cell[10] = static_cast<char>('0' + last / 10);
            cell[11] = static_cast<char>('0' + last % 10);
            screen::placeCursor(s, row, column);
            s.foreground = count % 2 ? green : white;
            screen::writeBytes(s, cell, std::strlen(cell));
        }
    }
}

void BM_TerminalCycle(benchmark::State& state) {
    screen::TextScreen s;
    screen::initTextScreen(s, 800, 600);
    screen::setGridSize(s, 100, 70);
    screen::keepRowsInView(s, 4, 6);
    screen::keepRowsInView(s, 68, 70);
    s.background = background;
    screen::TerminalPicture picture;
    screen::TerminalView view;
    view.columns = static_cast<int>(state.range(0));
    view.rows = static_cast<int>(state.range(1));
    std::string out;
    std::int64_t bytes = 0;
    int page = 0;
    for (auto _ : state) {
        state.PauseTiming();
        drawPage(s, page++);
        state.ResumeTiming();
        const screen::LineSpan span = screen::changedSpan(s);
        screen::updatePicture(picture, s, span);
        screen::clearChangedLines(s, span);
        out.clear();
        screen::writePicture(picture, view, out);
        bytes += static_cast<std::int64_t>(out.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes/cycle"] = benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kAvgIterations);
}

}  // namespace

BENCHMARK(BM_TerminalCycle)->Args({80, 24})->Args({100, 70})->Unit(benchmark::kMicrosecond);
