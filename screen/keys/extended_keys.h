// The PC BIOS extended codes of the keys that type no character, shared by
// every back end that reads keys: each maps its own key names (SDL's, the
// Win32 virtual keys, a terminal's escape sequences) onto PcKey and asks
// here for the code, so the codes live in this one table.
#pragma once

#include "screen/keys/key_queue.h"

namespace screen {

// The keys with an extended code of their own. `centre` is the keypad's 5
// without NumLock; the keypad's other keys are the grey keys they show.
enum class PcKey : unsigned char {
    f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12,
    home, up, pageUp, left, centre, right, end, down, pageDown, insert, del,
};

// The extended key code of a press, with the Shift or Ctrl variant when
// those are held (Ctrl wins over Shift).
KeyCode pcExtendedKey(PcKey key, bool shift, bool ctrl);

// Tab and Shift+Tab type a character (9); Ctrl+Tab has a code of its own.
inline constexpr KeyCode keyCtrlTab = extendedKey(148);

}  // namespace screen
