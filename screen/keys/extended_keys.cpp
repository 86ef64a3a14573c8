#include "screen/keys/extended_keys.h"

#include <array>

namespace screen {
namespace {

// A key's codes: alone, with Shift, with Ctrl; in the order of PcKey.
struct ExtendedCodes {
    int plain;
    int shifted;
    int controlled;
};

constexpr std::array<ExtendedCodes, 23> codes = {{
    {59, 84, 94},   {60, 85, 95},   {61, 86, 96},    {62, 87, 97},    // F1-F4
    {63, 88, 98},   {64, 89, 99},   {65, 90, 100},   {66, 91, 101},   // F5-F8
    {67, 92, 102},  {68, 93, 103},  {133, 135, 137}, {134, 136, 138}, // F9-F12
    {71, 71, 119},  {72, 72, 141},  {73, 73, 132},   // Home, Up, PgUp
    {75, 75, 115},  {76, 76, 143},  {77, 77, 116},   // Left, keypad 5, Right
    {79, 79, 117},  {80, 80, 145},  {81, 81, 118},   // End, Down, PgDn
    {82, 82, 146},  {83, 83, 147},                   // Insert, Delete
}};

static_assert(codes.size() == static_cast<std::size_t>(PcKey::del) + 1, "one row per PcKey");

}  // namespace

KeyCode pcExtendedKey(PcKey key, bool shift, bool ctrl) {
    const ExtendedCodes& c = codes[static_cast<std::size_t>(key)];
    return extendedKey(ctrl ? c.controlled : shift ? c.shifted : c.plain);
}

}  // namespace screen
