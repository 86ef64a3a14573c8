// The platform layer on Windows.
#include <windows.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

constexpr DWORD firstPathBuffer = MAX_PATH;
constexpr DWORD longestPath = 32768;  // the system's own limit, in characters
constexpr int inputPollMilliseconds = 1;

// The performance counter's ticks per second, or 0 when the system has none
// to report; asked once.
double counterFrequency() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? static_cast<double>(f.QuadPart) : 0.0;
    }();
    return frequency;
}

// The system's handle behind a descriptor. A window program started
// without any standard input gets a negative one, or none at all.
HANDLE handleOf(int fd) {
    const intptr_t h = _get_osfhandle(fd);
    return h < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(h);
}

// The system's last error as the errno value that says the same, for the
// messages lister writes with strerror.
int lastErrorAsErrno() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_NAME: return ENOENT;
        case ERROR_ACCESS_DENIED: case ERROR_WRITE_PROTECT: return EACCES;
        case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: return EWOULDBLOCK;
        case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_NOT_ENOUGH_MEMORY: case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_BROKEN_PIPE: case ERROR_NO_DATA: return EPIPE;
        default: return EIO;
    }
}

constexpr long unpeekable = -2;

// How many bytes a pipe holds now; -1 when its writer has gone, `unpeekable`
// when the pipe cannot tell (Wine's pipes from the Unix side).
long pipeBytes(HANDLE h) {
    DWORD available = 0;
    if (PeekNamedPipe(h, nullptr, 0, nullptr, &available, nullptr)) return static_cast<long>(available);
    const DWORD error = GetLastError();
    return error == ERROR_BROKEN_PIPE || error == ERROR_INVALID_HANDLE ? -1 : unpeekable;
}

// For input that cannot be looked at without waiting: a thread of its own
// waits in ReadFile and keeps what arrives for the next reads. Made once
// and never freed, since its thread may still wait when the process ends.
struct BackgroundReader {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE arrived = nullptr;  // set while bytes or the end wait to be taken
    std::mutex lock;
    std::vector<unsigned char> bytes;
    bool ended = false;
};

BackgroundReader* backgroundReader = nullptr;
int backgroundFd = -1;

DWORD WINAPI readInBackground(LPVOID context) {
    auto& r = *static_cast<BackgroundReader*>(context);
    for (;;) {
        unsigned char chunk[4096];
        DWORD got = 0;
        const bool read = ReadFile(r.handle, chunk, sizeof chunk, &got, nullptr) && got > 0;
        std::lock_guard<std::mutex> hold(r.lock);
        if (read) r.bytes.insert(r.bytes.end(), chunk, chunk + got);
        else r.ended = true;
        SetEvent(r.arrived);
        if (!read) return 0;
    }
}

bool startBackgroundReader(int fd, HANDLE h) {
    auto* r = new BackgroundReader;
    r->handle = h;
    r->arrived = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE thread = r->arrived ? CreateThread(nullptr, 0, readInBackground, r, 0, nullptr) : nullptr;
    if (!thread) {
        if (r->arrived) CloseHandle(r->arrived);
        delete r;
        return false;
    }
    CloseHandle(thread);
    backgroundReader = r;
    backgroundFd = fd;
    return true;
}

long takeBackgroundBytes(BackgroundReader& r, unsigned char* buffer, std::size_t size) {
    std::lock_guard<std::mutex> hold(r.lock);
    const std::size_t count = std::min(size, r.bytes.size());
    if (count == 0) {
        if (r.ended) return -1;
        ResetEvent(r.arrived);
        return 0;
    }
    std::memcpy(buffer, r.bytes.data(), count);
    r.bytes.erase(r.bytes.begin(), r.bytes.begin() + static_cast<std::ptrdiff_t>(count));
    if (r.bytes.empty() && !r.ended) ResetEvent(r.arrived);
    return static_cast<long>(count);
}

bool isConsole(HANDLE h) {
    DWORD mode = 0;
    return GetConsoleMode(h, &mode) != 0;
}

// A console delivers key events, not bytes: the characters typed so far
// (a console's reads would wait for a whole line).
long consoleCharacters(HANDLE h, unsigned char* buffer, std::size_t size) {
    DWORD events = 0;
    if (!GetNumberOfConsoleInputEvents(h, &events)) return -1;
    std::size_t got = 0;
    for (; events > 0 && got < size; --events) {
        INPUT_RECORD record;
        DWORD read = 0;
        if (!ReadConsoleInputA(h, &record, 1, &read) || read == 0) break;
        if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
        const auto character = static_cast<unsigned char>(record.Event.KeyEvent.uChar.AsciiChar);
        for (WORD i = 0; character != 0 && i < record.Event.KeyEvent.wRepeatCount && got < size; ++i)
            buffer[got++] = character;
    }
    return static_cast<long>(got);
}

// The path as CreateFileW takes it: past MAX_PATH, a full path needs the
// \\?\ prefix that lifts the limit.
std::wstring longPath(const std::string& path) {
    std::wstring wide = wideText(path);
    if (wide.size() < MAX_PATH) return wide;
    if (wide.rfind(L"\\\\", 0) == 0) return wide.rfind(L"\\\\?\\", 0) == 0 ? wide : L"\\\\?\\UNC" + wide.substr(1);
    if (wide.size() > 2 && wide[1] == L':' && wide[2] == L'\\') return L"\\\\?\\" + wide;
    return wide;
}

}  // namespace

void prepareProcess() {}

std::wstring wideText(std::string_view text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

bool streamMissing(std::FILE* stream) {
    const HANDLE h = handleOf(_fileno(stream));
    return h == INVALID_HANDLE_VALUE || h == nullptr;
}

void showMessage(std::string_view text, bool problem) {
    // A message box wraps lines itself, in a font of its own: a line broken
    // only to fit a terminal's width runs on into the next one, unless that
    // one is empty or indented.
    constexpr std::size_t wrappedWidth = 60;
    std::string flowing(text);
    std::size_t lineStart = 0;
    for (std::size_t at = flowing.find('\n'); at != std::string::npos; at = flowing.find('\n', at + 1)) {
        const bool runsOn = at - lineStart >= wrappedWidth && at + 1 < flowing.size() &&
                            flowing[at + 1] != '\n' && flowing[at + 1] != ' ';
        if (runsOn) flowing[at] = ' ';
        lineStart = at + 1;
    }
    MessageBoxW(nullptr, wideText(flowing).c_str(), L"lister", MB_OK | (problem ? MB_ICONERROR : MB_ICONINFORMATION));
}

std::string utf8Text(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::string executablePath() {
    // The result fills the whole buffer when the path was cut: grow and ask again.
    std::vector<wchar_t> buffer(firstPathBuffer);
    const HMODULE self = GetModuleHandleW(nullptr);
    for (;;) {
        const DWORD length = GetModuleFileNameW(self, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return utf8Text(std::wstring_view(buffer.data(), length));
        if (buffer.size() >= longestPath) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::string> environmentValue(const char* name) {
    const wchar_t* value = _wgetenv(wideText(name).c_str());
    if (!value) return std::nullopt;
    return utf8Text(value);
}

double clockSeconds() {
    const double frequency = counterFrequency();
    if (frequency <= 0.0) return GetTickCount() * 0.001;
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) / frequency;
}

void sleepMilliseconds(int milliseconds) { Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0); }

void napMicroseconds(int microseconds) { std::this_thread::sleep_for(std::chrono::microseconds(microseconds)); }

void endProcess(int status) { std::exit(status); }

bool openOutputFile(OutputFile& file, const std::string& path) {
    // Shared for reading only: a second writer, another lister, is refused
    // while this one writes. Opened, not created afresh, so that a refused
    // open leaves that lister's file as it is.
    const HANDLE h = CreateFileW(longPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    file.error = 0;
    file.length = 0;
    if (h == INVALID_HANDLE_VALUE) {
        file.error = lastErrorAsErrno();
        return false;
    }
    const bool onDisk = GetFileType(h) == FILE_TYPE_DISK;
    // Emptied from the start, where a new handle stands.
    if (onDisk && !SetEndOfFile(h)) {
        file.error = lastErrorAsErrno();
        CloseHandle(h);
        return false;
    }
    file.handle = reinterpret_cast<std::intptr_t>(h);
    file.onDisk = onDisk;
    return true;
}

char* outputSpace(OutputFile&, char* own, std::size_t) { return own; }

std::size_t writeOutputFile(OutputFile& file, const char* bytes, std::size_t length) {
    constexpr std::size_t largestWrite = 1u << 30;
    const HANDLE h = reinterpret_cast<HANDLE>(file.handle);
    std::size_t done = 0;
    while (done < length) {
        DWORD written = 0;
        const auto wanted = static_cast<DWORD>(std::min(length - done, largestWrite));
        if (!WriteFile(h, bytes + done, wanted, &written, nullptr) || written == 0) {
            file.error = written == 0 && GetLastError() == ERROR_SUCCESS ? EIO : lastErrorAsErrno();
            break;
        }
        done += written;
    }
    file.length += done;
    return done;
}

void cutOutputFile(OutputFile& file, std::uint64_t length) {
    if (!file.onDisk) return;
    const HANDLE h = reinterpret_cast<HANDLE>(file.handle);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(length);
    if (SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h)) file.length = std::min(file.length, length);
}

bool closeOutputFile(OutputFile& file) {
    const bool closed = CloseHandle(reinterpret_cast<HANDLE>(file.handle)) != 0;
    file = {.error = closed ? 0 : lastErrorAsErrno(), .length = file.length};
    return closed;
}

// No signals end a Windows program from outside.
SignalMask holdEndingSignals() { return {}; }
void releaseSignals(const SignalMask&) {}

long readAvailableInput(int fd, unsigned char* buffer, std::size_t size) {
    if (backgroundReader && backgroundFd == fd) return takeBackgroundBytes(*backgroundReader, buffer, size);
    const HANDLE h = handleOf(fd);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) return -1;
    DWORD wanted = static_cast<DWORD>(size);
    const DWORD type = GetFileType(h);
    if (type == FILE_TYPE_CHAR && isConsole(h)) return consoleCharacters(h, buffer, size);
    if (type == FILE_TYPE_PIPE) {
        // A read of an empty pipe would wait for its writer: read only what is there.
        const long available = pipeBytes(h);
        if (available == unpeekable) return startBackgroundReader(fd, h) ? 0 : -1;
        if (available <= 0) return available;
        if (static_cast<DWORD>(available) < wanted) wanted = static_cast<DWORD>(available);
    }
    // A file (or the null device) answers at once, with 0 bytes at its end.
    DWORD got = 0;
    if (!ReadFile(h, buffer, wanted, &got, nullptr) || got == 0) return -1;
    return static_cast<long>(got);
}

void waitForInputOn(int fd, int milliseconds) {
    if (backgroundReader && backgroundFd == fd) {
        WaitForSingleObject(backgroundReader->arrived, static_cast<DWORD>(milliseconds > 0 ? milliseconds : 0));
        return;
    }
    const HANDLE h = handleOf(fd);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) {
        sleepMilliseconds(milliseconds);
        return;
    }
    const DWORD type = GetFileType(h);
    if (type == FILE_TYPE_CHAR && isConsole(h)) {
        WaitForSingleObject(h, static_cast<DWORD>(milliseconds > 0 ? milliseconds : 0));
        return;
    }
    // Pipes cannot be waited on: look again every millisecond. Files are
    // always ready.
    if (type != FILE_TYPE_PIPE) return;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(milliseconds > 0 ? milliseconds : 0);
    while (pipeBytes(h) == 0 && GetTickCount64() < deadline) sleepMilliseconds(inputPollMilliseconds);
}

}  // namespace platform
