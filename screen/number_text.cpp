#include "screen/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace screen {
namespace {

template <typename Integer>
std::string integerText(Integer value) {
    char digits[24];
    digits[0] = ' ';
    const auto result = std::to_chars(digits + 1, digits + sizeof digits, value);
    const char* start = value < 0 ? digits + 1 : digits;
    return std::string(start, static_cast<std::size_t>(result.ptr - start));
}

}  // namespace

std::string int32Text(std::int32_t value) { return integerText(value); }
std::string int64Text(std::int64_t value) { return integerText(value); }

std::string doubleText(double value) {
    if (std::isnan(value)) return " nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : " inf";
    if (value == 0) return " 0";  // -0 too: it is not a negative value

    // The value rounded to 16 significant digits as d.ddddddddddddddde+XX.
    // Only its digits and exponent are taken, so whatever the C library
    // puts between the digits (the locale's decimal point) never shows.
    char scientific[40];
    std::snprintf(scientific, sizeof scientific, "%.15e", value);
    const std::string_view text(scientific);
    const bool negative = text.front() == '-';
    const std::size_t exponentMark = text.find_last_of("eE");
    const int exponent = std::atoi(scientific + exponentMark + 1);

    std::string digits;
    for (std::size_t i = 0; i < exponentMark; ++i)
        if (text[i] >= '0' && text[i] <= '9') digits += text[i];
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out = negative ? "-" : " ";
    if (exponent >= -4 && exponent < 16) {
        const int length = static_cast<int>(digits.size());
        if (exponent < 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
        } else if (exponent + 1 >= length) {
            out += digits;
            out.append(static_cast<std::size_t>(exponent + 1 - length), '0');
        } else {
            out += digits.substr(0, static_cast<std::size_t>(exponent + 1));
            out += '.';
            out += digits.substr(static_cast<std::size_t>(exponent + 1));
        }
    } else {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out += digits.substr(1);
        }
        out += exponent < 0 ? "e-" : "e+";
        const std::string magnitude = std::to_string(std::abs(exponent));
        out.append(magnitude.size() < 3 ? 3 - magnitude.size() : 0, '0');
        out += magnitude;
    }
    return out;
}

}  // namespace screen
