// The window back end on Windows: an 800 x 600 window of the system's own,
// showing the frame, turning its key messages into key codes, switching to
// full screen and beeping. The window is made, and its messages handled, on
// the window thread; the window procedure only collects keys and requests,
// which the cycle then acts on, so it never needs the screen lock (a drag of
// the caption runs a message loop of the system's own for its duration).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "screen/back_end.h"
#include "screen/back_ends/win32_keys.h"

namespace screen {
namespace {

constexpr wchar_t className[] = L"lister_window";
constexpr WORD programIcon = 1;  // lister's own icon, the first of the program's resources (lister.rc)
constexpr DWORD windowedStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD fullScreenStyle = WS_POPUP;
constexpr UINT_PTR systemCommandMask = 0xFFF0;  // the low bits carry how the command came
// A window manager may answer a switch with several moves and resizes of
// its own over the next moments, not all of which ask for a repaint:
// the whole picture is shown again for this many cycles after a switch.
constexpr int settlingRepaints = 50;

struct Window {
    HWND window = nullptr;
    int width = 0;
    int height = 0;
    std::vector<Color> pixels;  // the frame as last uploaded
    int changedFirst = INT_MAX;  // the lines uploaded since the last present
    int changedLast = -1;
    std::vector<KeyCode> keys;  // collected by the window procedure, offered by takeInput
    bool fullScreen = false;
    bool toggleWanted = false;      // Alt+Enter
    bool fullScreenWanted = false;  // the maximise button
    RECT windowedPlace{};           // where the window stood before full screen
    int settlingCycles = 0;         // whole repaints still due after a switch
    EXECUTION_STATE savedExecutionState = 0;
};

Window& state(BackEnd& b) { return *static_cast<Window*>(b.state); }

// The beep sounds on a thread of its own; beeps asked for while one sounds
// wait at most one tone behind it. Process-wide, since a tone may outlast
// the window.
std::atomic<int> beepsWanted{0};
std::atomic<int> beepHertz{0};
std::atomic<int> beepMilliseconds{0};

DWORD WINAPI soundBeeps(LPVOID) {
    do {
        Beep(static_cast<DWORD>(beepHertz.load()), static_cast<DWORD>(beepMilliseconds.load()));
    } while (beepsWanted.fetch_sub(1) > 1);
    return 0;
}

void addKeys(Window& w, KeyCode code, LPARAM lParam) {
    for (int i = repeatCount(lParam); i > 0; --i) w.keys.push_back(code);
}

BITMAPINFO linesInfo(int width, int count) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -count;  // top-down, as the frame
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// The picture's place in full screen: as large as fits, its shape kept,
// centred, with black bars beside or above and below.
RECT scaledPlace(const Window& w, const RECT& client) {
    const long areaWidth = client.right - client.left;
    const long areaHeight = client.bottom - client.top;
    long width = areaWidth;
    long height = areaWidth * w.height / w.width;
    if (height > areaHeight) {
        height = areaHeight;
        width = areaHeight * w.width / w.height;
    }
    const long left = client.left + (areaWidth - width) / 2;
    const long top = client.top + (areaHeight - height) / 2;
    return RECT{left, top, left + width, top + height};
}

void paintBars(HDC dc, const RECT& client, const RECT& picture) {
    const auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    const RECT bars[] = {
        {client.left, client.top, client.right, picture.top},
        {client.left, picture.bottom, client.right, client.bottom},
        {client.left, picture.top, picture.left, picture.bottom},
        {picture.right, picture.top, client.right, picture.bottom},
    };
    for (const RECT& bar : bars)
        if (bar.right > bar.left && bar.bottom > bar.top) FillRect(dc, &bar, black);
}

// Shows frame lines first..last: 1:1 in the window, scaled in full screen.
void paintLines(Window& w, HDC dc, int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, w.height - 1);
    if (first > last) return;
    const int count = last - first + 1;
    const BITMAPINFO info = linesInfo(w.width, count);
    const Color* lines = &w.pixels[static_cast<std::size_t>(first) * static_cast<std::size_t>(w.width)];
    if (!w.fullScreen) {
        SetDIBitsToDevice(dc, 0, first, static_cast<DWORD>(w.width), static_cast<DWORD>(count), 0, 0, 0,
                          static_cast<UINT>(count), lines, &info, DIB_RGB_COLORS);
        return;
    }
    RECT client;
    GetClientRect(w.window, &client);
    const RECT place = scaledPlace(w, client);
    const long placeHeight = place.bottom - place.top;
    // Whole lines of the screen for each span, so neighbouring spans meet.
    const long top = place.top + first * placeHeight / w.height;
    const long bottom = place.top + (last + 1) * placeHeight / w.height;
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, place.left, top, place.right - place.left, bottom - top, 0, 0, w.width, count, lines, &info,
                  DIB_RGB_COLORS, SRCCOPY);
}

void paintAll(Window& w, HDC dc) {
    if (w.fullScreen) {
        RECT client;
        GetClientRect(w.window, &client);
        paintBars(dc, client, scaledPlace(w, client));
    }
    paintLines(w, dc, 0, w.height - 1);
}

// A failed switch leaves the display as it was.
void setFullScreen(Window& w, bool on) {
    if (on == w.fullScreen) return;
    if (on) {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (!GetWindowRect(w.window, &w.windowedPlace) ||
            !GetMonitorInfoW(MonitorFromWindow(w.window, MONITOR_DEFAULTTONEAREST), &monitor))
            return;
        const RECT& area = monitor.rcMonitor;
        SetWindowLongPtrW(w.window, GWL_STYLE, fullScreenStyle | WS_VISIBLE);
        if (!SetWindowPos(w.window, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                          SWP_FRAMECHANGED | SWP_SHOWWINDOW)) {
            SetWindowLongPtrW(w.window, GWL_STYLE, windowedStyle | WS_VISIBLE);
            SetWindowPos(w.window, nullptr, 0, 0, 0, 0,
                         SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
            return;
        }
    } else {
        const RECT& place = w.windowedPlace;
        SetWindowLongPtrW(w.window, GWL_STYLE, windowedStyle | WS_VISIBLE);
        SetWindowPos(w.window, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                     SWP_FRAMECHANGED | SWP_NOZORDER | SWP_SHOWWINDOW);
    }
    w.fullScreen = on;
    w.settlingCycles = settlingRepaints;
    InvalidateRect(w.window, nullptr, FALSE);
}

LRESULT handleMessage(Window& w, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CHAR:
            if (const KeyCode code = characterKey(static_cast<std::uint32_t>(wParam)); code >= 0)
                addKeys(w, code, lParam);
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_F10) return 0;
            if (const KeyCode code = keyDownKey(static_cast<std::uint32_t>(wParam), isEnhanced(lParam),
                                                GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0))
                addKeys(w, code, lParam);
            return 0;
        case WM_SYSKEYDOWN:
            // Alt held without Ctrl, or F10: never typing, never the menu,
            // and Alt+F4 does not close. Held down, the switch would flicker.
            if (wParam == VK_RETURN && !isRepeat(lParam)) w.toggleWanted = true;
            return 0;
        case WM_SYSKEYUP:
        case WM_SYSCHAR:
        case WM_SYSDEADCHAR:
            return 0;
        case WM_SYSCOMMAND:
            switch (wParam & systemCommandMask) {
                case SC_KEYMENU:
                case SC_SCREENSAVE:
                case SC_MONITORPOWER:
                    return 0;
                case SC_MAXIMIZE:
                    w.fullScreenWanted = true;
                    return 0;
                default:
                    break;
            }
            break;
        case WM_SIZE:
            // Maximised by other means than the button (a window manager).
            if (wParam == SIZE_MAXIMIZED) w.fullScreenWanted = true;
            break;
        case WM_CLOSE:
            // The close button is a key for the program; the window stays.
            w.keys.push_back(keyCloseRequest);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the picture covers it all
        case WM_PAINT: {
            PAINTSTRUCT paint;
            const HDC dc = BeginPaint(window, &paint);
            if (w.fullScreen)
                paintAll(w, dc);
            else
                paintLines(w, dc, paint.rcPaint.top, paint.rcPaint.bottom - 1);
            EndPaint(window, &paint);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* w = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!w) return DefWindowProcW(window, message, wParam, lParam);
    return handleMessage(*w, window, message, wParam, lParam);
}

std::string errorText(const std::string& what) {
    const DWORD error = GetLastError();
    return error ? what + " (error " + std::to_string(error) + ")" : what;
}

bool registerClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(programIcon));
    if (!windowClass.hIcon) windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = className;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool open(BackEnd& b, const BackEndSetup& setup, std::string& why) {
    // The frame must reach the screen pixel for pixel, never stretched by
    // the system for a scaled desktop.
    SetProcessDPIAware();
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!registerClass(instance)) {
        why = errorText("cannot register the window class");
        return false;
    }
    auto* w = new Window;
    w->width = setup.width;
    w->height = setup.height;
    w->pixels.assign(static_cast<std::size_t>(setup.width) * static_cast<std::size_t>(setup.height), 0);

    RECT outer{0, 0, setup.width, setup.height};
    AdjustWindowRect(&outer, windowedStyle, FALSE);
    const int outerWidth = outer.right - outer.left;
    const int outerHeight = outer.bottom - outer.top;
    RECT desktop{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &desktop, 0);
    const int left = desktop.left + (desktop.right - desktop.left - outerWidth) / 2;
    const int top = desktop.top + (desktop.bottom - desktop.top - outerHeight) / 2;
    const std::wstring title = platform::wideText(setup.title);
    w->window = CreateWindowExW(0, className, title.c_str(), windowedStyle, std::max(left, 0), std::max(top, 0),
                                outerWidth, outerHeight, nullptr, nullptr, instance, w);
    if (!w->window) {
        why = errorText("cannot create the window");
        delete w;
        return false;
    }
    w->savedExecutionState = SetThreadExecutionState(ES_CONTINUOUS | ES_DISPLAY_REQUIRED);
    ShowWindow(w->window, SW_SHOWNORMAL);
    UpdateWindow(w->window);
    SetForegroundWindow(w->window);
    b.state = w;
    return true;
}

void handleMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// The messages are handled here, without the screen lock: the window
// procedure only collects, and takeInput posts under the lock.
void waitForInput(BackEnd&, int milliseconds) {
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::max(milliseconds, 0)), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    handleMessages();
}

void takeInput(BackEnd& b, KeyQueue& queue) {
    Window& w = state(b);
    for (KeyCode k : w.keys) offerKey(queue, k);
    w.keys.clear();
}

void upload(BackEnd& b, const TextScreen& screen, LineSpan span) {
    Window& w = state(b);
    const int first = std::max(span.first, 0);
    const int last = std::min({span.last, screen.pixelHeight - 1, w.height - 1});
    if (first > last || screen.pixelWidth != w.width) return;
    const auto begin = screen.frame.begin() + static_cast<std::ptrdiff_t>(first) * w.width;
    std::copy(begin, begin + static_cast<std::ptrdiff_t>(last - first + 1) * w.width,
              w.pixels.begin() + static_cast<std::ptrdiff_t>(first) * w.width);
    w.changedFirst = std::min(w.changedFirst, first);
    w.changedLast = std::max(w.changedLast, last);
}

void present(BackEnd& b) {
    Window& w = state(b);
    if (w.toggleWanted) {
        setFullScreen(w, !w.fullScreen);
    } else if (w.fullScreenWanted && !w.fullScreen) {
        if (IsZoomed(w.window)) ShowWindow(w.window, SW_RESTORE);
        setFullScreen(w, true);
    }
    w.toggleWanted = w.fullScreenWanted = false;
    const bool settling = w.settlingCycles > 0;
    if (settling) --w.settlingCycles;
    if (w.changedFirst > w.changedLast && !settling) return;
    if (const HDC dc = GetDC(w.window)) {
        if (settling)
            paintAll(w, dc);
        else
            paintLines(w, dc, w.changedFirst, w.changedLast);
        ReleaseDC(w.window, dc);
    }
    w.changedFirst = INT_MAX;
    w.changedLast = -1;
}

void close(BackEnd& b) {
    Window& w = state(b);
    DestroyWindow(w.window);
    handleMessages();
    // Give the screen saver back its setting.
    const EXECUTION_STATE saved = w.savedExecutionState;
    SetThreadExecutionState((saved & ES_CONTINUOUS) ? saved : ES_CONTINUOUS);
    delete &w;
    b.state = nullptr;
}

// On the program thread, under the screen lock: must return at once.
void beep(BackEnd&, int count, int hertz, int milliseconds) {
    beepHertz.store(hertz);
    beepMilliseconds.store(milliseconds);
    int wanted = beepsWanted.load();
    do {
        if (wanted >= 2) return;  // one sounding, one waiting: enough
    } while (!beepsWanted.compare_exchange_weak(wanted, std::min(wanted + count, 2)));
    if (wanted > 0) return;  // the sounding thread plays it next
    if (const HANDLE thread = CreateThread(nullptr, 0, soundBeeps, nullptr, 0, nullptr))
        CloseHandle(thread);
    else
        beepsWanted.store(0);
}

// A posted message ends MsgWaitForMultipleObjectsEx; WM_NULL does nothing.
void wake(BackEnd& b) { PostMessage(state(b).window, WM_NULL, 0, 0); }

}  // namespace

BackEnd windowBackEnd() {
    return {"window", nullptr, open, waitForInput, takeInput, upload, present, close, beep, wake};
}

}  // namespace screen
