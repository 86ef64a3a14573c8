// The key queue, polling and waiting, the headless key script, and the
// line editor driven by keys, checked on the cells.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "screen/keys/key_queue.h"
#include "screen/key_delivery.h"
#include "screen/keyboard.h"
#include "screen/line_input.h"
#include "screen/screen.h"
#include "tests/headless_screen.h"
#include "tests/screen_text.h"

using namespace screen;
using testing_screen::HeadlessScreen;
using testing_screen::rowText;
using testing_screen::rowTrimmed;

namespace {

const std::string left = std::string("\0K", 2);
const std::string right = std::string("\0M", 2);
const std::string home = std::string("\0G", 2);
const std::string end = std::string("\0O", 2);
const std::string up = std::string("\0H", 2);
const std::string down = std::string("\0P", 2);
const std::string del = std::string("\0S", 2);
const std::string insertKey = std::string("\0R", 2);
const std::string f1 = std::string("\0;", 2);
const std::string pageUp = std::string("\0I", 2);
const std::string closeRequest = std::string("\0k", 2);

}  // namespace

TEST(KeyQueue, HoldsFifteenAndDropsTheOldest) {
    KeyQueue q;
    for (KeyCode k = 1; k <= 16; ++k) queueKey(q, k);
    EXPECT_EQ(queuedKeys(q), 15);
    for (KeyCode k = 2; k <= 16; ++k) EXPECT_EQ(dequeueKey(q), k);
    EXPECT_EQ(dequeueKey(q), 0);
    EXPECT_TRUE(q.keyPosted);
}

TEST(KeyQueue, PollGivesKeyTextsOldestFirstAndClearsTheFlag) {
    HeadlessScreen screen("", false);
    postKey(27);
    postKey(keyLeft);
    postKey(keyCloseRequest);
    EXPECT_EQ(pollKey(), "\x1b");
    EXPECT_EQ(pollKey(), "\xff" "K");
    EXPECT_EQ(pollKey(), "\xff" "k");
    EXPECT_EQ(pollKey(), "");
    postKey('a');
    EXPECT_TRUE(takeKeyPostedFlag());
    EXPECT_FALSE(takeKeyPostedFlag());
    EXPECT_TRUE(keyWaiting());  // the key stays queued
    postKey('b');
    EXPECT_EQ(takeKey(), 'a');
    EXPECT_FALSE(takeKeyPostedFlag());  // taking clears it
    EXPECT_EQ(takeKey(), 'b');
    postKey('c');
    takeKey();
    EXPECT_EQ(takeKey(), 0);
    EXPECT_FALSE(takeKeyPostedFlag());  // even an empty take clears it
}

TEST(KeyQueue, SixteenKeysLeaveTheLastFifteen) {
    HeadlessScreen screen("", false);
    for (KeyCode k = 'a'; k < 'a' + 16; ++k) postKey(k);
    std::string taken;
    for (std::string key = pollKey(); !key.empty(); key = pollKey()) taken += key;
    EXPECT_EQ(taken, "bcdefghijklmnop");
}

TEST(KeyBacklog, ABurstBiggerThanTheQueueWaitsForRoomAndLosesNothing) {
    HeadlessScreen screen("", false);
    postKey('1');  // one already queued: fourteen more fit
    std::vector<KeyCode> burst;
    for (KeyCode k = 'a'; k <= 'z'; ++k) burst.push_back(k);
    offerKeys(burst.data(), burst.size());
    std::string taken;
    for (std::string key = pollKey(); !key.empty(); key = pollKey()) {
        taken += key;
        // The read that made room moved the next held key in at once.
        if (taken.size() < 27) {
            EXPECT_TRUE(keyWaiting()) << "after " << taken;
        }
    }
    EXPECT_EQ(taken, "1abcdefghijklmnopqrstuvwxyz");
    // A held key does not end the final wait by itself once it was
    // typed before the last read.
    EXPECT_FALSE(takeKeyPostedFlag());
}

TEST(KeyBacklog, BeyondItsLimitTheOldestHeldGo) {
    KeyQueue q;
    const auto limit = static_cast<KeyCode>(KeyQueue::heldLimit);
    for (KeyCode k = 1; k <= 15 + limit + 3; ++k) offerKey(q, k);
    ASSERT_EQ(q.held.size(), KeyQueue::heldLimit);
    EXPECT_EQ(dequeueKey(q), 1);  // the queued fifteen stay
    for (KeyCode k = 2; k <= 15; ++k) dequeueKey(q);
    EXPECT_EQ(dequeueKey(q), 19);  // 16, 17 and 18 went
    EXPECT_EQ(q.held.back(), 15 + limit + 3);
}

TEST(KeyQueue, WaitForKeyReturnsAtOnceForAKeyTypedEarlierAndLeavesIt) {
    HeadlessScreen screen("", false);
    postKey('x');
    waitForKey();
    EXPECT_TRUE(keyWaiting());
    EXPECT_EQ(pollKey(), "x");
}

TEST(KeyQueue, WaitForKeyEndsWhenTheScriptHasRunOut) {
    HeadlessScreen screen("");
    for (int tries = 0; tries < 200 && !inputExhausted(); ++tries) usleep(5000);
    ASSERT_TRUE(inputExhausted());
    waitForKey();  // returns instead of waiting for a key that cannot come
    EXPECT_FALSE(keyWaiting());
}

TEST(KeyQueueDeathTest, AnEditorWhoseScriptRunsOutEndsWithStatus3) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            HeadlessScreen screen("12");
            editLine();
        },
        ::testing::ExitedWithCode(3), "lister: input ended while waiting for an answer");
}

TEST(HeadlessScript, BytesAreCharactersAndZeroStartsAnExtendedKey) {
    // A 0 followed by 0 names no key: it gives none.
    HeadlessScreen screen(std::string("a\0K\0\0\0k\x1b\r", 9));
    std::string keys;
    for (int tries = 0; tries < 200 && keys.size() < 7; ++tries) {
        if (keyWaiting())
            keys += pollKey();
        else
            usleep(5000);
    }
    EXPECT_EQ(keys, std::string("a\xffK\xffk\x1b\r"));
}

TEST(HeadlessScript, ALongScriptLosesNoKeys) {
    std::string script;
    for (int i = 0; i < 100; ++i) script += static_cast<char>('A' + i % 26);
    HeadlessScreen screen(script);
    std::string keys;
    // The end of the script may be seen a cycle after its last key.
    for (int tries = 0; tries < 400 && !inputExhausted(); ++tries) {
        if (keyWaiting())
            keys += pollKey();
        else
            usleep(5000);
    }
    EXPECT_EQ(keys, script);
    EXPECT_TRUE(inputExhausted());
}

// Lines typed into the editor: the text it returns and what the row shows.
struct EditCase {
    const char* name;
    std::string keys;
    std::string text;
    std::string row;  // row 5 from column 1, trailing blanks dropped
    int beeps;
};

class LineEditor : public ::testing::TestWithParam<EditCase> {};

TEST_P(LineEditor, BuildsTheLineAndEchoesIt) {
    const EditCase& c = GetParam();
    HeadlessScreen screen(c.keys);
    moveCursor(5, 1);
    const std::string text = editLine();
    EXPECT_EQ(text, c.text);
    const TextScreen s = screenSnapshot();
    EXPECT_EQ(rowTrimmed(s, 5), c.row);
    EXPECT_EQ(beepCount(), c.beeps);
    EXPECT_EQ(s.cursorRow, 5);
    EXPECT_EQ(s.cursorColumn, 1 + static_cast<int>(c.text.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, LineEditor,
    ::testing::Values(EditCase{"InsertBeforeTheCursor", "12" + left + "3\r", "132", "132", 0},
                      EditCase{"HomeThenDelete", "abc" + home + del + "\r", "bc", "bc", 0},
                      EditCase{"BackspaceAndLeftAtTheStartDoNothing", "\b" + left + "x\r", "x", "x", 0},
                      EditCase{"DeleteAtTheEndBeeps", "ab" + del + "\r", "ab", "ab", 1},
                      EditCase{"TabAtZeroIsEightSpaces", "\tx\r", "        x", "        x", 0},
                      EditCase{"TabAtThreeIsFive", "abc\tx\r", "abc     x", "abc     x", 0},
                      EditCase{"EscapeErasesTheEcho", "abc\x1b\r", "", "", 0},
                      EditCase{"EscapeThenRetype", "abc\x1bxy\r", "xy", "xy", 0},
                      EditCase{"IgnoredKeys", "z" + insertKey + f1 + pageUp + closeRequest + "\x01\r", "z", "z", 0},
                      EditCase{"CtrlJEndsTheLine", "ab\n", "ab", "ab", 0},
                      EditCase{"BackspaceInTheMiddle", "abcd" + left + left + "\b\r", "acd", "acd", 0},
                      EditCase{"EndAndRight", "abc" + home + right + "X" + end + "Y\r", "aXbcY", "aXbcY", 0},
                      EditCase{"EveryByteFrom32Up", "\x7f\x80\xfe\r", "\x7f\x80\xfe", "\x7f\x80\xfe", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineEditorRows, UpAndDownMoveByTheGridWidth) {
    HeadlessScreen screen(std::string(120, 'a') + home + down + "X" + end + up + "Y\r");
    moveCursor(5, 1);
    const std::string text = editLine();
    std::string expected = std::string(120, 'a');
    expected.insert(100, "X");
    expected.insert(21, "Y");
    EXPECT_EQ(text, expected);
    const TextScreen s = screenSnapshot();
    EXPECT_EQ(rowText(s, 5), expected.substr(0, 100));
    EXPECT_EQ(rowTrimmed(s, 6), expected.substr(100));
}

TEST(LineEditorRows, TheEchoRunsOnAcrossTheRowEnd) {
    HeadlessScreen screen("abcd" + home + del + "\r");
    moveCursor(5, 99);
    EXPECT_EQ(editLine(), "bcd");
    const TextScreen s = screenSnapshot();
    EXPECT_EQ(rowText(s, 5).substr(98), "bc");
    EXPECT_EQ(rowTrimmed(s, 6), "d");
    EXPECT_EQ(s.cursorRow, 6);
    EXPECT_EQ(s.cursorColumn, 2);
}

TEST(LineEditorRows, PastTheBottomRightCornerTheScreenScrolls) {
    HeadlessScreen screen("ab\r");
    moveCursor(1, 1);
    printText("top", false);
    moveCursor(70, 99);
    EXPECT_EQ(editLine(), "ab");
    const TextScreen s = screenSnapshot();
    EXPECT_EQ(rowText(s, 69).substr(98), "ab");
    EXPECT_EQ(rowTrimmed(s, 70), "");
    EXPECT_EQ(rowTrimmed(s, 1), "");  // "top" went up and away
    EXPECT_EQ(s.cursorRow, 70);
    EXPECT_EQ(s.cursorColumn, 1);
}

TEST(LineEditorRows, OnlyTheNewAnswerAndTheMarkCellAreRewritten) {
    // An earlier, longer answer stays visible beyond the new one.
    HeadlessScreen screen("8\r");
    moveCursor(4, 58);
    printText("123", false);
    moveCursor(4, 58);
    EXPECT_EQ(editLine(), "8");
    EXPECT_EQ(rowText(screenSnapshot(), 4).substr(57, 3), "8 3");
}

TEST(LineInput, AfterEnterTheCursorStandsOnTheNextRow) {
    HeadlessScreen screen(" 12 \r");
    moveCursor(4, 58);
    inputLine("", false, true);
    std::int32_t n = 0;
    inputInteger(n);
    EXPECT_EQ(n, 12);
    EXPECT_EQ(cursorPosition().row, 5);
    EXPECT_EQ(cursorPosition().column, 1);
}

TEST(LineInput, PromptQuestionMarkAndAPendingWrapResolvedFirst) {
    HeadlessScreen screen("g\r");
    moveCursor(70, 1);
    printText(spaces(100), false);
    ASSERT_TRUE(pendingWrapIsSet());
    inputLine("Salida", true, false);
    std::string answer;
    inputText(answer);
    EXPECT_EQ(answer, "g");
    EXPECT_EQ(rowTrimmed(screenSnapshot(), 70), "Salida? g");
}

TEST(LineInput, EachLineStartsAFreshContext) {
    HeadlessScreen screen("1,2\r3\r");
    std::int32_t n = 0;
    inputLine("", false, true);
    inputInteger(n);
    EXPECT_EQ(n, 1);
    inputLine("", false, true);
    inputInteger(n);
    EXPECT_EQ(n, 3);  // the 2 left on the first line is gone
    inputInteger(n);
    EXPECT_EQ(n, 0);
}
