// What presents the frame and delivers keys: a window, a terminal, or
// nothing at all. Each back end fills this record; the window thread of
// screen.cpp drives it and is the only thread that calls open, waitForInput,
// takeInput, upload, present, beep and close. A back end sees the screen
// and the key queue only as they are handed to it here.
#pragma once

#include <string>

#include "screen/keys/key_queue.h"
#include "screen/text_screen.h"

namespace screen {

struct BackEndSetup {
    std::string title;  // the executable's name without folder and extension
    int width = 800;
    int height = 600;
    int inputFd = 0;  // where the headless back end reads its key script
};

struct BackEnd {
    const char* name = "";
    void* state = nullptr;  // the back end's own, made by open, freed by close

    // False when this back end cannot work here; `why` then says why.
    bool (*open)(BackEnd&, const BackEndSetup&, std::string& why) = nullptr;
    // Sleeps up to `milliseconds` without the screen lock, waking early
    // when input arrives.
    void (*waitForInput)(BackEnd&, int milliseconds) = nullptr;
    // Under the screen lock: deliver the keys that arrived (offerKey).
    void (*takeInput)(BackEnd&, KeyQueue&) = nullptr;
    // Under the screen lock: take a copy of the changed pixel lines, or of
    // whatever else of the record this back end shows.
    void (*upload)(BackEnd&, const TextScreen&, LineSpan) = nullptr;
    // Without the lock: show what was uploaded.
    void (*present)(BackEnd&) = nullptr;
    void (*close)(BackEnd&) = nullptr;
    // Without the lock: sound `count` beeps of this tone, asked for since
    // the last call. Null: silent.
    void (*beep)(BackEnd&, int count, int hertz, int milliseconds) = nullptr;
    // Called on the program thread when the screen closes, while the back
    // end is still open: ends the waitForInput under way, or the next one,
    // at once, so that closing waits for no cycle. Returns at once.
    void (*wake)(BackEnd&) = nullptr;
    // Set by an open that failed although what it needs is there (a
    // terminal that cannot show the screen): said even when lister chose
    // by itself, where a missing display or terminal goes without a word.
    bool failureWorthTelling = false;
};

BackEnd headlessBackEnd();
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
BackEnd terminalBackEnd();  // termios
#endif
#if defined(__linux__) || defined(_WIN32)
BackEnd windowBackEnd();  // SDL2 on Linux, the system's own windows on Windows
#endif
#ifdef __EMSCRIPTEN__
BackEnd webBackEnd();  // the canvas and the keys of a browser page
#endif

}  // namespace screen
