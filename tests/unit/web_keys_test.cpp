// The page's key presses turned into key codes, fed as the browser names
// them (KeyboardEvent.key) with hand-set modifiers: no browser needed.
#include "screen/back_ends/web_keys.h"

#include <gtest/gtest.h>

#include "screen/keys/extended_keys.h"

using namespace screen;

namespace {

constexpr unsigned none = 0;
constexpr WebKeyAction passOn = WebKeyAction::passOn;
constexpr WebKeyAction taken = WebKeyAction::taken;

KeyCode pc(PcKey key, bool shift = false, bool ctrl = false) { return pcExtendedKey(key, shift, ctrl); }

struct Row {
    const char* key;
    unsigned modifiers;
    WebKeyAction action;
    KeyCode code;
};

template <std::size_t count>
void expectRows(const Row (&rows)[count]) {
    for (const Row& row : rows) {
        const WebKey k = webKeyDown(row.key, row.modifiers);
        EXPECT_EQ(k.action, row.action) << row.key << " " << row.modifiers;
        EXPECT_EQ(k.code, row.code) << row.key << " " << row.modifiers;
    }
}

}  // namespace

TEST(WebKeys, NamedKeysGiveTheirPcCodes) {
    const Row rows[] = {
        // Every key without a character, by the name the browser gives it,
        // against the key it is on a PC (the codes are extended_keys.cpp's).
        {"F1", none, taken, pc(PcKey::f1)},             {"F2", none, taken, pc(PcKey::f2)},
        {"F3", none, taken, pc(PcKey::f3)},             {"F4", none, taken, pc(PcKey::f4)},
        {"F5", none, taken, pc(PcKey::f5)},             {"F6", none, taken, pc(PcKey::f6)},
        {"F7", none, taken, pc(PcKey::f7)},             {"F8", none, taken, pc(PcKey::f8)},
        {"F9", none, taken, pc(PcKey::f9)},             {"F11", none, taken, pc(PcKey::f11)},
        {"F12", none, taken, pc(PcKey::f12)},           {"Home", none, taken, pc(PcKey::home)},
        {"ArrowUp", none, taken, pc(PcKey::up)},        {"PageUp", none, taken, pc(PcKey::pageUp)},
        {"ArrowLeft", none, taken, pc(PcKey::left)},    {"Clear", none, taken, pc(PcKey::centre)},
        {"ArrowRight", none, taken, pc(PcKey::right)},  {"End", none, taken, pc(PcKey::end)},
        {"ArrowDown", none, taken, pc(PcKey::down)},    {"PageDown", none, taken, pc(PcKey::pageDown)},
        {"Insert", none, taken, pc(PcKey::insert)},     {"Delete", none, taken, pc(PcKey::del)},
        // Their Shift and Ctrl variants (Ctrl wins).
        {"F1", webShift, taken, pc(PcKey::f1, true)},   {"F12", webCtrl, taken, pc(PcKey::f12, false, true)},
        {"ArrowLeft", webCtrl, taken, pc(PcKey::left, false, true)},
        {"Delete", webCtrl | webShift, taken, pc(PcKey::del, true, true)},
        {"Home", webShift, taken, pc(PcKey::home, true)},
        // The keys that type a control character.
        {"Enter", none, taken, 13},                   {"Enter", webCtrl, taken, 10},
        {"Backspace", none, taken, 8},                {"Backspace", webCtrl, taken, 127},
        {"Tab", none, taken, 9},                      {"Tab", webShift, taken, 9},
        {"Tab", webCtrl, taken, extendedKey(148)},    {"Escape", webShift, taken, 27},
    };
    expectRows(rows);
}

TEST(WebKeys, CharactersGoThroughCodePage437) {
    const Row rows[] = {
        {"a", none, taken, 'a'},        {"A", webShift, taken, 'A'},   {" ", none, taken, 32},
        {"7", none, taken, '7'},        {"\xC3\xA9", none, taken, 130},  // é
        {"\xC3\xB1", none, taken, 164},  // ñ
        {"\xE2\x82\xAC", none, passOn, 0},  // the euro sign is not in the set
        {"\xF0\x9F\x98\x80", none, passOn, 0},  // nor is an emoji
        // AltGr types, with or without the Ctrl and Alt that come with it on Windows.
        {"@", webAltGraph, taken, '@'}, {"@", webCtrl | webAlt | webAltGraph, taken, '@'},
        // Ctrl makes letters control codes and other characters nothing.
        {"a", webCtrl, taken, 1},       {"J", webCtrl | webShift, taken, 10},
        {"z", webCtrl, taken, 26},      {"7", webCtrl, passOn, 0},
        // Names that are no key of lister's, and what is not one character.
        {"Shift", webShift, passOn, 0}, {"Control", webCtrl, passOn, 0},
        {"Dead", none, passOn, 0},      {"Unidentified", none, passOn, 0},
        {"", none, passOn, 0},          {"ab", none, passOn, 0},
    };
    expectRows(rows);
}

TEST(WebKeys, AltPostsNothingAndAltEnterSwitchesFullScreen) {
    const Row rows[] = {
        // Alt chords post nothing, and the browser keeps its own use of them.
        {"a", webAlt, passOn, 0},                  {"ArrowLeft", webAlt, passOn, 0},
        {"Escape", webAlt, passOn, 0},             {"Backspace", webAlt | webShift, passOn, 0},
        // Alt itself, F10 and Alt+F4 are consumed.
        {"Alt", webAlt, taken, 0},                 {"F10", none, taken, 0},
        {"F10", webShift, taken, 0},               {"F4", webAlt, taken, 0},
        {"Enter", webAlt, WebKeyAction::toggleFullScreen, 0},
        {"Enter", webAlt | webShift, WebKeyAction::toggleFullScreen, 0},
        // Held down, it switches once.
        {"Enter", webAlt | webRepeat, taken, 0},
        // A held key repeats itself.
        {"ArrowLeft", webRepeat, taken, extendedKey(75)}, {"x", webRepeat, taken, 'x'},
    };
    expectRows(rows);
}
