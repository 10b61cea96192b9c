#include "reports/darf_calendar.h"

#include "base/cp850.h"

namespace kdx2::reports {

using namespace base::literals;

namespace {

constexpr int kSaturday = 6;
constexpr int kSunday = 7;
// The national Black Consciousness Day became a bank holiday with Lei
// 14.759/2023.
constexpr int kFirstYearOfNovember20 = 2024;

base::Date ymd(int year, int month, int day) {
    return base::Date::fromYmd(year, month, day).value_or(base::Date());
}

bool isWeekend(const base::Date& date) {
    return date.isoWeekday() == kSaturday || date.isoWeekday() == kSunday;
}

bool isFixedHoliday(int year, int month, int day) {
    struct DayOfYear {
        int month, day;
    };
    static constexpr DayOfYear kFixed[] = {{1, 1},   {4, 21}, {5, 1},   {9, 7},
                                           {10, 12}, {11, 2}, {11, 15}, {12, 25}};
    for (const DayOfYear& fixed : kFixed)
        if (fixed.month == month && fixed.day == day) return true;
    return month == 11 && day == 20 && year >= kFirstYearOfNovember20;
}

bool isMovableHoliday(const base::Date& date) {
    const base::Date easter = easterSunday(date.year());
    // Carnival Monday and Tuesday, Good Friday and Corpus Christi.
    for (int offset : {-48, -47, -2, 60})
        if (date == easter.plusDays(offset)) return true;
    return false;
}

bool isOpenWeekday(const base::Date& date) {
    return !isWeekend(date) && !isBankHoliday(date);
}

// Banks close to the public on the last weekday of the year that is not a
// holiday, so taxes due then fall due the business day before.
base::Date lastOpenWeekdayOfYear(int year) {
    base::Date day = ymd(year, 12, 31);
    while (!isOpenWeekday(day))
        day = day.plusDays(-1);
    return day;
}

base::Date lastDayOfMonth(int year, int month) {
    return ymd(year, month, base::daysInMonth(year, month));
}

// Back past a weekend: Sunday two days, Saturday one.
base::Date beforeWeekend(const base::Date& date) {
    if (date.isoWeekday() == kSunday) return date.plusDays(-2);
    if (date.isoWeekday() == kSaturday) return date.plusDays(-1);
    return date;
}

}  // namespace

base::Date easterSunday(int year) {
    // The anonymous Gregorian algorithm (Meeus, Jones and Butcher).
    const int a = year % 19;
    const int b = year / 100;
    const int c = year % 100;
    const int d = b / 4;
    const int e = b % 4;
    const int f = (b + 8) / 25;
    const int g = (b - f + 1) / 3;
    const int h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4;
    const int k = c % 4;
    const int l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 22 * l) / 451;
    const int month = (h + l - 7 * m + 114) / 31;
    const int day = (h + l - 7 * m + 114) % 31 + 1;
    return ymd(year, month, day);
}

bool isBankHoliday(const base::Date& date) {
    if (date.empty()) return false;
    return isFixedHoliday(date.year(), date.month(), date.day()) || isMovableHoliday(date);
}

bool isBankBusinessDay(const base::Date& date) {
    if (date.empty() || !isOpenWeekday(date)) return false;
    return date.month() != 12 || date != lastOpenWeekdayOfYear(date.year());
}

base::Date ULTIMO_DIA(int taxYear, int month, int offset) {
    int dueMonth = month + offset - 1;
    int year = taxYear;
    while (dueMonth > 12) {
        dueMonth -= 12;
        ++year;
    }
    if (dueMonth < 1) return base::Date();
    base::Date due = lastDayOfMonth(year, dueMonth);
    // A year the calendar cannot hold (a damaged setting) has no due date.
    if (due.empty()) return due;
    while (!isBankBusinessDay(due))
        due = due.plusDays(-1);
    return due;
}

base::Date MES_ANTER(int taxYear, int month) {
    if (month < 1 || month > 12) return base::Date();
    base::Date period = beforeWeekend(lastDayOfMonth(taxYear, month));
    if (period.empty()) return period;
    if (period.month() == 12) period = beforeWeekend(period.plusDays(-1));
    return period;
}

base::Date PROX_DIA(const base::Date& date) {
    if (date.empty()) return date;
    base::Date next = date.plusDays(1);
    while (!isBankBusinessDay(next))
        next = next.plusDays(1);
    return next;
}

std::string VALI_DATA(const base::Date& payment) {
    if (payment.isoWeekday() == kSunday) return "Dia lançado para pagamento é um Domingo"_cp;
    if (payment.isoWeekday() == kSaturday) return "Dia lançado para pagamento é um Sabado"_cp;
    return "";
}

}  // namespace kdx2::reports
