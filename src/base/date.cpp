#include "base/date.h"

#include <cctype>
#include <ctime>

namespace kdx2::base {

namespace {

// Fliegel & Van Flandern conversion, valid for the proleptic Gregorian calendar.
int32_t julianFromYmd(int y, int m, int d) {
    const int a = (14 - m) / 12;
    const int yy = y + 4800 - a;
    const int mm = m + 12 * a - 3;
    return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

struct Ymd {
    int year, month, day;
};

Ymd ymdFromJulian(int32_t jd) {
    const int64_t a = jd + 32044;
    const int64_t b = (4 * a + 3) / 146097;
    const int64_t c = a - 146097 * b / 4;
    const int64_t d = (4 * c + 3) / 1461;
    const int64_t e = c - 1461 * d / 4;
    const int64_t m = (5 * e + 2) / 153;
    return Ymd{static_cast<int>(100 * b + d - 4800 + m / 10),
               static_cast<int>(m + 3 - 12 * (m / 10)),
               static_cast<int>(e - (153 * m + 2) / 5 + 1)};
}

std::optional<int> parseDigits(std::string_view text) {
    if (text.empty()) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool allBlank(std::string_view text, std::string_view alsoAllowed = {}) {
    for (char c : text)
        if (c != ' ' && alsoAllowed.find(c) == std::string_view::npos) return false;
    return true;
}

std::string twoDigits(int n) {
    return std::string{static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)};
}

}  // namespace

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

std::optional<Date> Date::fromYmd(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12) return std::nullopt;
    if (day < 1 || day > daysInMonth(year, month)) return std::nullopt;
    return Date(julianFromYmd(year, month, day));
}

std::optional<Date> Date::fromDtos(std::string_view text) {
    if (allBlank(text)) return Date();
    if (text.size() != 8) return std::nullopt;
    auto y = parseDigits(text.substr(0, 4));
    auto m = parseDigits(text.substr(4, 2));
    auto d = parseDigits(text.substr(6, 2));
    if (!y || !m || !d) return std::nullopt;
    return fromYmd(*y, *m, *d);
}

std::optional<Date> Date::fromDtoc(std::string_view text) {
    if (allBlank(text, "/")) return Date();
    if (text.size() != 10 && text.size() != 8) return std::nullopt;
    if (text[2] != '/' || text[5] != '/') return std::nullopt;
    auto d = parseDigits(text.substr(0, 2));
    auto m = parseDigits(text.substr(3, 2));
    auto y = parseDigits(text.substr(6));
    if (!y || !m || !d) return std::nullopt;
    return fromYmd(text.size() == 8 ? 1900 + *y : *y, *m, *d);
}

namespace {

std::function<Date()>& todaySource() {
    static std::function<Date()> source;
    return source;
}

}  // namespace

void setTodaySource(std::function<Date()> source) {
    todaySource() = std::move(source);
}

Date Date::today() {
    if (const auto& source = todaySource()) return source();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return Date(julianFromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday));
}

int Date::year() const {
    return empty() ? 0 : ymdFromJulian(julian_).year;
}
int Date::month() const {
    return empty() ? 0 : ymdFromJulian(julian_).month;
}
int Date::day() const {
    return empty() ? 0 : ymdFromJulian(julian_).day;
}
int Date::isoWeekday() const {
    return empty() ? 0 : julian_ % 7 + 1;
}

std::string Date::dtos() const {
    if (empty()) return std::string(8, ' ');
    const Ymd ymd = ymdFromJulian(julian_);
    return twoDigits(ymd.year / 100) + twoDigits(ymd.year % 100) + twoDigits(ymd.month) +
           twoDigits(ymd.day);
}

std::string Date::dtoc() const {
    if (empty()) return "  /  /    ";
    const Ymd ymd = ymdFromJulian(julian_);
    return twoDigits(ymd.day) + "/" + twoDigits(ymd.month) + "/" + twoDigits(ymd.year / 100) +
           twoDigits(ymd.year % 100);
}

}  // namespace kdx2::base
