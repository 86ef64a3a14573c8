#include "screen/screen_lock.h"

#include <thread>

#include "platform/platform.h"

namespace screen {

// The other thread holds the lock for one short step: the program thread
// for one operation (a print, a scroll), the window thread for taking the
// keys, drawing the pending cells and copying the changed lines, which
// after a whole-screen change takes a millisecond or so. So spin briefly,
// then yield, then nap.
void acquireSlowly(ScreenLock& lock) {
    for (int attempt = 0;; ++attempt) {
        if (!lock.held.load(std::memory_order_relaxed) &&
            !lock.held.exchange(true, std::memory_order_acquire))
            return;
        if (attempt < 64) {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        } else if (attempt < 1000) {
            std::this_thread::yield();
        } else {
            platform::napMicroseconds(50);
        }
    }
}

}  // namespace screen
