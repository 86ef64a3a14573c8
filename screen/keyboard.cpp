#include "screen/keyboard.h"

#include "platform/platform.h"
#include "screen/session.h"

namespace screen {
namespace {
constexpr int keyWaitMilliseconds = 50;
}

void postKey(KeyCode code) {
    ScreenSession* s = openSession;
    if (!s) return;
    ScreenLockHold hold(s->lock);
    queueKey(s->keys, code);
}

void holdKey(KeyBacklog& backlog, KeyCode code) {
    if (backlog.keys.size() >= KeyBacklog::limit) backlog.keys.pop_front();
    backlog.keys.push_back(code);
}

void postHeldKeys(KeyBacklog& backlog) {
    ScreenSession* s = openSession;
    if (!s) return;
    ScreenLockHold hold(s->lock);
    for (int room = keyRoom(); room > 0 && !backlog.keys.empty(); --room) {
        postKey(backlog.keys.front());
        backlog.keys.pop_front();
    }
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

int keyRoom() {
    ScreenSession* s = openSession;
    if (!s) return 0;
    ScreenLockHold hold(s->lock);
    return KeyQueue::slotCount - 1 - queuedKeys(s->keys);
}

void markInputEnded() {
    ScreenSession* s = openSession;
    if (!s) return;
    ScreenLockHold hold(s->lock);
    s->keys.inputEnded = true;
}

bool inputEnded() {
    ScreenSession* s = openSession;
    if (!s) return true;
    ScreenLockHold hold(s->lock);
    return s->keys.inputEnded;
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
    while (!takeKeyPostedFlag()) {
        // No key can be posted any more, even if some are still queued.
        if (inputEnded()) return;
        platform::sleepMilliseconds(keyWaitMilliseconds);
    }
}

}  // namespace screen
