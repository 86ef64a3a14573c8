#include "lister/command_line.h"

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace lister {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view versionOption = "--version"sv;
constexpr std::string_view helpOption = "--help"sv;
constexpr std::string_view versionText = "lister " LISTER_VERSION "\n"sv;

constexpr std::string_view usageBeforeFolder =
    "Usage: lister [--version | --help]\n"
    "\n"
    "lister lists every combination of 6 elements out of n (7 to 49) in\n"
    "lexicographic order, on its own screen of 100 x 70 character cells or into\n"
    "a file. It asks for n, then for P (the screen) or G (a file); its screens\n"
    "are in Spanish. ESC stops a listing; at the end any key ends lister.\n"
    "\n"
    "The file, VSR_<n>-6.asc (one 14-byte CR LF line per combination), is\n"
    "written in the folder of the lister executable, whatever the current\n"
    "folder; for this lister that is\n"
    "  "sv;
constexpr std::string_view usageAfterFolder =
    "\n"
    "Installed from the Debian package, the lister command runs a copy of the\n"
    "program kept in ${XDG_DATA_HOME:-$HOME/.local/share}/lister, so the file\n"
    "lands there.\n"
    "\n"
    "Environment:\n"
    "  LISTER_SCREEN=window, terminal or headless\n"
    "      how the screen is shown; headless shows nothing and reads the keys\n"
    "      from standard input\n"
    "  LISTER_SCREENSHOT=FILE\n"
    "      the final picture, written there as a PNG\n"
    "  LISTER_CELLS=FILE\n"
    "      the final 100 x 70 cells, written there as text\n"
    "\n"
    "Options:\n"
    "  --version  prints the version and ends\n"
    "  --help     prints this help and ends\n"sv;

void put(std::string_view text, std::FILE* out) { std::fwrite(text.data(), 1, text.size(), out); }

}  // namespace

bool answeredCommandLine(int argc, const char* const* argv, std::FILE* out) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == versionOption) {
            put(versionText, out);
        } else if (argument == helpOption) {
            put(usageBeforeFolder, out);
            put(platform::executableDirectory(), out);
            put(usageAfterFolder, out);
        } else {
            continue;
        }
        std::fflush(out);
        return true;
    }
    return false;
}

}  // namespace lister
