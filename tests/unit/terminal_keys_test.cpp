// The terminal's bytes as keys: every sequence in one table, then the same
// table cut into two reads at every point, the lone ESC, and posting only
// as many keys as the queue has room for.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "screen/back_ends/terminal_keys.h"

using namespace screen;

namespace {

using Keys = std::vector<KeyCode>;

std::vector<std::uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

// All the keys in the bytes, as when the terminal has gone quiet after them.
Keys keysOf(const std::string& bytes, bool* redraw = nullptr) {
    std::vector<std::uint8_t> pending = bytesOf(bytes);
    Keys keys;
    TerminalRequests r;
    takeTerminalKeys(pending, true, 1000, keys, r);
    EXPECT_TRUE(pending.empty()) << bytes;
    if (redraw) *redraw = r.redraw;
    return keys;
}

KeyCode x(int code) { return extendedKey(code); }

struct Case {
    const char* what;
    std::string bytes;
    Keys keys;
};

const std::string esc = "\x1b";

const std::vector<Case> cases = {
    // Characters
    {"letter", "a", {'a'}},
    {"Enter", "\r", {13}},
    {"Ctrl+J", "\n", {10}},
    {"Backspace as DEL", "\x7f", {8}},
    {"Backspace as BS", "\b", {8}},
    {"Tab", "\t", {9}},
    {"Ctrl+C is a key", "\x03", {3}},
    {"Ctrl+Space", std::string(1, '\0'), {0}},
    {"n with tilde", "\xc3\xb1", {0xA4}},
    {"C cedilla", "\xc3\x87", {0x80}},
    {"full block", "\xe2\x96\x88", {0xDB}},
    {"no-break space", "\xc2\xa0", {0xFF}},
    {"euro sign is not in the set", "\xe2\x82\xac", {}},
    {"emoji is not in the set", "\xf0\x9f\x98\x80", {}},
    {"stray continuation byte", "\x80" "a", {'a'}},
    // Cursor block, CSI and SS3 forms
    {"Up", esc + "[A", {x(72)}},
    {"Down", esc + "[B", {x(80)}},
    {"Right", esc + "[C", {x(77)}},
    {"Left", esc + "[D", {x(75)}},
    {"Home CSI H", esc + "[H", {x(71)}},
    {"End CSI F", esc + "[F", {x(79)}},
    {"Up SS3", esc + "OA", {x(72)}},
    {"Left SS3", esc + "OD", {x(75)}},
    {"Home SS3", esc + "OH", {x(71)}},
    {"End SS3", esc + "OF", {x(79)}},
    {"Home 1~", esc + "[1~", {x(71)}},
    {"Insert", esc + "[2~", {x(82)}},
    {"Delete", esc + "[3~", {x(83)}},
    {"End 4~", esc + "[4~", {x(79)}},
    {"PgUp", esc + "[5~", {x(73)}},
    {"PgDn", esc + "[6~", {x(81)}},
    {"Home rxvt 7~", esc + "[7~", {x(71)}},
    {"End rxvt 8~", esc + "[8~", {x(79)}},
    // Function keys
    {"F1 SS3", esc + "OP", {x(59)}},
    {"F4 SS3", esc + "OS", {x(62)}},
    {"F1 11~", esc + "[11~", {x(59)}},
    {"F5 15~", esc + "[15~", {x(63)}},
    {"F1 console", esc + "[[A", {x(59)}},
    {"F5 console", esc + "[[E", {x(63)}},
    {"F6", esc + "[17~", {x(64)}},
    {"F10", esc + "[21~", {x(68)}},
    {"F11", esc + "[23~", {x(133)}},
    {"F12", esc + "[24~", {x(134)}},
    // Shift
    {"Shift+F1", esc + "[1;2P", {x(84)}},
    {"Shift+F5", esc + "[15;2~", {x(88)}},
    {"Shift+F10", esc + "[21;2~", {x(93)}},
    {"Shift+F11", esc + "[23;2~", {x(135)}},
    {"Shift+F12", esc + "[24;2~", {x(136)}},
    {"Shift+F3 rxvt and console", esc + "[25~", {x(86)}},
    {"Shift+F10 rxvt and console", esc + "[34~", {x(93)}},
    {"Shift+Up is Up", esc + "[1;2A", {x(72)}},
    {"Shift+Up rxvt", esc + "[a", {x(72)}},
    {"Shift+Insert rxvt", esc + "[2$", {x(82)}},
    {"Shift+Tab is Tab", esc + "[Z", {9}},
    // Ctrl
    {"Ctrl+Left", esc + "[1;5D", {x(115)}},
    {"Ctrl+Right", esc + "[1;5C", {x(116)}},
    {"Ctrl+End", esc + "[1;5F", {x(117)}},
    {"Ctrl+PgDn", esc + "[6;5~", {x(118)}},
    {"Ctrl+Home", esc + "[1;5H", {x(119)}},
    {"Ctrl+PgUp", esc + "[5;5~", {x(132)}},
    {"Ctrl+Up", esc + "[1;5A", {x(141)}},
    {"Ctrl+Down", esc + "[1;5B", {x(145)}},
    {"Ctrl+Insert", esc + "[2;5~", {x(146)}},
    {"Ctrl+Delete", esc + "[3;5~", {x(147)}},
    {"Ctrl+F1", esc + "[1;5P", {x(94)}},
    {"Ctrl+F10", esc + "[21;5~", {x(103)}},
    {"Ctrl+F11", esc + "[23;5~", {x(137)}},
    {"Ctrl+F12", esc + "[24;5~", {x(138)}},
    {"Ctrl+Shift+Left is Ctrl+Left", esc + "[1;6D", {x(115)}},
    {"Ctrl+Left rxvt", esc + "Od", {x(115)}},
    {"Ctrl+Up rxvt", esc + "Oa", {x(141)}},
    {"Ctrl+Delete rxvt", esc + "[3^", {x(147)}},
    {"Ctrl+F1 rxvt", esc + "[11^", {x(94)}},
    {"Ctrl+F1 old xterm", esc + "O5P", {x(94)}},
    // Alt posts nothing
    {"Alt+Up", esc + "[1;3A", {}},
    {"Meta+Up", esc + "[1;9A", {}},
    {"Alt+Delete", esc + "[3;3~", {}},
    {"Alt+letter", esc + "a", {}},
    {"Alt+n tilde", esc + "\xc3\xb1", {}},
    {"Alt+Backspace", esc + "\x7f", {}},
    {"Alt+Up rxvt", esc + esc + "[A", {}},
    {"Alt+F1 rxvt", esc + esc + "OP", {}},
    {"Alt+a then b", esc + "ab", {'b'}},
    // ESC itself
    {"lone ESC", esc, {27}},
    {"two ESCs that came together", esc + esc, {27, 27}},
    {"ESC ESC then a letter", esc + esc + "q", {27}},
    // Keypad left in application mode
    {"keypad Enter", esc + "OM", {13}},
    {"keypad 0", esc + "Op", {'0'}},
    {"keypad 9", esc + "Oy", {'9'}},
    // Not keys at all
    {"paste start marker", esc + "[200~", {}},
    {"mouse report", esc + "[<0;10;5M", {}},
    {"mouse wheel", esc + "[<65;10;5M", {}},
    {"mouse report, first form, then a key", esc + "[M !!a", {'a'}},
    {"focus in", esc + "[I", {}},
    {"keypad 5", esc + "[E", {}},
    {"sequence then text", esc + "[Ax", {x(72), 'x'}},
    {"sequence broken by a control", esc + "[1\x01", {1}},
    {"Alt+[ once quiet", esc + "[", {}},
};

}  // namespace

TEST(TerminalKeys, EverySequenceGivesItsKeys) {
    for (const Case& c : cases) EXPECT_EQ(keysOf(c.bytes), c.keys) << c.what;
}

TEST(TerminalKeys, ASequenceSplitAcrossTwoReadsGivesTheSameKeys) {
    for (const Case& c : cases) {
        for (std::size_t cut = 1; cut < c.bytes.size(); ++cut) {
            std::vector<std::uint8_t> pending = bytesOf(c.bytes.substr(0, cut));
            Keys keys;
            TerminalRequests requests;
            takeTerminalKeys(pending, false, 1000, keys, requests);
            const std::string rest = c.bytes.substr(cut);
            pending.insert(pending.end(), rest.begin(), rest.end());
            takeTerminalKeys(pending, true, 1000, keys, requests);
            EXPECT_EQ(keys, c.keys) << c.what << ", cut after " << cut;
            EXPECT_TRUE(pending.empty()) << c.what;
        }
    }
}

TEST(TerminalKeys, ALoneEscWaitsUntilTheTerminalIsQuiet) {
    std::vector<std::uint8_t> pending = bytesOf(esc);
    Keys keys;
    TerminalRequests requests;
    takeTerminalKeys(pending, false, 15, keys, requests);
    EXPECT_TRUE(keys.empty());
    EXPECT_EQ(pending.size(), 1u);
    takeTerminalKeys(pending, true, 15, keys, requests);
    EXPECT_EQ(keys, Keys{27});
    EXPECT_TRUE(pending.empty());

    // Characters before an unfinished sequence do not wait for it.
    pending = bytesOf("ab" + esc + "[1;");
    keys.clear();
    takeTerminalKeys(pending, false, 15, keys, requests);
    EXPECT_EQ(keys, (Keys{'a', 'b'}));
    EXPECT_EQ(pending, bytesOf(esc + "[1;"));
}

TEST(TerminalKeys, OnlyAsManyKeysAsThereIsRoomForTheRestWait) {
    struct RoomCase {
        std::string bytes;
        int room;
        Keys taken;
        std::string left;
    };
    const RoomCase roomCases[] = {
        {"abcdef", 2, {'a', 'b'}, "cdef"},
        {"abc", 0, {}, "abc"},
        {esc + "[1;3A" + "ab", 1, {'a'}, "b"},  // what posts nothing needs no room
        {esc + "[A" + esc + "[B", 1, {x(72)}, esc + "[B"},
    };
    for (const RoomCase& c : roomCases) {
        std::vector<std::uint8_t> pending = bytesOf(c.bytes);
        Keys keys;
        TerminalRequests requests;
        takeTerminalKeys(pending, true, c.room, keys, requests);
        EXPECT_EQ(keys, c.taken) << c.bytes;
        EXPECT_EQ(pending, bytesOf(c.left)) << c.bytes;
    }
}

// Alt with the cursor block and the mouse wheel move the view and post no
// key: the direction of each as the signs of its rows, columns and pages.
TEST(TerminalKeys, AltWithTheCursorBlockAndTheWheelMoveTheView) {
    struct Move {
        std::string bytes;
        std::array<int, 3> signs;
    };
    const Move cases[] = {
        {esc + "[1;3A", {-1, 0, 0}},    {esc + "[6;3~", {0, 0, 1}},       {esc + "[1;3H", {-1, -1, 0}},
        {esc + esc + "[A", {-1, 0, 0}}, {esc + "[<65;80;24M", {1, 0, 0}}, {esc + "[<68;1;1M", {0, -1, 0}},
        {esc + "[Ma!!", {1, 0, 0}},     {esc + "[<64;1;1m", {0, 0, 0}},   {esc + "[<0;1;1M", {0, 0, 0}},
    };
    const auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const Move& c : cases) {
        std::vector<std::uint8_t> pending = bytesOf(c.bytes);
        Keys keys;
        TerminalRequests r;
        takeTerminalKeys(pending, true, 15, keys, r);
        EXPECT_TRUE(keys.empty()) << c.bytes.substr(1);
        EXPECT_EQ((std::array{sign(r.move.rows), sign(r.move.columns), sign(r.move.pages)}), c.signs) << c.bytes.substr(1);
    }
}

TEST(TerminalKeys, CtrlLAsksForARedrawAndPostsNothing) {
    bool redraw = false;
    EXPECT_EQ(keysOf("a\x0c" "b", &redraw), (Keys{'a', 'b'}));
    EXPECT_TRUE(redraw);
    EXPECT_EQ(keysOf("ab", &redraw), (Keys{'a', 'b'}));
    EXPECT_FALSE(redraw);
}
