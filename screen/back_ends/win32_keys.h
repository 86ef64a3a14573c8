// How the window's key messages on Windows become key codes. Pure
// procedures over the messages' words, so they need no window.
#pragma once

#include <cstdint>

#include "screen/keys/key_queue.h"

namespace screen {

// The code a character message (WM_CHAR) types for its UTF-16 unit: the
// control codes as they are (Enter 13, Ctrl+Enter 10, Backspace 8, Tab 9,
// ESC 27, Ctrl+letter 1-26), the rest in code page 437; -1 when it types
// nothing (a character the code page lacks, either half of a surrogate pair).
KeyCode characterKey(std::uint32_t unit);

// The code of a key press (WM_KEYDOWN) whose key makes no character: the
// extended code with its Shift or Ctrl variant. 0 for keys whose
// characters come as character messages, and for keys without a code.
// `enhanced` is bit 24 of the message: the grey key rather than the keypad's.
KeyCode keyDownKey(std::uint32_t virtualKey, bool enhanced, bool shift, bool ctrl);

// How many presses a key or character message reports: its repeat count,
// at least one.
int repeatCount(std::intptr_t lParam);
// Whether the key was already down (an auto-repeat), bit 30.
bool isRepeat(std::intptr_t lParam);
// Whether the press came from the keypad's cursor block or the grey keys: bit 24.
bool isEnhanced(std::intptr_t lParam);

}  // namespace screen
