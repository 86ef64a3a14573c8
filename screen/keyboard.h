// Keys of the one open screen: the queue the window thread posts into and
// the reads the program makes. Every operation holds the screen lock.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

#include "screen/key_queue.h"

namespace screen {

void postKey(KeyCode code);
KeyCode takeKey();  // 0 when empty; clears the key-posted flag either way
bool keyWaiting();
bool takeKeyPostedFlag();
// How many more keys fit before the queue starts dropping the oldest.
int keyRoom();
// The key source has ended for good (a key script ran out).
void markInputEnded();
// True once the source has ended: no key will be posted any more.
bool inputEnded();
// True once the source has ended and every key it gave has been taken.
bool inputExhausted();

// Keys a back end has taken from the system that the queue has no room for
// yet. They wait here, as they would in the system's own queue, so that a
// burst taken in one go cannot push typed-ahead keys out of the queue.
struct KeyBacklog {
    static constexpr std::size_t limit = 4096;  // beyond it the oldest go
    std::deque<KeyCode> keys;
};
void holdKey(KeyBacklog& backlog, KeyCode code);
// Posts the held keys, oldest first, as far as the queue has room.
void postHeldKeys(KeyBacklog& backlog);

// The oldest key as text: empty, one character, or 255 then the extended
// code. Never waits.
std::string pollKey();
// Returns once a key has been posted since the last poll or wait (that key
// stays queued), or when no key can be posted any more.
void waitForKey();

}  // namespace screen
