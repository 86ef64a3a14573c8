// Any bytes printed from any cursor, colours and pending wrap, with cursor
// moves, grid sizes and scrolls in between: the cursor stays on the grid,
// the records keep their sizes, and nothing below the grid is written but
// by the operations that may.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "screen/text_screen.h"

using namespace screen;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    bool more() const { return at < size; }
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    int small() { return static_cast<std::int8_t>(byte()) * (1 + byte() % 3); }  // about -384 to 381
    std::uint32_t word() {
        std::uint32_t w = 0;
        for (int i = 0; i < 4; ++i) w = w << 8 | byte();
        return w;
    }
};

// What must hold between any two operations.
void checkInvariants(const TextScreen& s) {
    require(s.cursorRow >= 1 && s.cursorRow <= s.rows);
    require(s.cursorColumn >= 1 && s.cursorColumn <= s.columns);
    require(!s.pendingWrap || (s.cursorRow == s.rows && s.cursorColumn == s.columns));
    require(s.cells.size() == static_cast<std::size_t>(s.rows * s.columns));
    require(s.frame.size() == 800u * 600u);
    require(s.rows * s.cellHeight <= 600 && s.columns * cellWidth <= 800);
}

// Writes below the grid would stay, so checking before each operation that
// may repaint them, and at the end, catches every one.
void checkBelow(TextScreen& s, const std::vector<Color>& below, int belowFrom) {
    renderPendingCells(s);
    if (!below.empty())
        require(std::memcmp(s.frame.data() + belowFrom * 800, below.data(), below.size() * sizeof(Color)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TextScreen s;  // kept only so its memory is reused
    initTextScreen(s, 800, 600);
    Reader in{data, size};
    // The lines below the grid, as only clearing and resizing may change them.
    int belowFrom = s.rows * s.cellHeight;
    std::vector<Color> below(s.frame.begin() + belowFrom * 800, s.frame.end());
    auto rememberBelow = [&] {
        renderPendingCells(s);
        belowFrom = s.rows * s.cellHeight;
        below.assign(s.frame.begin() + belowFrom * 800, s.frame.end());
    };
    for (int ops = 0; in.more() && ops < 64; ++ops) {
        switch (in.byte() % 8) {
            case 0: {
                const std::size_t length = in.byte() * (1 + in.byte() % 4);
                std::vector<char> text(length);
                for (char& c : text) c = static_cast<char>(in.byte());
                writeBytes(s, text.data(), text.size());
                break;
            }
            case 1: {
                const int row = in.small(), column = in.small();
                placeCursor(s, row, column);
                break;
            }
            case 2: {
                const int columns = in.small(), rows = in.small();
                checkBelow(s, below, belowFrom);
                setGridSize(s, columns, rows);
                rememberBelow();
                break;
            }
            case 3:
                s.foreground = in.word();
                s.background = in.word();
                break;
            case 4:
                scrollUp(s, 1 + in.byte());
                break;
            case 5:
                checkBelow(s, below, belowFrom);
                clearTextScreen(s);
                rememberBelow();
                break;
            case 6:
                resolvePendingWrap(s);
                break;
            default:
                renderPendingCells(s);
                break;
        }
        checkInvariants(s);
    }
    checkBelow(s, below, belowFrom);
    return 0;
}
