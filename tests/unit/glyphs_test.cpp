#include "screen/glyphs.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using screen::glyphTable;

namespace {
std::string glyphBits(const std::uint8_t* table, int height, int byte) {
    return std::string(reinterpret_cast<const char*>(table + byte * height), static_cast<std::size_t>(height));
}
}  // namespace

TEST(Glyphs, PrintableAsciiAllHaveInkAndAllDiffer) {
    const std::uint8_t* table = glyphTable(8);
    std::set<std::string> seen;
    for (int byte = 33; byte <= 126; ++byte) {
        const std::string bits = glyphBits(table, 8, byte);
        EXPECT_NE(bits, std::string(8, '\0')) << "glyph " << byte << " has no ink";
        EXPECT_TRUE(seen.insert(bits).second) << "glyph " << byte << " repeats another";
    }
    EXPECT_EQ(glyphBits(table, 8, ' '), std::string(8, '\0'));
}

TEST(Glyphs, TheUpperHalfIsDrawnToo) {
    const std::uint8_t* table = glyphTable(8);
    int drawn = 0;
    for (int byte = 128; byte < 255; ++byte) drawn += glyphBits(table, 8, byte) != std::string(8, '\0');
    EXPECT_EQ(drawn, 127);  // every one but the blank 255
}

TEST(Glyphs, TallerCellsStretchThe8By8Set) {
    const std::uint8_t* small = glyphTable(8);
    for (int height : {14, 16}) {
        const std::uint8_t* tall = glyphTable(height);
        ASSERT_NE(tall, nullptr);
        for (int byte = 0; byte < 256; ++byte)
            for (int y = 0; y < height; ++y)
                ASSERT_EQ(tall[byte * height + y], small[byte * 8 + y * 8 / height]) << byte << " line " << y;
    }
    EXPECT_EQ(glyphTable(10), nullptr);
}
