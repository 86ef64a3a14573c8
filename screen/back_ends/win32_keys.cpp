#include "screen/back_ends/win32_keys.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

#include "screen/cp437.h"
#include "screen/keys/extended_keys.h"

namespace screen {
namespace {

constexpr std::uint32_t firstPrintable = 32;
constexpr std::uint32_t deleteCharacter = 127;  // Ctrl+Backspace
constexpr std::uint32_t firstSurrogate = 0xD800;
constexpr std::uint32_t lastSurrogate = 0xDFFF;

// The keys without a character, by their virtual-key codes. Without the
// enhanced bit the cursor keys come from the keypad (NumLock off), which
// has no Shift variants; with NumLock on it sends digits as characters.
struct NamedKey {
    std::uint32_t virtualKey;
    PcKey key;
};

constexpr NamedKey namedKeys[] = {
    {VK_F1, PcKey::f1},          {VK_F2, PcKey::f2},        {VK_F3, PcKey::f3},     {VK_F4, PcKey::f4},
    {VK_F5, PcKey::f5},          {VK_F6, PcKey::f6},        {VK_F7, PcKey::f7},     {VK_F8, PcKey::f8},
    {VK_F9, PcKey::f9},          {VK_F10, PcKey::f10},      {VK_F11, PcKey::f11},   {VK_F12, PcKey::f12},
    {VK_HOME, PcKey::home},      {VK_UP, PcKey::up},        {VK_PRIOR, PcKey::pageUp},
    {VK_LEFT, PcKey::left},      {VK_CLEAR, PcKey::centre}, {VK_RIGHT, PcKey::right},
    {VK_END, PcKey::end},        {VK_DOWN, PcKey::down},    {VK_NEXT, PcKey::pageDown},
    {VK_INSERT, PcKey::insert},  {VK_DELETE, PcKey::del},
};

bool isFunctionKey(std::uint32_t virtualKey) { return virtualKey >= VK_F1 && virtualKey <= VK_F12; }

}  // namespace

KeyCode characterKey(std::uint32_t unit) {
    if (unit < firstPrintable || unit == deleteCharacter) return static_cast<KeyCode>(unit);
    if (unit >= firstSurrogate && unit <= lastSurrogate) return -1;
    return unicodeToCp437(unit);
}

KeyCode keyDownKey(std::uint32_t virtualKey, bool enhanced, bool shift, bool ctrl) {
    // Tab types a character (Shift+Tab too); only Ctrl+Tab has none.
    if (virtualKey == VK_TAB) return ctrl ? keyCtrlTab : 0;
    const NamedKey* found = std::find_if(std::begin(namedKeys), std::end(namedKeys),
                                         [virtualKey](const NamedKey& k) { return k.virtualKey == virtualKey; });
    if (found == std::end(namedKeys)) return 0;
    const bool keypad = !enhanced && !isFunctionKey(virtualKey);
    return pcExtendedKey(found->key, shift && !keypad, ctrl);
}

int repeatCount(std::intptr_t lParam) { return std::max(1, static_cast<int>(lParam & 0xFFFF)); }

bool isRepeat(std::intptr_t lParam) { return (lParam >> 30) & 1; }

bool isEnhanced(std::intptr_t lParam) { return (lParam >> 24) & 1; }

}  // namespace screen
