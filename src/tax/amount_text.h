#pragma once

#include <string>
#include <string_view>

namespace kdx2::tax {

// The picture of every amount of the monthly grid.
inline constexpr std::string_view kGridPicture = "@Ez 9999,999.99";
// The picture of amounts in the limit messages.
inline constexpr std::string_view kLimitPicture = "@Ez 999,999,999.99";

// An amount shown through a numeric picture: function letters E (comma as
// decimal point, dot between thousands) and Z (zero shown as blanks), and a
// template of "9"/"#" digit places, "," thousands separators (shown only
// between digits) and one ".". The text is as wide as the template.
//
// An amount too wide for the template's separators is shown without them
// when it then fits, so that reading the text back still gives the amount;
// only one that cannot fit at all becomes asterisks.
std::string formatAmount(double value, std::string_view picture);

// The amount of a monthly grid cell ("@Ez 9999,999.99", 11 characters).
inline std::string gridAmount(double value) {
    return formatAmount(value, kGridPicture);
}

}  // namespace kdx2::tax
