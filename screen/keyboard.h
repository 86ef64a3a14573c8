// What the program reads from the keyboard of the one open screen. Every
// operation holds the screen lock; keys come in through the back ends
// (key_queue.h) and key_delivery.h.
#pragma once

#include <string>

#include "screen/keys/key_queue.h"

namespace screen {

KeyCode takeKey();  // 0 when empty; clears the key-posted flag either way
bool keyWaiting();
bool takeKeyPostedFlag();

// The oldest key as text: empty, one character, or 255 then the extended
// code. Never waits.
std::string pollKey();
// Returns once a key has been posted since the last poll or wait (that key
// stays queued), or when no key can be posted any more.
void waitForKey();

}  // namespace screen
