#include "screen/back_ends/web_keys.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "screen/cp437.h"
#include "screen/keys/extended_keys.h"

namespace screen {
namespace {

// The keys without a character, by the names the browser gives them. The
// keypad without NumLock reports the names of the grey keys; its 5 is Clear.
struct NamedKey {
    std::string_view name;
    PcKey key;
};

constexpr NamedKey namedKeys[] = {
    {"F1", PcKey::f1},         {"F2", PcKey::f2},           {"F3", PcKey::f3},
    {"F4", PcKey::f4},         {"F5", PcKey::f5},           {"F6", PcKey::f6},
    {"F7", PcKey::f7},         {"F8", PcKey::f8},           {"F9", PcKey::f9},
    {"F10", PcKey::f10},       {"F11", PcKey::f11},         {"F12", PcKey::f12},
    {"Home", PcKey::home},     {"ArrowUp", PcKey::up},      {"PageUp", PcKey::pageUp},
    {"ArrowLeft", PcKey::left}, {"Clear", PcKey::centre},   {"ArrowRight", PcKey::right},
    {"End", PcKey::end},       {"ArrowDown", PcKey::down},  {"PageDown", PcKey::pageDown},
    {"Insert", PcKey::insert}, {"Delete", PcKey::del},
};

WebKey taken(KeyCode code) { return {WebKeyAction::taken, code}; }

// The one character `key` names, or -1 when it names a key or several
// characters.
long singleCharacter(std::string_view key) {
    char32_t character = 0;
    std::size_t used = 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(key.data());
    if (decodeUtf8(bytes, key.size(), character, used) != Utf8Status::complete || used != key.size()) return -1;
    return static_cast<long>(character);
}

}  // namespace

WebKey webKeyDown(std::string_view key, unsigned modifiers) {
    const bool shift = modifiers & webShift;
    const bool ctrl = modifiers & webCtrl;
    const bool alt = modifiers & webAlt;
    // AltGr says so itself; on Windows it holds Ctrl and Alt as well.
    const bool altGraph = modifiers & webAltGraph;
    const bool menuChord = alt && !ctrl && !altGraph;
    const bool controlChord = ctrl && !alt && !altGraph;

    if (alt && key == "Enter") {
        // Held down, the switch would flicker back and forth.
        return {(modifiers & webRepeat) ? WebKeyAction::taken : WebKeyAction::toggleFullScreen, 0};
    }
    if (key == "Alt" || key == "F10" || (alt && key == "F4")) return taken(0);
    if (menuChord) return {};
    if (key == "Enter") return taken(ctrl ? keyCtrlEnter : keyEnter);
    if (key == "Backspace") return taken(ctrl ? keyCtrlBackspace : keyBackspace);
    if (key == "Escape") return taken(keyEscape);
    if (key == "Tab") return taken(ctrl ? keyCtrlTab : keyTab);  // Shift+Tab types a Tab too
    const auto named =
        std::find_if(std::begin(namedKeys), std::end(namedKeys), [key](const NamedKey& k) { return k.name == key; });
    if (named != std::end(namedKeys)) return taken(pcExtendedKey(named->key, shift, ctrl));

    const long character = singleCharacter(key);
    if (character < 0) return {};  // Shift, Dead, Unidentified and the like
    if (controlChord) {
        // Ctrl turns letters into control codes, and other characters into nothing.
        if ((character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z'))
            return taken(static_cast<KeyCode>(character & 0x1F));
        return {};
    }
    const int code = unicodeToCp437(static_cast<char32_t>(character));
    return code > 0 ? taken(code) : WebKey{};
}

}  // namespace screen
