// The window back end: an 800 x 600 SDL2 window showing the frame, its
// keys, full screen and the beep. Every SDL call, SDL_Init and SDL_Quit
// included, runs on the window thread: SDL wants a window's events handled
// on the thread that made it.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "screen/back_end.h"
#include "screen/back_ends/sdl_keys.h"
#include "screen/back_ends/sdl_library.h"

namespace screen {
namespace {

// Drivers that show a real window. SDL may quietly settle for "offscreen"
// or "dummy" when no display opens; those must let the next back end try.
constexpr std::string_view windowDrivers[] = {"x11", "wayland"};

const SdlLibrary* sdl = nullptr;  // loaded by the first open

constexpr int audioRate = 48000;
constexpr int audioSamples = 512;
constexpr double toneAmplitude = 6000.0;
constexpr int fadeMilliseconds = 5;  // no click at either end of a tone
constexpr int longestTone = 5000;     // milliseconds
constexpr double pi = 3.14159265358979323846;

struct Window {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    SDL_AudioDeviceID audio = 0;
    int width = 0;
    int height = 0;
    WindowKeyboard keyboard;
    std::vector<SDL_Event> waiting;  // taken while waiting, handled under the lock
    bool fullScreen = false;
    bool toggleWanted = false;      // Alt+Enter
    bool fullScreenWanted = false;  // the maximise button
    bool snapWanted = false;        // a resize to undo
    bool layoutChanged = false;     // the output size may have changed
    bool repaintWanted = true;      // uploaded or exposed since the last present
    std::vector<std::int16_t> tone;
    int toneHertz = 0;
    int toneMilliseconds = 0;
};

Window& state(BackEnd& b) { return *static_cast<Window*>(b.state); }

constexpr int windowLostStatus = 1;
constexpr char windowLost[] = "the window was lost: its display closed";

// Losing the display (the X server ends, an ssh -X drops, a logout) would
// have the X library end the process from this thread at once, perhaps
// in the middle of a line of the file: lister ends once the piece being
// written is in instead. Never returns.
int onDisplayLost(void*) { platform::endProcessBetweenPieces(windowLostStatus, windowLost); }

// SDL loads the X library itself; this only finds it.
void watchForDisplayLoss() {
    void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!x11) return;
    using IoErrorHandler = int (*)(void*);
    using SetIoErrorHandler = IoErrorHandler (*)(IoErrorHandler);
    if (auto set = reinterpret_cast<SetIoErrorHandler>(dlsym(x11, "XSetIOErrorHandler"))) set(onDisplayLost);
    dlclose(x11);  // SDL's own reference keeps it loaded
}

bool isWindowDriver(const char* driver) {
    if (!driver) return false;
    for (std::string_view name : windowDrivers)
        if (name == driver) return true;
    return false;
}

void release(Window* w) {
    if (w->audio) sdl->SDL_CloseAudioDevice(w->audio);
    if (w->texture) sdl->SDL_DestroyTexture(w->texture);
    if (w->renderer) sdl->SDL_DestroyRenderer(w->renderer);
    if (w->window) sdl->SDL_DestroyWindow(w->window);
    delete w;
    sdl->SDL_Quit();
}

bool fail(Window* w, std::string& why, const std::string& what) {
    why = what + ": " + sdl->SDL_GetError();
    release(w);
    return false;
}

// No audio device means no beep; never an error.
void openAudio(Window& w) {
    if (sdl->SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
    SDL_AudioSpec wanted{};
    wanted.freq = audioRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 1;
    wanted.samples = audioSamples;
    SDL_AudioSpec got{};
    w.audio = sdl->SDL_OpenAudioDevice(nullptr, 0, &wanted, &got, 0);
    if (w.audio) sdl->SDL_PauseAudioDevice(w.audio, 0);
}

// The drivers worth trying here, so that SDL neither settles for a
// windowless one nor prints complaints about displays that cannot exist.
std::string likelyDrivers() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    std::string drivers;
    if (set("DISPLAY")) drivers = "x11";
    if (set("WAYLAND_DISPLAY") || set("WAYLAND_SOCKET") || set("XDG_RUNTIME_DIR"))
        drivers += drivers.empty() ? "wayland" : ",wayland";
    return drivers;
}

// Sound libraries print their own complaints when there is no sound card;
// a missing beep is not worth a word, so they go to /dev/null. The program
// thread waits for the window to open meanwhile, so nothing else is lost.
void openAudioQuietly(Window& w) {
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && quiet >= 0) dup2(quiet, STDERR_FILENO);
    openAudio(w);
    std::fflush(stderr);
    if (saved >= 0 && quiet >= 0) dup2(saved, STDERR_FILENO);
    if (quiet >= 0) ::close(quiet);
    if (saved >= 0) ::close(saved);
}

bool open(BackEnd& b, const BackEndSetup& setup, std::string& why) {
    sdl = loadSdl(why);
    if (!sdl) return false;
    if (!std::getenv("SDL_VIDEODRIVER")) {
        const std::string drivers = likelyDrivers();
        if (drivers.empty()) {
            why = "neither DISPLAY nor WAYLAND_DISPLAY is set";
            return false;
        }
        sdl->SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
    }
    sdl->SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");  // SIGINT and SIGTERM still end the process
    sdl->SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    sdl->SDL_SetHint(SDL_HINT_WINDOWS_NO_CLOSE_ON_ALT_F4, "1");
    // A present that waits for the display would stretch the 10 ms cycle.
    sdl->SDL_SetHintWithPriority(SDL_HINT_RENDER_VSYNC, "0", SDL_HINT_OVERRIDE);
    if (sdl->SDL_Init(SDL_INIT_VIDEO) != 0) {
        why = std::string("no display: ") + sdl->SDL_GetError();
        sdl->SDL_Quit();
        return false;
    }
    auto* w = new Window;
    const char* driver = sdl->SDL_GetCurrentVideoDriver();
    if (!isWindowDriver(driver)) {
        release(w);
        why = std::string("the video driver ") + (driver ? driver : "(none)") + " shows no window";
        return false;
    }
    if (std::string_view(driver) == "x11") watchForDisplayLoss();
    w->width = setup.width;
    w->height = setup.height;
    // Resizable, or the window manager offers no maximise button; a resize
    // by hand snaps back, and the maximise switches to full screen.
    w->window = sdl->SDL_CreateWindow(setup.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, setup.width,
                                 setup.height, SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN);
    if (!w->window) return fail(w, why, "cannot create the window");
    w->renderer = sdl->SDL_CreateRenderer(w->window, -1, SDL_RENDERER_ACCELERATED);
    if (!w->renderer) w->renderer = sdl->SDL_CreateRenderer(w->window, -1, SDL_RENDERER_SOFTWARE);
    if (!w->renderer) return fail(w, why, "cannot draw in the window");
    w->texture =
        sdl->SDL_CreateTexture(w->renderer, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STREAMING, setup.width, setup.height);
    if (!w->texture) return fail(w, why, "cannot make the picture");
    sdl->SDL_SetTextureBlendMode(w->texture, SDL_BLENDMODE_NONE);
    // The same picture at any size: letterboxed, by whole pixels when it fits.
    sdl->SDL_RenderSetLogicalSize(w->renderer, setup.width, setup.height);
    sdl->SDL_RenderSetIntegerScale(w->renderer, SDL_TRUE);
    sdl->SDL_SetRenderDrawColor(w->renderer, 0, 0, 0, 255);
    const std::vector<Color> black(static_cast<std::size_t>(setup.width) * static_cast<std::size_t>(setup.height), 0);
    sdl->SDL_UpdateTexture(w->texture, nullptr, black.data(), setup.width * static_cast<int>(sizeof(Color)));

    // Only keys and the window's own events wake the thread.
    for (Uint32 type : {SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP, SDL_MOUSEWHEEL, SDL_FINGERDOWN,
                        SDL_FINGERUP, SDL_FINGERMOTION, SDL_TEXTEDITING, SDL_KEYMAPCHANGED})
        sdl->SDL_EventState(type, SDL_IGNORE);
    sdl->SDL_StartTextInput();
    sdl->SDL_ShowWindow(w->window);
    sdl->SDL_RaiseWindow(w->window);
    openAudioQuietly(*w);
    b.state = w;
    return true;
}

void waitForInput(BackEnd& b, int milliseconds) {
    Window& w = state(b);
    SDL_Event event;
    if (sdl->SDL_WaitEventTimeout(&event, milliseconds)) w.waiting.push_back(event);
}

void handle(Window& w, KeyQueue& queue, const SDL_Event& event) {
    const WindowInput input = translateEvent(w.keyboard, event);
    for (int i = 0; i < input.keyCount; ++i) offerKey(queue, input.keys[static_cast<std::size_t>(i)]);
    if (input.toggleFullScreen) w.toggleWanted = true;
    if (event.type == SDL_RENDER_TARGETS_RESET) w.repaintWanted = true;
    // With the hints set in open, SDL quits only when the display is gone
    // (a Wayland compositor that ended).
    if (event.type == SDL_QUIT) platform::endProcessBetweenPieces(windowLostStatus, windowLost);
    if (event.type != SDL_WINDOWEVENT) return;
    switch (event.window.event) {
        case SDL_WINDOWEVENT_MAXIMIZED:
            w.fullScreenWanted = true;
            break;
        case SDL_WINDOWEVENT_RESIZED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            w.snapWanted = true;
            w.layoutChanged = true;
            w.repaintWanted = true;
            break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESTORED:
            w.repaintWanted = true;
            break;
        default:
            break;
    }
}

void takeInput(BackEnd& b, KeyQueue& queue) {
    Window& w = state(b);
    for (const SDL_Event& event : w.waiting) handle(w, queue, event);
    w.waiting.clear();
    SDL_Event event;
    while (sdl->SDL_PollEvent(&event)) handle(w, queue, event);
}

// The texture rectangle and source pixels for the changed lines.
struct FrameUpload {
    SDL_Rect rect{0, 0, 0, 0};  // empty (h == 0) when there is nothing to send
    const Color* pixels = nullptr;
    int pitch = 0;  // bytes per line
};

FrameUpload frameUpload(const TextScreen& screen, LineSpan span) {
    FrameUpload upload;
    const int first = std::max(span.first, 0);
    const int last = std::min(span.last, screen.pixelHeight - 1);
    if (first > last || screen.pixelWidth <= 0) return upload;
    upload.rect = SDL_Rect{0, first, screen.pixelWidth, last - first + 1};
    upload.pixels = &screen.frame[static_cast<std::size_t>(first) * static_cast<std::size_t>(screen.pixelWidth)];
    upload.pitch = screen.pixelWidth * static_cast<int>(sizeof(Color));
    return upload;
}

void upload(BackEnd& b, const TextScreen& screen, LineSpan span) {
    Window& w = state(b);
    const FrameUpload part = frameUpload(screen, span);
    if (part.rect.h == 0) return;
    sdl->SDL_UpdateTexture(w.texture, &part.rect, part.pixels, part.pitch);
    w.repaintWanted = true;
}

// A failed switch leaves the display as it was.
void setFullScreen(Window& w, bool on) {
    const Uint32 before = sdl->SDL_GetWindowFlags(w.window) & SDL_WINDOW_FULLSCREEN_DESKTOP;
    if (sdl->SDL_SetWindowFullscreen(w.window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) {
        if ((sdl->SDL_GetWindowFlags(w.window) & SDL_WINDOW_FULLSCREEN_DESKTOP) != before)
            sdl->SDL_SetWindowFullscreen(w.window, before);
    }
    w.fullScreen = (sdl->SDL_GetWindowFlags(w.window) & SDL_WINDOW_FULLSCREEN) != 0;
    if (!w.fullScreen) sdl->SDL_SetWindowSize(w.window, w.width, w.height);
    w.layoutChanged = true;
    w.repaintWanted = true;
}

void actOnWindow(Window& w) {
    if (w.toggleWanted) {
        setFullScreen(w, !w.fullScreen);
    } else if (w.fullScreenWanted && !w.fullScreen && (sdl->SDL_GetWindowFlags(w.window) & SDL_WINDOW_MAXIMIZED)) {
        sdl->SDL_RestoreWindow(w.window);
        setFullScreen(w, true);
    }
    w.toggleWanted = w.fullScreenWanted = false;
    if (w.snapWanted && !w.fullScreen && !(sdl->SDL_GetWindowFlags(w.window) & SDL_WINDOW_MAXIMIZED)) {
        int width = 0;
        int height = 0;
        sdl->SDL_GetWindowSize(w.window, &width, &height);
        if (width != w.width || height != w.height) sdl->SDL_SetWindowSize(w.window, w.width, w.height);
    }
    w.snapWanted = false;
    if (w.layoutChanged) {
        int width = 0;
        int height = 0;
        sdl->SDL_GetRendererOutputSize(w.renderer, &width, &height);
        sdl->SDL_RenderSetIntegerScale(w.renderer, width >= w.width && height >= w.height ? SDL_TRUE : SDL_FALSE);
        w.layoutChanged = false;
    }
}

void makeTone(Window& w, int hertz, int milliseconds) {
    milliseconds = std::clamp(milliseconds, 0, longestTone);
    if (w.toneHertz == hertz && w.toneMilliseconds == milliseconds) return;
    const int count = audioRate / 1000 * milliseconds;
    const int fade = audioRate / 1000 * fadeMilliseconds;
    w.tone.assign(static_cast<std::size_t>(count > 0 ? count : 0), 0);
    for (int i = 0; i < count; ++i) {
        const double edge = std::min({1.0, static_cast<double>(i) / fade, static_cast<double>(count - 1 - i) / fade});
        w.tone[static_cast<std::size_t>(i)] =
            static_cast<std::int16_t>(toneAmplitude * edge * std::sin(2.0 * pi * hertz * i / audioRate));
    }
    w.toneHertz = hertz;
    w.toneMilliseconds = milliseconds;
}

void present(BackEnd& b) {
    Window& w = state(b);
    actOnWindow(w);
    if (!w.repaintWanted) return;
    sdl->SDL_RenderClear(w.renderer);
    sdl->SDL_RenderCopy(w.renderer, w.texture, nullptr, nullptr);
    sdl->SDL_RenderPresent(w.renderer);
    w.repaintWanted = false;
}

void close(BackEnd& b) {
    release(&state(b));
    b.state = nullptr;
}

// Beeps asked for while one still sounds wait at most one tone behind it;
// more would only make a backlog that outlasts the keys that caused it.
void beep(BackEnd& b, int count, int hertz, int milliseconds) {
    Window& w = state(b);
    if (!w.audio) return;
    makeTone(w, hertz, milliseconds);
    const Uint32 toneBytes = static_cast<Uint32>(w.tone.size() * sizeof(std::int16_t));
    for (; count > 0 && sdl->SDL_GetQueuedAudioSize(w.audio) <= toneBytes && toneBytes > 0; --count)
        sdl->SDL_QueueAudio(w.audio, w.tone.data(), toneBytes);
}

// Any event ends SDL_WaitEventTimeout; one of the user's kind means nothing.
void wake(BackEnd&) {
    SDL_Event event{};
    event.type = SDL_USEREVENT;
    sdl->SDL_PushEvent(&event);
}

}  // namespace

BackEnd windowBackEnd() {
    return {"window", nullptr, open, waitForInput, takeInput, upload, present, close, beep, wake};
}

}  // namespace screen
