#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kdx2::base {

// A calendar date held as its Julian Day Number; 0 is the empty date that
// blank date fields hold. Dates sort by day number, the empty date first.
class Date {
  public:
    Date() = default;

    static Date fromJulian(int32_t julianDay) { return Date(julianDay); }
    // Returns nullopt for a day that does not exist (31/02, month 13, ...).
    static std::optional<Date> fromYmd(int year, int month, int day);
    // "YYYYMMDD" as stored in a D field; blanks give the empty date, anything
    // else malformed gives nullopt.
    static std::optional<Date> fromDtos(std::string_view text);
    // "dd/mm/yyyy" or "dd/mm/yy" (two-digit years in the 1900 epoch); a text
    // of blanks and separators gives the empty date.
    static std::optional<Date> fromDtoc(std::string_view text);
    // Today's date on the program's clock: the one installed with
    // setTodaySource (the screen installs its console's, so that a headless
    // run's date moves only with its script), else the host's local date.
    static Date today();

    bool empty() const { return julian_ == 0; }
    int32_t julian() const { return julian_; }
    int year() const;
    int month() const;
    int day() const;
    // ISO weekday, 1 = Monday ... 7 = Sunday (0 for the empty date).
    int isoWeekday() const;

    // "YYYYMMDD", eight blanks when empty.
    std::string dtos() const;
    // "dd/mm/yyyy", "  /  /    " when empty.
    std::string dtoc() const;

    Date plusDays(int32_t days) const { return empty() ? *this : Date(julian_ + days); }
    int32_t operator-(const Date& other) const { return julian_ - other.julian_; }
    auto operator<=>(const Date&) const = default;

  private:
    explicit Date(int32_t julianDay) : julian_(julianDay) {}
    int32_t julian_ = 0;
};

int daysInMonth(int year, int month);
bool isLeapYear(int year);

// Installs where Date::today() reads the date; an empty function restores
// the host's local date.
void setTodaySource(std::function<Date()> source);

}  // namespace kdx2::base
