// Keys of the one open screen: the queue the window thread posts into and
// the reads the program makes. Every operation holds the screen lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "screen/keys/key_queue.h"

namespace screen {

void postKey(KeyCode code);
KeyCode takeKey();  // 0 when empty; clears the key-posted flag either way
bool keyWaiting();
bool takeKeyPostedFlag();

// What the back ends call. A key they deliver is never dropped for want of
// room: beyond the queue's fifteen it is held, in order, and each take
// moves the oldest held key into the queue at once.
void offerKeys(const KeyCode* codes, std::size_t count);
inline void offerKey(KeyCode code) { offerKeys(&code, 1); }
// How many more keys a back end that reads ahead (a key script, a
// terminal) may offer; it reads no more while this is 0, so it never
// loses one.
int keyRoom();
// The key source has ended for good (a key script ran out).
void markInputEnded();
// True once the source has ended: no key will be posted any more.
bool inputEnded();
// True once the source has ended and every key it gave has been taken.
bool inputExhausted();

// Waiting without the screen lock, woken as soon as a key arrives: take
// `keyDeliveries()` before looking at the queue, then sleep with it, so a
// key delivered in between wakes the sleep at once.
std::uint64_t keyDeliveries();
// Sleeps up to `milliseconds`, less once a key is delivered or the input
// ends after `since` was taken.
void sleepUntilKeyDelivered(std::uint64_t since, int milliseconds);

// The oldest key as text: empty, one character, or 255 then the extended
// code. Never waits.
std::string pollKey();
// Returns once a key has been posted since the last poll or wait (that key
// stays queued), or when no key can be posted any more.
void waitForKey();

}  // namespace screen
