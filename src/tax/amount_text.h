#pragma once

#include <string>
#include <string_view>

namespace kdx2::tax {

// The picture of every amount of the monthly grid.
inline constexpr std::string_view kGridPicture = "@Ez 9999,999.99";
// The picture of amounts in the limit messages.
inline constexpr std::string_view kLimitPicture = "@Ez 999,999,999.99";

// An amount shown through a numeric picture (TRANSFORM). The grids keep their
// amounts only as this text, so an amount too wide for the template's
// separators is shown without them when it then fits: reading the text back
// must still give the amount, not the asterisks of an overflow. Only one that
// cannot fit at all becomes asterisks.
std::string formatAmount(double value, std::string_view picture);

// The amount of a monthly grid cell ("@Ez 9999,999.99", 11 characters).
inline std::string gridAmount(double value) {
    return formatAmount(value, kGridPicture);
}

}  // namespace kdx2::tax
