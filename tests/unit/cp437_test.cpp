#include "screen/cp437.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

using namespace screen;

TEST(Cp437, EveryByteHasItsOwnCharacterAndTheUpperHalfComesBack) {
    std::set<char32_t> seen;
    for (int byte = 1; byte < 256; ++byte) {
        const char32_t c = cp437ToUnicode(static_cast<std::uint8_t>(byte));
        EXPECT_TRUE(seen.insert(c).second) << byte;
        if (byte >= 32 && byte != 127) {
            EXPECT_EQ(unicodeToCp437(c), byte) << byte;
        }
    }
    EXPECT_EQ(cp437ToUnicode(0), U' ');
    const std::pair<int, char32_t> known[] = {{0x01, 0x263A}, {0x7F, 0x2302}, {0x80, 0x00C7}, {0xA4, 0x00F1},
                                              {0xA5, 0x00D1}, {0xB3, 0x2502}, {0xDB, 0x2588}, {0xE1, 0x00DF},
                                              {0xFE, 0x25A0}, {0xFF, 0x00A0}, {'A', 'A'},     {'~', '~'}};
    for (auto [byte, c] : known) EXPECT_EQ(cp437ToUnicode(static_cast<std::uint8_t>(byte)), c) << byte;
}

TEST(Cp437, CharactersTheSetLacksGiveNothing) {
    for (char32_t c : {char32_t{0x00C1}, char32_t{0x20AC}, char32_t{0x1F600}, char32_t{0x263A}, char32_t{0x0009}})
        EXPECT_EQ(unicodeToCp437(c), -1) << static_cast<unsigned>(c);
}

TEST(Utf8, DecodesWholeCharactersAndSaysWhatIsMissingOrWrong) {
    for (char32_t c : {char32_t{'a'}, char32_t{0x00F1}, char32_t{0x2502}, char32_t{0x1F600}}) {
        const std::string bytes = utf8Of(c);
        char32_t decoded = 0;
        std::size_t used = 0;
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        ASSERT_EQ(decodeUtf8(data, bytes.size(), decoded, used), Utf8Status::complete);
        EXPECT_EQ(decoded, c);
        EXPECT_EQ(used, bytes.size());
        if (bytes.size() > 1) {
            EXPECT_EQ(decodeUtf8(data, bytes.size() - 1, decoded, used), Utf8Status::incomplete);
        }
    }
    char32_t c = 0;
    std::size_t used = 0;
    const std::uint8_t stray[] = {0x80}, overlong[] = {0xC0, 0x80}, surrogate[] = {0xED, 0xA0, 0x80},
                       broken[] = {0xC3, 0x41};
    EXPECT_EQ(decodeUtf8(stray, 1, c, used), Utf8Status::invalid);
    EXPECT_EQ(decodeUtf8(overlong, 2, c, used), Utf8Status::invalid);
    EXPECT_EQ(decodeUtf8(surrogate, 3, c, used), Utf8Status::invalid);
    EXPECT_EQ(decodeUtf8(broken, 2, c, used), Utf8Status::invalid);
}

// Each character the set has as its byte, control characters too; any
// other character, and each byte outside UTF-8, as "?".
TEST(Cp437, FolderNamesInTheirOwnLetters) {
    std::string bytes, characters;
    for (int byte = 1; byte < 256; ++byte) {
        bytes += static_cast<char>(byte);
        characters += utf8Of(cp437ToUnicode(static_cast<std::uint8_t>(byte)));
    }
    EXPECT_EQ(cp437FromUtf8(characters), bytes);
    const std::pair<std::string, std::string> names[] = {
        {"Documentos/Loter\u00eda", "Documentos/Loter\xa1" "a"},
        {"\u041a\u0438\u0440\u0438\u043b\u043b\u0438\u0446\u0430 \u6f22 \u0151\u20ac\U0001f600", "????????? ? ???"},
        {"a\xe9\xff\xc3" "A\xed\xa0\x80\xc0\xaf\xe2\x82", "a???A???????"},
        {"\n\r\a\t\b\x7f", "\n\r\a\t\b\x7f"}};
    for (const auto& [name, shown] : names) EXPECT_EQ(cp437FromUtf8(name), shown) << name;
}
