#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kdx2::ui {

// Colour pairs "fg/bg" with the letters N B G BG R RB (or BR) GR W, "+"
// for a bright foreground and "*" for a bright background ("W+/B",
// "N/W*"); a plain number 0 ... 255 is an attribute. Case is ignored.
std::optional<uint8_t> parseColorPair(std::string_view pair);

// A colour list ("N/W,W*/B,..."): standard, enhanced, border, background,
// unselected. Missing or unreadable entries take the defaults "W/N" and
// "N/W" (standard and enhanced).
struct ColorList {
    uint8_t standard = 0x07;
    uint8_t enhanced = 0x70;
    uint8_t border = 0x00;
    uint8_t background = 0x00;
    uint8_t unselected = 0x70;
};
ColorList parseColorList(std::string_view text);
// The entries of a colour list, each trimmed.
std::vector<std::string> splitColorList(std::string_view text);

// The colour pair of an attribute ("GR+/B" for 30, "N/W" for 112).
std::string attrToColor(uint8_t attr);

}  // namespace kdx2::ui
