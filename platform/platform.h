// The thin operating-system layer: where the executable is, the clock,
// sleeping, reading a key script and ending the process.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The full path of the running executable, never cut short; empty when
// the system cannot tell.
std::string executablePath();
// The executable's folder (see directoryOf).
std::string executableDirectory();
// The folder part of `path` for the given separator: everything before the
// last separator. No separator gives the empty text; the root stays itself
// ("/" for '/'); with '\\' a bare drive ("C:") gets its backslash back.
std::string directoryOf(std::string_view path, char separator);
// `directory` and `name` joined by the separator, unless the directory is
// empty or already ends in a separator ('/' always counts as one).
std::string joinPath(std::string_view directory, std::string_view name, char separator);
// The file name without folder and without its last extension.
std::string programTitle(std::string_view path, char separator);

inline constexpr char pathSeparator =
#ifdef _WIN32
    '\\';
#else
    '/';
#endif

// Seconds from a monotonic high-resolution clock; only differences count.
double clockSeconds();
void sleepMilliseconds(int milliseconds);
// A short sleep that leaves the processor free, for a wait that tests
// again and again and for which a millisecond would be long.
void napMicroseconds(int microseconds);
[[noreturn]] void endProcess(int status);

// Key scripts come through a descriptor (standard input) that must never
// hold up the screen: these read what is there and never wait for more.
//
// Reads what `fd` holds now, at most `size` bytes: how many were read, 0
// when nothing has arrived yet, -1 when the input has ended (its end or a
// failure: nothing more will come).
long readAvailableInput(int fd, unsigned char* buffer, std::size_t size);
// Sleeps up to `milliseconds`, returning sooner once `fd` has something
// to read or has ended.
void waitForInputOn(int fd, int milliseconds);

}  // namespace platform
