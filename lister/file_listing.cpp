#include "lister/file_listing.h"

#include <atomic>
#include <memory>
#include <string_view>
#include <thread>

#include "lister/listings.h"
#include "lister/run_driver.h"
#include "lister/texts.h"
#include "platform/platform.h"
#include "screen/keyboard.h"
#include "screen/screen.h"

namespace lister {
namespace {

using namespace std::string_view_literals;

constexpr std::size_t streamBufferSize = 8192;
constexpr std::string_view creationError = " > ERROR AL CREAR EL ARCHIVO: "sv;
constexpr std::string_view writingError = " > ERROR AL ESCRIBIR EL ARCHIVO: "sv;
constexpr std::string_view errorNumberLabel = "  ERR="sv;
constexpr int hintRow = 69;
constexpr int reportRow = 70;

bool validNumber(int handle) { return handle >= 1 && handle <= 255; }

// Writes the full buffers on a thread of its own while the enumeration
// fills the next, so the listing costs little more than the writes. A ring
// of four buffers absorbs the jitter of the writes; a failed write is seen
// at a later hand-over, and nothing is written after it.
struct PieceWriter {
    PieceWriter(FileTable& table, int number) : files(table), handle(number) {}
    struct Slot {
        std::array<char, writeBufferSize> bytes;
        std::size_t length = 0;  // 0: the end, no more pieces
        std::atomic<bool> full{false};
    };
    static constexpr std::size_t slotCount = 4;
    FileTable& files;
    int handle;
    std::array<Slot, slotCount> slots;
    std::size_t filling = 0;  // the slot the enumeration fills
    std::atomic<bool> failed{false};
    std::thread thread;
};

// Pieces pass every few microseconds, far less than a sleep and a wake-up
// take: spin a while before sleeping on the flag.
void awaitFlag(const std::atomic<bool>& flag, bool wanted) {
    constexpr int spins = 4096;
    for (int i = 0; i < spins; ++i) {
        if (flag.load(std::memory_order_acquire) == wanted) return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    while (flag.load(std::memory_order_acquire) != wanted) flag.wait(!wanted, std::memory_order_acquire);
}

void setFlag(std::atomic<bool>& flag, bool value) {
    flag.store(value, std::memory_order_release);
    flag.notify_one();
}

void writePieces(PieceWriter& w) {
    for (std::size_t i = 0;; i = (i + 1) % PieceWriter::slotCount) {
        PieceWriter::Slot& slot = w.slots[i];
        awaitFlag(slot.full, true);
        if (slot.length == 0) return;
        if (!w.failed.load(std::memory_order_relaxed) &&
            writeText(w.files, w.handle, slot.bytes.data(), slot.length) != fileOk)
            w.failed.store(true, std::memory_order_release);
        setFlag(slot.full, false);
    }
}

// Gives the writer the filled buffer; returns the one to fill next, or
// null once a write has failed.
char* handOver(PieceWriter& w, std::size_t length) {
    if (w.failed.load(std::memory_order_acquire)) return nullptr;
    PieceWriter::Slot& filled = w.slots[w.filling];
    filled.length = length;
    setFlag(filled.full, true);
    w.filling = (w.filling + 1) % PieceWriter::slotCount;
    PieceWriter::Slot& next = w.slots[w.filling];
    awaitFlag(next.full, false);
    if (w.failed.load(std::memory_order_acquire)) return nullptr;
    return next.bytes.data();
}

// Waits for the pieces handed over and ends the writer: true when all
// went out.
bool finishWriting(PieceWriter& w) {
    PieceWriter::Slot& last = w.slots[w.filling];
    awaitFlag(last.full, false);
    last.length = 0;
    setFlag(last.full, true);
    w.thread.join();
    return !w.failed.load(std::memory_order_acquire);
}

// The error line on row 70 and the key hint, then the end of the run.
[[noreturn]] void endWithFileError(const RunValues& run, std::string_view what, int errorNumber,
                                   bool panelShown) {
    clearRow(reportRow, screenWidth, white, background);
    screen::setColors(white, background);
    screen::moveCursor(reportRow, 1);
    screen::printText(what, false);
    screen::printText(run.filePath, false);
    screen::printText(errorNumberLabel, false);
    screen::printInt32(errorNumber);
    // The panel's longer row 69 would show past the hint.
    if (panelShown) clearRow(hintRow, screenWidth, white, background);
    screen::setColors(green, background);
    screen::moveCursor(hintRow, 1);
    screen::printText(keyHint, false);
    screen::waitForKey();
    screen::closeScreen();
    platform::endProcess(0);
}

}  // namespace

int freeFileNumber(const FileTable& table) {
    for (int handle = 1; handle <= 255; ++handle)
        if (!table.files[static_cast<std::size_t>(handle)]) return handle;
    return 0;
}

int openForOutput(FileTable& table, int handle, const std::string& path) {
    if (!validNumber(handle) || table.files[static_cast<std::size_t>(handle)]) return fileBadNumber;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return fileNotCreated;
    std::setvbuf(file, nullptr, _IOFBF, streamBufferSize);
    table.files[static_cast<std::size_t>(handle)] = file;
    return fileOk;
}

int writeText(FileTable& table, int handle, const char* bytes, std::size_t length) {
    if (!validNumber(handle) || !table.files[static_cast<std::size_t>(handle)]) return fileBadNumber;
    if (length == 0) return fileOk;
    const std::size_t done = std::fwrite(bytes, 1, length, table.files[static_cast<std::size_t>(handle)]);
    return done == length ? fileOk : fileWriteFailed;
}

int close(FileTable& table, int handle) {
    if (!validNumber(handle) || !table.files[static_cast<std::size_t>(handle)]) return fileBadNumber;
    const int result = std::fclose(table.files[static_cast<std::size_t>(handle)]);
    table.files[static_cast<std::size_t>(handle)] = nullptr;
    return result == 0 ? fileOk : fileWriteFailed;
}

void runFileListing(RunValues& run) {
    FileTable files;
    const int handle = freeFileNumber(files);
    const int opened = openForOutput(files, handle, run.filePath);
    if (opened != fileOk) endWithFileError(run, creationError, opened, false);

    showProgress(run.count, run.total, run.page, run.choice, run.fileName);
    // A failed write or close must never end in the "OK" report: the run
    // stops and says so, keeping the lines already written.
    auto writer = std::make_unique<PieceWriter>(files, handle);
    writer->thread = std::thread(writePieces, std::ref(*writer));
    const bool listed = writeLines(run, writer->slots[0].bytes.data(),
                                   [&](char*, std::size_t length) { return handOver(*writer, length); });
    const bool written = finishWriting(*writer) && listed;
    const bool closed = close(files, handle) == fileOk;
    if (!written || !closed) endWithFileError(run, writingError, fileWriteFailed, true);
}

}  // namespace lister
