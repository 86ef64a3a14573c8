#include "screen/back_ends/sdl_keys.h"

#include <algorithm>

#include "screen/cp437.h"
#include "screen/keys/extended_keys.h"

namespace screen {
namespace {

// The keys without a character, by the names SDL gives them.
struct NamedKey {
    SDL_Scancode scancode;
    PcKey key;
};

constexpr NamedKey greyKeys[] = {
    {SDL_SCANCODE_F1, PcKey::f1},          {SDL_SCANCODE_F2, PcKey::f2},
    {SDL_SCANCODE_F3, PcKey::f3},          {SDL_SCANCODE_F4, PcKey::f4},
    {SDL_SCANCODE_F5, PcKey::f5},          {SDL_SCANCODE_F6, PcKey::f6},
    {SDL_SCANCODE_F7, PcKey::f7},          {SDL_SCANCODE_F8, PcKey::f8},
    {SDL_SCANCODE_F9, PcKey::f9},          {SDL_SCANCODE_F10, PcKey::f10},
    {SDL_SCANCODE_F11, PcKey::f11},        {SDL_SCANCODE_F12, PcKey::f12},
    {SDL_SCANCODE_HOME, PcKey::home},      {SDL_SCANCODE_UP, PcKey::up},
    {SDL_SCANCODE_PAGEUP, PcKey::pageUp},  {SDL_SCANCODE_LEFT, PcKey::left},
    {SDL_SCANCODE_RIGHT, PcKey::right},    {SDL_SCANCODE_END, PcKey::end},
    {SDL_SCANCODE_DOWN, PcKey::down},      {SDL_SCANCODE_PAGEDOWN, PcKey::pageDown},
    {SDL_SCANCODE_INSERT, PcKey::insert},  {SDL_SCANCODE_DELETE, PcKey::del},
};

// The keypad as cursor keys; with NumLock (or Shift) its keys type digits.
constexpr NamedKey keypadKeys[] = {
    {SDL_SCANCODE_KP_7, PcKey::home},  {SDL_SCANCODE_KP_8, PcKey::up},
    {SDL_SCANCODE_KP_9, PcKey::pageUp},  {SDL_SCANCODE_KP_4, PcKey::left},
    {SDL_SCANCODE_KP_5, PcKey::centre},  {SDL_SCANCODE_KP_6, PcKey::right},
    {SDL_SCANCODE_KP_1, PcKey::end},  {SDL_SCANCODE_KP_2, PcKey::down},
    {SDL_SCANCODE_KP_3, PcKey::pageDown},  {SDL_SCANCODE_KP_0, PcKey::insert},
    {SDL_SCANCODE_KP_PERIOD, PcKey::del},
};

const NamedKey* findKey(const NamedKey* first, const NamedKey* last, SDL_Scancode scancode) {
    const NamedKey* found =
        std::find_if(first, last, [scancode](const NamedKey& k) { return k.scancode == scancode; });
    return found == last ? nullptr : found;
}

bool isEnter(SDL_Scancode scancode) {
    return scancode == SDL_SCANCODE_RETURN || scancode == SDL_SCANCODE_KP_ENTER || scancode == SDL_SCANCODE_RETURN2;
}

// Left Alt held without Ctrl: a menu chord, never typing. Right Alt is
// AltGr on X11, and left Ctrl with right Alt is AltGr on Windows.
bool leftAltChord(std::uint16_t modifiers) { return (modifiers & KMOD_LALT) && !(modifiers & KMOD_CTRL); }

// Ctrl without any Alt turns keys into control codes, never into their
// plain characters.
bool controlChord(std::uint16_t modifiers) { return (modifiers & KMOD_CTRL) && !(modifiers & KMOD_ALT); }

void add(WindowInput& input, KeyCode code) {
    if (input.keyCount < static_cast<int>(input.keys.size())) input.keys[static_cast<std::size_t>(input.keyCount++)] = code;
}

void addText(WindowInput& input, const char* text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
    const std::size_t length =
        static_cast<std::size_t>(std::find(text, text + SDL_TEXTINPUTEVENT_TEXT_SIZE, '\0') - text);
    std::size_t at = 0;
    while (at < length) {
        char32_t character = 0;
        std::size_t used = 0;
        if (decodeUtf8(bytes + at, length - at, character, used) != Utf8Status::complete) {
            ++at;  // a broken sequence types nothing
            continue;
        }
        at += used;
        const int code = unicodeToCp437(character);
        if (code > 0) add(input, code);
    }
}

}  // namespace

KeyCode keyDownCode(SDL_Scancode scancode, SDL_Keycode symbol, std::uint16_t modifiers) {
    const bool ctrl = modifiers & KMOD_CTRL;
    const bool shift = modifiers & KMOD_SHIFT;
    if (isEnter(scancode)) return ctrl ? keyCtrlEnter : keyEnter;
    if (scancode == SDL_SCANCODE_BACKSPACE) return ctrl ? keyCtrlBackspace : keyBackspace;
    if (scancode == SDL_SCANCODE_ESCAPE) return keyEscape;
    // Shift+Tab types a Tab, as it does on Windows and in a terminal.
    if (scancode == SDL_SCANCODE_TAB) return ctrl ? keyCtrlTab : keyTab;
    if (const NamedKey* k = findKey(std::begin(greyKeys), std::end(greyKeys), scancode))
        return pcExtendedKey(k->key, shift, ctrl);
    if (const NamedKey* k = findKey(std::begin(keypadKeys), std::end(keypadKeys), scancode)) {
        // Shift reverses NumLock for the keypad, as on the PC.
        const bool typesDigit = ((modifiers & KMOD_NUM) != 0) != shift;
        if (typesDigit) return 0;
        return pcExtendedKey(k->key, false, ctrl);
    }
    if (controlChord(modifiers) && symbol >= SDLK_a && symbol <= SDLK_z) return symbol - SDLK_a + 1;
    return 0;
}

WindowInput translateEvent(WindowKeyboard& keyboard, const SDL_Event& event) {
    WindowInput input;
    switch (event.type) {
        case SDL_KEYDOWN: {
            const SDL_Keysym& key = event.key.keysym;
            keyboard.lastModifiers = key.mod;
            const bool alt = key.mod & KMOD_ALT;
            if (alt && isEnter(key.scancode)) {
                // Held down, the switch would flicker back and forth.
                input.toggleFullScreen = event.key.repeat == 0;
                break;
            }
            if (key.scancode == SDL_SCANCODE_F10 || (alt && key.scancode == SDL_SCANCODE_F4)) break;
            if (leftAltChord(key.mod)) break;
            if (const KeyCode code = keyDownCode(key.scancode, key.sym, key.mod)) add(input, code);
            break;
        }
        case SDL_KEYUP:
            keyboard.lastModifiers = event.key.keysym.mod;
            break;
        case SDL_TEXTINPUT:
            if (leftAltChord(keyboard.lastModifiers) || controlChord(keyboard.lastModifiers)) break;
            addText(input, event.text.text);
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) add(input, keyCloseRequest);
            break;
        default:
            break;
    }
    return input;
}

}  // namespace screen
