#pragma once

#include <string_view>

namespace kdx2::common {

// Truncation of amounts: the value is rounded at (decimals + 2) decimals and,
// in mode 0, the last two of them are dropped, so 1.23999 gives 1.24 and
// 1.23499 gives 1.23. `width` only pads the intermediate text with zeros and
// never changes the number; a value wider than it is kept whole rather than
// turned into an overflow mark.
double DESPREZA(double value, int width, int decimals = 2, int mode = 0);

// An amount typed or shown with "." as thousands separator and "," as decimal
// point ("1.234.567,89") read back as a number; empty text gives 0.
double CAR_TO_VAL(std::string_view text);

// a / b, or 0 when b is 0.
double DIV(double a, double b);

}  // namespace kdx2::common
