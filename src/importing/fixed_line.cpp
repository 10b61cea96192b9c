#include "importing/fixed_line.h"

#include <algorithm>

#include "base/text.h"

namespace kdx2::importing {

namespace {

constexpr size_t kMaxDigits = 18;

bool isDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

double powerOfTen(int exponent) {
    double result = 1;
    for (int i = 0; i < exponent; ++i)
        result *= 10;
    return result;
}

// Check digit of the CPF over `count` leading digits (weights count+1 ... 2).
int cpfCheckDigit(std::string_view digits, size_t count) {
    int sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += (digits[i] - '0') * static_cast<int>(count + 1 - i);
    const int digit = 11 - sum % 11;
    return digit > 9 ? 0 : digit;
}

}  // namespace

std::string FixedLine::raw(size_t from, size_t length) const {
    std::string out(length, ' ');
    if (from == 0 || from > text_.size()) return out;
    const size_t available = std::min(length, text_.size() - (from - 1));
    std::copy_n(text_.begin() + static_cast<long>(from - 1), available, out.begin());
    return out;
}

std::string FixedLine::trimmed(size_t from, size_t length) const {
    return base::alltrim(raw(from, length));
}

char FixedLine::at(size_t position) const {
    return position >= 1 && position <= text_.size() ? text_[position - 1] : ' ';
}

std::optional<long long> FixedLine::integer(size_t from, size_t length) const {
    const std::string digits = trimmed(from, length);
    if (digits.size() > kMaxDigits) return std::nullopt;
    long long value = 0;
    for (char ch : digits) {
        if (!isDigit(ch)) return std::nullopt;
        value = value * 10 + (ch - '0');
    }
    return value;
}

std::optional<double> FixedLine::amount(size_t from, size_t length, int decimals) const {
    const std::optional<long long> units = integer(from, length);
    if (!units) return std::nullopt;
    return static_cast<double>(*units) / powerOfTen(decimals);
}

std::optional<base::Date> FixedLine::date(size_t from) const {
    const std::string text = raw(from, 8);
    if (std::all_of(text.begin(), text.end(), [](char ch) { return ch == ' ' || ch == '0'; }))
        return base::Date();
    if (!std::all_of(text.begin(), text.end(), isDigit)) return std::nullopt;
    const int day = std::stoi(text.substr(0, 2));
    const int month = std::stoi(text.substr(2, 2));
    const int year = std::stoi(text.substr(4, 4));
    return dayOf(year, month, day);
}

std::optional<base::Date> dayOf(int year, int month, int day) {
    if (year < 1 || month < 1 || month > 12 || day < 1) return std::nullopt;
    return base::Date::fromYmd(year, month, day);
}

bool validCpf(std::string_view digits) {
    if (digits.size() != 11 || !std::all_of(digits.begin(), digits.end(), isDigit)) return false;
    // Eleven equal digits pass the arithmetic but are no one's CPF.
    if (std::all_of(digits.begin(), digits.end(), [&](char ch) { return ch == digits[0]; }))
        return false;
    return cpfCheckDigit(digits, 9) == digits[9] - '0' &&
           cpfCheckDigit(digits, 10) == digits[10] - '0';
}

}  // namespace kdx2::importing
