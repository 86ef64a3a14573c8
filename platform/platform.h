// The thin operating-system layer: where the executable is, the clock,
// sleeping, reading a key script, the output file, signals and ending the
// process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Called first thing at start: remembers the folder lister started in, and
// makes a write past the file-size limit or into a pipe nobody reads any
// longer fail as a write error instead of ending the process.
void prepareProcess();

// Paths and the environment's texts are UTF-8 inside lister on every
// system: on Windows they go through the system's wide functions, so a
// folder may be named in any script.
//
// The full path of the running executable, never cut short; empty when
// the system cannot tell.
std::string executablePath();
// The environment variable's value; none when it is not set.
std::optional<std::string> environmentValue(const char* name);
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

// An output file (the listing's, the dumps), written from one thread.
struct OutputFile {
    std::intptr_t handle = -1;  // the descriptor, or the Windows handle
    bool onDisk = false;        // a regular file: locked, and it can be cut back
    int error = 0;              // why opening or the last write failed, as an errno value
    // The length the file will reach, when known before it is opened (0
    // when not): where the file is held in memory, what to reserve.
    std::uint64_t expectedLength = 0;
    // The bytes the file is known to hold: those written (a browser's
    // gathered pieces once its file worker has written them), less what a
    // cut took back; kept, with `error`, once the file is closed.
    std::uint64_t length = 0;
};

// Opens `path` for writing, creating it, without ever waiting: false when
// it cannot be created or opened, when it is a FIFO nobody reads (ENXIO),
// or when another writer (another lister) holds it (EWOULDBLOCK); that
// writer's file is left as it was. A file on disk is then locked against
// other writers, where its file system has locks, and emptied.
bool openOutputFile(OutputFile& file, const std::string& path);
// Where to put the next piece, of at most `room` bytes, for
// writeOutputFile to take without copying it: on Linux and Windows the
// caller's own buffer; in a browser whose file has its whole length, the
// place in the memory its file worker writes from. Good until the next
// call on the file.
char* outputSpace(OutputFile& file, char* own, std::size_t room);
// Writes the bytes: `length`, or fewer when writing failed; what the file
// holds is counted in `file.length`. What the count promises:
// - Linux, Windows, and a browser whose file lacks its whole length: the
//   bytes are written before it returns, in as many calls as the system
//   needs, and it counts those that reached the file. Waiting for a
//   reader of a FIFO or a device, the signals that end the process get
//   through, held back or not.
// - A browser whose file has its whole length (no write can fail for want
//   of room): the piece is only gathered with the ones around it, for the
//   file worker to write while lister goes on, and `length` comes back at
//   once. Should gathered pieces fail after all (the disk failing), the
//   first write after the worker's answer returns 0, dropping its own
//   piece and those gathered with it, or else the close fails;
//   `file.length` then ends before them.
std::size_t writeOutputFile(OutputFile& file, const char* bytes, std::size_t length);
// Cuts a file on disk back to its first `length` bytes, once every piece
// written before is in or has failed; a device or a pipe is left alone.
void cutOutputFile(OutputFile& file, std::uint64_t length);
// False when a piece written before failed (see writeOutputFile) or the
// system reports a failure on closing.
bool closeOutputFile(OutputFile& file);

// Around each piece of the output file: another thread that must end the
// process (the window's display is lost) waits until the piece is in.
void beginPiece();
void endPiece();
// From any thread: once no piece is going out, says `message` in one line
// on standard error and ends the process with `status` at once, running
// nothing more of the program.
[[noreturn]] void endProcessBetweenPieces(int status, const char* message);

// The signals that end the process and may come from outside (TERM, INT,
// HUP, QUIT, the user and timer signals and the like, never the faults a
// crash raises) are held back on the calling thread until released: around
// each piece of the output file, and for the window thread's whole life.
// Nothing to do on Windows.
struct SignalMask {
    alignas(8) unsigned char bytes[128] = {};
};
// Holds them back; returns the mask to give back to releaseSignals.
SignalMask holdEndingSignals();
void releaseSignals(const SignalMask& before);
#ifndef _WIN32
// Whether `signal` is one of those; the terminal restores itself on them.
bool isEndingSignal(int signal);
#else
// UTF-8 as the wide functions take it, and back.
std::wstring wideText(std::string_view text);
std::string utf8Text(std::wstring_view text);
// Whether standard output or error (`stream`) leads nowhere at all, as for
// a window program started from the desktop or from a console without
// redirection.
bool streamMissing(std::FILE* stream);
// Shows `text` in a message box titled lister, with the error icon when it
// tells of a `problem`; returns once the user has closed it.
void showMessage(std::string_view text, bool problem);
#endif

}  // namespace platform
