#include "importing/import_text.h"

#include <array>
#include <cstdint>
#include <optional>

#include "base/cp850.h"
#include "base/text.h"
#include "common/utilities.h"

namespace kdx2::importing {

namespace {

// Unicode of the Windows-1252 bytes 0x80-0x9F (0 where the code page has
// none); the bytes from 0xA0 up are Latin-1 and stand for themselves.
constexpr std::array<char32_t, 32> kWindowsHigh{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t unicodeOf(uint8_t byte) {
    if (byte >= 0x80 && byte < 0xA0) return kWindowsHigh[byte - 0x80];
    return byte;
}

char plainForm(char32_t codepoint) {
    switch (codepoint) {
        case 0x2018:
        case 0x2019:
        case 0x201A:
            return '\'';
        case 0x201C:
        case 0x201D:
        case 0x201E:
            return '"';
        case 0x2013:
        case 0x2014:
            return '-';
        default:
            return '?';
    }
}

char converted(uint8_t byte) {
    if (byte < 0x20 || byte == 0x7F) return ' ';
    if (byte < 0x80) return static_cast<char>(byte);
    // The letters the stored names spell the program's own way.
    const std::string own = common::AJUS_CAR(std::string(1, static_cast<char>(byte)), 1);
    if (own.size() == 1 && static_cast<uint8_t>(own[0]) != byte) return own[0];
    const char32_t codepoint = unicodeOf(byte);
    if (codepoint == 0) return '?';
    const std::optional<uint8_t> cp850 = base::cp850::fromUnicode(codepoint);
    return cp850 ? static_cast<char>(*cp850) : plainForm(codepoint);
}

}  // namespace

std::string importText(std::string_view windows1252) {
    std::string out;
    out.reserve(windows1252.size());
    for (char ch : windows1252)
        out.push_back(converted(static_cast<uint8_t>(ch)));
    return base::rtrim(out);
}

}  // namespace kdx2::importing
