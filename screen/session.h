// The record behind the one open screen, shared by the screen and keyboard
// operations. Only their own source files include it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "screen/back_end.h"
#include "screen/keys/input_items.h"
#include "screen/keys/key_queue.h"
#include "screen/screen_lock.h"
#include "screen/text_screen.h"

namespace screen {

// Wakes the program thread's waits when a key arrives or the input ends.
// Its mutex is never held while taking the screen lock.
struct KeySignal {
    std::mutex mutex;
    std::condition_variable arrived;
    std::uint64_t deliveries = 0;  // the queue's count as last signalled
};

struct ScreenSession {
    ScreenLock lock;
    TextScreen screen;
    KeyQueue keys;
    KeySignal keySignal;
    InputContext input;  // the program thread's alone
    BackEnd backEnd;
    BackEndSetup setup;
    // How the window thread's start went: opened or not, and why not.
    std::promise<bool> opened;
    std::string whyNotOpened;
    std::thread windowThread;
    std::atomic<bool> stopping{false};
    std::string screenshotPath;
    std::string cellsPath;
    // Beeps asked for by printing and the line editor, and those the window
    // thread has handed to the back end; the tone of the last one asked.
    std::int64_t beeps = 0;
    std::int64_t beepsSounded = 0;
    int beepHertz = 0;
    int beepMilliseconds = 0;
};

// The open screen, or null. Set before the window thread starts and
// cleared after it ended, so both threads may read it without a lock.
extern ScreenSession* openSession;

// Under the screen lock, after keys went into s.keys: wakes the waits.
void signalKeyDeliveries(ScreenSession& s);

}  // namespace screen
