#include "tax/engine.h"

#include <algorithm>

#include "base/named_values.h"
#include "base/text.h"
#include "common/numbers.h"
#include "tax/rates.h"

namespace kdx2::tax {

namespace {

// Limits divided by the divisor and sums of amounts carry binary noise; a
// base on a limit must fall in the band the limit closes.
constexpr double kNoise = 1e-7;

bool atMost(double value, double limit) {
    return value <= limit + kNoise;
}

double cents(double value) {
    return base::roundDecimal(value, 2);
}

double nonNegative(double value) {
    return value > 0 ? value : 0.0;  // also turns -0.00 into 0
}

// The tax of the table alone, rounded or truncated as the year wants.
double tableTax(const TaxTable& table, double taxBase, int divisor) {
    const std::vector<TaxBand>& bands = table.bands;
    size_t band = 0;
    while (band + 1 < bands.size() && !atMost(taxBase, bands[band].upTo / divisor))
        ++band;
    const TaxBand& chosen = bands[band];
    if (chosen.rate == 0) return 0.0;
    const double tax =
        (taxBase - chosen.offset / divisor) * chosen.rate - chosen.deduction / divisor;
    if (table.rounding == TaxRounding::Truncate) return nonNegative(common::DESPREZA(tax, 15));
    return nonNegative(cents(tax));
}

// The simplified discount is an alternative to the legal deductions (income
// less base), not an addition to them: the base stands when the deductions
// are larger, otherwise the discount is taken from the income instead.
double simplifiedBase(double taxBase, double income, double discount) {
    if (income - taxBase > discount) return taxBase;
    return std::max(0.0, income - discount);
}

// From 2026 the tax of lower incomes is reduced. The monthly bands follow the
// law the reduction comes from: monthly income up to 5000.00 pays no tax (a
// table tax up to 312.89 is cancelled), from 5000.01 to 7350.00 the reduction
// falls linearly with the income, above 7350.00 there is none. Choosing by the
// income alone leaves no income without a band.
double reducedMonthlyTax(const TaxTable& table, double taxBase, double income) {
    const double gross = cents(income);
    const double tax = tableTax(table, simplifiedBase(taxBase, income, table.monthlyDiscount), 12);
    if (gross <= 5000.00) return atMost(tax, 312.89) ? 0.0 : tax;
    if (gross <= 7350.00) return nonNegative(cents(tax - cents(978.62 - gross * 0.133145)));
    return tax;
}

// The annual form of the reduction, over the annual table. Its bands are
// chosen by the income, as the reduction itself is measured on the income
// (choosing them by the base would let a base one cent higher pay less tax).
// The annual discount is twelve monthly discounts.
double reducedAnnualTax(const TaxTable& table, double taxBase, double income,
                        double annualDiscount) {
    const double gross = cents(income);
    if (gross <= 60000.00) {
        const double tax = tableTax(table, simplifiedBase(taxBase, income, annualDiscount), 1);
        return atMost(tax, 2694.15) ? 0.0 : tax;
    }
    if (gross <= 88200.00) {
        const double tax = tableTax(table, simplifiedBase(taxBase, income, annualDiscount), 1);
        return nonNegative(cents(tax - cents(8429.73 - gross * 0.095575)));
    }
    return tableTax(table, taxBase, 1);
}

// The annual adjustment: the published annual table of the year, without the
// simplified monthly discount (the annual adjustment has a discount of its
// own).
std::optional<double> annualTax(int year, double taxBase, double income) {
    const std::optional<TaxTable> table = annualTaxTable(year);
    if (!table) return std::nullopt;
    if (year == 2026) {
        const double monthlyDiscount = taxTableFor(year, 13)->monthlyDiscount;
        return reducedAnnualTax(*table, taxBase, income, 12 * monthlyDiscount);
    }
    return tableTax(*table, taxBase, 1);
}

}  // namespace

std::optional<double> progressiveTax(int year, int divisor, double taxBase, int month,
                                     double income) {
    if (divisor <= 0) return std::nullopt;
    // The base is the income less deductions, so it cannot exceed the income;
    // a caller that gave no income has the base stand for it.
    income = std::max(income, taxBase);
    if (divisor == 1) return annualTax(year, taxBase, income);

    month = std::clamp(month, 1, 13);
    const std::optional<TaxTable> table = taxTableFor(year, month);
    if (!table) return std::nullopt;
    if (year == 2026 && divisor == 12) return reducedMonthlyTax(*table, taxBase, income);
    // 2023 to 2025: the simplified discount of the month replaces smaller
    // legal deductions of a monthly base.
    if (divisor == 12 && table->monthlyDiscount > 0)
        taxBase = simplifiedBase(taxBase, income, table->monthlyDiscount);
    return tableTax(*table, taxBase, divisor);
}

double CALC_IMPOS(int divisor, double taxBase, double* target, int month, double income) {
    const int year = base::session().integer("QUEANO");
    const std::optional<double> tax = progressiveTax(year, divisor, taxBase, month, income);
    if (!tax) return target ? *target : 0.0;
    if (target) *target = *tax;
    return *tax;
}

}  // namespace kdx2::tax
