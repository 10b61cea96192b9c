#pragma once

#include <array>
#include <vector>

// The rural activity's monthly totals and taxable result, and the change of
// the taxpayer's patrimony that follows from the lists of goods and debts.
// Plain computations: the declaration pages read the entries and store the
// results.
namespace kdx2::tax {

// ---- Monthly rural totals (SOMA_RUR) ----

// One rural entry of the income table (kind "R").
struct RuralEntry {
    double amount = 0;     // I1_413
    bool revenue = false;  // TIPOCR "C"
    int month = 0;         // of DT_LC; 0 (no date) counts as January
    int property = 0;      // NROIMO, 1-based; 0 names none
};

struct RuralMonths {
    std::array<double, 12> revenue{};
    std::array<double, 12> expenses{};
    double totalRevenue() const;
    double totalExpenses() const;
};

// Sums the entries by month. An entry naming a property of `participation`
// (the properties' I2_04 in table order) counts for that percentage, except
// in the digital rural cash book, whose entries already are the taxpayer's
// share; an entry naming no property, or one beyond the list, counts whole.
RuralMonths SOMA_RUR(const std::vector<RuralEntry>& entries,
                     const std::vector<double>& participation, bool digitalCashBook);

// ---- Taxable rural result (page 12) ----

struct RuralResult {
    // Typed by the user.
    double I4_04 = 0;   // previous years' loss
    bool OPTA = false;  // the 20 % of gross revenue instead of the result
    double I5_09 = 0;   // received this year for delivery next year
    double I5_10 = 0;   // advances of earlier years delivered this year
    // Worked out.
    double I4_01 = 0;    // gross revenue
    double I4_02 = 0;    // costs and investments
    double I4_03 = 0;    // result I
    double I4_05 = 0;    // loss compensated
    double I4_06 = 0;    // taxable result
    double I4_07 = 0;    // result after compensation
    double I5_08 = 0;    // loss carried to next year
    double I6_10 = 0;    // non-taxable result
    double PREJRUR = 0;  // the year's own loss
};

// FI4_03 ... FI6_10: the result from the year's revenue and expenses and
// the values the user typed. Amounts are rounded to cents.
void computeRuralResult(RuralResult& result, double revenue, double expenses);

// ---- Patrimony (FI7_T, FI8_T, FI10_1) ----

// The two values of a good or debt: at the end of the previous year and of
// this one.
struct YearEndValues {
    double before = 0;
    double now = 0;
};
// FI7_T / FI8_T: the totals of a list of goods or of debts.
YearEndValues FI7_T(const std::vector<YearEndValues>& goods);
YearEndValues FI8_T(const std::vector<YearEndValues>& debts);

struct PatrimonyChange {
    double VARPATR = 0;   // variation
    double EMPRESTI = 0;  // new borrowing
    double I10_1 = 0;     // positive variation
    double I10_2 = 0;     // decrease of goods not explained by debts
};
PatrimonyChange FI10_1(const YearEndValues& goods, const YearEndValues& debts);

}  // namespace kdx2::tax
