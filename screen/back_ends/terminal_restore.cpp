// The modes taken and given back, the handlers and the wake pipe: all of
// it used by signal handlers, so all of it prepared before the first
// handler is installed, and everything the handlers call async-signal-safe.
#include "screen/back_ends/terminal_restore.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace screen {
namespace {

constexpr int inputFd = STDIN_FILENO;
constexpr int outputFd = STDOUT_FILENO;

enum Phase : int { given = 0, changing = 1, taken = 2, ending = 3 };

constexpr char enterSequence[] = "\x1b[?1049h\x1b[?25l\x1b[0m\x1b[2J";  // alternate screen, cursor hidden
// Pen reset, cursor shown, mouse reports off, main screen.
constexpr char leaveSequence[] = "\x1b[0m\x1b[?25h\x1b[?1006l\x1b[?1000l\x1b[?1049l";
constexpr char resumeSequence[] = "\x1b[?25l";
// The Linux console has no alternate screen: clear what lister drew instead.
constexpr char consoleLeaveSequence[] = "\x1b[0m\x1b[?25h\x1b[?1006l\x1b[?1000l\x1b[?1049l\x1b[H\x1b[2J";

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
    // Who has the modes: nobody, a thread putting them on or off, lister,
    // or a signal ending lister, after which nothing takes them again. One
    // value, so that a handler's claim and a change never interleave.
    std::atomic<int> phase{0};
    sigset_t handledSignals{};
    std::atomic<bool> resized{false};
    std::atomic<bool> redraw{false};
    int wakeRead = -1;
    int wakeWrite = -1;
    struct sigaction previous[NSIG] = {};
    bool installed[NSIG] = {};
};

TerminalRestore restore;
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "flags set in signal handlers");

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

// The modes go on and off with the handled signals held back on the
// thread that changes them, from one phase to the next: `from` to
// changing, the change, then changing to `to`, unless a signal claimed the
// terminal meanwhile. A handler on another thread waits for a change under
// way (waitForModeChange) rather than give back a terminal that is then
// taken again behind it. Async-signal-safe.
template <typename Change>
void changeModes(Phase from, Phase to, Change change) {
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &restore.handledSignals, &before);
    int expected = from;
    if (restore.phase.compare_exchange_strong(expected, changing)) {
        change();
        expected = changing;
        restore.phase.compare_exchange_strong(expected, to);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

// At most a second: a change stuck on a terminal nobody reads must not keep
// a signal from ending lister, but a thread the system put aside for a
// while in the middle of its change must be waited for (a tenth of a second
// proved too short on a loaded machine, 1 run in 300).
void waitForModeChange() {
    constexpr int patienceMilliseconds = 1000;
    for (int waited = 0; restore.phase.load() == changing && waited < patienceMilliseconds; ++waited) {
        timespec millisecond{0, 1000000};
        nanosleep(&millisecond, nullptr);
    }
}

// Async-signal-safe.
void leaveTerminal(int when, bool bounded) {
    changeModes(taken, given, [&] {
        writeQuietly(restore.leave, restore.leaveLength, bounded);
        tcsetattr(inputFd, when, &restore.saved);
    });
}

// Async-signal-safe. Never after a signal has claimed the terminal.
void enterTerminal(bool bounded) {
    changeModes(given, taken, [&] {
        tcsetattr(inputFd, TCSANOW, &restore.raw);
        writeQuietly(enterSequence, sizeof enterSequence - 1, bounded);
    });
    restore.redraw.store(true);
    wake();
}

// Async-signal-safe: a signal ending lister claims the terminal for good,
// and gives it back if lister had it or was taking it.
void giveBackForGood() {
    waitForModeChange();
    const int before = restore.phase.exchange(ending);
    if (before == taken || before == changing) {
        writeQuietly(restore.leave, restore.leaveLength, true);
        tcsetattr(inputFd, TCSANOW, &restore.saved);
    }
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
            waitForModeChange();
            if (restore.phase.load() == taken) {
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
            if (restore.phase.load() == taken) {
                tcsetattr(inputFd, TCSANOW, &restore.raw);
                writeQuietly(resumeSequence, sizeof resumeSequence - 1, true);
                restore.redraw.store(true);
                wake();
            }
            break;
        default:
            // Ending or crashing: give the terminal back, then let the
            // signal do what it does by default, so the exit status tells it.
            giveBackForGood();
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

}  // namespace

bool prepareTerminal(bool linuxConsole, std::string& why) {
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
    // The terminal's own Ctrl+C, Ctrl+\ and Ctrl+Z stay signals: the way
    // out of any full-screen terminal program, at any moment.
    restore.raw.c_lflag |= ISIG;
    restore.raw.c_cc[VMIN] = 1;
    restore.raw.c_cc[VTIME] = 0;
    restore.leave = linuxConsole ? consoleLeaveSequence : leaveSequence;
    restore.leaveLength = std::strlen(restore.leave);
    restore.resized.store(false);
    restore.redraw.store(false);
    return true;
}

void takeTerminal() {
    static bool atExitSet = false;
    if (!atExitSet) atExitSet = std::atexit(leaveAtExit) == 0;
    installHandlers();
    enterTerminal(false);
}

void giveTerminalBack() {
    leaveTerminal(TCSADRAIN, false);
    removeHandlers();
    ::close(restore.wakeRead);
    ::close(restore.wakeWrite);
    restore.wakeRead = restore.wakeWrite = -1;
}

bool terminalTaken() { return restore.phase.load() == taken; }
bool takeResized() { return restore.resized.exchange(false); }
bool takeRedraw() { return restore.redraw.exchange(false); }
void askRedraw() { restore.redraw.store(true); }
int wakeFd() { return restore.wakeRead; }

void wake() {
    const int saved = errno;
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = write(restore.wakeWrite, &byte, 1);
    errno = saved;
}

}  // namespace screen
