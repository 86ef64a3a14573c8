#include "lister/file_listing.h"

#include <string_view>
#include <vector>

#include "lister/listings.h"
#include "lister/run_driver.h"
#include "lister/texts.h"
#include "platform/platform.h"
#include "screen/keyboard.h"
#include "screen/number_text.h"
#include "screen/screen.h"

namespace lister {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view creationError = " > ERROR AL CREAR EL ARCHIVO: "sv;
constexpr std::string_view writingError = " > ERROR AL ESCRIBIR EL ARCHIVO: "sv;
constexpr std::string_view errorNumberLabel = "  ERR="sv;

bool validNumber(int handle) { return handle >= 1 && handle <= 255; }

bool inUse(const FileTable& table, int handle) {
    return validNumber(handle) && table.files[static_cast<std::size_t>(handle)].handle != -1;
}

// The error line on row 70 and the key hint, then the end of the run.
[[noreturn]] void endWithFileError(const RunValues& run, std::string_view what, int errorNumber,
                                   bool panelShown) {
    clearRow(reportRow, screenWidth, white, background);
    screen::setColors(white, background);
    screen::moveCursor(reportRow, 1);
    screen::printText(what, false);
    // The path gives way, so that the number and the hint stay readable.
    const std::string number = screen::int32Text(errorNumber);
    const std::size_t room = static_cast<std::size_t>(screenWidth) - what.size() - errorNumberLabel.size();
    printPath(run.filePath, room - number.size());
    screen::printText(errorNumberLabel, false);
    screen::printText(number, false);
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
        if (!inUse(table, handle)) return handle;
    return 0;
}

int openForOutput(FileTable& table, int handle, const std::string& path, std::uint64_t expectedLength) {
    if (!validNumber(handle) || inUse(table, handle)) return fileBadNumber;
    const auto at = static_cast<std::size_t>(handle);
    table.files[at].expectedLength = expectedLength;
    if (!platform::openOutputFile(table.files[at], path)) return fileNotCreated;
    return fileOk;
}

int writeText(FileTable& table, int handle, const char* bytes, std::size_t length) {
    if (!inUse(table, handle)) return fileBadNumber;
    const auto at = static_cast<std::size_t>(handle);
    // A signal that ends lister, or a window that is lost, waits until the
    // piece is in, or cut back.
    const platform::SignalMask before = platform::holdEndingSignals();
    platform::beginPiece();
    platform::OutputFile& file = table.files[at];
    const std::size_t done = platform::writeOutputFile(file, bytes, length);
    if (done != length) platform::cutOutputFile(file, file.length / lineLength * lineLength);
    platform::endPiece();
    platform::releaseSignals(before);
    return done == length ? fileOk : fileWriteFailed;
}

std::int64_t linesWritten(const FileTable& table, int handle) {
    if (!validNumber(handle)) return 0;
    return static_cast<std::int64_t>(table.files[static_cast<std::size_t>(handle)].length / lineLength);
}

int close(FileTable& table, int handle) {
    if (!inUse(table, handle)) return fileBadNumber;
    return platform::closeOutputFile(table.files[static_cast<std::size_t>(handle)]) ? fileOk : fileWriteFailed;
}

void runFileListing(RunValues& run) {
    FileTable files;
    const int handle = freeFileNumber(files);
    // A path with no folder would land wherever lister happens to stand.
    const bool placed = !platform::directoryOf(run.filePath, platform::pathSeparator).empty();
    const std::uint64_t length = static_cast<std::uint64_t>(run.total) * lineLength;
    const int opened = placed ? openForOutput(files, handle, run.filePath, length) : fileNotCreated;
    if (opened != fileOk) endWithFileError(run, creationError, opened, false);

    showProgress(run.count, run.total, run.page, run.choice, run.fileName);
    // A failed write or close must never end in the "OK" report: the run
    // stops and says so, keeping the lines already written.
    // Written on this thread as each piece fills: the piece is still in
    // this core's cache when the system copies it, which a writer thread
    // on the other core measured slower. A piece is filled where the
    // platform writes it from when it has such a place (a browser's), in
    // this buffer otherwise.
    std::vector<char> buffer(writeBufferSize);
    platform::OutputFile& file = files.files[static_cast<std::size_t>(handle)];
    const auto space = [&] { return platform::outputSpace(file, buffer.data(), writeBufferSize); };
    const bool written = writeLines(run, space(), [&](char* bytes, std::size_t length) -> char* {
        return writeText(files, handle, bytes, length) == fileOk ? space() : nullptr;
    });
    const bool closed = close(files, handle) == fileOk;
    if (!written || !closed) {
        // The panel may count lines that never reached the file: pieces
        // gathered in a browser may fail as late as the close.
        run.count = linesWritten(files, handle);
        showProgress(run.count, run.total, run.page, run.choice, run.fileName);
        endWithFileError(run, writingError, fileWriteFailed, true);
    }
}

}  // namespace lister
