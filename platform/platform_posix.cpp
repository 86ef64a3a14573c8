// The platform layer on Linux and other POSIX systems, the browser among them.
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __EMSCRIPTEN__
#include <emscripten/threading.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace platform {

#ifdef __EMSCRIPTEN__
// In a browser the program is lister.wasm in a folder of its own in the
// in-memory file system, made the first time anyone asks: the file it
// writes lands beside it, and the page hands it to the user from there.
constexpr const char* webFolder = "/lister";
constexpr const char* webExecutable = "/lister/lister.wasm";

std::string executablePath() {
    static const int made = mkdir(webFolder, 0755);
    (void)made;  // when it fails, creating the file says so
    return webExecutable;
}
#else
std::string executablePath() {
    // readlink reports no length of its own: grow until the link fits.
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}
#endif

double clockSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void sleepMilliseconds(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

#ifdef __EMSCRIPTEN__
// In a browser the C library spins through sleeps this short; a futex wait
// with a time limit gives the worker's processor away meanwhile.
void napMicroseconds(int microseconds) {
    static std::uint32_t unchanging = 0;
    emscripten_futex_wait(&unchanging, 0, microseconds / 1000.0);
}
#else
void napMicroseconds(int microseconds) { std::this_thread::sleep_for(std::chrono::microseconds(microseconds)); }
#endif

void endProcess(int status) { std::exit(status); }

long readAvailableInput(int fd, unsigned char* buffer, std::size_t size) {
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, 0);
    if (ready < 0) return errno == EINTR ? 0 : -1;
    if (ready == 0) return 0;
    if (p.revents & POLLNVAL) return -1;
    const ssize_t got = read(fd, buffer, size);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
    if (got <= 0) return -1;
    return static_cast<long>(got);
}

void waitForInputOn(int fd, int milliseconds) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, milliseconds) >= 0) return;
    sleepMilliseconds(milliseconds);
}

}  // namespace platform
