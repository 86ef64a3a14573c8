// How the page's key presses become key codes. The page hands over each
// key press as the browser reports it: the key's name, or the character it
// types (KeyboardEvent.key), and the modifiers held. Pure: nothing here
// needs a browser, so the tests feed it presses made by hand.
#pragma once

#include <string_view>

#include "screen/keys/key_queue.h"

namespace screen {

// The modifier states of a key press, as bits.
inline constexpr unsigned webShift = 1;
inline constexpr unsigned webCtrl = 2;
inline constexpr unsigned webAlt = 4;
inline constexpr unsigned webAltGraph = 8;
inline constexpr unsigned webRepeat = 16;  // the key is held down

// What the page does with a press. The values are the page's too.
enum class WebKeyAction : int {
    passOn = 0,            // not lister's: the browser may use it
    taken = 1,             // lister's (a key to post, or consumed): the browser must not act on it
    toggleFullScreen = 2,  // Alt+Enter
};

struct WebKey {
    WebKeyAction action = WebKeyAction::passOn;
    KeyCode code = 0;  // the key to post, 0 for none
};

WebKey webKeyDown(std::string_view key, unsigned modifiers);

}  // namespace screen
