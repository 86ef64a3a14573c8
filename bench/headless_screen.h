// The headless screen for benchmarks: 100 x 70, its window thread cycling,
// and a key script that never ends (so nothing stops a listing).
#pragma once

#include <unistd.h>

#include <cstdlib>

#include "screen/screen.h"

struct OpenHeadless {
    int fds[2];
    OpenHeadless() {
        if (pipe(fds) != 0) std::abort();
        screen::ScreenOptions options;
        options.backEnds.push_back(screen::headlessBackEnd());
        options.setup.inputFd = fds[0];
        if (screen::openScreenWith(800, 600, 32, options) != 0) std::abort();
        screen::setTextSize(100, 70);
    }
    ~OpenHeadless() {
        screen::closeScreen();
        ::close(fds[0]);
        ::close(fds[1]);
    }
    OpenHeadless(const OpenHeadless&) = delete;
    OpenHeadless& operator=(const OpenHeadless&) = delete;
};
