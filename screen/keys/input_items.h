// Typed items: how the line an answer leaves is read as a number or as a
// text. Pure: it knows nothing of the screen or the keys.
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

}  // namespace screen
