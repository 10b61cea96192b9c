#pragma once

#include <string>

#include "base/date.h"

// The bank calendar of the payment slip: which days banks take payments,
// the due date of a month's tax, the assessment period printed on the slip
// and the next business day. Pure functions of their arguments.
namespace kdx2::reports {

// Easter Sunday of a Gregorian year (the movable holidays hang on it).
base::Date easterSunday(int year);

// National bank holidays: 1 January, Carnival Monday and Tuesday, Good
// Friday, 21 April, 1 May, Corpus Christi, 7 September, 12 October, 2 and
// 15 November, 20 November (from 2024) and 25 December.
bool isBankHoliday(const base::Date& date);

// A day on which banks take payments: a weekday that is not a bank holiday
// and not the year's last such day, when banks do not open to the public.
bool isBankBusinessDay(const base::Date& date);

// ULTIMO_DIA: the due date of the tax of `month` of `taxYear`, `offset`
// months on (2: the carnê-leão, due by the end of the month after the
// income; 1: the complementary payment, due within its own month). The last
// day of month `month + offset - 1` (of the next year past December), moved
// back to the last bank business day.
base::Date ULTIMO_DIA(int taxYear, int month, int offset);

// MES_ANTER: the assessment period printed on the slip: the last day of the
// income month, moved back past a weekend, and in December one more day
// back (again past a weekend).
base::Date MES_ANTER(int taxYear, int month);

// PROX_DIA: the first bank business day after `date`.
base::Date PROX_DIA(const base::Date& date);

// VALI_DATA: why a payment date is refused ("" when it is accepted): banks
// take no payment on a weekend.
std::string VALI_DATA(const base::Date& payment);

}  // namespace kdx2::reports
