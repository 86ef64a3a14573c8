// The web back end: lister in a browser page. The page's script runs on
// the browser's main thread and shares the program's memory. At each of
// its animation frames it takes the lines that changed from the picture
// kept here and paints them into its canvas, reads the grid's text for
// screen readers, shows the part of the grid a small screen has room for,
// and plays the beeps asked for; its key presses come in through
// lister_web_key_down. Nothing the page calls waits for the program, and
// nothing here waits for the page.
#include <emscripten/emscripten.h>
#include <emscripten/threading.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "screen/back_end.h"
#include "screen/back_ends/web_keys.h"
#include "screen/cp437.h"
#include "screen/grid_view.h"

namespace screen {
namespace {

// Keys the page holds for the program: a paste or a burst of any length up
// to what the key queue itself holds reaches it whole.
constexpr std::uint32_t ringSize = KeyQueue::heldLimit;
constexpr std::uint32_t opaque = 0xFF000000;
constexpr std::size_t mostCells = 100 * 75;  // the grid of 800 x 600 pixels at its finest
constexpr std::size_t mostRows = 75;

// The grid's size and where the line editor's input mark stands (row 0:
// no answer is being read).
struct GridShape {
    int columns = 0;
    int rows = 0;
    int markRow = 0;
    int markColumn = 0;
    int focusRow = 0;  // what a view of part of the grid follows
    int focusColumn = 0;
};

// What the window thread and the page share. There is one screen per
// process, and the page may still paint the last picture once it closed,
// so this lives as long as the process does.
struct Page {
    // The picture as the canvas takes it: one RGBA pixel per word (R in
    // the lowest byte), top line first. Made by the first open.
    std::vector<std::uint32_t> picture;
    std::atomic<const std::uint32_t*> shown{nullptr};
    std::atomic<int> width{0};
    std::atomic<int> height{0};
    // Lines changed since the page last painted: first << 16 | (last + 1),
    // 0 for none.
    std::atomic<std::uint32_t> changed{0};
    // The window thread's own: the frame's lines copied under the lock,
    // not yet in the picture.
    std::vector<Color> uploaded;
    LineSpan uploadedSpan;

    std::atomic<bool> open{false};  // keys count only while the screen is open
    // Keys from the page. It stages them and hands each batch over at once
    // (the keys of one burst of events), so keys typed together are posted
    // together. The window thread sleeps on `handedOver`.
    std::array<KeyCode, ringSize> keys{};
    std::uint32_t staged = 0;   // the page's own
    std::uint32_t dropped = 0;  // the page's own: keys past a full ring, to be told
    std::atomic<std::uint32_t> handedOver{0};
    std::atomic<std::uint32_t> taken{0};
    std::atomic<bool> woken{false};  // the screen is closing

    std::atomic<int> beeps{0};
    std::atomic<int> beepHertz{0};
    std::atomic<int> beepMilliseconds{0};

    // The grid's bytes and the input mark as last shown, published with
    // the picture. The version is odd while they change: the page reads a
    // row again at its next frame when it changed under it.
    std::array<std::uint8_t, mostCells> uploadedBytes{};
    GridShape uploadedShape;
    std::array<std::atomic<std::uint8_t>, mostCells> bytes{};
    std::atomic<std::uint32_t> textsVersion{0};
    std::atomic<int> columns{0};
    std::atomic<int> rows{0};
    std::atomic<int> markRow{0};
    std::atomic<int> markColumn{0};
    std::array<std::uint8_t, mostRows> uploadedKept{};
    std::array<std::atomic<std::uint8_t>, mostRows> kept{};
    std::atomic<int> focusRow{0};
    std::atomic<int> focusColumn{0};
};

Page page;

void markChanged(int first, int last) {
    std::uint32_t old = page.changed.load(std::memory_order_relaxed);
    for (;;) {
        std::uint32_t from = static_cast<std::uint32_t>(first);
        std::uint32_t end = static_cast<std::uint32_t>(last) + 1;
        if (old != 0) {
            from = std::min(from, old >> 16);
            end = std::max(end, old & 0xFFFF);
        }
        if (page.changed.compare_exchange_weak(old, from << 16 | end, std::memory_order_release,
                                               std::memory_order_relaxed))
            return;
    }
}

bool open(BackEnd& b, const BackEndSetup& setup, std::string&) {
    if (!page.shown.load(std::memory_order_acquire)) {
        page.picture.assign(static_cast<std::size_t>(setup.width) * static_cast<std::size_t>(setup.height), opaque);
        page.width.store(setup.width, std::memory_order_relaxed);
        page.height.store(setup.height, std::memory_order_relaxed);
        page.shown.store(page.picture.data(), std::memory_order_release);
    }
    markChanged(0, page.height.load(std::memory_order_relaxed) - 1);
    // Keys pressed before the screen opened were typed at no window.
    page.taken.store(page.handedOver.load(std::memory_order_acquire), std::memory_order_relaxed);
    page.open.store(true, std::memory_order_release);
    b.state = &page;
    return true;
}

void waitForInput(BackEnd&, int milliseconds) {
    const std::uint32_t seen = page.taken.load(std::memory_order_relaxed);
    if (page.handedOver.load(std::memory_order_acquire) != seen || page.woken.load(std::memory_order_acquire)) return;
    emscripten_futex_wait(&page.handedOver, seen, milliseconds);
}

void takeInput(BackEnd&, KeyQueue& queue) {
    const std::uint32_t end = page.handedOver.load(std::memory_order_acquire);
    std::uint32_t at = page.taken.load(std::memory_order_relaxed);
    // Only as many as the queue holds: the rest wait here, none is lost.
    for (int room = keyRoom(queue); at != end && room > 0; ++at, --room)
        offerKey(queue, page.keys[at % ringSize]);
    page.taken.store(at, std::memory_order_release);
}

// Under the screen lock the changed lines are only copied, as they are:
// the program waits for nothing more. present turns them into the
// canvas's bytes after the lock is gone.
void upload(BackEnd&, const TextScreen& screen, LineSpan span) {
    const int width = page.width.load(std::memory_order_relaxed);
    const int first = std::max(span.first, 0);
    const int last = std::min({span.last, screen.pixelHeight - 1, page.height.load(std::memory_order_relaxed) - 1});
    if (first > last || screen.pixelWidth != width) return;
    const auto from = screen.frame.begin() + static_cast<std::ptrdiff_t>(first) * width;
    const auto to = screen.frame.begin() + static_cast<std::ptrdiff_t>(last + 1) * width;
    page.uploaded.resize(page.picture.size());
    std::copy(from, to, page.uploaded.begin() + (from - screen.frame.begin()));
    page.uploadedSpan = page.uploadedSpan.empty()
                            ? LineSpan{first, last}
                            : LineSpan{std::min(page.uploadedSpan.first, first), std::max(page.uploadedSpan.last, last)};
    // The rows of those lines, as text: the mark shows what it covers.
    const std::size_t cells = std::min(screen.cells.size(), mostCells);
    const auto columns = static_cast<std::size_t>(screen.columns);
    const std::size_t end = std::min(cells, static_cast<std::size_t>(last / screen.cellHeight + 1) * columns);
    for (std::size_t i = static_cast<std::size_t>(first / screen.cellHeight) * columns; i < end; ++i)
        page.uploadedBytes[i] = screen.cells[i].byte;
    const InputMark& mark = screen.mark;
    const auto marked = static_cast<std::size_t>((mark.row - 1) * screen.columns + mark.column - 1);
    if (mark.row != 0 && marked < cells) page.uploadedBytes[marked] = mark.covered.byte;
    const int focusColumn = mark.row != 0 ? mark.column : screen.cursorColumn;
    page.uploadedShape = {screen.columns, screen.rows, mark.row, mark.column, screen.focusRow, focusColumn};
    for (std::size_t row = 0; row < mostRows; ++row)
        page.uploadedKept[row] = row < screen.keptRows.size() ? screen.keptRows[row] : 0;
}

void publishTexts() {
    page.textsVersion.fetch_add(1, std::memory_order_acq_rel);
    for (std::size_t i = 0; i < mostCells; ++i) page.bytes[i].store(page.uploadedBytes[i], std::memory_order_relaxed);
    page.columns.store(page.uploadedShape.columns, std::memory_order_relaxed);
    page.rows.store(page.uploadedShape.rows, std::memory_order_relaxed);
    page.markRow.store(page.uploadedShape.markRow, std::memory_order_relaxed);
    page.markColumn.store(page.uploadedShape.markColumn, std::memory_order_relaxed);
    page.focusRow.store(page.uploadedShape.focusRow, std::memory_order_relaxed);
    page.focusColumn.store(page.uploadedShape.focusColumn, std::memory_order_relaxed);
    for (std::size_t row = 0; row < mostRows; ++row)
        page.kept[row].store(page.uploadedKept[row], std::memory_order_relaxed);
    page.textsVersion.fetch_add(1, std::memory_order_release);
}

// 0xAARRGGBB to the canvas's bytes R, G, B, A, always opaque.
void present(BackEnd&) {
    const LineSpan span = page.uploadedSpan;
    if (span.empty()) return;
    // Until the page has painted the last lines, the next ones gather: they
    // are turned into the canvas's bytes at most once a frame, not once a
    // cycle, which leaves the listing a processor of its own.
    if (page.changed.load(std::memory_order_acquire) != 0) return;
    const std::size_t width = static_cast<std::size_t>(page.width.load(std::memory_order_relaxed));
    const std::size_t end = static_cast<std::size_t>(span.last + 1) * width;
    for (std::size_t i = static_cast<std::size_t>(span.first) * width; i < end; ++i) {
        const Color c = page.uploaded[i];
        page.picture[i] = opaque | (c & 0xFF00) | ((c >> 16) & 0xFF) | ((c & 0xFF) << 16);
    }
    publishTexts();
    markChanged(span.first, span.last);
    page.uploadedSpan = {};
}

void close(BackEnd& b) {
    page.open.store(false, std::memory_order_release);
    page.woken.store(false, std::memory_order_relaxed);
    b.state = nullptr;
}

// Leaves the beeps for the page, which sounds them.
void beep(BackEnd&, int count, int hertz, int milliseconds) {
    page.beepHertz.store(hertz, std::memory_order_relaxed);
    page.beepMilliseconds.store(milliseconds, std::memory_order_relaxed);
    page.beeps.fetch_add(count, std::memory_order_release);
}

void wake(BackEnd&) {
    page.woken.store(true, std::memory_order_release);
    emscripten_futex_wake(&page.handedOver, 1);
}

}  // namespace

BackEnd webBackEnd() { return {"web", nullptr, open, waitForInput, takeInput, upload, present, close, beep, wake}; }

}  // namespace screen

// What the page calls, on the browser's main thread. None of it waits.
extern "C" {

// A key press as the browser reports it (KeyboardEvent.key and the
// modifier bits of web_keys.h). Returns what the page is to do with the
// press (WebKeyAction); a key for lister is staged for the next hand-over.
EMSCRIPTEN_KEEPALIVE int lister_web_key_down(const char* key, int modifiers) {
    using namespace screen;
    const WebKey k = webKeyDown(key, static_cast<unsigned>(modifiers));
    if (k.code == 0 || !page.open.load(std::memory_order_acquire)) return static_cast<int>(k.action);
    if (page.staged - page.taken.load(std::memory_order_acquire) < ringSize)
        page.keys[page.staged++ % ringSize] = k.code;
    else
        ++page.dropped;
    return static_cast<int>(k.action);
}

// How many keys were dropped since the last call, the ring being full.
EMSCRIPTEN_KEEPALIVE int lister_web_take_dropped_keys() {
    return static_cast<int>(std::exchange(screen::page.dropped, 0));
}

// Hands the staged keys over to the window thread, all at once.
EMSCRIPTEN_KEEPALIVE void lister_web_hand_over_keys() {
    using namespace screen;
    if (page.handedOver.load(std::memory_order_relaxed) == page.staged) return;
    page.handedOver.store(page.staged, std::memory_order_release);
    emscripten_futex_wake(&page.handedOver, 1);
}

// The picture's first pixel, or null before the screen first opened.
EMSCRIPTEN_KEEPALIVE const std::uint32_t* lister_web_picture() {
    return screen::page.shown.load(std::memory_order_acquire);
}
EMSCRIPTEN_KEEPALIVE int lister_web_picture_width() { return screen::page.width.load(std::memory_order_relaxed); }
EMSCRIPTEN_KEEPALIVE int lister_web_picture_height() { return screen::page.height.load(std::memory_order_relaxed); }

// The lines changed since the last call: first << 16 | (last + 1), 0 for none.
EMSCRIPTEN_KEEPALIVE std::uint32_t lister_web_take_changed_lines() {
    return screen::page.changed.exchange(0, std::memory_order_acquire);
}

// How many beeps were asked for since the last call, and their tone.
EMSCRIPTEN_KEEPALIVE int lister_web_take_beeps() { return screen::page.beeps.exchange(0, std::memory_order_acquire); }
EMSCRIPTEN_KEEPALIVE int lister_web_beep_hertz() { return screen::page.beepHertz.load(std::memory_order_relaxed); }
EMSCRIPTEN_KEEPALIVE int lister_web_beep_milliseconds() {
    return screen::page.beepMilliseconds.load(std::memory_order_relaxed);
}

// The grid's text for screen readers, published with the picture; the
// version is odd while it changes.
EMSCRIPTEN_KEEPALIVE std::uint32_t lister_web_texts_version() {
    return screen::page.textsVersion.load(std::memory_order_acquire);
}

// Row `row` (from 1) as UTF-8, the cells' characters of code page 437,
// valid until the next call; null when it changed while being read, or
// there is no such row.
EMSCRIPTEN_KEEPALIVE const char* lister_web_row_text(int row) {
    using namespace screen;
    static std::string text;
    const std::uint32_t version = page.textsVersion.load(std::memory_order_acquire);
    const int columns = page.columns.load(std::memory_order_relaxed);
    if ((version & 1) != 0 || row < 1 || row > page.rows.load(std::memory_order_relaxed)) return nullptr;
    std::array<std::uint8_t, mostCells> line;
    const auto width = static_cast<std::size_t>(columns);
    const std::size_t from = static_cast<std::size_t>(row - 1) * width;
    for (std::size_t i = 0; i < width; ++i) line[i] = page.bytes[from + i].load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (page.textsVersion.load(std::memory_order_relaxed) != version) return nullptr;
    text.clear();
    for (std::size_t i = 0; i < width; ++i) text += utf8Of(cp437ToUnicode(line[i]));
    return text.c_str();
}

EMSCRIPTEN_KEEPALIVE int lister_web_grid_rows() { return screen::page.rows.load(std::memory_order_relaxed); }

// The part of the grid a canvas of `columns` x `rows` cells shows (no more
// than the grid), moved by the user's swipes by `userRows` and
// `userColumns`, as the terminal's view shows it: the first column shown,
// how many, whether columns are folded away to the left and to the right,
// how many view rows, then the grid row on each, 0 for a fold. Valid until
// the next call.
EMSCRIPTEN_KEEPALIVE const std::int32_t* lister_web_view(int columns, int rows, int userRows, int userColumns) {
    using namespace screen;
    static std::vector<std::uint8_t> kept;
    static int followedRow = 1;
    static std::array<std::int32_t, 5 + mostRows> view;
    GridViewRequest q;
    q.gridColumns = page.columns.load(std::memory_order_relaxed);
    q.gridRows = std::min(page.rows.load(std::memory_order_relaxed), static_cast<int>(mostRows));
    kept.resize(static_cast<std::size_t>(std::max(q.gridRows, 0)));
    for (std::size_t row = 0; row < kept.size(); ++row) kept[row] = page.kept[row].load(std::memory_order_relaxed);
    q.viewColumns = std::min(columns, q.gridColumns);
    q.viewRows = std::min(rows, q.gridRows);
    q.keptRows = &kept;
    q.focusRow = page.focusRow.load(std::memory_order_relaxed);
    q.focusColumn = page.focusColumn.load(std::memory_order_relaxed);
    q.followedRow = followedRow;
    q.userRows = userRows;
    q.userColumns = userColumns;
    const GridView v = layGridView(q);
    followedRow = v.followedRow;
    view = {v.firstColumn, v.columns, v.foldedLeft, v.foldedRight, static_cast<std::int32_t>(v.rows.size())};
    std::copy(v.rows.begin(), v.rows.end(), view.begin() + 5);
    return view.data();
}

// Where the input mark of the answer being read stands: its row, 0 when
// no answer is being read, and its column.
EMSCRIPTEN_KEEPALIVE int lister_web_input_row() { return screen::page.markRow.load(std::memory_order_relaxed); }
EMSCRIPTEN_KEEPALIVE int lister_web_input_column() {
    return screen::page.markColumn.load(std::memory_order_relaxed);
}

}  // extern "C"
