// How the window's SDL events become key codes. Pure procedures over SDL's
// event records: nothing here needs a display, so the tests feed them
// events made by hand.
#pragma once

#include <SDL_events.h>

#include <array>
#include <cstdint>

#include "screen/keys/key_queue.h"

namespace screen {

// What the keyboard did last, kept between events: a text event carries no
// modifiers of its own, so it is judged by those of the key event before it.
struct WindowKeyboard {
    std::uint16_t lastModifiers = 0;
};

// What one event asks for: the keys to post, oldest first, and whether
// Alt+Enter asked to switch between window and full screen.
struct WindowInput {
    std::array<KeyCode, SDL_TEXTINPUTEVENT_TEXT_SIZE> keys{};
    int keyCount = 0;
    bool toggleFullScreen = false;
};

// The code of a key press that makes no character of its own: Enter,
// Backspace, Tab, ESC, Ctrl+letter, and the extended keys with their Shift
// and Ctrl variants. 0 for a key whose character comes as text, or that has
// no code at all.
KeyCode keyDownCode(SDL_Scancode scancode, SDL_Keycode symbol, std::uint16_t modifiers);

// Key presses, key releases, typed text and the close button; every other
// event asks for nothing here.
WindowInput translateEvent(WindowKeyboard& keyboard, const SDL_Event& event);

}  // namespace screen
