// The screen lock: re-entrant, so an operation may call others while it
// holds it; a nested take only counts. Taking it free costs one atomic
// exchange and releasing it one store, which matters because the screen
// listing takes it for every combination it draws.
#pragma once

#include <atomic>

namespace screen {

struct ScreenLock {
    std::atomic<bool> held{false};
    std::atomic<const void*> owner{nullptr};
    int depth = 0;  // touched only by the owner
};

// The address of a thread-local byte names the thread at the cost of one
// instruction, where asking the system for the thread id is a call.
inline const void* currentThreadTag() {
    static thread_local char tag;
    return &tag;
}

void acquireSlowly(ScreenLock& lock);

inline void lockScreenLock(ScreenLock& lock) {
    const void* me = currentThreadTag();
    if (lock.owner.load(std::memory_order_relaxed) == me) {
        ++lock.depth;
        return;
    }
    if (lock.held.exchange(true, std::memory_order_acquire)) acquireSlowly(lock);
    lock.owner.store(me, std::memory_order_relaxed);
    lock.depth = 1;
}

inline void unlockScreenLock(ScreenLock& lock) {
    if (--lock.depth > 0) return;
    lock.owner.store(nullptr, std::memory_order_relaxed);
    lock.held.store(false, std::memory_order_release);
}

// Holds the lock for a scope.
struct ScreenLockHold {
    explicit ScreenLockHold(ScreenLock& l) : lock(l) { lockScreenLock(lock); }
    ~ScreenLockHold() { unlockScreenLock(lock); }
    ScreenLockHold(const ScreenLockHold&) = delete;
    ScreenLockHold& operator=(const ScreenLockHold&) = delete;
    ScreenLock& lock;
};

}  // namespace screen
