#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform {

std::string directoryOf(std::string_view path, char separator) {
    const std::size_t cut = path.rfind(separator);
    if (cut == std::string_view::npos) return {};
    if (separator == '/' && cut == 0) return std::string(1, '/');
    std::string directory(path.substr(0, cut));
    const bool bareDrive = directory.size() == 2 && directory[1] == ':' &&
                           ((directory[0] >= 'A' && directory[0] <= 'Z') || (directory[0] >= 'a' && directory[0] <= 'z'));
    if (separator != '/' && bareDrive) directory += separator;
    return directory;
}

std::string joinPath(std::string_view directory, std::string_view name, char separator) {
    if (directory.empty()) return std::string(name);
    std::string path(directory);
    if (path.back() != separator && path.back() != '/') path += separator;
    path += name;
    return path;
}

std::string programTitle(std::string_view path, char separator) {
    const std::size_t slash = path.rfind(separator);
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    return std::string(name);
}

std::string executableDirectory() { return directoryOf(executablePath(), pathSeparator); }

namespace {
std::mutex pieceGoingOut;
}

void beginPiece() { pieceGoingOut.lock(); }
void endPiece() { pieceGoingOut.unlock(); }

void endProcessBetweenPieces(int status, const char* message) {
    pieceGoingOut.lock();  // kept: no further piece starts
    std::fprintf(stderr, "lister: %s\n", message);
    std::fflush(stderr);
    // Not exit(): the program thread still runs, and must not meet a
    // process whose objects are being destroyed.
    std::_Exit(status);
}

}  // namespace platform
