// The page's key presses turned into key codes, fed as the browser names
// them (KeyboardEvent.key) with hand-set modifiers: no browser needed.
#include "screen/back_ends/web_keys.h"

#include <gtest/gtest.h>

using namespace screen;

namespace {

constexpr unsigned none = 0;
constexpr WebKeyAction passOn = WebKeyAction::passOn;
constexpr WebKeyAction taken = WebKeyAction::taken;

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
        // Every key without a character, by the name the browser gives it.
        {"F1", none, taken, extendedKey(59)},         {"F2", none, taken, extendedKey(60)},
        {"F3", none, taken, extendedKey(61)},         {"F4", none, taken, extendedKey(62)},
        {"F5", none, taken, extendedKey(63)},         {"F6", none, taken, extendedKey(64)},
        {"F7", none, taken, extendedKey(65)},         {"F8", none, taken, extendedKey(66)},
        {"F9", none, taken, extendedKey(67)},         {"F11", none, taken, extendedKey(133)},
        {"F12", none, taken, extendedKey(134)},       {"Home", none, taken, extendedKey(71)},
        {"ArrowUp", none, taken, extendedKey(72)},    {"PageUp", none, taken, extendedKey(73)},
        {"ArrowLeft", none, taken, extendedKey(75)},  {"Clear", none, taken, extendedKey(76)},
        {"ArrowRight", none, taken, extendedKey(77)}, {"End", none, taken, extendedKey(79)},
        {"ArrowDown", none, taken, extendedKey(80)},  {"PageDown", none, taken, extendedKey(81)},
        {"Insert", none, taken, extendedKey(82)},     {"Delete", none, taken, extendedKey(83)},
        // Their Shift and Ctrl variants (Ctrl wins).
        {"F1", webShift, taken, extendedKey(84)},     {"F12", webCtrl, taken, extendedKey(138)},
        {"ArrowLeft", webCtrl, taken, extendedKey(115)},
        {"Delete", webCtrl | webShift, taken, extendedKey(147)},
        {"Home", webShift, taken, extendedKey(71)},
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
