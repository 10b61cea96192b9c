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

// The value as plain decimal text with exactly `decimals` decimals, rounded
// half away from zero on its shortest round-trip representation.
std::string toFixedText(double value, int decimals) {
    if (!std::isfinite(value)) return "0";
    if (value == 0.0) value = 0.0;  // no "-0"
    char buffer[400];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::fixed);
    if (ec != std::errc()) return "0";
    std::string text(buffer, end);
    size_t dot = text.find('.');
    if (dot == std::string::npos) {
        dot = text.size();
        text += '.';
    }
    std::string kept = text.substr(0, dot + 1 + decimals);
    kept.resize(dot + 1 + decimals, '0');
    const size_t next = dot + 1 + decimals;
    if (next < text.size() && text[next] >= '5') kept = incrementDigits(kept);
    if (decimals == 0) kept.pop_back();  // the "."
    const bool allZero = kept.find_first_not_of("0.") == std::string::npos;
    return (value < 0 && !allZero ? "-" : "") + kept;
}

}  // namespace

double roundDecimal(double value, int decimals) {
    return std::strtod(toFixedText(value, decimals).c_str(), nullptr);
}

std::optional<std::string> formatFixed(double value, int width, int decimals) {
    std::string text = toFixedText(value, decimals);
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
