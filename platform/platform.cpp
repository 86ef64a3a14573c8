#include "platform/platform.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#ifndef _WIN32
#include <unistd.h>

#include <cerrno>
#include <vector>
#endif

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

#ifndef _WIN32
std::string executablePath() {
    // readlink reports no length of its own: grow until the link fits.
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}
#endif

std::string executableDirectory() { return directoryOf(executablePath(), pathSeparator); }

double clockSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void sleepMilliseconds(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

void endProcess(int status) { std::exit(status); }

}  // namespace platform
