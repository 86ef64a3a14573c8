#include "lister/file_listing.h"

#include <string_view>
#include <vector>

#include "lister/listings.h"
#include "lister/run_driver.h"
#include "lister/texts.h"
#include "platform/platform.h"
#include "screen/keys/keyboard.h"
#include "screen/screen.h"

namespace lister {
namespace {

using namespace std::string_view_literals;

constexpr std::size_t streamBufferSize = 8192;
constexpr std::string_view creationError = " > ERROR AL CREAR EL ARCHIVO: "sv;
constexpr std::string_view writingError = " > ERROR AL ESCRIBIR EL ARCHIVO: "sv;
constexpr std::string_view errorNumberLabel = "  ERR="sv;

bool validNumber(int handle) { return handle >= 1 && handle <= 255; }

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
    // Written on this thread as each piece fills: the piece is still in
    // this core's cache when the system copies it, which a writer thread
    // on the other core measured slower.
    std::vector<char> buffer(writeBufferSize);
    const bool written = writeLines(run, buffer.data(), [&](char* bytes, std::size_t length) -> char* {
        return writeText(files, handle, bytes, length) == fileOk ? bytes : nullptr;
    });
    const bool closed = close(files, handle) == fileOk;
    if (!written || !closed) endWithFileError(run, writingError, fileWriteFailed, true);
}

}  // namespace lister
