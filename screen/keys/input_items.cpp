#include "screen/keys/input_items.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace screen {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isExponentMark(char c) { return c == 'e' || c == 'E' || c == 'd' || c == 'D'; }

void skipBlanks(const std::string& line, std::size_t& p) {
    while (p < line.size() && isBlank(line[p])) ++p;
}

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

std::int32_t radixValue(const std::string& item, std::size_t at, unsigned base) {
    std::uint32_t value = 0;
    for (; at < item.size(); ++at) {
        const auto digit = static_cast<unsigned>(digitValue(item[at]));
        if (digit >= base) break;
        value = value * base + digit;  // wraps modulo 2^32 by design
    }
    return static_cast<std::int32_t>(value);
}

// strtoul in base 10 with a 32-bit unsigned long: a magnitude that
// overflows gives the largest value whatever the sign.
std::int32_t decimalValue(const std::string& item, std::size_t at) {
    while (at < item.size() && (item[at] == ' ' || (item[at] >= '\t' && item[at] <= '\r'))) ++at;
    bool negative = false;
    if (at < item.size() && (item[at] == '+' || item[at] == '-')) negative = item[at++] == '-';
    std::uint64_t magnitude = 0;
    bool overflow = false;
    for (; at < item.size() && item[at] >= '0' && item[at] <= '9'; ++at) {
        magnitude = magnitude * 10 + static_cast<unsigned>(item[at] - '0');
        if (magnitude > 0xFFFFFFFFu) {
            overflow = true;
            magnitude = 0xFFFFFFFFu;
        }
    }
    if (overflow) return -1;
    const std::uint32_t value = static_cast<std::uint32_t>(negative ? 0u - magnitude : magnitude);
    return static_cast<std::int32_t>(value);
}

}  // namespace

InputItem readItem(InputContext& context, int maxLength, bool textMode) {
    const std::string& line = context.line;
    std::size_t p = context.position;
    InputItem item;
    skipBlanks(line, p);
    if (p >= line.size()) {
        context.position = p;
        return item;
    }
    bool quoted = line[p] == '"';
    if (quoted) ++p;
    bool radix = false;
    bool tidyAfter = false;  // ended on a blank, a closing quote or the limit
    while (p < line.size()) {
        char c = line[p];
        if (c == ',' && !quoted) {
            ++p;
            break;
        }
        if (isBlank(c) && !textMode && !quoted) {
            tidyAfter = true;
            break;
        }
        if (c == '"' && quoted) {
            ++p;
            quoted = false;
            if (textMode) {
                tidyAfter = true;
                break;
            }
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++p;
            if (c == '\r' && p < line.size() && line[p] == '\n') ++p;
            break;
        }
        if (!textMode) {
            if (c == '&') radix = true;
            if (!radix && (c == '.' || c == 'E' || c == 'e' || c == 'D' || c == 'd')) {
                item.fraction = true;
                if (c == 'D') c = 'E';
                if (c == 'd') c = 'e';
            }
        }
        item.text += c;
        ++p;
        if (static_cast<int>(item.text.size()) >= maxLength) {
            tidyAfter = true;
            break;
        }
    }
    if (tidyAfter) {
        skipBlanks(line, p);
        if (p < line.size()) {
            if (line[p] == ',' || line[p] == '\n') {
                ++p;
            } else if (line[p] == '\r') {
                ++p;
                if (p < line.size() && line[p] == '\n') ++p;
            }
        }
    }
    context.position = p;
    return item;
}

std::int32_t itemToInteger(const std::string& item) {
    std::size_t at = 0;
    while (at < item.size() && item[at] == ' ') ++at;
    if (at >= item.size()) return 0;
    if (item.size() - at >= 2 && item[at] == '&') {
        switch (item[at + 1]) {
            case 'H': case 'h': return radixValue(item, at + 2, 16);
            case 'O': case 'o': return radixValue(item, at + 2, 8);
            case 'B': case 'b': return radixValue(item, at + 2, 2);
            default: return radixValue(item, at + 1, 8);
        }
    }
    return decimalValue(item, at);
}

double itemToReal(const std::string& item) {
    std::size_t at = 0;
    while (at < item.size() && item[at] == ' ') ++at;
    if (at >= item.size()) return 0;
    if (item.size() - at >= 2 && item[at] == '0' && (item[at + 1] == 'x' || item[at + 1] == 'X')) return 0;
    // The longest prefix of: sign, digits with one point, then an exponent
    // (E or D) only when digits follow it. strtod gets its digits and a
    // power of ten alone, with no point: the locale's decimal point plays
    // no part, and nothing else strtod would read (inf, nan, hex) comes in.
    std::size_t p = at;
    bool negative = false;
    if (item[p] == '+' || item[p] == '-') negative = item[p++] == '-';
    std::string number;
    long exponent = 0;
    bool seenPoint = false;
    for (; p < item.size(); ++p) {
        const char c = item[p];
        if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else if (isDigit(c)) {
            number += c;
            if (seenPoint) --exponent;  // the point moves past this digit
        } else {
            break;
        }
    }
    if (number.empty()) return 0;
    if (p + 1 < item.size() && isExponentMark(item[p])) {
        std::size_t q = p + 1;
        bool negativeExponent = false;
        if (item[q] == '+' || item[q] == '-') negativeExponent = item[q++] == '-';
        long written = 0;
        for (; q < item.size() && isDigit(item[q]); ++q) written = std::min(written * 10 + (item[q] - '0'), 100000L);
        exponent += negativeExponent ? -written : written;
    }
    number += 'e';
    number += std::to_string(exponent);
    const double value = std::strtod(number.c_str(), nullptr);  // out of range: infinity or 0
    return negative ? -value : value;
}

std::int32_t roundedToInt32(double value) {
    if (!(value >= -2147483648.5 && value <= 2147483647.5)) return std::numeric_limits<std::int32_t>::min();
    double whole = std::floor(value);
    const double rest = value - whole;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    if (whole > 2147483647.0 || whole < -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(whole);
}

std::int32_t itemValue(const InputItem& item) {
    return item.fraction ? roundedToInt32(itemToReal(item.text)) : itemToInteger(item.text);
}

}  // namespace screen
