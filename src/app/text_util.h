#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mervok {

// Cuts the text at its first NUL (the whole text when it has none) and then
// removes spaces at both ends. Texts read into fixed, space-filled buffers
// carry both the NUL and the filling.
std::string TrimAtNull(std::string_view text);

// Removes spaces (only U+0020, not tabs) at both ends.
std::string TrimBlanks(std::string_view text);

// The letters A to Z lower-cased; every other byte (of UTF-8, or a Shift-JIS
// lead or trail byte that looks like a letter) stays as it is.
constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string AsciiLower(std::string_view text);

// One character of valid UTF-8: its length in bytes and its code point.
struct Utf8Char {
    std::size_t length;
    char32_t codePoint;
};

// The valid UTF-8 sequence at the front of text (shortest form, no
// surrogates, at most U+10FFFF), or nothing when the first byte does not
// start one.
std::optional<Utf8Char> DecodeUtf8(std::string_view text);

// Appends the UTF-8 form of a code point (at most U+10FFFF, no surrogate).
void AppendUtf8(std::string& text, char32_t codePoint);

}  // namespace mervok
