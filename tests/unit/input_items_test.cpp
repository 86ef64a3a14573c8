// Typed lines read as items: the number rule and the text rule.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

#include "screen/line_input.h"

using namespace screen;

namespace {

std::int32_t numberOf(const std::string& line) {
    InputContext context{line, 0};
    return itemValue(readItem(context, numberItemLength, false));
}

std::string textOf(const std::string& line) {
    InputContext context{line, 0};
    return readItem(context, textItemLength, true).text;
}

}  // namespace

struct NumberCase {
    const char* line;
    std::int32_t value;
};

class NumberReads : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberReads, GiveTheValue) { EXPECT_EQ(numberOf(GetParam().line), GetParam().value) << GetParam().line; }

INSTANTIATE_TEST_SUITE_P(
    Lines, NumberReads,
    ::testing::Values(
        NumberCase{"", 0}, NumberCase{"  12", 12}, NumberCase{"12abc", 12}, NumberCase{"1 2", 1},
        NumberCase{"12,5", 12}, NumberCase{"+12", 12}, NumberCase{"-3", -3}, NumberCase{"7.6", 8},
        NumberCase{"7.5", 8}, NumberCase{"6.5", 6}, NumberCase{"48.5", 48}, NumberCase{"49.5", 50},
        NumberCase{"-7.6", -8}, NumberCase{"-6.5", -6}, NumberCase{"4e1", 40}, NumberCase{"4d1", 40},
        NumberCase{"4.9e1", 49}, NumberCase{"4.9D1", 49}, NumberCase{"&H10", 16}, NumberCase{"&h1f", 31},
        NumberCase{"&O17", 15}, NumberCase{"&17", 15}, NumberCase{"&B101", 5}, NumberCase{"&", 0},
        NumberCase{"0x10", 0}, NumberCase{"abc", 0}, NumberCase{"&HDE", 222}, NumberCase{"&HFFFFFFFF", -1},
        NumberCase{"&H100000010", 16}, NumberCase{"&19", 1}, NumberCase{".", 0}, NumberCase{".5", 0},
        NumberCase{"1.5", 2}, NumberCase{"7.", 7}, NumberCase{"\"12\"34", 1234},
        // the 32-bit limits
        NumberCase{"2147483647", 2147483647}, NumberCase{"2147483648", -2147483647 - 1},
        NumberCase{"4294967289", -7}, NumberCase{"99999999999", -1}, NumberCase{"-4294967289", 7},
        NumberCase{"1e10", -2147483647 - 1}, NumberCase{"-1e10", -2147483647 - 1},
        NumberCase{"2147483647.4", 2147483647}, NumberCase{"2147483647.5", -2147483647 - 1},
        NumberCase{"-2147483648.5", -2147483647 - 1}, NumberCase{"1e400", -2147483647 - 1},
        NumberCase{"1e-400", 0}, NumberCase{"4e", 4}, NumberCase{"4e+", 4},
        // the point moved by the exponent, either way
        NumberCase{"0.0049e4", 49}, NumberCase{"4900d-2", 49}, NumberCase{"-.0485E+3", -48},
        // a line that starts with a comma has an empty first item
        NumberCase{"  ,7", 0}));

TEST(NumberReads, AnOverlongItemUsesItsFirst67Characters) {
    const std::string digits = std::string(66, '0') + "12345";  // the 67th character is the 1
    EXPECT_EQ(numberOf(digits), 1);
    InputContext context{std::string(70, 'x') + ",y", 0};
    EXPECT_EQ(readItem(context, numberItemLength, false).text.size(), 67u);
}

TEST(NumberReads, TheFractionFlagAndDAsE) {
    InputContext context{"4d1 &Hd.e 12", 0};
    InputItem first = readItem(context, numberItemLength, false);
    EXPECT_EQ(first.text, "4e1");
    EXPECT_TRUE(first.fraction);
    InputItem second = readItem(context, numberItemLength, false);
    EXPECT_EQ(second.text, "&Hd.e");  // after the radix marker nothing counts
    EXPECT_FALSE(second.fraction);
    InputItem third = readItem(context, numberItemLength, false);
    EXPECT_EQ(third.text, "12");
}

TEST(NumberReads, RealsAreReadTheSameInEveryLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    for (const char* name : {"es_ES.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8"})
        if (std::setlocale(LC_ALL, name)) break;
    EXPECT_EQ(numberOf("7.6"), 8);
    EXPECT_DOUBLE_EQ(itemToReal("7.6"), 7.6);
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(NumberReads, RoundingHalvesToEvenAndTheOutOfRangeValue) {
    EXPECT_EQ(roundedToInt32(0.5), 0);
    EXPECT_EQ(roundedToInt32(1.5), 2);
    EXPECT_EQ(roundedToInt32(-0.5), 0);
    EXPECT_EQ(roundedToInt32(-2.5), -2);
    EXPECT_EQ(roundedToInt32(std::numeric_limits<double>::infinity()), -2147483647 - 1);
    EXPECT_EQ(roundedToInt32(-std::numeric_limits<double>::infinity()), -2147483647 - 1);
    EXPECT_EQ(roundedToInt32(std::nan("")), -2147483647 - 1);
}

struct TextCase {
    const char* line;
    const char* text;
};

class TextReads : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextReads, GiveTheText) { EXPECT_EQ(textOf(GetParam().line), GetParam().text) << GetParam().line; }

INSTANTIATE_TEST_SUITE_P(Lines, TextReads,
                         ::testing::Values(TextCase{" g ", "g "}, TextCase{"p,g", "p"}, TextCase{"\"g\"", "g"},
                                           TextCase{"\" g ,x\"", " g ,x"}, TextCase{"a\"b", "a\"b"},
                                           TextCase{" \t  \t", ""}, TextCase{",x", ""}, TextCase{"\"\"", ""},
                                           TextCase{"Pantalla", "Pantalla"}, TextCase{"a b\tc", "a b\tc"},
                                           TextCase{"\"open", "open"}, TextCase{"x\r\ny", "x"},
                                           TextCase{"  \"a,b\" , c", "a,b"}));

TEST(TextReads, AnOverlongItemKeepsItsFirst4096Characters) {
    EXPECT_EQ(textOf(std::string(5000, 'g')), std::string(4096, 'g'));
}

TEST(TextReads, ItemsFollowEachOtherOnTheLine) {
    InputContext context{"\"a b\" , c,d", 0};
    EXPECT_EQ(readItem(context, textItemLength, true).text, "a b");
    EXPECT_EQ(readItem(context, textItemLength, true).text, "c");
    EXPECT_EQ(readItem(context, textItemLength, true).text, "d");
    EXPECT_EQ(readItem(context, textItemLength, true).text, "");
}

TEST(TextReads, EveryByteIsAnOrdinaryCharacter) {
    const std::string bytes = std::string("\x01\x7f\x80\xff\x00z", 6);
    EXPECT_EQ(textOf(bytes), bytes);
}
