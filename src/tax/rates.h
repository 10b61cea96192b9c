#pragma once

#include <optional>
#include <vector>

namespace kdx2::tax {

// One band of a progressive table, in annual amounts: incomes up to and
// including `upTo` (the last band has no upper end) pay
// (base - offset) * rate - deduction. Older tables state a band by the amount
// it starts from (offset), newer ones by a deduction; one shape serves both.
struct TaxBand {
    double upTo = 0;  // ignored on the last band
    double rate = 0;
    double deduction = 0;
    double offset = 0;
};

enum class TaxRounding { Round, Truncate };

// The income-tax table in force for a year and month, with what is done
// before and after it.
struct TaxTable {
    std::vector<TaxBand> bands;  // ascending; the first is the exempt band
    TaxRounding rounding = TaxRounding::Round;
    // Simplified monthly discount that replaces the legal deductions of a
    // monthly base when larger (0: none in that month).
    double monthlyDiscount = 0;
};

// The table of `year` for `month` (1 ... 12, 13 for a year row, which takes
// the last table of the year). Years before 1995 have none.
std::optional<TaxTable> taxTableFor(int year, int month);

// The table of the annual adjustment of `year`, as the tax authority publishes
// it (not twelve times a monthly table); its simplified monthly discount is 0.
// Years before 1995 have none.
std::optional<TaxTable> annualTaxTable(int year);

// The monthly deduction for one dependant (month 13: the monthly amount of the
// year row, not yet multiplied by 12).
double dependantMonthlyAmount(int year, int month);

// The monthly limit of the exempt share of pensions of persons over 65.
double exemptPensionMonthlyLimit(int year, int month);

// The ceiling of alienations of small-value goods in a month.
inline constexpr double kSmallGoodsLimit = 35000.00;

}  // namespace kdx2::tax
