#pragma once

#include <array>
#include <string>
#include <vector>

#include "tax/carne.h"
#include "tax/deductions.h"

// The annual projection of the open declaration: the year projected from the
// months entered so far, its tax with the better of the legal deductions and
// the simplified discount, what was withheld and paid, and the suggested
// complementary payment, laid out as the yearly summary (MRESUMO). Free of
// screens and tables: the caller gathers the figures and shows or prints the
// summary.
namespace kdx2::tax {

// ---- Income from companies ----

// What the company sums read of one income-source record (IRM2) of kind "J"
// (the holder's) or "D" (a dependant's). Each group holds the months 1 ... 12
// and, in element 13, the item's own total field (I1_413 ...).
struct CompanyItem {
    std::string kind;            // I1_1
    double I1_9 = 0;             // dependant's exempt income (yearly)
    double I1_10 = 0;            // dependant's exclusively taxed income (yearly)
    Accumulator income;          // I1_401 ... I1_413
    Accumulator withheld;        // I1_501 ... tax withheld
    Accumulator socialSecurity;  // I1_601 ... official social security withheld
    Accumulator thirteenth;      // I1_701 ... thirteenth salary
    Accumulator profits;         // I1_1101 ... profits and dividends
};

// The company sums (SOMA_JUR) and the form totals they feed.
struct CompanyIncome {
    Accumulator TRECJUR, TIMPJUR, TPAGPREV, T13RO;  // the holder's
    Accumulator TRECDEP, TIMPDEP, TPAGPD, T13ROD;   // the dependants'
    Accumulator TLUCRO;                             // profits and dividends
    double I3_13T = 0;                              // exempt income of dependants
    double I3_05T = 0;                              // profits and dividends
    double I4_06T = 0;  // exclusively taxed income of dependants and their 13th
    double I4_01T = 0;  // the holder's thirteenth salary
};

// SOMA_JUR: sums the items of kinds "J" and "D"; other kinds are skipped.
CompanyIncome SOMA_JUR(const std::vector<CompanyItem>& items);

// ---- What the projection reads ----

// The settings of the projection.
struct ProjectionSettings {
    int QUEANO = 0;              // tax year
    int QMEDIA = 12;             // months the figures so far stand for (1 ... 12)
    std::string QUALMENS = "1";  // "1" projected and spread, "2" due minus paid
    int MES_ATU = 12;            // the current month
    int OPCAO_1 = 0;             // the last main-menu command
};

// The figures besides the carnê-leão ones (accumulators, dependants, grid).
struct ProjectionFigures {
    CompanyIncome company;  // SOMA_JUR
    PaymentSums payments;   // FDE_TUDO
    Accumulator IMPOGAN;    // capital-gains tax due (IMPGANCAP)
    Accumulator IMPDEVRV;   // variable-income tax to pay (CALC_GRV)
    double I4_06 = 0;       // taxable rural result
    double I3_14T = 0;      // exempt income, total
    double I4_07T = 0;      // exclusively taxed income, total
};

// ---- The yearly summary ----

// One cell of the summary: an amount, the separator of a row without a
// figure in that column, or nothing.
struct SummaryCell {
    enum class Kind { Blank, Amount, Separator };
    Kind kind = Kind::Blank;
    double value = 0;
};

// The yearly summary: rows 1 ... 30, each with its label and, in period 0,
// the projected year, in periods 1 ... 12 the months.
struct Summary {
    static constexpr int kRows = 30;
    static constexpr int kYear = 0;
    // The display grid: 31 rows (row 0 unused), column 1 the label, 2 the
    // year, 3 ... 14 the months.
    using Grid = std::array<std::array<std::string, 14>, 31>;

    std::array<std::string, kRows + 1> labels;  // CP850, [1 ... 30]
    std::array<std::array<SummaryCell, 13>, kRows + 1> cells;
    double quota = 0;         // the monthly complementary payment suggested
    bool simplified = false;  // the simplified discount beat the deductions
    double I9_3 = 0;          // taxable base + exempt + exclusive - tax paid
    std::string note;         // the projection note (MOSTMEDIA), CP850

    // The amount of a cell (0 unless it holds one).
    double amount(int row, int period) const;
    // The cell as shown: "@Ez 999,999,999.99", 14 "-" or 14 blanks.
    std::string text(int row, int period) const;
    Grid grid() const;

    void set(int row, int period, double value);
    void separate(int row, int period);
};

// The picture of the summary's amounts.
inline constexpr std::string_view kSummaryPicture = "@Ez 999,999,999.99";

// The labels a declaration opens with (row 28 by the complementary method).
std::array<std::string, Summary::kRows + 1> summaryLabels(const std::string& QUALMENS);

// The dependants' deduction of a month (13: the year) for `dependants`.
double dependantsDeduction(int year, int dependants, int month);

// VE_DESCONTOS: the deductions of a month's base: alimony, social security
// (the holder's, withheld by companies, the dependants'), dependants and the
// cash book.
double VE_DESCONTOS(const CarneLeao& carne, const CompanyIncome& company, int year, int month);
// VE_ABATE: the deductions of the carnê-leão base of a month, as the monthly
// grid takes them.
double VE_ABATE(const CarneLeao& carne, int year, int month);

// CAL_ANUAL: the projected year (period 0) over `settings.QMEDIA` months.
void CAL_ANUAL(Summary& summary, const CarneLeao& carne, const ProjectionFigures& figures,
               const ProjectionSettings& settings);
// CAL_PARTE: one month's column; row 28 needs the quota already worked out.
void CAL_PARTE(Summary& summary, int month, const CarneLeao& carne,
               const ProjectionFigures& figures, const ProjectionSettings& settings);
// VE_QUOT_MENS: the year's shortfall (row 28 of the year) spread over the
// months left from the current one that have no complementary payment yet.
double VE_QUOT_MENS(const Summary& summary, const PaymentSums& payments,
                    const ProjectionSettings& settings);
// MOSTRA_SUGES: row 28 of a month with the first method: what was paid for
// the months gone by or already paid, the quota for the others.
double MOSTRA_SUGES(const Summary& summary, int month, const ProjectionSettings& settings);
// MOSTMEDIA: the projection note, a rule when the year is complete.
std::string MOSTMEDIA(int months);

// CALCULA_TUDO: the whole summary.
Summary CALCULA_TUDO(const CarneLeao& carne, const ProjectionFigures& figures,
                     ProjectionSettings settings);

// The months the projection stands for, kept within 1 ... 12.
int projectionMonths(int QMEDIA);

}  // namespace kdx2::tax
