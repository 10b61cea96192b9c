#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "base/date.h"
#include "base/named_values.h"

namespace kdx2::tax {

// Thirteen amounts: elements 1 ... 12 are the months of the tax year and 13
// is the year's total.
class Accumulator {
  public:
    static constexpr int kYear = 13;

    double& operator[](int element) { return values_.at(static_cast<size_t>(element - 1)); }
    double operator[](int element) const { return values_.at(static_cast<size_t>(element - 1)); }
    void zero() { values_.fill(0.0); }
    // Adds an amount to its month (1 ... 12) and to the year.
    void add(int month, double amount);

  private:
    std::array<double, 13> values_{};
};

// The monthly carnê-leão grid: rows 1 ... 12 the months ("01-Jan"), row 13
// the totals ("TOTAIS"); column 1 the label, then income from individuals,
// income from abroad, cash-book expenses, deductions, tax paid and tax due as
// text in the grid picture, because the grid is what the user edits.
class MonthlyGrid {
  public:
    static constexpr int kRows = 13;
    static constexpr int kColumns = 7;
    static constexpr int kTotalRow = 13;
    enum Column {
        kLabel = 1,
        kIndividuals = 2,
        kAbroad = 3,
        kCashBook = 4,
        kDeductions = 5,
        kTaxPaid = 6,
        kTaxDue = 7,
    };

    // Month labels, "TOTAIS" and blank amounts.
    MonthlyGrid();

    std::string& cell(int row, int column);
    const std::string& cell(int row, int column) const;
    // The cell read back as a number (CAR_TO_VAL: unreadable text is 0).
    double amount(int row, int column) const;
    void setAmount(int row, int column, double value);

  private:
    std::array<std::array<std::string, kColumns>, kRows> cells_;
};

// The working figures of the monthly tax of the open declaration: the
// accumulators filled from the entries, the grid, the dependants counted and
// the year's correction factors. One per process, like the open declaration.
struct CarneLeao {
    Accumulator TRECFIS;  // income from individuals (kind "F", grid column 2)
    Accumulator TRECEXT;  // income from abroad ("E", column 3)
    Accumulator TPAGLCX;  // cash-book expenses ("L", column 4)
    Accumulator TPAGPRE;  // official social security paid ("P", part of column 5)
    Accumulator TPAGLEO;  // monthly tax paid ("I", column 6)
    Accumulator TLEODEV;  // monthly tax due, read back from column 7
    Accumulator DESPPEN;  // alimony paid (payment codes 30 to 34)
    MonthlyGrid REC_MENSAL;
    int N_DEPEN = 0;                    // dependants (code below 98)
    int DESPALIM = 0;                   // alimony beneficiaries (code 98 or more)
    double DEDUDEP = 0;                 // the per-dependant amount last used by CALCDEP
    std::array<double, 12> TAB_UFIR{};  // monthly correction factors (1995)
};

CarneLeao& carneLeao();

// The tax year of the settings record (`QUEANO`).
int taxYear();

// ---- Accumulation from the income-source entries ----

// What the accumulation reads of one income-source record: the kind
// (`I1_1`), the date and amount of a dated entry (`DT_LC`, `I1_413`) and the
// twelve monthly amounts (`I1_401` ... `I1_412`).
struct IncomeItem {
    std::string kind;
    base::Date date;
    double amount = 0;
    std::array<double, 12> monthly{};
};

// The accumulator an entry of that kind adds to (QUAL_MAT), or none.
Accumulator* accumulatorOfKind(CarneLeao& carne, std::string_view kind);

// Zeroes the six accumulators of the entries (and the tax due).
void zeroEntryAccumulators(CarneLeao& carne);

// Adds one entry: "F", "E" and "L" are single dated entries counted in the
// month of their date (January when it is empty); "P" and "I" carry twelve
// monthly amounts. Returns the accumulator touched, or null for other kinds.
Accumulator* addIncomeItem(CarneLeao& carne, const IncomeItem& item);

// ---- Dependants ----

// The dependants' deduction of a month (13: the year): dependants times the
// per-dependant amount of the year, twelve times for the year. Sets DEDUDEP.
double CALCDEP(CarneLeao& carne, int month);

// Kinds of dependant records: codes below 98 are dependants, 98 and above
// alimony beneficiaries.
inline bool isDependantCode(int code) {
    return code < 98;
}

// ---- The grid ----

// Recomputes the tax due (column 7) of one row and the column's total.
void VE_LEAO(CarneLeao& carne, int row);

// One payment record as the computations read it: code `I6_3`, the monthly
// amounts `I6_401` ... `I6_412`, the annual amount `I6_4` and the number of
// the dependant it belongs to `I6_6` (0 the holder).
struct PaymentItem {
    int code = 0;
    std::array<double, 12> monthly{};
    double annual = 0;
    int dependant = 0;
};

inline bool isAlimonyCode(int code) {
    return code >= 30 && code <= 34;
}

// RESOMA: with CAL_AUTO false ("INDIVIDUAL") the grid is rebuilt from the
// accumulators, the dependants and the alimony of the payments; with CAL_AUTO
// true ("SO TOTAIS") the grid typed by the user is read into the accumulators
// and its totals rewritten, nothing recomputed.
void RESOMA(CarneLeao& carne, bool calAuto, const std::vector<PaymentItem>& payments);
void rebuildGridFromEntries(CarneLeao& carne, const std::vector<PaymentItem>& payments);
void readGridIntoAccumulators(CarneLeao& carne);

// ---- Correction factors ----

// The fields of a `UFIRM` record that the factors come from.
struct UfirRecord {
    double MULTIPL = 0;
    std::string SIMB_MOED;
};

// The factor a year without its record gets for every month.
inline constexpr double kDefaultUfirFactor = 0.9108;

// CARGA_UFIR once the year's January record has been looked up: found, every
// month and `UFIRATUAL` get its factor and `SIMB_MOED` its symbol; not found,
// every month gets the default factor and the settings stay.
void loadUfirFactors(CarneLeao& carne, base::NamedValues& settings,
                     const std::optional<UfirRecord>& january);

}  // namespace kdx2::tax
