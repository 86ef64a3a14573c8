// Keys from a terminal in raw mode: the bytes it sends (UTF-8 text and the
// escape sequences of xterm-compatible terminals, the Linux console, tmux,
// screen and rxvt) turned into our key codes. Pure: no terminal involved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "screen/keys/key_queue.h"

namespace screen {

enum class TerminalInput {
    key,         // `code` is a key to post
    redraw,      // Ctrl+L: draw the whole picture again
    nothing,     // consumed, posts nothing (Alt combinations, unknown sequences, stray bytes)
    incomplete,  // the bytes so far may start a longer sequence: wait for more
};

struct DecodedInput {
    TerminalInput kind = TerminalInput::incomplete;
    KeyCode code = 0;
    std::size_t used = 0;
};

// Decodes the first input of bytes[0..length). `quiet` says no byte has
// arrived for a while, so nothing more belongs to what has begun: a lone
// ESC is then the ESC key, and an unfinished sequence is dropped.
DecodedInput decodeTerminalInput(const std::uint8_t* bytes, std::size_t length, bool quiet);

// Decodes from the front of `pending` while fewer than `room` keys have been
// appended to `keys`, and erases what it used; what is left waits for room
// or for more bytes. Sets `redraw` on a Ctrl+L.
void takeTerminalKeys(std::vector<std::uint8_t>& pending, bool quiet, int room, std::vector<KeyCode>& keys,
                      bool& redraw);

}  // namespace screen
