// The terminal back end: the grid drawn in the terminal lister runs in,
// keys read from it in raw mode. The terminal is put back as it was on
// every way out: the normal end, exit(), a signal that ends or stops the
// process, and a crash that raises a signal.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "screen/back_end.h"
#include "screen/back_ends/terminal_keys.h"
#include "screen/back_ends/terminal_output.h"

namespace screen {
namespace {

constexpr int inputFd = STDIN_FILENO;
constexpr int outputFd = STDOUT_FILENO;
// A lone ESC is the ESC key once nothing has followed it for this long.
constexpr auto escapeWait = std::chrono::milliseconds(25);
// Bytes read ahead of the key queue; beyond it they wait in the terminal.
constexpr std::size_t pendingLimit = 4096;
constexpr std::size_t readChunk = 1024;

constexpr char enterSequence[] = "\x1b[?1049h\x1b[?25l\x1b[0m\x1b[2J";  // alternate screen, cursor hidden
constexpr char leaveSequence[] = "\x1b[0m\x1b[?25h\x1b[?1049l";        // pen reset, cursor shown, main screen
constexpr char resumeSequence[] = "\x1b[?25l";
// The Linux console has no alternate screen: clear what lister drew instead.
constexpr char consoleLeaveSequence[] = "\x1b[0m\x1b[?25h\x1b[?1049l\x1b[H\x1b[2J";
constexpr char bell[] = "\a";
constexpr char notInputTerminal[] = "standard input is not a terminal";
constexpr char notOutputTerminal[] = "standard output is not a terminal";
constexpr char dumbTerminal[] = "TERM=dumb: the terminal cannot place the cursor";

// Every signal that ends the process (restored, then re-raised), those of
// a crash (the same), the resize, and the stop and continue of job control.
bool handled(int signal) {
    switch (signal) {
        case SIGSEGV: case SIGBUS: case SIGFPE: case SIGILL: case SIGWINCH: case SIGTSTP: case SIGCONT:
            return true;
        default:
            return platform::isEndingSignal(signal);
    }
}

// What the signal handlers use, all prepared before the first handler is
// installed: they only write() these bytes, call tcsetattr and set flags.
struct TerminalRestore {
    termios saved{};
    termios raw{};
    const char* leave = leaveSequence;
    std::size_t leaveLength = 0;
    std::atomic<bool> active{false};    // raw mode and the alternate screen are on, or going on or off
    std::atomic<bool> changing{false};  // a thread is putting them on or off
    sigset_t handledSignals{};
    std::atomic<bool> resized{false};
    std::atomic<bool> redraw{false};
    int wakeRead = -1;
    int wakeWrite = -1;
    struct sigaction previous[NSIG] = {};
    bool installed[NSIG] = {};
};

TerminalRestore restore;
static_assert(std::atomic<bool>::is_always_lock_free, "flags set in signal handlers");

// Async-signal-safe. In a signal handler (`bounded`) it is never held up
// for long by a terminal nobody reads (a stopped ssh, a stuck client):
// what cannot go out within a moment is left unwritten.
void writeQuietly(const char* bytes, std::size_t length, bool bounded) {
    constexpr int patienceMilliseconds = 100;
    constexpr int stepMilliseconds = 10;
    const int flags = bounded ? fcntl(outputFd, F_GETFL) : -1;
    const bool madeNonBlocking = flags >= 0 && !(flags & O_NONBLOCK) && fcntl(outputFd, F_SETFL, flags | O_NONBLOCK) == 0;
    for (int waited = 0; length > 0;) {
        const ssize_t n = write(outputFd, bytes, length);
        if (n > 0) {
            bytes += n;
            length -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (!bounded || n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || waited >= patienceMilliseconds) break;
        pollfd p{outputFd, POLLOUT, 0};
        poll(&p, 1, stepMilliseconds);
        waited += stepMilliseconds;
    }
    if (madeNonBlocking) fcntl(outputFd, F_SETFL, flags);
}

void wake() {
    const int saved = errno;
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = write(restore.wakeWrite, &byte, 1);
    errno = saved;
}

// The modes go on and off with the handled signals held back on the
// thread that changes them; a handler on another thread waits for the
// change (waitForModeChange) rather than give back a terminal that is
// then taken again behind it. Async-signal-safe.
template <typename Change>
void changeModes(Change change) {
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &restore.handledSignals, &before);
    restore.changing.store(true);
    change();
    restore.changing.store(false);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

// At most a moment: a change stuck on a terminal nobody reads must not keep
// a signal from ending lister.
void waitForModeChange() {
    constexpr int patienceMilliseconds = 100;
    for (int waited = 0; restore.changing.load() && waited < patienceMilliseconds; ++waited) {
        timespec millisecond{0, 1000000};
        nanosleep(&millisecond, nullptr);
    }
}

// Async-signal-safe. Marked given back only once it is: a signal at any
// moment of it gives the terminal back again (twice does no harm).
void leaveTerminal(int when, bool bounded) {
    changeModes([&] {
        if (!restore.active.load()) return;
        writeQuietly(restore.leave, restore.leaveLength, bounded);
        tcsetattr(inputFd, when, &restore.saved);
        restore.active.store(false);
    });
}

// Async-signal-safe. Marked to be given back before any mode changes.
void enterTerminal(bool bounded) {
    changeModes([&] {
        restore.active.store(true);
        tcsetattr(inputFd, TCSANOW, &restore.raw);
        writeQuietly(enterSequence, sizeof enterSequence - 1, bounded);
    });
    restore.redraw.store(true);
    wake();
}

void setDefaultAction(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

void onSignal(int signal) {
    const int saved = errno;
    switch (signal) {
        case SIGWINCH:
            restore.resized.store(true);
            wake();
            break;
        case SIGTSTP:
            // Stop with the terminal given back, and take it again after.
            if (restore.active.load()) {
                leaveTerminal(TCSANOW, true);
                raise(SIGSTOP);
                enterTerminal(true);
            } else {
                raise(SIGSTOP);
            }
            break;
        case SIGCONT:
            // After a stop we could not see (SIGSTOP), a shell may have set
            // the terminal to its own modes meanwhile.
            if (restore.active.load()) {
                tcsetattr(inputFd, TCSANOW, &restore.raw);
                writeQuietly(resumeSequence, sizeof resumeSequence - 1, true);
                restore.redraw.store(true);
                wake();
            }
            break;
        default:
            // Ending or crashing: give the terminal back, then let the
            // signal do what it does by default, so the exit status tells it.
            waitForModeChange();
            leaveTerminal(TCSANOW, true);
            setDefaultAction(signal);
            raise(signal);  // delivered as soon as this handler returns
            break;
    }
    errno = saved;
}

void installHandlers() {
    sigemptyset(&restore.handledSignals);
    for (int signal = 1; signal < NSIG; ++signal)
        if (handled(signal)) sigaddset(&restore.handledSignals, signal);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (!handled(signal)) continue;
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        struct sigaction old {};
        if (sigaction(signal, nullptr, &old) != 0) continue;
        // A signal ignored on purpose (nohup) stays ignored.
        if (old.sa_handler == SIG_IGN) continue;
        if (sigaction(signal, &action, &restore.previous[signal]) == 0) restore.installed[signal] = true;
    }
}

void removeHandlers() {
    for (int signal = 1; signal < NSIG; ++signal) {
        if (restore.installed[signal]) sigaction(signal, &restore.previous[signal], nullptr);
        restore.installed[signal] = false;
    }
}

void leaveAtExit() { leaveTerminal(TCSADRAIN, false); }

struct Terminal {
    TerminalView view;
    TerminalPicture picture;
    std::vector<std::uint8_t> pending;  // read but not yet posted
    std::chrono::steady_clock::time_point lastArrival{};
    bool inputEnded = false;
    bool outputBroken = false;
    bool messageShown = false;
    bool beepWanted = false;
    std::vector<KeyCode> keys;
    std::string out;
};

Terminal& state(BackEnd& b) { return *static_cast<Terminal*>(b.state); }

// The terminal's size; the required one when it cannot tell (a serial
// line reports 0 x 0), so that lister draws rather than complains.
void readSize(TerminalView& v) {
    winsize size{};
    if ((ioctl(outputFd, TIOCGWINSZ, &size) == 0 || ioctl(inputFd, TIOCGWINSZ, &size) == 0) && size.ws_col > 0 &&
        size.ws_row > 0) {
        v.columns = size.ws_col;
        v.rows = size.ws_row;
    } else {
        v.columns = requiredTerminalColumns;
        v.rows = requiredTerminalRows;
    }
}

bool writeAll(const std::string& bytes) {
    const char* at = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = write(outputFd, at, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{outputFd, POLLOUT, 0};
            poll(&p, 1, 100);
            continue;
        }
        if (n <= 0) return false;
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool open(BackEnd& b, const BackEndSetup&, std::string& why) {
    if (!isatty(inputFd)) {
        why = notInputTerminal;
        return false;
    }
    if (!isatty(outputFd)) {
        why = notOutputTerminal;
        return false;
    }
    const char* term = std::getenv("TERM");
    // Both ends are a terminal: from here on a failure is worth telling.
    b.failureWorthTelling = true;
    if (term && std::strcmp(term, "dumb") == 0) {
        why = dumbTerminal;
        return false;
    }
    if (tcgetattr(inputFd, &restore.saved) != 0) {
        why = std::string("cannot read the terminal's mode: ") + std::strerror(errno);
        return false;
    }
    int wakePipe[2];
    if (pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        why = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    restore.wakeRead = wakePipe[0];
    restore.wakeWrite = wakePipe[1];
    restore.raw = restore.saved;
    cfmakeraw(&restore.raw);
    restore.raw.c_cc[VMIN] = 1;
    restore.raw.c_cc[VTIME] = 0;
    const bool console = term && std::strncmp(term, "linux", 5) == 0;
    restore.leave = console ? consoleLeaveSequence : leaveSequence;
    restore.leaveLength = std::strlen(restore.leave);
    restore.resized.store(false);
    restore.redraw.store(false);

    auto* t = new Terminal;
    b.state = t;
    static bool atExitSet = false;
    if (!atExitSet) atExitSet = std::atexit(leaveAtExit) == 0;
    installHandlers();
    enterTerminal(false);
    readSize(t->view);
    return true;
}

bool wantsBytes(const Terminal& t) { return !t.inputEnded && t.pending.size() < pendingLimit; }

void waitForInput(BackEnd& b, int milliseconds) {
    Terminal& t = state(b);
    pollfd fds[2] = {{restore.wakeRead, POLLIN, 0}, {inputFd, POLLIN, 0}};
    poll(fds, wantsBytes(t) ? 2 : 1, milliseconds);
    if (fds[0].revents & POLLIN) {
        char drain[64];
        while (read(restore.wakeRead, drain, sizeof drain) > 0) {
        }
    }
}

// What the terminal holds now, up to the pending limit.
void readMore(Terminal& t) {
    while (t.pending.size() < pendingLimit) {
        pollfd p{inputFd, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) return;
        if (!(p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) return;
        std::uint8_t chunk[readChunk];
        const std::size_t room = std::min(readChunk, pendingLimit - t.pending.size());
        const ssize_t got = (p.revents & POLLNVAL) ? 0 : read(inputFd, chunk, room);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (got <= 0) {
            t.inputEnded = true;  // the terminal hung up
            return;
        }
        t.pending.insert(t.pending.end(), chunk, chunk + got);
        t.lastArrival = std::chrono::steady_clock::now();
    }
}

void takeInput(BackEnd& b, KeyQueue& queue) {
    Terminal& t = state(b);
    bool redraw = false;
    do {
        if (wantsBytes(t)) readMore(t);
        const bool quiet = t.inputEnded || std::chrono::steady_clock::now() - t.lastArrival >= escapeWait;
        t.keys.clear();
        takeTerminalKeys(t.pending, quiet, keyRoom(queue), t.keys, redraw);
        for (KeyCode k : t.keys) offerKey(queue, k);
        // A paste larger than the pending bytes goes on while there is room.
    } while (!t.keys.empty() && wantsBytes(t) && keyRoom(queue) > 0);
    if (redraw) restore.redraw.store(true);
    if (t.inputEnded && t.pending.empty()) markInputEnded(queue);
}

void upload(BackEnd& b, const TextScreen& s, LineSpan lines) { updatePicture(state(b).picture, s, lines); }

void present(BackEnd& b) {
    Terminal& t = state(b);
    if (t.outputBroken || !restore.active.load()) return;
    t.out.clear();
    const bool resized = restore.resized.exchange(false);
    if (resized) readSize(t.view);
    const bool redraw = restore.redraw.exchange(false) || resized;
    if (!pictureFits(t.view.columns, t.view.rows)) {
        // The message leaves the view invalid: the picture comes back whole.
        if (!t.messageShown || redraw) writeSizeMessage(t.view, t.out);
        t.messageShown = true;
    } else {
        if (redraw) t.view.valid = false;
        t.messageShown = false;
        writePicture(t.picture, t.view, t.out);
    }
    if (t.beepWanted) t.out += bell;
    t.beepWanted = false;
    if (!t.out.empty() && !writeAll(t.out)) t.outputBroken = true;
}

void close(BackEnd& b) {
    leaveTerminal(TCSADRAIN, false);
    removeHandlers();
    ::close(restore.wakeRead);
    ::close(restore.wakeWrite);
    restore.wakeRead = restore.wakeWrite = -1;
    delete &state(b);
    b.state = nullptr;
}

// One bell however many were asked for since the last picture.
void beep(BackEnd& b, int, int, int) { state(b).beepWanted = true; }

void wakeForClosing(BackEnd&) { wake(); }

}  // namespace

BackEnd terminalBackEnd() {
    return {"terminal", nullptr, open, waitForInput, takeInput, upload, present, close, beep, wakeForClosing};
}

}  // namespace screen
