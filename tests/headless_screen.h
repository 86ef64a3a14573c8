// The headless screen as the tests, the benchmarks and the fuzz targets
// open it: 100 x 70 cells, its window thread running, and its keys read
// from a pipe that the caller writes.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "screen/screen.h"

namespace testing_screen {

// A key script in a pipe: bytes written with type() are keys to the
// headless back end; end() ends the script.
struct KeyScript {
    int fds[2] = {-1, -1};
    KeyScript() {
        if (pipe(fds) != 0) std::abort();
    }
    ~KeyScript() {
        end();
        ::close(fds[0]);
    }
    KeyScript(const KeyScript&) = delete;
    KeyScript& operator=(const KeyScript&) = delete;
    bool type(const std::string& bytes) const {
        return write(fds[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    void end() {
        if (fds[1] >= 0) ::close(fds[1]);
        fds[1] = -1;
    }
};

inline screen::ScreenOptions headlessOptions(const KeyScript& script) {
    screen::ScreenOptions options;
    options.backEnds.push_back(screen::headlessBackEnd());
    options.setup.inputFd = script.fds[0];
    return options;
}

// Open from construction to destruction; `keys` are typed at once and the
// script then ends, unless `endKeys` is false (a script that never ends
// never stops a listing).
struct HeadlessScreen {
    KeyScript script;
    bool opened = false;
    explicit HeadlessScreen(const std::string& keys = "", bool endKeys = true) {
        opened = screen::openScreenWith(800, 600, 32, headlessOptions(script)) == 0;
        screen::setTextSize(100, 70);
        if (!keys.empty() && !script.type(keys)) std::abort();
        if (endKeys) script.end();
    }
    ~HeadlessScreen() { screen::closeScreen(); }
    HeadlessScreen(const HeadlessScreen&) = delete;
    HeadlessScreen& operator=(const HeadlessScreen&) = delete;
};

}  // namespace testing_screen
