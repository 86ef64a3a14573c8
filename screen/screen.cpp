#include "screen/screen.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <system_error>
#include <utility>

#include "platform/platform.h"
#include "screen/number_text.h"
#include "screen/screen_dump.h"
#include "screen/session.h"

namespace screen {

ScreenSession* openSession = nullptr;

namespace {

constexpr int cycleMilliseconds = 10;
constexpr int beepHertz = 1000;
constexpr int beepMilliseconds = 250;
constexpr char noMemory[] = "not enough memory";
constexpr char screenWithoutMemory[] = "lister: the screen cannot start: not enough memory\n";
constexpr char noThread[] = "cannot start its thread: ";
using Reason = char[128];

// Each cycle: wait for input or the next tick without the lock, then under
// the lock take the keys, the beeps and the changed lines, then show them
// and sound the beeps.
void windowThreadMain(ScreenSession& s) {
    BackEnd& b = s.backEnd;
    bool opened = false;
    try {
        opened = b.open(b, s.setup, s.whyNotOpened);
    } catch (const std::bad_alloc&) {
        s.whyNotOpened = noMemory;  // what the back end made is its own to free
    }
    if (!opened) {
        s.opened.set_value(false);
        return;
    }
    s.opened.set_value(true);
    using Clock = std::chrono::steady_clock;
    auto nextCycle = Clock::now();
    while (!s.stopping.load(std::memory_order_acquire)) {
        nextCycle += std::chrono::milliseconds(cycleMilliseconds);
        const auto now = Clock::now();
        if (nextCycle < now) nextCycle = now;  // never try to catch up
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextCycle - now);
        b.waitForInput(b, static_cast<int>(wait.count()));
        int beeps = 0;
        int hertz = 0;
        int milliseconds = 0;
        {
            ScreenLockHold hold(s.lock);
            const std::uint64_t delivered = s.keys.deliveries;
            b.takeInput(b, s.keys);
            if (s.keys.deliveries != delivered) signalKeyDeliveries(s);
            beeps = static_cast<int>(s.beeps - s.beepsSounded);
            s.beepsSounded = s.beeps;
            hertz = s.beepHertz;
            milliseconds = s.beepMilliseconds;
            renderPendingCells(s.screen);
            const LineSpan span = changedSpan(s.screen);
            if (!span.empty()) {
                b.upload(b, s.screen, span);
                clearChangedLines(s.screen, span);
            }
        }
        if (beeps > 0 && b.beep) b.beep(b, beeps, hertz, milliseconds);
        b.present(b);
    }
    b.close(b);
}

void report(const std::string& what) { std::fprintf(stderr, "lister: %s\n", what.c_str()); }

// A session on `backEnd` with its window thread started: null, with the
// reason in `why`, when there is no memory for the screen or no thread can
// start, the two places where the library throws at us. The reasons are
// written without allocating, and so is the window thread's when its back
// end ran out of memory (its room is reserved here). The window thread
// never takes a signal that ends the process: those wait for the program
// thread, which holds them back while a piece of the output file goes out.
ScreenSession* startSession(int width, int height, const BackEnd& backEnd, const ScreenOptions& options,
                            Reason& why) {
    ScreenSession* s = nullptr;
    const platform::SignalMask before = platform::holdEndingSignals();
    try {
        s = new ScreenSession;
        s->whyNotOpened.reserve(sizeof(Reason));
        initTextScreen(s->screen, width, height);
        s->backEnd = backEnd;
        s->setup = options.setup;
        s->screenshotPath = options.screenshotPath;
        s->cellsPath = options.cellsPath;
        openSession = s;
        // All the thread uses lives in the session, which outlives it.
        s->windowThread = std::thread(windowThreadMain, std::ref(*s));
    } catch (const std::bad_alloc&) {
        std::snprintf(why, sizeof why, "%s", noMemory);
    } catch (const std::system_error& failure) {
        std::snprintf(why, sizeof why, "%s%s", noThread, failure.what());
    }
    platform::releaseSignals(before);
    if (s && s->windowThread.joinable()) return s;
    openSession = nullptr;
    delete s;
    return nullptr;
}

#ifdef __EMSCRIPTEN__
// In a browser the page is the one way to show the screen: there is
// nothing for LISTER_SCREEN to choose.
void chooseBackEnds(ScreenOptions& options) { options.backEnds.push_back(webBackEnd()); }
#else
BackEnd backEndNamed(std::string_view name, bool& known) {
    known = true;
    if (name == "headless") return headlessBackEnd();
#ifndef _WIN32
    if (name == "terminal") return terminalBackEnd();
#endif
#if defined(__linux__) || defined(_WIN32)
    if (name == "window") return windowBackEnd();
#endif
    known = name == "window" || name == "terminal";
    return BackEnd{};  // not built on this system
}

void chooseBackEnds(ScreenOptions& options) {
    const char* chosen = std::getenv("LISTER_SCREEN");
    std::string_view chosenName;
    if (chosen && *chosen) {
        bool known = false;
        BackEnd b = backEndNamed(chosen, known);
        if (!known) {
            report(std::string("LISTER_SCREEN must be window, terminal or headless, not ") + chosen +
                   "; choosing by itself");
        } else if (!b.open) {
            report(std::string("the ") + chosen + " screen is not built in; choosing by itself");
        } else {
            options.backEnds.push_back(b);
            options.firstWasChosen = true;
            chosenName = chosen;
        }
    }
    // The automatic order: a window where a display opens, else the
    // terminal when both ends are one, else no presentation at all.
    for (const char* name : {"window", "terminal", "headless"}) {
        bool known = false;
        BackEnd b = backEndNamed(name, known);
        if (b.open && chosenName != name) options.backEnds.push_back(b);
    }
}
#endif

// Tries the back ends in order. Nothing here allocates while a session
// that did not open is still alive, so an allocation that fails leaves
// none behind.
int openFirstThatOpens(int width, int height, ScreenOptions& options) {
    std::string passedOver;  // a failure worth telling, said once the next screen opens
    for (std::size_t i = 0; i < options.backEnds.size(); ++i) {
        Reason why = "";
        ScreenSession* s = startSession(width, height, options.backEnds[i], options, why);
        if (!s) {
            report(std::string("the screen cannot start: ") + why);
            return 1;
        }
        if (s->opened.get_future().get()) {
            // Open: a line there is no memory to say goes unsaid.
            try {
                if (!passedOver.empty()) report(passedOver + "; falling back to the " + s->backEnd.name + " screen");
            } catch (const std::bad_alloc&) {
            }
            return 0;
        }
        s->windowThread.join();
        const bool worthTelling = s->backEnd.failureWorthTelling;
        const std::string reason = std::move(s->whyNotOpened);
        openSession = nullptr;
        delete s;
        const std::string failed = std::string("the ") + options.backEnds[i].name + " screen cannot open (" + reason + ")";
        if (i == 0 && options.firstWasChosen)
            report(failed + "; choosing by itself");
        else if (worthTelling && passedOver.empty())
            passedOver = failed;
    }
    return 1;
}

}  // namespace

ScreenOptions optionsFromEnvironment() {
    ScreenOptions options;
    const std::string path = platform::executablePath();
    options.setup.title = platform::programTitle(path, platform::pathSeparator);
    options.screenshotPath = platform::environmentValue("LISTER_SCREENSHOT").value_or("");
    options.cellsPath = platform::environmentValue("LISTER_CELLS").value_or("");

    chooseBackEnds(options);
    return options;
}

int openScreen(int width, int height, int depth, int /*pages*/, int /*flags*/, int /*refreshRate*/) {
    return openScreenWith(width, height, depth, optionsFromEnvironment());
}

int openScreenWith(int width, int height, int depth, ScreenOptions options) {
    if (openSession || !validScreenMode(width, height, depth)) return 1;
    options.setup.width = width;
    options.setup.height = height;
    // Words allocate, and a screen that failed for want of memory leaves
    // little: a failure with no memory left to say it is said plainly.
    try {
        return openFirstThatOpens(width, height, options);
    } catch (const std::bad_alloc&) {
        std::fputs(screenWithoutMemory, stderr);
        return 1;
    }
}

void closeScreen() {
    ScreenSession* s = openSession;
    if (!s) return;
    // Woken first: the back end stays open until the thread sees it stop.
    if (s->backEnd.wake) s->backEnd.wake(s->backEnd);
    s->stopping.store(true, std::memory_order_release);
    s->windowThread.join();
    renderPendingCells(s->screen);
    // Said without taking memory: running out of it may be the reason.
    if (!s->screenshotPath.empty()) {
        if (const char* why = writeScreenshot(s->screen, s->screenshotPath))
            std::fprintf(stderr, "lister: cannot write the screenshot %s: %s\n", s->screenshotPath.c_str(), why);
    }
    if (!s->cellsPath.empty()) {
        if (const char* why = writeCellsDump(s->screen, s->cellsPath))
            std::fprintf(stderr, "lister: cannot write the cells file %s: %s\n", s->cellsPath.c_str(), why);
    }
    openSession = nullptr;
    delete s;
}

ScreenHold::ScreenHold() {
    if (openSession) lockScreenLock(openSession->lock);
}

ScreenHold::~ScreenHold() {
    if (openSession) unlockScreenLock(openSession->lock);
}

void setTextSize(int columns, int rows) {
    ScreenSession* s = openSession;
    if (!s) return;
    ScreenLockHold hold(s->lock);
    setGridSize(s->screen, columns, rows);
}

void keepRowsInView(int firstRow, int lastRow) {
    ScreenSession* s = openSession;
    if (!s) return;
    ScreenLockHold hold(s->lock);
    keepRowsInView(s->screen, firstRow, lastRow);
}

GridSize textSize() {
    ScreenSession* s = openSession;
    if (!s) return {};
    ScreenLockHold hold(s->lock);
    return {s->screen.columns, s->screen.rows};
}

void setColors(Color foreground, Color background) {
    ScreenSession* s = openSession;
    if (!s) return;
    ScreenLockHold hold(s->lock);
    s->screen.foreground = foreground;
    s->screen.background = background;
}

void clearScreen() {
    ScreenSession* s = openSession;
    if (!s) return;
    ScreenLockHold hold(s->lock);
    clearTextScreen(s->screen);
}

void moveCursor(int row, int column) {
    ScreenSession* s = openSession;
    if (!s) return;
    ScreenLockHold hold(s->lock);
    placeCursor(s->screen, row, column);
}

CursorPosition cursorPosition() {
    ScreenSession* s = openSession;
    if (!s) return {};
    ScreenLockHold hold(s->lock);
    return {s->screen.cursorRow, s->screen.cursorColumn};
}

void resolvePendingWrap() {
    ScreenSession* s = openSession;
    if (!s) return;
    ScreenLockHold hold(s->lock);
    resolvePendingWrap(s->screen);
}

bool pendingWrapIsSet() {
    ScreenSession* s = openSession;
    if (!s) return false;
    ScreenLockHold hold(s->lock);
    return s->screen.pendingWrap;
}

void beep(int hertz, int milliseconds) {
    ScreenSession* s = openSession;
    if (!s) return;
    ScreenLockHold hold(s->lock);
    ++s->beeps;  // sounded by the window thread
    s->beepHertz = hertz;
    s->beepMilliseconds = milliseconds;
}

void printText(std::string_view text, bool newline) {
    ScreenSession* s = openSession;
    if (!s) return;
    ScreenLockHold hold(s->lock);
    int beeps = writeBytes(s->screen, text.data(), text.size());
    if (newline) beeps += writeBytes(s->screen, "\r\n", 2);
    for (; beeps > 0; --beeps) beep(beepHertz, beepMilliseconds);
}

void printGlyphs(std::string_view text) {
    ScreenSession* s = openSession;
    if (!s) return;
    ScreenLockHold hold(s->lock);
    writeGlyphs(s->screen, text.data(), text.size());
}

void printInt32(std::int32_t value) { printText(int32Text(value), false); }
void printInt64(std::int64_t value) { printText(int64Text(value), false); }
void printDouble(double value) { printText(doubleText(value), false); }

std::string spaces(int count) { return std::string(count > 0 ? static_cast<std::size_t>(count) : 0, ' '); }

TextScreen screenSnapshot() {
    ScreenSession* s = openSession;
    if (!s) return {};
    ScreenLockHold hold(s->lock);
    renderPendingCells(s->screen);
    return s->screen;
}

std::int64_t beepCount() {
    ScreenSession* s = openSession;
    if (!s) return 0;
    ScreenLockHold hold(s->lock);
    return s->beeps;
}

const char* openBackEndName() { return openSession ? openSession->backEnd.name : ""; }

}  // namespace screen
