// The output file in a browser. The page's file worker (file_worker.js)
// writes it: into the origin's private file system where the browser has
// one, through a synchronous access handle, or else into the worker's own
// memory. Either way the file never passes through the page's memory, and
// the page is handed it whole once it is closed. The program asks through
// a record in its shared memory and waits for each answer, as it would for
// a system call; the worker never waits for the program.
//
// Once the worker has the file's whole length from the storage quota (or
// in memory), no write can fail for want of room: the pieces then go to
// it sixteen at a time, which a browser writes several times faster than
// one by one and which spares the two threads most of their wake-ups, and
// lister gathers the next sixteen while the worker writes. Otherwise each
// piece goes as it comes, so that the one that does not fit fails. (Gathered pieces that fail all the same, the disk itself failing,
// leave the file at its last whole piece before them, and the close fails.)
#include <emscripten/emscripten.h>
#include <emscripten/threading.h>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "platform/platform.h"

namespace platform {
namespace {

enum Operation : std::int32_t { openFile = 1, writeFile = 2, cutFile = 3, closeFile = 4 };

constexpr std::size_t longestName = 63;
constexpr std::size_t stagingBytes = std::size_t{1} << 20;
constexpr double openedWithRoom = 2;  // open's answer when the whole length is the file's
// The worker starts with the page; a page without one gives no file.
constexpr int serveWaitMilliseconds = 30000;
constexpr int serveWaitStep = 100;

// The request and its answer. file_worker.js reads and writes it by these
// byte offsets, which the asserts below keep.
struct alignas(8) FileChannel {
    std::atomic<std::int32_t> serving{0};   // 0: 1 once the worker answers
    std::atomic<std::int32_t> requests{0};  // 4: raised by the program for each request
    std::atomic<std::int32_t> answers{0};   // 8: raised by the worker for each answer
    std::int32_t operation = 0;             // 12
    std::uint32_t bytes = 0;                // 16: the address of the bytes to write
    std::uint32_t length = 0;               // 20: how many
    // 24: open: the length the file will reach (0 when not known); cut:
    // the length to keep.
    double length64 = 0;
    // 32: write: the bytes written; open: 0, 1, or 2 when the file also has
    // its whole length (openedWithRoom); cut, close: 1 or 0.
    double result = 0;
    char name[longestName + 1] = {};  // 40: open: the file's name, UTF-8
};
static_assert(std::is_standard_layout_v<FileChannel>);
static_assert(sizeof(std::atomic<std::int32_t>) == 4);
static_assert(offsetof(FileChannel, requests) == 4 && offsetof(FileChannel, answers) == 8 &&
              offsetof(FileChannel, operation) == 12 && offsetof(FileChannel, bytes) == 16 &&
              offsetof(FileChannel, length) == 20 && offsetof(FileChannel, length64) == 24 &&
              offsetof(FileChannel, result) == 32 && offsetof(FileChannel, name) == 40);

FileChannel channel;

// The pieces gathered for the worker, when the file has its room: two
// buffers, one being filled while the worker writes the other.
struct Staging {
    bool on = false;
    int filling = 0;
    std::size_t used = 0;
    std::size_t writing = 0;  // the bytes of the other buffer being written
    alignas(16) char bytes[2][stagingBytes];
};
Staging staging;

bool workerServes() {
    for (int waited = 0; channel.serving.load(std::memory_order_acquire) == 0; waited += serveWaitStep) {
        if (waited >= serveWaitMilliseconds) return false;
        emscripten_futex_wait(&channel.serving, 0, serveWaitStep);
    }
    return true;
}

// One request at a time, from the program's thread alone: it is answered
// before the next is posted.
void post(Operation operation) {
    channel.operation = operation;
    channel.requests.fetch_add(1, std::memory_order_seq_cst);
    emscripten_futex_wake(&channel.requests, 1);
}

double answer() {
    const std::int32_t asked = channel.requests.load(std::memory_order_relaxed);
    for (;;) {
        const std::int32_t answered = channel.answers.load(std::memory_order_acquire);
        if (answered == asked) return channel.result;
        emscripten_futex_wait(&channel.answers, static_cast<std::uint32_t>(answered), INFINITY);
    }
}

double ask(Operation operation) {
    post(operation);
    return answer();
}

void postWrite(const char* bytes, std::size_t length) {
    channel.bytes = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(bytes));
    channel.length = static_cast<std::uint32_t>(length);
    post(writeFile);
}

// Waits for the gathered pieces being written: false when they failed.
bool settle() {
    const std::size_t writing = staging.writing;
    staging.writing = 0;
    return writing == 0 || static_cast<std::size_t>(answer()) == writing;
}

// Hands the gathered pieces to the worker and gathers on in the other
// buffer meanwhile: false when the ones handed over before failed.
bool handOverStaged() {
    if (!settle()) {
        staging.used = 0;
        return false;
    }
    if (staging.used == 0) return true;
    postWrite(staging.bytes[staging.filling], staging.used);
    staging.writing = staging.used;
    staging.filling ^= 1;
    staging.used = 0;
    return true;
}

}  // namespace

bool openOutputFile(OutputFile& file, const std::string& path) {
    // Only the name counts: the folder is the page's own.
    const std::string name = path.substr(path.rfind('/') + 1);
    if (name.empty() || name.size() > longestName || !workerServes()) return false;
    std::memcpy(channel.name, name.c_str(), name.size() + 1);
    channel.length64 = static_cast<double>(file.expectedLength);
    const double opened = ask(openFile);
    if (opened == 0) return false;
    staging.on = opened == openedWithRoom;
    staging.used = 0;
    staging.writing = 0;
    file.handle = 1;
    file.onDisk = true;  // it can be cut back
    return true;
}

std::size_t writeOutputFile(OutputFile&, const char* bytes, std::size_t length) {
    if (staging.on && length <= stagingBytes) {
        // Gathered pieces that fail take the file's end back to before
        // them: the worker keeps what came earlier, and fails what follows.
        if (staging.used + length > stagingBytes && !handOverStaged()) return 0;
        std::memcpy(staging.bytes[staging.filling] + staging.used, bytes, length);
        staging.used += length;
        return length;
    }
    if (!(handOverStaged() && settle())) return 0;
    postWrite(bytes, length);
    return static_cast<std::size_t>(answer());
}

void cutOutputFile(OutputFile&, std::uint64_t length) {
    handOverStaged();
    settle();
    channel.length64 = static_cast<double>(length);
    ask(cutFile);
}

bool closeOutputFile(OutputFile& file) {
    const bool written = handOverStaged() && settle();
    const bool closed = ask(closeFile) == 1;
    staging.on = false;
    file = {};
    return written && closed;
}

}  // namespace platform

// Where the record is, for the page to hand to its file worker.
extern "C" EMSCRIPTEN_KEEPALIVE std::uintptr_t lister_web_file_channel() {
    return reinterpret_cast<std::uintptr_t>(&platform::channel);
}
