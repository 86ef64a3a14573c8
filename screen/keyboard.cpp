#include "screen/keyboard.h"

#include <chrono>
#include <mutex>

#include "platform/platform.h"
#include "screen/key_delivery.h"
#include "screen/session.h"

namespace screen {
namespace {

constexpr int keyWaitMilliseconds = 50;

// True once the source has ended: no key will be posted any more.
bool inputEnded() {
    ScreenSession* s = openSession;
    if (!s) return true;
    ScreenLockHold hold(s->lock);
    return s->keys.inputEnded;
}

}  // namespace

void signalKeyDeliveries(ScreenSession& s) {
    // Notified under the mutex, so a waiter cannot miss it between its test
    // and its sleep.
    std::lock_guard<std::mutex> guard(s.keySignal.mutex);
    s.keySignal.deliveries = s.keys.deliveries;
    s.keySignal.arrived.notify_all();
}

void postKey(KeyCode code) {
    ScreenSession* s = openSession;
    if (!s) return;
    ScreenLockHold hold(s->lock);
    queueKey(s->keys, code);
    ++s->keys.deliveries;
    signalKeyDeliveries(*s);
}

void offerKeys(const KeyCode* codes, std::size_t count) {
    ScreenSession* s = openSession;
    if (!s || count == 0) return;
    ScreenLockHold hold(s->lock);
    for (std::size_t i = 0; i < count; ++i) offerKey(s->keys, codes[i]);
    signalKeyDeliveries(*s);
}

std::uint64_t keyDeliveries() {
    ScreenSession* s = openSession;
    if (!s) return 0;
    std::lock_guard<std::mutex> guard(s->keySignal.mutex);
    return s->keySignal.deliveries;
}

void sleepUntilKeyDelivered(std::uint64_t since, int milliseconds) {
    ScreenSession* s = openSession;
    if (!s) {
        platform::sleepMilliseconds(milliseconds);
        return;
    }
    std::unique_lock<std::mutex> guard(s->keySignal.mutex);
    s->keySignal.arrived.wait_for(guard, std::chrono::milliseconds(milliseconds),
                                  [&] { return s->keySignal.deliveries != since; });
}

bool takeKeyPostedFlag() {
    ScreenSession* s = openSession;
    if (!s) return false;
    ScreenLockHold hold(s->lock);
    const bool posted = s->keys.keyPosted;
    s->keys.keyPosted = false;
    return posted;
}

KeyCode takeKey() {
    ScreenSession* s = openSession;
    if (!s) return 0;
    ScreenLockHold hold(s->lock);
    const KeyCode code = dequeueKey(s->keys);
    takeKeyPostedFlag();
    return code;
}

bool keyWaiting() {
    ScreenSession* s = openSession;
    if (!s) return false;
    ScreenLockHold hold(s->lock);
    return queuedKeys(s->keys) > 0;
}

bool inputExhausted() {
    ScreenSession* s = openSession;
    if (!s) return true;
    ScreenLockHold hold(s->lock);
    return s->keys.inputEnded && queuedKeys(s->keys) == 0;
}

std::string pollKey() {
    const KeyCode code = takeKey();
    if (code <= 0) return {};
    if (code <= 255) return std::string(1, static_cast<char>(code));
    return {static_cast<char>(255), static_cast<char>(code / 256)};
}

void waitForKey() {
    for (;;) {
        const std::uint64_t since = keyDeliveries();
        if (takeKeyPostedFlag()) return;
        // No key can be posted any more, even if some are still queued.
        if (inputEnded()) return;
        sleepUntilKeyDelivered(since, keyWaitMilliseconds);
    }
}

}  // namespace screen
