// Keys into the open screen's queue from outside the program's reads, and
// the waits that wake when they arrive: for the window thread, the line
// editor and tests. The program's own code reads through keyboard.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "screen/keys/key_queue.h"

namespace screen {

// Into the queue as it stands: on a full queue the oldest key goes.
void postKey(KeyCode code);
// As a back end delivers them: none lost, beyond fifteen held in order.
void offerKeys(const KeyCode* codes, std::size_t count);
// True once the source has ended and every key it gave has been taken.
bool inputExhausted();

// Waiting without the screen lock, woken as soon as a key arrives: take
// `keyDeliveries()` before looking at the queue, then sleep with it, so a
// key delivered in between wakes the sleep at once.
std::uint64_t keyDeliveries();
// Sleeps up to `milliseconds`, less once a key is delivered or the input
// ends after `since` was taken.
void sleepUntilKeyDelivered(std::uint64_t since, int milliseconds);

}  // namespace screen
