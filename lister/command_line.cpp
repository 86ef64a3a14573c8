#include "lister/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "lister/help_text.h"
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
constexpr std::string_view usageStart = "Usage: "sv;
constexpr std::string_view folderIntro = "For this executable, VSR_<n>-6.asc goes into:\n  "sv;

// The texts come from the manual (docs/manual.md), made at each build.
std::string usageLine() { return std::string(usageStart) + std::string(usageText) + "\n"; }

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
    put("lister: " + std::string(what) + quoted(argument) + "\n" + usageLine(), stderr);
    return mistakeStatus;
}

int help() {
    std::string text = usageLine() + "\n" + std::string(helpText) + "\n" + std::string(folderIntro) +
                       platform::executableDirectory() + "\n";
#ifndef _WIN32
    // The Debian package's command runs a copy kept elsewhere.
    text += "\n" + std::string(linuxHelpText);
#endif
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
