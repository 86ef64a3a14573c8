// Line input: the on-screen line editor, the line it leaves in the input
// context, and the items read from that line as a number or as a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace screen {

// The last line read and how far the item reads have got in it.
struct InputContext {
    std::string line;
    std::size_t position = 0;
};

struct InputItem {
    std::string text;
    bool fraction = false;  // a number item with a point or an exponent
};

inline constexpr int numberItemLength = 67;
inline constexpr int textItemLength = 4096;

// Scans the next item: blanks, commas, quotes and line ends as the
// typed-input rules say; text items keep blanks, number items end at them.
InputItem readItem(InputContext& context, int maxLength, bool textMode);
// Radix prefixes &H, &O, &B and & modulo 2^32; otherwise decimal in 32
// bits the way strtoul reads it.
std::int32_t itemToInteger(const std::string& item);
// A decimal number with optional sign, point and exponent (D as E), read
// the same whatever the locale; 0x... and anything unreadable give 0.
double itemToReal(const std::string& item);
// The item rounded to the nearest integer, halves to even; outside the
// 32-bit range (and infinities, not-a-number) -2147483648.
std::int32_t roundedToInt32(double value);

// A number item's value: rounded when it has a fraction, else by the
// integer rule.
std::int32_t itemValue(const InputItem& item);

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
