// The headless back end: nothing is shown, and keys come as a script on a
// file descriptor (standard input by default). Every byte 1-255 is that
// character; a 0 byte followed by x is the extended key x. Bytes are posted
// only while the queue has room, so a script never loses a key.
#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "screen/back_end.h"
#include "screen/keyboard.h"

namespace screen {
namespace {

struct Headless {
    int fd = 0;
    bool ended = false;
    std::vector<std::uint8_t> pending;  // read but not yet posted
    std::size_t next = 0;
};

Headless& state(BackEnd& b) { return *static_cast<Headless*>(b.state); }

bool wantsBytes(const Headless& h) { return !h.ended && h.next == h.pending.size(); }

bool open(BackEnd& b, const BackEndSetup& setup, std::string&) {
    auto* h = new Headless;
    h->fd = setup.inputFd;
    b.state = h;
    return true;
}

void waitForInput(BackEnd& b, int milliseconds) {
    Headless& h = state(b);
    if (wantsBytes(h))
        platform::waitForInputOn(h.fd, milliseconds);
    else
        platform::sleepMilliseconds(milliseconds);
}

void readMore(Headless& h) {
    std::uint8_t chunk[4096];
    const long got = platform::readAvailableInput(h.fd, chunk, sizeof chunk);
    if (got < 0) h.ended = true;
    if (got <= 0) return;
    // Keep an unfinished extended key (a 0 at the very end) for the next read.
    std::vector<std::uint8_t> kept(h.pending.begin() + static_cast<std::ptrdiff_t>(h.next), h.pending.end());
    kept.insert(kept.end(), chunk, chunk + got);
    h.pending = std::move(kept);
    h.next = 0;
}

void takeInput(BackEnd& b) {
    Headless& h = state(b);
    if (!h.ended && h.pending.size() - h.next < 2) readMore(h);
    while (h.next < h.pending.size() && keyRoom() > 0) {
        const std::uint8_t byte = h.pending[h.next];
        if (byte != 0) {
            postKey(byte);
            ++h.next;
        } else if (h.next + 1 < h.pending.size()) {
            postKey(extendedKey(h.pending[h.next + 1]));
            h.next += 2;
        } else {
            if (h.ended) ++h.next;  // a lone 0 at the end of the script
            break;
        }
    }
    if (h.ended && h.next >= h.pending.size()) markInputEnded();
}

void upload(BackEnd&, const TextScreen&, LineSpan) {}
void present(BackEnd&) {}

void close(BackEnd& b) {
    delete &state(b);
    b.state = nullptr;
}

}  // namespace

BackEnd headlessBackEnd() {
    return {"headless", nullptr, open, waitForInput, takeInput, upload, present, close, nullptr};  // silent
}

}  // namespace screen
