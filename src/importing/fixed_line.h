#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/date.h"

namespace kdx2::importing {

// A record line read at fixed positions, counted from 1 as the layouts give
// them. Every read is checked: positions past the end read as blanks (the
// caller asks reaches() first when the record must hold the field), and
// numbers and dates that are not what the layout says read as nullopt.
class FixedLine {
  public:
    explicit FixedLine(std::string_view text) : text_(text) {}

    size_t length() const { return text_.size(); }
    // Whether the line holds every position up to `lastPosition`.
    bool reaches(size_t lastPosition) const { return text_.size() >= lastPosition; }
    // `length` bytes from `from`, blank-padded past the end of the line.
    std::string raw(size_t from, size_t length) const;
    // The same without the blanks around it.
    std::string trimmed(size_t from, size_t length) const;
    // One byte, a blank past the end.
    char at(size_t position) const;

    // An unsigned digit string (blanks around it allowed, blanks alone read
    // 0) as an integer; nullopt for any other character or more than 18
    // digits.
    std::optional<long long> integer(size_t from, size_t length) const;
    // The same with `decimals` implied decimals.
    std::optional<double> amount(size_t from, size_t length, int decimals) const;
    // A date written ddmmyyyy from `from`: zeros or blanks are the empty
    // date; a day that does not exist reads as nullopt.
    std::optional<base::Date> date(size_t from) const;

  private:
    std::string_view text_;
};

// The day `day`/`month`/`year` when it exists.
std::optional<base::Date> dayOf(int year, int month, int day);

// Eleven digits whose two check digits agree with the first nine.
bool validCpf(std::string_view digits);

}  // namespace kdx2::importing
