#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kdx2::base::cp850 {

// Unicode of a CP850 byte as a DOS screen shows it (control bytes are the
// screen glyphs: 0x10 is a right-pointing triangle).
char32_t toUnicode(uint8_t byte);
// The CP850 byte of a Unicode character; nullopt when CP850 has none.
std::optional<uint8_t> fromUnicode(char32_t codepoint);

// CP850 text to UTF-8 (for the terminal, print copies and tests).
std::string toUtf8(std::string_view cp850);
// UTF-8 text to CP850; characters CP850 cannot hold become "?".
std::string fromUtf8(std::string_view utf8);

// Upper case of every CP850 letter, accented ones included (for shown text;
// index keys use the ASCII-only asciiUpper).
std::string upper(std::string_view cp850);

// Appends the UTF-8 form of one code point.
void appendUtf8(std::string& out, char32_t codepoint);
// Decodes one UTF-8 character at `pos`, advancing it; invalid bytes give U+FFFD.
char32_t decodeUtf8(std::string_view utf8, size_t& pos);

// The single-line box-drawing characters of CP850.
namespace box {
inline constexpr char kHorizontal = '\xC4';   // ─
inline constexpr char kVertical = '\xB3';     // │
inline constexpr char kTopLeft = '\xDA';      // ┌
inline constexpr char kTopRight = '\xBF';     // ┐
inline constexpr char kBottomLeft = '\xC0';   // └
inline constexpr char kBottomRight = '\xD9';  // ┘
inline constexpr char kTeeDown = '\xC2';      // ┬
inline constexpr char kTeeUp = '\xC1';        // ┴
inline constexpr char kTeeRight = '\xC3';     // ├
inline constexpr char kTeeLeft = '\xB4';      // ┤
inline constexpr char kCross = '\xC5';        // ┼
}  // namespace box

}  // namespace kdx2::base::cp850

namespace kdx2::base::literals {

// Source files are UTF-8, while every text the program keeps, shows or stores
// is CP850: "Exercício"_cp is the CP850 form of a literal.
inline std::string operator""_cp(const char* utf8, size_t length) {
    return cp850::fromUtf8(std::string_view(utf8, length));
}

}  // namespace kdx2::base::literals
