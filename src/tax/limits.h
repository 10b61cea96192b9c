#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/date.h"

namespace kdx2::tax {

// What the limit checks of the exempt-income lines know of the taxpayer and
// how they talk to the user. The checks never refuse a value: they warn and
// let the user choose, and return the value the field keeps.
struct LimitContext {
    int year = 0;           // QUEANO
    base::Date NASCIMENTO;  // taxpayer's date of birth
    int NATUREZA = 0;       // nature of occupation (8: retired)
    // Shows the lines as a question; returns the answer letter ('S', 'N'),
    // or 0 when the user left without answering.
    std::function<char(const std::vector<std::string>& lines)> ask;
    // Shows the lines as a notice.
    std::function<void(const std::vector<std::string>& lines)> inform;
};

// Dispatches by the line of the exempt-income grid: line 2 small-value goods,
// line 5 pensions of persons over 65 (`month` is the grid column being
// edited), line 6 the line reserved to retired persons; other lines accept.
double VER_LIMIT(double value, int line, int month, const LimitContext& context);

// Exempt share of pensions of persons over 65.
double LIMIT1(double value, int month, const LimitContext& context);
// Line reserved to retired persons.
double LIMIT2(double value, const LimitContext& context);
// Sales of small-value goods in a month.
double LIMIT3(double value, const LimitContext& context);
// Whether the taxpayer is a retired person over 65 in that month.
bool APONS(int month, const LimitContext& context);

}  // namespace kdx2::tax
