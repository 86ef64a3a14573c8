// The line editor: echoes what is typed at the cursor, always inserting,
// with the cursor mark on the cell of the input position. Cursor moves run
// through the cells in reading order, wrapping at the row ends.
#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "screen/key_delivery.h"
#include "screen/keyboard.h"
#include "screen/line_input.h"
#include "screen/screen.h"

namespace screen {
namespace {

constexpr int keyTestMilliseconds = 25;
constexpr int deleteBeepHertz = 1000;
constexpr int deleteBeepMilliseconds = 250;
constexpr int lostInputStatus = 3;
constexpr char lostInputMessage[] = "lister: input ended while waiting for an answer\n";
constexpr char inputMarkText[] = "\xff";
constexpr char lineEnd[] = "\r\n";


struct Editor {
    std::string text;
    std::size_t pos = 0;
    int width = 0;
    int height = 0;
};

long cellIndex(const Editor& e, CursorPosition at) { return long(at.row - 1) * e.width + (at.column - 1); }

void placeAtIndex(const Editor& e, long index) {
    const long cells = long(e.width) * e.height;
    if (index >= cells) {
        // Just past the bottom-right corner: a new line scrolls the screen.
        moveCursor(e.height, e.width);
        printText(lineEnd, false);
        return;
    }
    index = std::max(index, 0L);
    moveCursor(static_cast<int>(index / e.width) + 1, static_cast<int>(index % e.width) + 1);
}

void moveForward(const Editor& e, long count) {
    long target = cellIndex(e, cursorPosition()) + count;
    const long cells = long(e.width) * e.height;
    for (; target > cells; target -= e.width) placeAtIndex(e, cells);
    placeAtIndex(e, target);
}

void moveBack(const Editor& e, long count) { placeAtIndex(e, cellIndex(e, cursorPosition()) - count); }

void insertText(Editor& e, const std::string& inserted) {
    const long tail = static_cast<long>(e.text.size() - e.pos);
    printText(inserted + e.text.substr(e.pos), false);
    // Where the print ended, then back over the old tail. A print that
    // filled the last cell stands parked on it; it really ended past it.
    const long end = pendingWrapIsSet() ? long(e.width) * e.height : cellIndex(e, cursorPosition());
    placeAtIndex(e, end - tail);
    e.text.insert(e.pos, inserted);
    e.pos += inserted.size();
}

void deleteAtCursor(Editor& e) {
    const CursorPosition at = cursorPosition();
    e.text.erase(e.pos, 1);
    printText(e.text.substr(e.pos) + " ", false);
    moveCursor(at.row, at.column);
}

void clearEcho(Editor& e) {
    moveBack(e, static_cast<long>(e.pos));
    if (e.text.empty()) return;
    const CursorPosition start = cursorPosition();
    printText(spaces(static_cast<int>(e.text.size())), false);
    e.text.clear();
    e.pos = 0;
    moveCursor(start.row, start.column);
}

[[noreturn]] void endForLostInput() {
    std::fputs(lostInputMessage, stderr);
    closeScreen();
    platform::endProcess(lostInputStatus);
}

KeyCode waitForEditorKey(void*) {
    for (;;) {
        for (;;) {
            const std::uint64_t since = keyDeliveries();
            if (keyWaiting()) break;
            // A key script that ran out can never answer: end, never hang.
            if (inputExhausted()) endForLostInput();
            sleepUntilKeyDelivered(since, keyTestMilliseconds);
        }
        const std::string key = pollKey();
        if (key.size() == 2) return static_cast<unsigned char>(key[1]) * 256 + 255;
        if (key.size() == 1) return static_cast<unsigned char>(key[0]);
    }
}

// Returns true when the key ends the line.
bool actOnKey(Editor& e, KeyCode k) {
    const std::size_t length = e.text.size();
    const auto width = static_cast<std::size_t>(e.width);
    if (k >= 32 && k <= 255) {
        insertText(e, std::string(1, static_cast<char>(k)));
    } else if (k == keyTab) {
        insertText(e, spaces(static_cast<int>(8 - e.pos % 8)));
    } else if (k == keyBackspace) {
        if (e.pos > 0) {
            moveBack(e, 1);
            --e.pos;
            deleteAtCursor(e);
        }
    } else if (k == keyDelete) {
        if (e.pos == length)
            beep(deleteBeepHertz, deleteBeepMilliseconds);
        else
            deleteAtCursor(e);
    } else if (k == keyEscape) {
        clearEcho(e);
    } else if (k == keyLeft) {
        if (e.pos > 0) {
            moveBack(e, 1);
            --e.pos;
        }
    } else if (k == keyRight) {
        if (e.pos < length) {
            moveForward(e, 1);
            ++e.pos;
        }
    } else if (k == keyHome) {
        moveBack(e, static_cast<long>(e.pos));
        e.pos = 0;
    } else if (k == keyEnd) {
        moveForward(e, static_cast<long>(length - e.pos));
        e.pos = length;
    } else if (k == keyUp) {
        if (e.pos >= width) {
            moveBack(e, e.width);
            e.pos -= width;
        }
    } else if (k == keyDown) {
        if (e.pos + width <= length) {
            moveForward(e, e.width);
            e.pos += width;
        }
    } else if (k == keyEnter || k == keyCtrlEnter) {
        return true;
    }
    return false;
}

}  // namespace

std::string editLineFrom(KeySource nextKey, void* context) {
    Editor e;
    const GridSize grid = textSize();
    e.width = grid.columns;
    e.height = grid.rows;
    for (;;) {
        const CursorPosition at = cursorPosition();
        printText(inputMarkText, false);
        moveCursor(at.row, at.column);
        const KeyCode k = nextKey(context);
        // Take the mark away: the cell shows the text under it, or a blank.
        printText(e.pos < e.text.size() ? e.text.substr(e.pos, 1) : std::string(" "), false);
        moveCursor(at.row, at.column);
        if (actOnKey(e, k)) {
            moveForward(e, static_cast<long>(e.text.size() - e.pos));
            return e.text;
        }
    }
}

std::string editLine() { return editLineFrom(waitForEditorKey, nullptr); }

}  // namespace screen
