// File mode: every combination as a 14-byte CR LF line, gathered in a
// write buffer and written out in pieces of 65548 bytes.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "lister/enumeration.h"
#include "lister/run_values.h"
#include "platform/platform.h"

namespace lister {

inline constexpr int fileOk = 0;
inline constexpr int fileBadNumber = 1;
inline constexpr int fileNotCreated = 2;
inline constexpr int fileWriteFailed = 3;

inline constexpr std::size_t flushThreshold = 65536;
inline constexpr std::size_t lineLength = 14;

// Open output files by number, 1 to 255; 0 is never a file.
struct FileTable {
    std::array<platform::OutputFile, 256> files{};
};

// The lowest free number, 0 when all 255 are taken.
int freeFileNumber(const FileTable& table);
// Creates the file, or empties an existing one, for binary writing; never
// waits: 0, or 2 whatever kept it from opening, another lister writing it
// included (1 for a bad number). `expectedLength`, when known, is the
// length it will reach.
int openForOutput(FileTable& table, int handle, const std::string& path, std::uint64_t expectedLength = 0);
// Writes the bytes, whole lines, with the signals that end the process held
// back meanwhile: 0, or 3 when writing failed, these bytes' or, in a
// browser, those of pieces written before; the file is then cut back to
// its last whole line.
int writeText(FileTable& table, int handle, const char* bytes, std::size_t length);
// The whole lines the file holds, or held when it was closed.
std::int64_t linesWritten(const FileTable& table, int handle);
// Closes, freeing the number: 0, or 3 when writing failed after all (see
// writeText) or the system reports a failure.
int close(FileTable& table, int handle);
// A full buffer: the threshold, one more line, and two spare bytes (a line
// goes in as two 8-byte stores).
inline constexpr std::size_t writeBufferSize = flushThreshold + lineLength + 2;

// The enumeration into a write buffer: each line is the six labels and
// CR LF. Whenever the buffer holds 65536 bytes or more, and at the end for
// the rest, handOver(buffer, length) takes it and gives back the buffer to
// fill next, or null when writing has failed: the listing then stops at
// once, run.count becomes the lines of the pieces handed over whole, and
// this returns false.
template <typename HandOver>
bool writeLines(RunValues& run, char* buffer, HandOver&& handOver) {
    static_assert(std::endian::native == std::endian::little, "labels go in as little-endian words");
    // Label i as its two bytes. A line goes in as two 8-byte stores: the
    // first four labels, then the last two with CR LF.
    std::array<std::uint64_t, mostElements + 1> pairs{};
    for (int i = 1; i <= mostElements; ++i) {
        const std::string& label = run.labels[static_cast<std::size_t>(i)];
        pairs[static_cast<std::size_t>(i)] =
            static_cast<unsigned char>(label[0]) | static_cast<std::uint64_t>(static_cast<unsigned char>(label[1])) << 8;
    }
    constexpr std::uint64_t lineEnd = std::uint64_t{'\r'} | std::uint64_t{'\n'} << 8;

    std::size_t used = 0;
    std::int64_t handedOver = 0;  // the lines of the pieces handed over
    enumerate(
        run,
        [&](int a, int b, int c, int d, int e, int first, int last) {
            const auto pair = [&](int element) { return pairs[static_cast<std::size_t>(element)]; };
            const std::uint64_t front = pair(a) | pair(b) << 16 | pair(c) << 32 | pair(d) << 48;
            const std::uint64_t back = pair(e) | lineEnd << 32;
            // Locals, so that the stores through the buffer need no reloads.
            char* out = buffer;
            std::size_t at = used;
            int f = first;
            while (f <= last) {
                std::memcpy(out + at, &front, 8);
                const std::uint64_t tail = back | pair(f++) << 16;
                std::memcpy(out + at + 8, &tail, 8);
                at += lineLength;
                if (at >= flushThreshold) {
                    out = handOver(out, at);
                    at = 0;
                    if (!out) {
                        buffer = nullptr;
                        return 0;  // fewer than the run, even at its last line: the enumeration stops
                    }
                    handedOver = run.count + (f - first);
                }
            }
            buffer = out;
            used = at;
            return f - first;
        },
        fileCheckMask);
    if (buffer && used > 0) buffer = handOver(buffer, used);
    if (!buffer) run.count = handedOver;
    return buffer != nullptr;
}

}  // namespace lister
