// The bank calendar of the slip. Expected dates come from a printed
// calendar: weekdays, Easter of each year (and the holidays hanging on it),
// and the days banks did not open at the end of 2022 and 2023.

#include <gtest/gtest.h>

#include "base/cp850.h"
#include "reports/darf_calendar.h"

namespace kdx2::reports {
namespace {

base::Date d(int day, int month, int year) {
    return *base::Date::fromYmd(year, month, day);
}

TEST(BankCalendar, EasterAndTheHolidaysThatHangOnIt) {
    EXPECT_EQ(easterSunday(2018), d(1, 4, 2018));
    EXPECT_EQ(easterSunday(2024), d(31, 3, 2024));
    EXPECT_EQ(easterSunday(2025), d(20, 4, 2025));
    EXPECT_EQ(easterSunday(2026), d(5, 4, 2026));
    // 2025: Carnival 3 and 4 March, Good Friday 18 April, Corpus Christi 19 June.
    for (const base::Date& day : {d(3, 3, 2025), d(4, 3, 2025), d(18, 4, 2025), d(19, 6, 2025)})
        EXPECT_TRUE(isBankHoliday(day)) << day.dtoc();
    EXPECT_FALSE(isBankHoliday(d(5, 3, 2025)));  // Ash Wednesday opens at noon
    EXPECT_FALSE(isBankHoliday(d(20, 4, 2025)));
}

TEST(BankCalendar, FixedHolidaysAndTheNewTwentiethOfNovember) {
    for (const base::Date& day :
         {d(1, 1, 2025), d(21, 4, 2025), d(1, 5, 2025), d(7, 9, 2025), d(12, 10, 2025),
          d(2, 11, 2025), d(15, 11, 2025), d(20, 11, 2025), d(25, 12, 2025)})
        EXPECT_TRUE(isBankHoliday(day)) << day.dtoc();
    EXPECT_TRUE(isBankHoliday(d(20, 11, 2024)));
    EXPECT_FALSE(isBankHoliday(d(20, 11, 2023)));
    EXPECT_FALSE(isBankHoliday(d(24, 12, 2025)));
}

TEST(BankCalendar, TheYearsLastWeekdayIsNoBusinessDay) {
    EXPECT_FALSE(isBankBusinessDay(d(31, 12, 2025)));  // Wednesday
    EXPECT_TRUE(isBankBusinessDay(d(30, 12, 2025)));
    // 2023 ended on a Sunday: banks closed on Friday the 29th.
    EXPECT_FALSE(isBankBusinessDay(d(29, 12, 2023)));
    EXPECT_TRUE(isBankBusinessDay(d(28, 12, 2023)));
    EXPECT_FALSE(isBankBusinessDay(d(27, 12, 2025)));  // Saturday
}

TEST(DueDate, CarneLeaoFallsDueOnTheLastBusinessDayOfTheNextMonth) {
    // November 2025: 31/12 (a Wednesday) has no banking, so 30/12.
    EXPECT_EQ(ULTIMO_DIA(2025, 11, 2), d(30, 12, 2025));
    // February 2024: 31/03 is a Sunday and 29/03 Good Friday.
    EXPECT_EQ(ULTIMO_DIA(2024, 2, 2), d(28, 3, 2024));
    // February 2018: 31/03 Saturday, 30/03 Good Friday.
    EXPECT_EQ(ULTIMO_DIA(2018, 2, 2), d(29, 3, 2018));
    // December: due in January of the next year, 31/01/2026 being a Saturday.
    EXPECT_EQ(ULTIMO_DIA(2025, 12, 2), d(30, 1, 2026));
    EXPECT_EQ(ULTIMO_DIA(2024, 12, 2), d(31, 1, 2025));
    // November 2023 and 2022: the last weekday of the year closed.
    EXPECT_EQ(ULTIMO_DIA(2023, 11, 2), d(28, 12, 2023));
    EXPECT_EQ(ULTIMO_DIA(2022, 11, 2), d(29, 12, 2022));
    EXPECT_EQ(ULTIMO_DIA(2025, 1, 2), d(28, 2, 2025));
}

TEST(DueDate, ATaxYearTheCalendarCannotHoldGivesNoDate) {
    EXPECT_TRUE(ULTIMO_DIA(0, 11, 2).empty());
    EXPECT_TRUE(ULTIMO_DIA(9999, 12, 2).empty());
    EXPECT_TRUE(MES_ANTER(0, 5).empty());
}

TEST(DueDate, TheComplementaryPaymentFallsDueWithinItsOwnMonth) {
    EXPECT_EQ(ULTIMO_DIA(2024, 3, 1), d(28, 3, 2024));
    EXPECT_EQ(ULTIMO_DIA(2025, 12, 1), d(30, 12, 2025));
    EXPECT_EQ(ULTIMO_DIA(2025, 5, 1), d(30, 5, 2025));  // 31/05 a Saturday
}

TEST(AssessmentPeriod, LastDayOfTheMonthBackPastAWeekendAndOneMoreInDecember) {
    EXPECT_EQ(MES_ANTER(2025, 11), d(28, 11, 2025));  // 30/11 a Sunday
    EXPECT_EQ(MES_ANTER(2025, 1), d(31, 1, 2025));
    EXPECT_EQ(MES_ANTER(2025, 12), d(30, 12, 2025));
    EXPECT_EQ(MES_ANTER(2023, 12), d(28, 12, 2023));  // 31 Sunday, 29 Friday, one more
    EXPECT_TRUE(MES_ANTER(2025, 13).empty());
}

TEST(NextBusinessDay, SkipsWeekendsHolidaysAndTheYearEnd) {
    EXPECT_EQ(PROX_DIA(d(30, 12, 2025)), d(2, 1, 2026));
    EXPECT_EQ(PROX_DIA(d(28, 3, 2025)), d(31, 3, 2025));
    EXPECT_EQ(PROX_DIA(d(28, 3, 2024)), d(1, 4, 2024));
    EXPECT_EQ(PROX_DIA(d(19, 11, 2025)), d(21, 11, 2025));
    EXPECT_EQ(PROX_DIA(d(17, 11, 2023)), d(20, 11, 2023));
    EXPECT_EQ(PROX_DIA(d(28, 12, 2023)), d(2, 1, 2024));
}

TEST(PaymentDate, AWeekendIsRefusedWithItsOwnMessage) {
    EXPECT_EQ(base::cp850::toUtf8(VALI_DATA(d(3, 1, 2026))),
              "Dia lançado para pagamento é um Sabado");
    EXPECT_EQ(base::cp850::toUtf8(VALI_DATA(d(4, 1, 2026))),
              "Dia lançado para pagamento é um Domingo");
    EXPECT_EQ(VALI_DATA(d(2, 1, 2026)), "");
}

}  // namespace
}  // namespace kdx2::reports
