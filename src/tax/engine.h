#pragma once

#include <optional>

namespace kdx2::tax {

// The progressive income tax of `base` for `year` and `month` (1 ... 12, 13
// for a year row). `divisor` is 12 for a monthly computation, whose tables
// hold annual amounts divided by it, and 1 for the annual adjustment, which
// uses the annual table published for the year (whatever the month). `income`
// is the gross taxable income of the period; with the base it tells the legal
// deductions taken, which the simplified monthly discount replaces when
// larger (2023 on), and it chooses the reduction for lower incomes (2026 on).
// A caller without an income figure may pass 0: an income below the base is
// taken as equal to it.
//
// nullopt when the year has no table (before 1995) or the divisor is not
// positive.
std::optional<double> progressiveTax(int year, int divisor, double base, int month, double income);

// The tax of the settings' year (`QUEANO` of the session record). The result
// is also stored in *target when one is given; when the year has no table
// *target keeps its value and that value is returned (0 without a target).
double CALC_IMPOS(int divisor, double base, double* target, int month, double income);

}  // namespace kdx2::tax
