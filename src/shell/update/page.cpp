// The update page read as the update server lays it out: fixed places after
// two markers. Nothing of it is believed before every field was checked.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <set>

#include "base/text.h"
#include "shell/update/update.h"

namespace kdx2::shell::update {

namespace {

// The SELIC block: twelve entries of 12 characters from 16 characters after
// the "S" of the marker.
constexpr size_t kSelicFirstEntry = 16;
constexpr size_t kSelicEntryWidth = 12;
constexpr size_t kSelicMonths = 12;
constexpr size_t kSelicBlockEnd = kSelicFirstEntry + kSelicEntryWidth * kSelicMonths;
constexpr int kFirstYear = 1995;
constexpr int kLastYear = 2099;
constexpr double kHighestRate = 100;

// The version marker: tag at +5 (4), date at +10 (8), size at +19 (7).
constexpr size_t kTagAt = 5;
constexpr size_t kTagWidth = 4;
constexpr size_t kDateAt = 10;
constexpr size_t kDateWidth = 8;
constexpr size_t kSizeAt = 19;
constexpr size_t kSizeWidth = 7;
constexpr size_t kMarkerEnd = kSizeAt + kSizeWidth;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isDigit);
}

int number(std::string_view digits) {
    int value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

std::optional<std::string> monthKey(std::string_view text) {
    if (text.size() != 6 || !allDigits(text)) return std::nullopt;
    const int year = number(text.substr(0, 4));
    const int month = number(text.substr(4, 2));
    if (year < kFirstYear || year > kLastYear || month < 1 || month > 12) return std::nullopt;
    return std::string(text);
}

// Digits with at most one point ("1.01", "0.9 ", " .97"): blanks only around.
std::optional<double> rate(std::string_view text) {
    const std::string trimmed = base::alltrim(text);
    if (trimmed.empty()) return std::nullopt;
    int points = 0;
    int digits = 0;
    for (char c : trimmed) {
        if (c == '.')
            ++points;
        else if (isDigit(c))
            ++digits;
        else
            return std::nullopt;
    }
    if (points > 1 || digits == 0) return std::nullopt;
    const double value = std::strtod(trimmed.c_str(), nullptr);
    if (value < 0 || value > kHighestRate) return std::nullopt;
    return value;
}

bool isSeparator(char c) {
    return !isDigit(c) && c != '.';
}

}  // namespace

bool hasSelicMarker(std::string_view page) {
    return page.find("SELIC") != std::string_view::npos;
}

std::optional<std::vector<SelicMonth>> selicBlock(std::string_view page) {
    const size_t p = page.find("SELIC");
    if (p == std::string_view::npos || page.size() - p < kSelicBlockEnd) return std::nullopt;
    std::vector<SelicMonth> months;
    std::set<std::string> seen;
    for (size_t i = 0; i < kSelicMonths; ++i) {
        const std::string_view entry =
            page.substr(p + kSelicFirstEntry + i * kSelicEntryWidth, kSelicEntryWidth);
        const std::optional<std::string> key = monthKey(entry.substr(0, 6));
        const std::optional<double> value = rate(entry.substr(7, 4));
        if (!key || !value || !isSeparator(entry[6]) || !isSeparator(entry[11]) ||
            !seen.insert(*key).second)
            return std::nullopt;
        months.push_back({*key, *value});
    }
    return months;
}

std::optional<VersionMarker> versionMarker(std::string_view page) {
    const size_t q = page.find("KDX2");
    if (q == std::string_view::npos || page.size() - q < kMarkerEnd) return std::nullopt;
    VersionMarker marker;
    marker.tag = std::string(page.substr(q + kTagAt, kTagWidth));
    marker.date = std::string(page.substr(q + kDateAt, kDateWidth));
    const std::string size = base::alltrim(page.substr(q + kSizeAt, kSizeWidth));
    const std::string_view date = marker.date;
    const bool tagSound =
        std::all_of(
            marker.tag.begin(), marker.tag.end(),
            [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.'; }) &&
        std::any_of(marker.tag.begin(), marker.tag.end(), isDigit);
    const bool dateSound = allDigits(date.substr(0, 2)) && date[2] == '/' &&
                           allDigits(date.substr(3, 2)) && date[5] == '/' &&
                           allDigits(date.substr(6, 2));
    if (!tagSound || !dateSound || !allDigits(size)) return std::nullopt;
    marker.size = number(size);
    if (marker.size <= 0) return std::nullopt;
    return marker;
}

std::string installerName(const std::string& tag) {
    std::string digits;
    for (char c : tag)
        if (isDigit(c)) digits += c;
    return "kdx2-" + digits + ".exe";
}

}  // namespace kdx2::shell::update
