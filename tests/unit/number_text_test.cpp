#include "screen/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <limits>

using screen::doubleText;
using screen::int32Text;
using screen::int64Text;

TEST(NumberText, IntegersHaveASpaceOrAMinusInFront) {
    EXPECT_EQ(int32Text(7), " 7");
    EXPECT_EQ(int32Text(2), " 2");
    EXPECT_EQ(int32Text(0), " 0");
    EXPECT_EQ(int32Text(-12), "-12");
    EXPECT_EQ(int32Text(2147483647), " 2147483647");
    EXPECT_EQ(int32Text(std::numeric_limits<std::int32_t>::min()), "-2147483648");
    EXPECT_EQ(int64Text(13983816), " 13983816");
    EXPECT_EQ(int64Text(0), " 0");
    EXPECT_EQ(int64Text(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(int64Text(std::numeric_limits<std::int64_t>::max()), " 9223372036854775807");
}

struct DoubleCase {
    double value;
    const char* text;
};

class DoubleTextTable : public ::testing::TestWithParam<DoubleCase> {};

TEST_P(DoubleTextTable, MatchesThePrintedForm) {
    EXPECT_EQ(doubleText(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, DoubleTextTable,
    ::testing::Values(DoubleCase{0, " 0"}, DoubleCase{12.3456789012345, " 12.3456789012345"},
                      DoubleCase{0.25, " 0.25"}, DoubleCase{0.5, " 0.5"}, DoubleCase{12.25, " 12.25"},
                      DoubleCase{3.0, " 3"}, DoubleCase{0.0001, " 0.0001"}, DoubleCase{0.00001, " 1e-005"},
                      DoubleCase{0.000035, " 3.5e-005"}, DoubleCase{1.0 / 3.0, " 0.3333333333333333"},
                      DoubleCase{0.1 + 0.2, " 0.3"}, DoubleCase{9999999999999998.0, " 9999999999999998"},
                      DoubleCase{1e16, " 1e+016"}, DoubleCase{-2.5, "-2.5"}, DoubleCase{86400.5, " 86400.5"},
                      DoubleCase{1234567890123456789.0, " 1.234567890123457e+018"},
                      // the edges of plain notation, and rounding that carries into a new digit
                      DoubleCase{0.00012345, " 0.00012345"}, DoubleCase{999999999999999.9, " 999999999999999.9"},
                      DoubleCase{9999999999999999.0, " 1e+016"}, DoubleCase{0.99999999999999999, " 1"},
                      DoubleCase{-0.000035, "-3.5e-005"}, DoubleCase{1e100, " 1e+100"},
                      DoubleCase{1.5e-300, " 1.5e-300"}, DoubleCase{-1e16, "-1e+016"},
                      DoubleCase{100, " 100"}, DoubleCase{-0.0, " 0"}));

TEST(NumberText, NeverLongerThan24Characters) {
    for (double v : {-1.234567890123457e-300, -1.7976931348623157e308, 4.9e-324, -0.00012345678901234567})
        EXPECT_LE(doubleText(v).size(), 24u) << doubleText(v);
}

TEST(NumberText, FullStopWhateverTheLocale) {
    // A comma-decimal locale, if this machine has one, must not leak in.
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    for (const char* name : {"es_ES.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8"})
        if (std::setlocale(LC_ALL, name)) break;
    EXPECT_EQ(doubleText(12.25), " 12.25");
    EXPECT_EQ(doubleText(1234567.5), " 1234567.5");
    std::setlocale(LC_ALL, saved.c_str());
}
