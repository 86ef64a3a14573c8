// Code page 437, the character set of the cells, against Unicode: for
// showing cells in a terminal, for turning typed text into key codes and
// for showing a folder's name in its own letters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace screen {

// The character a cell byte shows. Byte 0 shows as a space.
char32_t cp437ToUnicode(std::uint8_t byte);
// The byte of a typed character: the printable ASCII characters and the
// 128 characters of the upper half; -1 for a character the set lacks.
int unicodeToCp437(char32_t character);

// A UTF-8 text as cell bytes, one per character: each character the set
// has as its byte (control characters as themselves, to be drawn), any
// other character and every byte outside valid UTF-8 as "?".
std::string cp437FromUtf8(std::string_view text);

std::string utf8Of(char32_t character);

enum class Utf8Status { complete, incomplete, invalid };

// Decodes the first character of bytes[0..length). On `complete`, sets
// the character and how many bytes it took; `incomplete` means more bytes
// are needed; `invalid` means the first byte starts no character (skip it).
Utf8Status decodeUtf8(const std::uint8_t* bytes, std::size_t length, char32_t& character, std::size_t& used);

}  // namespace screen
