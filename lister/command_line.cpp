#include "lister/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace lister {
namespace {

using namespace std::string_view_literals;

constexpr int answeredStatus = 0;
constexpr int unwrittenStatus = 1;
constexpr int mistakeStatus = 2;

constexpr std::string_view endOfOptions = "--"sv;
constexpr std::string_view helpOption = "--help"sv;
constexpr std::string_view versionOption = "--version"sv;
constexpr char helpLetter = 'h';
constexpr char versionLetter = 'V';

constexpr std::string_view versionText = "lister " LISTER_VERSION "\n"sv;
constexpr std::string_view usageLine = "Usage: lister [-h | --help | -V | --version]\n"sv;
constexpr std::string_view usageBeforeFolder =
    "\n"
    "lister lists every combination of 6 elements out of n (7 to 49) in\n"
    "lexicographic order, on its own screen of 100 x 70 character cells or into\n"
    "a file. It asks for n, then for P (the screen) or G (a file); its screens\n"
    "are in Spanish. ESC stops a listing; at the end any key ends lister.\n"
    "lister takes no arguments but these options.\n"
    "\n"
    "The file, VSR_<n>-6.asc (one 14-byte CR LF line per combination), is\n"
    "written in the folder of the lister executable, whatever the current\n"
    "folder; for this executable that is\n"
    "  "sv;
#ifdef _WIN32
constexpr std::string_view packageNote = ""sv;
#else
constexpr std::string_view packageNote =
    "\n"
    "The lister command of the Debian package runs a copy of the program kept\n"
    "in the folder lister of your documents folder (the one xdg-user-dir\n"
    "DOCUMENTS names, such as ~/Documentos/lister), or in ~/lister where there\n"
    "is none, so the file lands there.\n"sv;
#endif
constexpr std::string_view usageAfterNote =
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
    "  -h, --help     prints this help and ends\n"
    "  -V, --version  prints the version and ends\n"
    "\n"
    "Exit status: 0 at the end of a run; 1 when no screen can start or this\n"
    "help cannot be written; 2 for an argument lister does not take; 3 when a\n"
    "key script ends while a question waits for its answer.\n"sv;

constexpr std::string_view unknownOption = "unknown option "sv;
constexpr std::string_view unexpectedArgument = "unexpected argument "sv;
constexpr std::string_view optionWord = "option "sv;
constexpr std::string_view takesNoValue = " takes no value: "sv;

// Writes all of `text`; false, with errno saying why, when it did not all
// get there. lister.exe started without the stream (from the desktop, or
// a console without redirection) shows the text in a message box instead.
bool put(std::string_view text, std::FILE* stream) {
#ifdef _WIN32
    if (platform::streamMissing(stream)) {
        platform::showMessage(text, stream == stderr);
        return true;
    }
#endif
    errno = 0;
    const bool whole = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    return std::fflush(stream) == 0 && whole && !std::ferror(stream);
}

// The argument as one line in quotes: control bytes as \xHH, so that
// nothing in it is obeyed by the terminal or breaks the line.
std::string quoted(std::string_view argument) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string text = "'";
    for (const char c : argument) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            text += "\\x";
            text += hexDigits[byte >> 4];
            text += hexDigits[byte & 0xf];
        } else {
            text += c;
        }
    }
    return text + "'";
}

int answer(std::string_view text, std::string_view what) {
    if (put(text, stdout)) return answeredStatus;
    const int error = errno != 0 ? errno : EIO;
    const std::string line =
        "lister: cannot write the " + std::string(what) + ": " + std::strerror(error) + "\n";
    put(line, stderr);
    return unwrittenStatus;
}

// One line naming the mistake, then the usage line.
int mistake(std::string_view what, std::string_view argument) {
    put("lister: " + std::string(what) + quoted(argument) + "\n" + std::string(usageLine), stderr);
    return mistakeStatus;
}

int help() {
    const std::string text = std::string(usageLine) + std::string(usageBeforeFolder) +
                             platform::executableDirectory() + "\n" + std::string(packageNote) +
                             std::string(usageAfterNote);
    return answer(text, "help");
}

}  // namespace

std::optional<int> answerCommandLine(int argc, const char* const* argv) {
    if (argc < 2) return std::nullopt;
    const std::string_view first = argv[1];
    if (first == endOfOptions) {
        if (argc == 2) return std::nullopt;
        return mistake(unexpectedArgument, argv[2]);
    }
    if (first == helpOption) return help();
    if (first == versionOption) return answer(versionText, "version");
    if (first.size() < 2 || first[0] != '-') return mistake(unexpectedArgument, first);
    if (first[1] != '-') {
        // Short options run together: the first letter decides.
        if (first[1] == helpLetter) return help();
        if (first[1] == versionLetter) return answer(versionText, "version");
        return mistake(unknownOption, first);
    }
    const std::string_view name = first.substr(0, first.find('='));
    if (name != first && (name == helpOption || name == versionOption))
        return mistake(std::string(optionWord) + quoted(name) + std::string(takesNoValue), first);
    return mistake(unknownOption, first);
}

}  // namespace lister
