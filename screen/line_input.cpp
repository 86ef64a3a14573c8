// The session's side of line input: the line typed into its input context,
// and its first item read from there.
#include "screen/line_input.h"

#include <string>

#include "screen/screen.h"
#include "screen/session.h"

namespace screen {

void inputLine(const std::string& prompt, bool questionMark, bool newlineAfter) {
    ScreenSession* s = openSession;
    if (!s) return;
    s->input = InputContext{};
    resolvePendingWrap();
    if (!prompt.empty()) printText(prompt, false);
    if (questionMark) printText("? ", false);
    std::string line = editLine();
    if (newlineAfter) printText("", true);
    s->input.line = std::move(line);
}

// With no screen open nothing was ever typed: the reads give 0 and "".
void inputInteger(std::int32_t& target) {
    InputContext none;
    target = itemValue(readItem(openSession ? openSession->input : none, numberItemLength, false));
}

void inputText(std::string& target) {
    InputContext none;
    target = readItem(openSession ? openSession->input : none, textItemLength, true).text;
}

}  // namespace screen
