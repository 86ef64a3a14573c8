// The window's events turned into key codes, fed as hand-made SDL events
// (no display needed), and the part of the frame an upload sends.
#include "screen/back_ends/sdl_keys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "screen/cp437.h"
#include "screen/keys/extended_keys.h"

using namespace screen;

namespace {

constexpr std::uint16_t none = KMOD_NONE;
constexpr std::uint16_t shift = KMOD_LSHIFT;
constexpr std::uint16_t ctrl = KMOD_LCTRL;
constexpr std::uint16_t leftAlt = KMOD_LALT;
constexpr std::uint16_t rightAlt = KMOD_RALT;  // AltGr on X11
constexpr std::uint16_t numLock = KMOD_NUM;

SDL_Event keyEvent(Uint32 type, SDL_Scancode scancode, SDL_Keycode symbol, std::uint16_t modifiers, int repeat = 0) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = type;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = static_cast<Uint8>(repeat);
    e.key.keysym.scancode = scancode;
    e.key.keysym.sym = symbol;
    e.key.keysym.mod = modifiers;
    return e;
}

SDL_Event down(SDL_Scancode scancode, SDL_Keycode symbol, std::uint16_t modifiers, int repeat = 0) {
    return keyEvent(SDL_KEYDOWN, scancode, symbol, modifiers, repeat);
}

SDL_Event up(SDL_Scancode scancode, SDL_Keycode symbol, std::uint16_t modifiers) {
    return keyEvent(SDL_KEYUP, scancode, symbol, modifiers);
}

SDL_Event text(const std::string& utf8) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_TEXTINPUT;
    std::memcpy(e.text.text, utf8.data(), std::min(utf8.size(), sizeof e.text.text - 1));
    return e;
}

SDL_Event windowEvent(Uint8 what) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_WINDOWEVENT;
    e.window.event = what;
    return e;
}

SDL_Event plainEvent(Uint32 type) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = type;
    return e;
}

struct Outcome {
    std::vector<KeyCode> keys;
    int toggles = 0;
};

Outcome run(const std::vector<SDL_Event>& events) {
    WindowKeyboard keyboard;
    Outcome outcome;
    for (const SDL_Event& e : events) {
        const WindowInput input = translateEvent(keyboard, e);
        outcome.keys.insert(outcome.keys.end(), input.keys.begin(), input.keys.begin() + input.keyCount);
        outcome.toggles += input.toggleFullScreen ? 1 : 0;
    }
    return outcome;
}

// ---- The key table ---------------------------------------------------------

// Each key by the name SDL gives it, against the key it is on a PC: the
// codes themselves are the one table of extended_keys.cpp.
struct ExtendedRow {
    const char* name;
    SDL_Scancode scancode;
    PcKey key;
};

const ExtendedRow greyRows[] = {
    {"F1", SDL_SCANCODE_F1, PcKey::f1},          {"F2", SDL_SCANCODE_F2, PcKey::f2},
    {"F3", SDL_SCANCODE_F3, PcKey::f3},          {"F4", SDL_SCANCODE_F4, PcKey::f4},
    {"F5", SDL_SCANCODE_F5, PcKey::f5},          {"F6", SDL_SCANCODE_F6, PcKey::f6},
    {"F7", SDL_SCANCODE_F7, PcKey::f7},          {"F8", SDL_SCANCODE_F8, PcKey::f8},
    {"F9", SDL_SCANCODE_F9, PcKey::f9},          {"F10", SDL_SCANCODE_F10, PcKey::f10},
    {"F11", SDL_SCANCODE_F11, PcKey::f11},       {"F12", SDL_SCANCODE_F12, PcKey::f12},
    {"Home", SDL_SCANCODE_HOME, PcKey::home},    {"Up", SDL_SCANCODE_UP, PcKey::up},
    {"PgUp", SDL_SCANCODE_PAGEUP, PcKey::pageUp}, {"Left", SDL_SCANCODE_LEFT, PcKey::left},
    {"Right", SDL_SCANCODE_RIGHT, PcKey::right}, {"End", SDL_SCANCODE_END, PcKey::end},
    {"Down", SDL_SCANCODE_DOWN, PcKey::down},    {"PgDn", SDL_SCANCODE_PAGEDOWN, PcKey::pageDown},
    {"Insert", SDL_SCANCODE_INSERT, PcKey::insert}, {"Delete", SDL_SCANCODE_DELETE, PcKey::del},
};

// The keypad without NumLock: the cursor block again, 5 included.
const ExtendedRow keypadRows[] = {
    {"KP7", SDL_SCANCODE_KP_7, PcKey::home},     {"KP8", SDL_SCANCODE_KP_8, PcKey::up},
    {"KP9", SDL_SCANCODE_KP_9, PcKey::pageUp},   {"KP4", SDL_SCANCODE_KP_4, PcKey::left},
    {"KP5", SDL_SCANCODE_KP_5, PcKey::centre},   {"KP6", SDL_SCANCODE_KP_6, PcKey::right},
    {"KP1", SDL_SCANCODE_KP_1, PcKey::end},      {"KP2", SDL_SCANCODE_KP_2, PcKey::down},
    {"KP3", SDL_SCANCODE_KP_3, PcKey::pageDown}, {"KP0", SDL_SCANCODE_KP_0, PcKey::insert},
    {"KP.", SDL_SCANCODE_KP_PERIOD, PcKey::del},
};

KeyCode plain(PcKey key) { return pcExtendedKey(key, false, false); }
KeyCode shifted(PcKey key) { return pcExtendedKey(key, true, false); }
KeyCode controlled(PcKey key) { return pcExtendedKey(key, false, true); }

TEST(WindowKeyTable, GreyKeysGiveTheirExtendedCodesWithShiftAndCtrlVariants) {
    for (const ExtendedRow& row : greyRows) {
        const SDL_Keycode symbol = SDL_SCANCODE_TO_KEYCODE(row.scancode);
        EXPECT_EQ(keyDownCode(row.scancode, symbol, none), plain(row.key)) << row.name;
        EXPECT_EQ(keyDownCode(row.scancode, symbol, shift), shifted(row.key)) << "Shift+" << row.name;
        EXPECT_EQ(keyDownCode(row.scancode, symbol, KMOD_RSHIFT), shifted(row.key)) << "RShift+" << row.name;
        EXPECT_EQ(keyDownCode(row.scancode, symbol, ctrl), controlled(row.key)) << "Ctrl+" << row.name;
        EXPECT_EQ(keyDownCode(row.scancode, symbol, KMOD_RCTRL | shift), controlled(row.key))
            << "Ctrl+Shift+" << row.name;
        // NumLock and CapsLock change nothing on the grey keys.
        EXPECT_EQ(keyDownCode(row.scancode, symbol, numLock | KMOD_CAPS), plain(row.key)) << row.name;
    }
}

TEST(WindowKeyTable, KeypadIsTheCursorBlockWithoutNumLockAndDigitsWithIt) {
    for (const ExtendedRow& row : keypadRows) {
        const SDL_Keycode symbol = SDL_SCANCODE_TO_KEYCODE(row.scancode);
        EXPECT_EQ(keyDownCode(row.scancode, symbol, none), plain(row.key)) << row.name;
        EXPECT_EQ(keyDownCode(row.scancode, symbol, ctrl), controlled(row.key)) << "Ctrl+" << row.name;
        // The digit comes as text; the key press itself posts nothing.
        EXPECT_EQ(keyDownCode(row.scancode, symbol, numLock), 0) << "NumLock " << row.name;
        EXPECT_EQ(keyDownCode(row.scancode, symbol, shift), 0) << "Shift+" << row.name;
        // Shift with NumLock gives the cursor key back, as on the PC.
        EXPECT_EQ(keyDownCode(row.scancode, symbol, numLock | shift), plain(row.key)) << "NumLock Shift+" << row.name;
    }
}

TEST(WindowKeyTable, KeysWithoutCharactersGiveTheirControlCodes) {
    struct Row {
        const char* name;
        SDL_Scancode scancode;
        SDL_Keycode symbol;
        std::uint16_t modifiers;
        KeyCode expected;
    };
    const Row rows[] = {
        {"Enter", SDL_SCANCODE_RETURN, SDLK_RETURN, none, 13},
        {"Shift+Enter", SDL_SCANCODE_RETURN, SDLK_RETURN, shift, 13},
        {"Ctrl+Enter", SDL_SCANCODE_RETURN, SDLK_RETURN, ctrl, 10},
        {"keypad Enter", SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, numLock, 13},
        {"Ctrl+keypad Enter", SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, KMOD_RCTRL, 10},
        {"Backspace", SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, none, 8},
        {"Ctrl+Backspace", SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, ctrl, 127},
        {"Tab", SDL_SCANCODE_TAB, SDLK_TAB, none, 9},
        {"Shift+Tab", SDL_SCANCODE_TAB, SDLK_TAB, shift, 9},
        {"Ctrl+Tab", SDL_SCANCODE_TAB, SDLK_TAB, ctrl, extendedKey(148)},
        {"ESC", SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, none, 27},
        {"Shift+ESC", SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, shift, 27},
        {"Ctrl+A", SDL_SCANCODE_A, SDLK_a, ctrl, 1},
        {"Ctrl+J", SDL_SCANCODE_J, SDLK_j, ctrl, 10},
        {"Ctrl+Shift+C", SDL_SCANCODE_C, SDLK_c, ctrl | shift, 3},
        {"Ctrl+Z", SDL_SCANCODE_Z, SDLK_z, KMOD_RCTRL, 26},
        // The letter as the layout names it: Ctrl+A on a French keyboard.
        {"Ctrl+A at the Q key", SDL_SCANCODE_Q, SDLK_a, ctrl, 1},
        // Keys with a character leave it to the text event.
        {"a", SDL_SCANCODE_A, SDLK_a, none, 0},
        {"Shift+a", SDL_SCANCODE_A, SDLK_a, shift, 0},
        {"7", SDL_SCANCODE_7, SDLK_7, none, 0},
        {"Ctrl+7", SDL_SCANCODE_7, SDLK_7, ctrl, 0},
        {"space", SDL_SCANCODE_SPACE, SDLK_SPACE, none, 0},
        {"keypad +", SDL_SCANCODE_KP_PLUS, SDLK_KP_PLUS, none, 0},
        // AltGr (left Ctrl and right Alt on Windows) types, never controls.
        {"Ctrl+AltGr+Q", SDL_SCANCODE_Q, SDLK_q, ctrl | rightAlt, 0},
        // Modifiers and lock keys alone post nothing.
        {"Shift", SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, shift, 0},
        {"Ctrl", SDL_SCANCODE_RCTRL, SDLK_RCTRL, KMOD_RCTRL, 0},
        {"Alt", SDL_SCANCODE_LALT, SDLK_LALT, leftAlt, 0},
        {"NumLock", SDL_SCANCODE_NUMLOCKCLEAR, SDLK_NUMLOCKCLEAR, numLock, 0},
        {"CapsLock", SDL_SCANCODE_CAPSLOCK, SDLK_CAPSLOCK, KMOD_CAPS, 0},
        {"Print Screen", SDL_SCANCODE_PRINTSCREEN, SDLK_PRINTSCREEN, none, 0},
    };
    for (const Row& row : rows) EXPECT_EQ(keyDownCode(row.scancode, row.symbol, row.modifiers), row.expected) << row.name;
}

// ---- Events: Alt, AltGr, the consumed keys, repeats, the close button -----

TEST(WindowEvents, AltAndAltGrDecideWhatAPressPosts) {
    const KeyCode left = extendedKey(75);
    struct Row {
        const char* name;
        std::vector<SDL_Event> events;
        std::vector<KeyCode> keys;
        int toggles;
    };
    const Row rows[] = {
        {"a typed letter comes from its text", {down(SDL_SCANCODE_A, SDLK_a, none), text("a")}, {'a'}, 0},
        {"left Alt drops the press and its text", {down(SDL_SCANCODE_X, SDLK_x, leftAlt), text("x")}, {}, 0},
        {"left Alt drops extended keys", {down(SDL_SCANCODE_LEFT, SDLK_LEFT, leftAlt)}, {}, 0},
        {"left Alt drops Tab", {down(SDL_SCANCODE_TAB, SDLK_TAB, leftAlt)}, {}, 0},
        {"text after left Alt is released types again",
         {down(SDL_SCANCODE_LALT, SDLK_LALT, leftAlt), down(SDL_SCANCODE_X, SDLK_x, leftAlt), text("x"),
          up(SDL_SCANCODE_LALT, SDLK_LALT, none), down(SDL_SCANCODE_Y, SDLK_y, none), text("y")},
         {'y'},
         0},
        {"the text judged by the press before it, not by a later state",
         {down(SDL_SCANCODE_B, SDLK_b, none), text("b"), down(SDL_SCANCODE_LALT, SDLK_LALT, leftAlt)},
         {'b'},
         0},
        {"AltGr on X11 types its character", {down(SDL_SCANCODE_Q, SDLK_q, rightAlt), text("@")}, {'@'}, 0},
        {"AltGr on Windows types its character", {down(SDL_SCANCODE_2, SDLK_2, ctrl | rightAlt), text("@")}, {'@'}, 0},
        {"left Ctrl with left Alt is AltGr too", {down(SDL_SCANCODE_E, SDLK_e, ctrl | leftAlt), text("\xC3\xA9")},
         {130},
         0},
        {"Ctrl+letter posts its code once, never the letter",
         {down(SDL_SCANCODE_A, SDLK_a, ctrl), text("a")},
         {1},
         0},
        {"AltGr with a cursor key is the plain key", {down(SDL_SCANCODE_LEFT, SDLK_LEFT, rightAlt)}, {left}, 0},
        {"Alt+Enter switches the screen and posts nothing", {down(SDL_SCANCODE_RETURN, SDLK_RETURN, leftAlt)}, {}, 1},
        {"right Alt+Enter too", {down(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, rightAlt)}, {}, 1},
        {"a held Alt+Enter switches once",
         {down(SDL_SCANCODE_RETURN, SDLK_RETURN, leftAlt), down(SDL_SCANCODE_RETURN, SDLK_RETURN, leftAlt, 1),
          down(SDL_SCANCODE_RETURN, SDLK_RETURN, leftAlt, 1)},
         {},
         1},
        {"F10 is consumed", {down(SDL_SCANCODE_F10, SDLK_F10, none)}, {}, 0},
        {"Shift+F10 and Ctrl+F10 as well",
         {down(SDL_SCANCODE_F10, SDLK_F10, shift), down(SDL_SCANCODE_F10, SDLK_F10, ctrl)},
         {},
         0},
        {"Alt+F4 is consumed", {down(SDL_SCANCODE_F4, SDLK_F4, leftAlt), down(SDL_SCANCODE_F4, SDLK_F4, rightAlt)}, {}, 0},
        {"F4 alone is a key", {down(SDL_SCANCODE_F4, SDLK_F4, none)}, {extendedKey(62)}, 0},
        {"repeats post again",
         {down(SDL_SCANCODE_LEFT, SDLK_LEFT, none), down(SDL_SCANCODE_LEFT, SDLK_LEFT, none, 1),
          down(SDL_SCANCODE_LEFT, SDLK_LEFT, none, 1)},
         {left, left, left},
         0},
        {"repeated text posts again", {down(SDL_SCANCODE_7, SDLK_7, none), text("7"), text("7")}, {'7', '7'}, 0},
        {"releases post nothing", {up(SDL_SCANCODE_LEFT, SDLK_LEFT, none), up(SDL_SCANCODE_A, SDLK_a, none)}, {}, 0},
        {"keypad digits with NumLock come from the text",
         {down(SDL_SCANCODE_KP_7, SDLK_KP_7, numLock), text("7")},
         {'7'},
         0},
        {"the close button asks to close", {windowEvent(SDL_WINDOWEVENT_CLOSE)}, {keyCloseRequest}, 0},
        {"other window events post nothing",
         {windowEvent(SDL_WINDOWEVENT_MAXIMIZED), windowEvent(SDL_WINDOWEVENT_EXPOSED),
          windowEvent(SDL_WINDOWEVENT_FOCUS_LOST)},
         {},
         0},
        {"quitting posts nothing", {plainEvent(SDL_QUIT)}, {}, 0},
    };
    for (const Row& row : rows) {
        const Outcome outcome = run(row.events);
        EXPECT_EQ(outcome.keys, row.keys) << row.name;
        EXPECT_EQ(outcome.toggles, row.toggles) << row.name;
    }
}

// ---- Typed text into code page 437 -----------------------------------------

TEST(WindowText, EveryUpperHalfCharacterTypesItsByte) {
    for (int byte = 128; byte <= 255; ++byte) {
        const std::string typed = utf8Of(cp437ToUnicode(static_cast<std::uint8_t>(byte)));
        const Outcome outcome = run({text(typed)});
        EXPECT_EQ(outcome.keys, std::vector<KeyCode>{byte}) << "byte " << byte << " typed as " << typed;
    }
}

TEST(WindowText, PrintableAsciiAndSpanishLettersTypeTheirCodes) {
    for (int code = 32; code <= 126; ++code) {
        const Outcome outcome = run({text(std::string(1, static_cast<char>(code)))});
        EXPECT_EQ(outcome.keys, std::vector<KeyCode>{code}) << "code " << code;
    }
    struct Row {
        const char* typed;
        KeyCode code;
    };
    const Row rows[] = {{"\xC3\xA1", 160}, {"\xC3\xA9", 130}, {"\xC3\xAD", 161}, {"\xC3\xB3", 162},
                        {"\xC3\xBA", 163}, {"\xC3\xBC", 129}, {"\xC3\xB1", 164}, {"\xC3\x91", 165},
                        {"\xC2\xBF", 168}, {"\xC2\xA1", 173}, {"\xC3\x89", 144}, {"\xC2\xAA", 166}};
    for (const Row& row : rows) EXPECT_EQ(run({text(row.typed)}).keys, std::vector<KeyCode>{row.code}) << row.typed;
}

TEST(WindowText, TextThatCodePage437LacksOrThatIsBrokenTypesNothing) {
    struct Row {
        const char* name;
        std::string typed;
        std::vector<KeyCode> keys;
    };
    const Row rows[] = {
        {"euro sign", "\xE2\x82\xAC", {}},
        {"A with grave", "\xC3\x80", {}},
        {"emoji", "\xF0\x9F\x98\x80", {}},
        {"a lone continuation byte", "\x80", {}},
        {"a cut-short sequence", "\xC3", {}},
        {"every character of a longer text", "a\xE2\x82\xAC\xC3\xB1z", {'a', 164, 'z'}},
        {"a broken byte between letters", "x\xFFy", {'x', 'y'}},
    };
    for (const Row& row : rows) EXPECT_EQ(run({text(row.typed)}).keys, row.keys) << row.name;
}

}  // namespace
