#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kdx2::base {

// Text helpers in xBase style. Text is CP850 bytes throughout.

std::string rtrim(std::string_view text);
std::string ltrim(std::string_view text);
std::string alltrim(std::string_view text);
// Cuts or blank-pads text to exactly width bytes.
std::string padRight(std::string_view text, size_t width);
std::string padLeft(std::string_view text, size_t width);
// ASCII letters only, as the xBase UPPER()/LOWER() of the tables' index keys do:
// indexes built by other programs keep their order when we insert into them.
std::string asciiUpper(std::string_view text);
std::string asciiLower(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// Amounts are rounded as the decimal numbers they stand for, never through
// their binary value: the double is first read as the decimal it stands for
// (its 15 significant digits, and no more than nine decimals, which drops the
// noise of binary arithmetic), and that decimal is rounded half away from
// zero. So 1.005 gives 1.01 and 0.15 * 3587.10 - 354.80 (183.265) gives
// 183.27, as on paper. Every place that rounds or shows a number goes through
// fixedText.

// The value as plain text with exactly `decimals` decimals and "." as decimal
// point, rounded as above; "0" for infinities and NaN.
std::string fixedText(double value, int decimals);

// The value rounded at `decimals`, as above.
double roundDecimal(double value, int decimals);

// The number right-aligned in `width` characters with exactly `decimals`
// decimals and "." as decimal point (the xBase STR()/N field form); nullopt
// when it does not fit.
std::optional<std::string> formatFixed(double value, int width, int decimals);

// xBase VAL(): leading blanks, optional sign, digits, optional "." and
// decimals; reading stops at the first other character; nothing gives 0.
double parseNumber(std::string_view text);

}  // namespace kdx2::base
