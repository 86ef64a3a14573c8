// The printed form of numbers: a space before values of 0 or more, a minus
// sign before negative ones, never a locale's separators.
#pragma once

#include <cstdint>
#include <string>

namespace screen {

std::string int32Text(std::int32_t value);
std::string int64Text(std::int64_t value);
// 16 significant digits; plain notation for exponents -4 to 15, otherwise
// scientific with a signed exponent of at least three digits (1e-005).
std::string doubleText(double value);

}  // namespace screen
