// The key queue as plain data: a ring of 16 slots that holds at most 15
// keys, with the flag that tells a key was posted since it was last taken,
// and the keys a back end delivered beyond those fifteen, held in order.
// A back end's takeInput gets the open screen's queue, under the screen
// lock, and delivers with offerKey, keyRoom and markInputEnded.
#pragma once

#include <array>
#include <cstdint>
#include <deque>

namespace screen {

// A key: 1-255 a typed character in code page 437, x * 256 + 255 an
// extended key with PC extended code x, 0 none.
using KeyCode = std::int32_t;

constexpr KeyCode extendedKey(int code) { return code * 256 + 255; }

// Keys that type a control character.
inline constexpr KeyCode keyBackspace = 8;
inline constexpr KeyCode keyTab = 9;
inline constexpr KeyCode keyCtrlEnter = 10;
inline constexpr KeyCode keyEnter = 13;
inline constexpr KeyCode keyEscape = 27;
inline constexpr KeyCode keyCtrlBackspace = 127;

inline constexpr KeyCode keyHome = extendedKey(71);
inline constexpr KeyCode keyUp = extendedKey(72);
inline constexpr KeyCode keyLeft = extendedKey(75);
inline constexpr KeyCode keyRight = extendedKey(77);
inline constexpr KeyCode keyEnd = extendedKey(79);
inline constexpr KeyCode keyDown = extendedKey(80);
inline constexpr KeyCode keyDelete = extendedKey(83);
inline constexpr KeyCode keyCloseRequest = extendedKey(107);

struct KeyQueue {
    static constexpr int slotCount = 16;
    // Typed-ahead keys beyond the ring wait here instead of pushing older
    // ones out; only a flood past this many loses its oldest held keys.
    static constexpr std::size_t heldLimit = 65536;
    std::array<KeyCode, slotCount> slots{};
    int readIndex = 0;
    int writeIndex = 0;
    bool keyPosted = false;
    bool inputEnded = false;  // the key source has ended for good
    std::deque<KeyCode> held;  // never holds a key while the ring has room
    std::uint64_t deliveries = 0;  // keys offered and ends marked, to wake waits
};

inline int queuedKeys(const KeyQueue& q) {
    return (q.writeIndex - q.readIndex + KeyQueue::slotCount) % KeyQueue::slotCount;
}

// On a full queue the oldest key is dropped to make room.
inline void queueKey(KeyQueue& q, KeyCode code) {
    q.slots[static_cast<std::size_t>(q.writeIndex)] = code;
    q.writeIndex = (q.writeIndex + 1) % KeyQueue::slotCount;
    if (q.writeIndex == q.readIndex) q.readIndex = (q.readIndex + 1) % KeyQueue::slotCount;
    q.keyPosted = true;
}

// A key delivered by a back end: queued behind the keys before it, into
// the ring while nothing is held and it has room, otherwise held.
inline void offerKey(KeyQueue& q, KeyCode code) {
    ++q.deliveries;
    if (q.held.empty() && queuedKeys(q) < KeyQueue::slotCount - 1) {
        queueKey(q, code);
        return;
    }
    if (q.held.size() >= KeyQueue::heldLimit) q.held.pop_front();
    q.held.push_back(code);
    q.keyPosted = true;
}

// The oldest key, 0 when none. The oldest held key takes the freed slot in
// the same step, so the ring is never empty while a key is held.
inline KeyCode dequeueKey(KeyQueue& q) {
    if (q.readIndex == q.writeIndex) return 0;
    const KeyCode code = q.slots[static_cast<std::size_t>(q.readIndex)];
    q.readIndex = (q.readIndex + 1) % KeyQueue::slotCount;
    if (!q.held.empty()) {
        queueKey(q, q.held.front());
        q.held.pop_front();
    }
    return code;
}

// Keys waiting in the ring and held behind it.
inline std::size_t keysAhead(const KeyQueue& q) { return static_cast<std::size_t>(queuedKeys(q)) + q.held.size(); }

// How many more keys a back end that reads ahead (a key script, a
// terminal) may offer; it reads no more while this is 0, so it never
// loses one.
inline int keyRoom(const KeyQueue& q) {
    constexpr std::size_t budget = KeyQueue::slotCount - 1 + KeyQueue::heldLimit;
    const std::size_t ahead = keysAhead(q);
    return static_cast<int>(ahead < budget ? budget - ahead : 0);
}

// The key source has ended for good (a key script ran out).
inline void markInputEnded(KeyQueue& q) {
    if (q.inputEnded) return;
    q.inputEnded = true;
    ++q.deliveries;
}

}  // namespace screen
