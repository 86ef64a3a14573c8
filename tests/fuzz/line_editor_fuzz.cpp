// Key sequences through the line editor on the 100 x 70 grid from any
// cursor cell: the line it returns must be the one the keys built, and the
// cursor must stay on the grid.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "screen/keys/key_queue.h"
#include "screen/line_input.h"
#include "screen/screen.h"
#include "tests/headless_screen.h"

using namespace screen;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

struct Keys {
    std::vector<KeyCode> codes;
    std::size_t next = 0;
};

KeyCode nextKey(void* context) {
    auto& keys = *static_cast<Keys*>(context);
    return keys.next < keys.codes.size() ? keys.codes[keys.next++] : KeyCode{13};
}

// What the keys make of the line, by the editing rules alone.
std::string modelLine(const std::vector<KeyCode>& codes, int width) {
    std::string text;
    std::size_t pos = 0;
    const auto w = static_cast<std::size_t>(width);
    for (KeyCode k : codes) {
        if (k >= 32 && k <= 255) {
            text.insert(pos++, 1, static_cast<char>(k));
        } else if (k == 9) {
            const std::size_t blanks = 8 - pos % 8;
            text.insert(pos, blanks, ' ');
            pos += blanks;
        } else if (k == 8) {
            if (pos > 0) text.erase(--pos, 1);
        } else if (k == keyDelete) {
            if (pos < text.size()) text.erase(pos, 1);
        } else if (k == 27) {
            text.clear();
            pos = 0;
        } else if (k == keyLeft) {
            if (pos > 0) --pos;
        } else if (k == keyRight) {
            if (pos < text.size()) ++pos;
        } else if (k == keyHome) {
            pos = 0;
        } else if (k == keyEnd) {
            pos = text.size();
        } else if (k == keyUp) {
            if (pos >= w) pos -= w;
        } else if (k == keyDown) {
            if (pos + w <= text.size()) pos += w;
        }
    }
    return text;
}

// Open for the whole run; its script never ends.
bool openOnce() {
    static testing_screen::HeadlessScreen* screen = new testing_screen::HeadlessScreen("", false);
    return screen->opened;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool opened = openOnce();
    require(opened);
    if (size < 2) return 0;
    Keys keys;
    for (std::size_t i = 2; i < size && keys.codes.size() < 400; ++i) {
        KeyCode k = data[i];
        if (k == 0 && i + 1 < size) k = extendedKey(data[++i]);
        if (k == 0 || k == 13 || k == 10) continue;  // Enter comes last
        keys.codes.push_back(k);
    }
    moveCursor(1 + data[0] % 70, 1 + data[1] % 100);
    const std::string text = editLineFrom(nextKey, &keys);
    require(text == modelLine(keys.codes, 100));
    const CursorPosition at = cursorPosition();
    require(at.row >= 1 && at.row <= 70 && at.column >= 1 && at.column <= 100);
    const GridSize grid = textSize();
    require(grid.columns == 100 && grid.rows == 70);
    return 0;
}
