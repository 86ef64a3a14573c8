// Line input on the open screen: the line editor, the line it leaves in
// the session's input context, and the first item of that line read as a
// number or as a text (keys/input_items.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "screen/keys/input_items.h"

namespace screen {

// The line editor, on the open screen from the cursor on; returns at Enter.
std::string editLine();
// The same with its keys from elsewhere than the key queue: each call of
// nextKey(context) gives the next key code (never 0).
using KeySource = std::int32_t (*)(void* context);
std::string editLineFrom(KeySource nextKey, void* context);
// Reads one line into the open screen's input context.
void inputLine(const std::string& prompt, bool questionMark, bool newlineAfter);
void inputInteger(std::int32_t& target);
void inputText(std::string& target);

}  // namespace screen
