#include "base/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace kdx2::base {

std::string rtrim(std::string_view text) {
    const size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string() : std::string(text.substr(0, end + 1));
}

std::string ltrim(std::string_view text) {
    const size_t start = text.find_first_not_of(' ');
    return start == std::string_view::npos ? std::string() : std::string(text.substr(start));
}

std::string alltrim(std::string_view text) {
    return ltrim(rtrim(text));
}

std::string padRight(std::string_view text, size_t width) {
    std::string out(text.substr(0, std::min(width, text.size())));
    out.resize(width, ' ');
    return out;
}

std::string padLeft(std::string_view text, size_t width) {
    if (text.size() >= width) return std::string(text.substr(0, width));
    return std::string(width - text.size(), ' ') + std::string(text);
}

std::string asciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && asciiUpper(a) == asciiUpper(b);
}

namespace {

// Adds one unit at the last digit of a text of digits (and one "."), carrying.
std::string incrementDigits(std::string digits) {
    for (size_t i = digits.size(); i-- > 0;) {
        if (digits[i] == '.') continue;
        if (digits[i] < '9') {
            ++digits[i];
            return digits;
        }
        digits[i] = '0';
    }
    return "1" + digits;
}

// A double holds 15 significant digits reliably; the digits after them are
// the noise of binary arithmetic.
constexpr int kSignificantDigits = 15;

// Amounts and the rates applied to them carry at most eight decimals between
// them (cents times rates of six decimals), so a computed amount is exact at
// nine. Cancellation can leave noise above the 15th digit (978.62 - 7000 *
// 0.133145 is 46.604999999999905 as a double, for the 46.605 it stands for),
// never at the ninth decimal of an amount of everyday size.
constexpr int kAmountDecimals = 9;

// A finite, non-negative value as plain decimal text (no exponent) of its
// first kSignificantDigits significant digits, themselves rounded.
std::string significantText(double magnitude) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                         std::chars_format::scientific, kSignificantDigits - 1);
    if (ec != std::errc()) return "0";
    // "d.dddddddddddddde+XX": the digits, then the power of ten of the first.
    const std::string_view text(buffer, static_cast<size_t>(end - buffer));
    const size_t mark = text.find('e');
    std::string digits(1, text[0]);
    digits += text.substr(2, mark - 2);
    const int exponent = std::atoi(std::string(text.substr(mark + 1)).c_str());
    const int integerDigits = exponent + 1;
    if (integerDigits <= 0)
        return "0." + std::string(static_cast<size_t>(-integerDigits), '0') + digits;
    if (integerDigits >= kSignificantDigits)
        return digits + std::string(static_cast<size_t>(integerDigits - kSignificantDigits), '0');
    return digits.substr(0, static_cast<size_t>(integerDigits)) + "." +
           digits.substr(static_cast<size_t>(integerDigits));
}

// Decimal text of digits (with or without ".") rounded half up at `decimals`
// decimals; always has the "." unless decimals is 0.
std::string roundText(std::string text, int decimals) {
    size_t dot = text.find('.');
    if (dot == std::string::npos) {
        dot = text.size();
        text += '.';
    }
    const size_t next = dot + 1 + static_cast<size_t>(decimals);
    std::string kept = text.substr(0, next);
    kept.resize(next, '0');
    if (next < text.size() && text[next] >= '5') kept = incrementDigits(kept);
    if (decimals == 0) kept.pop_back();  // the "."
    return kept;
}

}  // namespace

std::string fixedText(double value, int decimals) {
    if (!std::isfinite(value)) return "0";
    decimals = std::max(decimals, 0);
    const std::string decimal =
        roundText(significantText(std::fabs(value)), std::max(decimals, kAmountDecimals));
    const std::string kept = roundText(decimal, decimals);
    const bool allZero = kept.find_first_not_of("0.") == std::string::npos;
    return (value < 0 && !allZero ? "-" : "") + kept;
}

double roundDecimal(double value, int decimals) {
    return std::strtod(fixedText(value, decimals).c_str(), nullptr);
}

std::optional<std::string> formatFixed(double value, int width, int decimals) {
    std::string text = fixedText(value, decimals);
    if (static_cast<int>(text.size()) > width) return std::nullopt;
    return padLeft(text, static_cast<size_t>(width));
}

double parseNumber(std::string_view text) {
    size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos) return 0.0;
    std::string clean;
    if (text[i] == '-' || text[i] == '+') clean += text[i++];
    bool seenDot = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            clean += c;
        } else if (c == '.' && !seenDot) {
            seenDot = true;
            clean += c;
        } else {
            break;
        }
    }
    return std::strtod(clean.c_str(), nullptr);
}

}  // namespace kdx2::base
