// The platform layer on Linux and other POSIX systems, the browser among
// them (whose output file is platform_web.cpp's).
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/auxv.h>
#endif
#ifdef __EMSCRIPTEN__
#include <emscripten/threading.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

// The folder lister started in, asked once (lister never changes folder);
// empty when the system cannot tell (it was removed meanwhile).
const std::string& startFolder() {
    static const std::string folder = [] {
        char* current = getcwd(nullptr, 0);
        std::string path = current ? current : "";
        std::free(current);
        return path;
    }();
    return folder;
}

#ifndef __EMSCRIPTEN__
// Where the symbolic link points; empty when it cannot be read.
std::string linkTarget(const char* link) {
    // readlink reports no length of its own: grow until the link fits.
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink(link, buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

// The path lister was started by (what the program that started it gave
// the system), made absolute against the start folder, its links resolved
// where the system can; empty when it cannot be had.
std::string startedPath() {
#ifdef __linux__
    const auto* started = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    if (!started || !*started) return {};
    std::string path = started;
    if (path[0] != '/') {
        if (startFolder().empty()) return {};
        path = startFolder() + "/" + path;
    }
    if (char* resolved = realpath(path.c_str(), nullptr)) {
        path = resolved;
        std::free(resolved);
    }
    return path;
#else
    return {};
#endif
}
#endif

sigset_t endingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal = 1; signal < NSIG; ++signal)
        if (isEndingSignal(signal)) sigaddset(&set, signal);
    return set;
}

#ifndef __EMSCRIPTEN__
// Empties a file that has bytes in it. One that is empty already is left
// alone: ext4 takes a file emptied by truncation for one being replaced and
// writes all of it out to disk when it is closed, which cost a new file a
// wait of a tenth of a second at the end of each listing.
bool emptied(int fd) {
    struct stat status {};
    return fstat(fd, &status) == 0 && (status.st_size == 0 || ftruncate(fd, 0) == 0);
}

// Locked against other listers; a file system that has no locks (some
// network mounts) is written unlocked rather than not at all.
bool locked(int fd) {
    return flock(fd, LOCK_EX | LOCK_NB) == 0 || errno == ENOLCK || errno == EOPNOTSUPP;
}

bool blocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// Until a FIFO's reader or a device takes more, with the signals that end
// the process let through: one of them ends lister here rather than after a
// reader that may never read again.
void waitForRoom(int fd) {
    static const sigset_t ending = endingSignals();
    sigset_t open;
    pthread_sigmask(SIG_SETMASK, nullptr, &open);
    for (int signal = 1; signal < NSIG; ++signal)
        if (sigismember(&ending, signal)) sigdelset(&open, signal);
    pollfd p{fd, POLLOUT, 0};
    ppoll(&p, 1, nullptr, &open);
}
#endif

}  // namespace

void prepareProcess() {
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    startFolder();
}

#ifdef __EMSCRIPTEN__
// In a browser the program is lister.wasm in a folder of its own, which
// the page keeps: the file it writes is named beside it.
constexpr const char* webExecutable = "/lister/lister.wasm";

std::string executablePath() { return webExecutable; }
#else
std::string executablePath() {
    // Without /proc (not mounted, or a path past the system's limit), the
    // path lister was started by.
    std::string path = linkTarget("/proc/self/exe");
    return path.empty() ? startedPath() : path;
}
#endif

std::optional<std::string> environmentValue(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

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

#ifndef __EMSCRIPTEN__
bool openOutputFile(OutputFile& file, const std::string& path) {
    file.error = 0;
    file.length = 0;
    // No O_TRUNC: a file another lister writes must stay whole until the
    // lock says it is ours. O_NONBLOCK: a FIFO nobody reads fails at once
    // (ENXIO) instead of waiting for a reader for ever.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        file.error = errno;
        return false;
    }
    struct stat status {};
    const bool onDisk = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    // Devices (/dev/null, /dev/full) and FIFOs are neither locked nor
    // emptied, and stay non-blocking, so that waiting for their reader can
    // end (waitForRoom). A file on disk is written with plain waits.
    const bool usable = !onDisk || (locked(fd) && emptied(fd) && blocking(fd));
    if (!usable) {
        file.error = errno;
        ::close(fd);
        return false;
    }
    file.handle = fd;
    file.onDisk = onDisk;
    return true;
}

char* outputSpace(OutputFile&, char* own, std::size_t) { return own; }

std::size_t writeOutputFile(OutputFile& file, const char* bytes, std::size_t length) {
    const int fd = static_cast<int>(file.handle);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = write(fd, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && !file.onDisk) {
            waitForRoom(fd);
            continue;
        }
        file.error = n < 0 ? errno : EIO;  // full, past the size limit, no reader left
        break;
    }
    file.length += done;
    return done;
}

void cutOutputFile(OutputFile& file, std::uint64_t length) {
    if (!file.onDisk) return;
    int cut = 0;
    while ((cut = ftruncate(static_cast<int>(file.handle), static_cast<off_t>(length))) != 0 && errno == EINTR) {
    }
    if (cut == 0) file.length = std::min(file.length, length);
}

bool closeOutputFile(OutputFile& file) {
    const bool closed = ::close(static_cast<int>(file.handle)) == 0;
    file = {.error = closed ? 0 : errno, .length = file.length};
    return closed;
}
#endif

bool isEndingSignal(int signal) {
    switch (signal) {
        case SIGHUP: case SIGINT: case SIGQUIT: case SIGTRAP: case SIGABRT: case SIGUSR1: case SIGUSR2:
        case SIGALRM: case SIGTERM: case SIGXCPU: case SIGVTALRM: case SIGPROF: case SIGSYS:
#ifdef SIGSTKFLT
        case SIGSTKFLT:
#endif
#ifdef SIGPOLL
        case SIGPOLL:
#endif
#ifdef SIGPWR
        case SIGPWR:
#endif
            return true;
        default:
#ifdef SIGRTMIN
            return signal >= SIGRTMIN && signal <= SIGRTMAX;
#else
            return false;
#endif
    }
}

SignalMask holdEndingSignals() {
    static_assert(sizeof(sigset_t) <= sizeof(SignalMask::bytes), "a signal mask fits the record");
    static const sigset_t ending = endingSignals();
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &ending, &before);
    SignalMask mask;
    std::memcpy(mask.bytes, &before, sizeof before);
    return mask;
}

void releaseSignals(const SignalMask& before) {
    sigset_t mask;
    std::memcpy(&mask, before.bytes, sizeof mask);
    pthread_sigmask(SIG_SETMASK, &mask, nullptr);
}

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
