// The output file in a browser. The page's file worker (file_worker.js)
// writes it: into the origin's private file system where the browser has
// one, through a synchronous access handle, or else into the worker's own
// memory. Either way the file never passes through the page's memory, and
// the page is handed it whole once it is closed. The program asks through
// a record in its shared memory and waits for each answer, as it would for
// a system call; the worker never waits for the program.
//
// Once the worker has the file's whole length from the storage quota (or
// in memory), no write can fail for want of room: the pieces are then
// gathered fifteen at a time, which a browser writes faster than one by
// one and which spares the two threads most of their wake-ups, and the
// worker writes them while lister gathers the next fifteen. The listing fills them in place (outputSpace), and the worker
// writes from that memory, so no piece is copied on its way. Otherwise
// each piece goes as it comes, so that the one that does not fit fails.
// (Gathered pieces that fail all the same, the disk itself failing, leave
// the file at its last whole piece before them: see writeOutputFile.)
#include <emscripten/emscripten.h>
#include <emscripten/threading.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
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

// The request and its answer. file_worker.js finds its fields through
// the map lister_web_file_channel gives.
struct alignas(8) FileChannel {
    std::atomic<std::int32_t> serving{0};   // 1 once the worker answers
    std::atomic<std::int32_t> requests{0};  // raised by the program for each request
    std::atomic<std::int32_t> answers{0};   // raised by the worker for each answer
    std::int32_t operation = 0;
    std::uint32_t bytes = 0;   // the address of the bytes to write
    std::uint32_t length = 0;  // how many
    // open: the length the file will reach (0 when not known); cut: the
    // length to keep.
    double length64 = 0;
    // write: the bytes written; open: 0, 1, or 2 when the file also has
    // its whole length (openedWithRoom); cut, close: 1 or 0.
    double result = 0;
    char name[longestName + 1] = {};  // open: the file's name, UTF-8
};
static_assert(std::is_standard_layout_v<FileChannel>);
static_assert(sizeof(std::atomic<std::int32_t>) == 4);

FileChannel channel;

// The pieces gathered for the worker, when the file has its room: two
// halves, one being filled while the worker writes the other.
struct Staging {
    bool on = false;
    int filling = 0;
    std::size_t used = 0;
    std::size_t room = 0;     // the largest space asked for: kept free for the next piece
    std::size_t writing = 0;  // the bytes of the other half being written
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

bool answered() {
    return channel.answers.load(std::memory_order_acquire) == channel.requests.load(std::memory_order_relaxed);
}

void postWrite(const char* bytes, std::size_t length) {
    channel.bytes = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(bytes));
    channel.length = static_cast<std::uint32_t>(length);
    post(writeFile);
}

char* gathering() { return staging.bytes[staging.filling] + staging.used; }

// Waits for the gathered pieces being written, counting them in: false
// when they failed.
bool settle(OutputFile& file) {
    const std::size_t writing = staging.writing;
    staging.writing = 0;
    if (writing == 0) return true;
    if (static_cast<std::size_t>(answer()) != writing) return false;
    file.length += writing;
    return true;
}

// Hands the gathered pieces to the worker and gathers on in the other half
// meanwhile: false when the ones handed over before failed, and those
// gathered since are dropped.
bool handOverStaged(OutputFile& file) {
    if (!settle(file)) {
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
    file.length = 0;
    if (name.empty() || name.size() > longestName || !workerServes()) return false;
    std::memcpy(channel.name, name.c_str(), name.size() + 1);
    channel.length64 = static_cast<double>(file.expectedLength);
    const double opened = ask(openFile);
    if (opened == 0) return false;
    staging.on = opened == openedWithRoom;
    staging.used = staging.room = staging.writing = 0;
    file.handle = 1;
    file.onDisk = true;  // it can be cut back
    return true;
}

char* outputSpace(OutputFile&, char* own, std::size_t room) {
    if (!staging.on || room > stagingBytes) return own;
    staging.room = std::max(staging.room, room);
    return staging.used + room <= stagingBytes ? gathering() : own;
}

std::size_t writeOutputFile(OutputFile& file, const char* bytes, std::size_t length) {
    if (staging.on && length <= stagingBytes) {
        // Pieces handed over that failed end the file before them: this
        // one and those gathered with it go too.
        if (staging.writing != 0 && answered() && !settle(file)) {
            staging.used = 0;
            return 0;
        }
        if (bytes != gathering()) {  // not filled in place
            if (staging.used + length > stagingBytes && !handOverStaged(file)) return 0;
            std::memcpy(gathering(), bytes, length);
        }
        staging.used += length;
        if (staging.used + staging.room > stagingBytes && !handOverStaged(file)) return 0;
        return length;
    }
    if (!(handOverStaged(file) && settle(file))) return 0;
    postWrite(bytes, length);
    const auto written = static_cast<std::size_t>(answer());
    file.length += written;
    return written;
}

void cutOutputFile(OutputFile& file, std::uint64_t length) {
    handOverStaged(file);
    settle(file);
    channel.length64 = static_cast<double>(length);
    if (ask(cutFile) == 1) file.length = std::min(file.length, length);
}

bool closeOutputFile(OutputFile& file) {
    const bool written = handOverStaged(file) && settle(file);
    const bool closed = ask(closeFile) == 1;
    staging.on = false;
    file = {.length = file.length};
    return written && closed;
}

}  // namespace platform

// Where the record is and how it is laid out, for the page to hand to its
// file worker: the one source of the byte offsets and request numbers
// file_worker.js uses, as JSON. Made without allocating, on the page's
// thread, while lister runs.
extern "C" EMSCRIPTEN_KEEPALIVE const char* lister_web_file_channel() {
    using platform::FileChannel;
    struct Named {
        const char* name;
        std::size_t value;
    };
    const Named fields[] = {
        {"at", reinterpret_cast<std::uintptr_t>(&platform::channel)}, {"size", sizeof(FileChannel)},
        {"serving", offsetof(FileChannel, serving)}, {"requests", offsetof(FileChannel, requests)},
        {"answers", offsetof(FileChannel, answers)}, {"operation", offsetof(FileChannel, operation)},
        {"bytes", offsetof(FileChannel, bytes)}, {"length", offsetof(FileChannel, length)},
        {"length64", offsetof(FileChannel, length64)}, {"result", offsetof(FileChannel, result)},
        {"name", offsetof(FileChannel, name)}, {"openFile", platform::openFile},
        {"writeFile", platform::writeFile}, {"cutFile", platform::cutFile}, {"closeFile", platform::closeFile},
        {"openedWithRoom", static_cast<std::size_t>(platform::openedWithRoom)},
    };
    static char map[512];  // room for twice the fields above
    int used = 0;
    for (const Named& field : fields)
        used += std::snprintf(map + used, sizeof map - static_cast<std::size_t>(used), "%c\"%s\":%zu",
                              used == 0 ? '{' : ',', field.name, field.value);
    std::snprintf(map + used, sizeof map - static_cast<std::size_t>(used), "}");
    return map;
}
