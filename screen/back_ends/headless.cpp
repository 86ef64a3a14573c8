// The headless back end: nothing is shown, and keys come as a script on a
// file descriptor (standard input by default). Every byte 1-255 is that
// character; a 0 byte followed by x is the extended key x (x = 0 names no
// key and gives none). The script is read ahead as far as the keyboard
// holds keys, so every key already written is there for the next read and
// none is ever lost.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/platform.h"
#include "screen/back_end.h"

namespace screen {
namespace {

constexpr std::size_t readChunk = 65536;

struct Headless {
    int fd = 0;
    bool ended = false;
    bool extendedNext = false;  // a 0 byte ended the last read
    int room = 1;               // room in the key queue at the last look
    std::vector<std::uint8_t> chunk = std::vector<std::uint8_t>(readChunk);
    // Once there is nothing to read, the waits end early only for closing.
    std::mutex wakeMutex;
    std::condition_variable wakeSignal;
    bool woken = false;
};

Headless& state(BackEnd& b) { return *static_cast<Headless*>(b.state); }

bool wantsBytes(const Headless& h) { return !h.ended && h.room > 0; }

bool open(BackEnd& b, const BackEndSetup& setup, std::string&) {
    auto* h = new Headless;
    h->fd = setup.inputFd;
    b.state = h;
    return true;
}

void waitForInput(BackEnd& b, int milliseconds) {
    Headless& h = state(b);
    if (wantsBytes(h)) {
        platform::waitForInputOn(h.fd, milliseconds);
        return;
    }
    std::unique_lock<std::mutex> guard(h.wakeMutex);
    h.wakeSignal.wait_for(guard, std::chrono::milliseconds(milliseconds), [&] { return h.woken; });
}

void wake(BackEnd& b) {
    Headless& h = state(b);
    std::lock_guard<std::mutex> guard(h.wakeMutex);
    h.woken = true;
    h.wakeSignal.notify_all();
}

void offerBytes(Headless& h, KeyQueue& queue, const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (h.extendedNext) {
            h.extendedNext = false;
            if (bytes[i] != 0) offerKey(queue, extendedKey(bytes[i]));
        } else if (bytes[i] == 0) {
            h.extendedNext = true;
        } else {
            offerKey(queue, bytes[i]);
        }
    }
}

// Everything the script holds now, as far as the queue has room: a byte
// gives at most one key, so reading no more bytes than that room never
// overfills it.
void takeInput(BackEnd& b, KeyQueue& queue) {
    Headless& h = state(b);
    for (h.room = keyRoom(queue); wantsBytes(h); h.room = keyRoom(queue)) {
        const std::size_t most = std::min(h.chunk.size(), static_cast<std::size_t>(h.room));
        const long got = platform::readAvailableInput(h.fd, h.chunk.data(), most);
        if (got < 0) h.ended = true;
        if (got <= 0) break;
        offerBytes(h, queue, h.chunk.data(), static_cast<std::size_t>(got));
    }
    if (h.ended) markInputEnded(queue);  // a lone 0 at the very end gives nothing
}

void upload(BackEnd&, const TextScreen&, LineSpan) {}
void present(BackEnd&) {}

void close(BackEnd& b) {
    delete &state(b);
    b.state = nullptr;
}

}  // namespace

BackEnd headlessBackEnd() {
    return {"headless", nullptr, open, waitForInput, takeInput, upload, present, close, nullptr /* silent */, wake};
}

}  // namespace screen
