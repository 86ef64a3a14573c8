#include "screen/cp437.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <set>
#include <string>
#include <vector>

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

namespace {

// A name as pieces: each one character of UTF-8, or bytes outside valid
// UTF-8 (each then shown as "?").
struct NamePiece {
    const char* bytes;
    bool valid = true;
};

// What the C library's own code page 437 makes of the name, a character
// at a time, "?" for a character it has no byte for.
std::string byTheCLibrary(const std::vector<NamePiece>& pieces) {
    const iconv_t cd = iconv_open("CP437", "UTF-8");
    std::string shown;
    for (const NamePiece& piece : pieces) {
        std::string in = piece.bytes;
        if (!piece.valid) {
            shown += std::string(in.size(), '?');
            continue;
        }
        char out[8];
        char* from = in.data();
        char* to = out;
        std::size_t inLeft = in.size(), outLeft = sizeof out;
        const bool converted = iconv(cd, &from, &inLeft, &to, &outLeft) != static_cast<std::size_t>(-1);
        shown += converted && to == out + 1 ? out[0] : '?';
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return shown;
}

}  // namespace

TEST(Cp437, FolderNamesInTheirOwnLetters) {
    const std::vector<std::vector<NamePiece>> names = {
        // Spanish and Western European letters, the euro sign lacking.
        {{"D"}, {"o"}, {"c"}, {"/"}, {"L"}, {"o"}, {"t"}, {"e"}, {"r"}, {"í"}, {"a"}, {" "}, {"A"}, {"ñ"}, {"o"},
         {"¿"}, {"Q"}, {"u"}, {"é"}, {"?"}, {"¡"}, {"Ñ"}, {"ü"}, {"à"}, {"Ç"}, {"æ"}, {"ß"}, {"£"}, {"€"}},
        // Cyrillic, CJK and a letter of the Latin Extended-A block: none there.
        {{"К"}, {"и"}, {"р"}, {"и"}, {"л"}, {"л"}, {"и"}, {"ц"}, {"а"}, {"-"}, {"漢"}, {"ő"}, {"😀"}},
        // Not UTF-8: Latin-1 bytes, a lone lead byte, a surrogate, an
        // overlong slash; control bytes stay themselves, to be drawn.
        {{"a"}, {"\xe9", false}, {"\xff", false}, {"\xc3", false}, {"A"}, {"\xed\xa0\x80", false},
         {"\xc0\xaf", false}, {"\n"}, {"\r"}, {"\a"}, {"\t"}, {"\b"}, {"\x7f"}, {"\xe2\x82", false}}};
    for (const auto& pieces : names) {
        std::string name;
        for (const NamePiece& piece : pieces) name += piece.bytes;
        EXPECT_EQ(cp437FromUtf8(name), byTheCLibrary(pieces)) << name;
    }
    // Every glyph's own character, the pictures of the control bytes
    // included, comes back as its byte.
    for (int byte = 1; byte < 256; ++byte)
        EXPECT_EQ(cp437FromUtf8(utf8Of(cp437ToUnicode(static_cast<std::uint8_t>(byte)))),
                  std::string(1, static_cast<char>(byte)))
            << byte;
}
