// Fixed texts more than one part of lister prints.
#pragma once

#include <string_view>

namespace lister {

// Its three trailing spaces cover the 41-character hint of the panel.
inline constexpr std::string_view keyHint = " > Pulsa cualquier tecla para terminar.   ";
inline constexpr std::string_view screenChoice = "P";
inline constexpr std::string_view fileChoice = "G";

}  // namespace lister
