#pragma once

#include "base/date.h"
#include "base/named_values.h"

namespace kdx2::tax {

// What the limit checks of the exempt-income lines know of the taxpayer.
// The checks never refuse a value: they warn, let the user choose through the
// message procedures (MENS) and return the value the field keeps.
struct LimitContext {
    int year = 0;           // QUEANO
    base::Date NASCIMENTO;  // taxpayer's date of birth
    int NATUREZA = 0;       // nature of occupation (8: retired)
};

// The tax year of the session and the taxpayer's NASCIMENTO and NATUREZA
// from the declaration's working values (kept in the session record).
LimitContext limitContext(const base::NamedValues& working = base::session());

// Dispatches by the line of the exempt-income grid: line 2 small-value goods,
// line 5 pensions of persons over 65 (`month` is the grid column being
// edited), line 6 the line reserved to retired persons; other lines accept.
double VER_LIMIT(double value, int line, int month, const LimitContext& context);

// Exempt share of pensions of persons over 65.
double LIMIT1(double value, int month, const LimitContext& context);
// Line reserved to retired persons.
double LIMIT2(double value, const LimitContext& context);
// Sales of small-value goods in a month.
double LIMIT3(double value);
// Whether the taxpayer is a retired person over 65 in that month.
bool APONS(int month, const LimitContext& context);

}  // namespace kdx2::tax
