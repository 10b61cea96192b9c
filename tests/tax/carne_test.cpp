#include "tax/carne.h"

#include <gtest/gtest.h>

#include <string>

#include "base/named_values.h"
#include "common/numbers.h"
#include "tax/amount_text.h"

using kdx2::base::Date;
using kdx2::common::CAR_TO_VAL;
using kdx2::tax::Accumulator;
using kdx2::tax::addIncomeItem;
using kdx2::tax::CALCDEP;
using kdx2::tax::CarneLeao;
using kdx2::tax::gridAmount;
using kdx2::tax::IncomeItem;
using kdx2::tax::MonthlyGrid;
using kdx2::tax::PaymentItem;
using kdx2::tax::RESOMA;
using kdx2::tax::VE_LEAO;

namespace {

void setYear(int year) {
    kdx2::base::session().set("QUEANO", year);
}

IncomeItem dated(const std::string& kind, int year, int month, double amount) {
    IncomeItem item;
    item.kind = kind;
    item.date = *Date::fromYmd(year, month, 10);
    item.amount = amount;
    return item;
}

IncomeItem monthly(const std::string& kind, double amount) {
    IncomeItem item;
    item.kind = kind;
    item.monthly.fill(amount);
    return item;
}

}  // namespace

TEST(GridText, AmountsReadBackThroughTheirPicture) {
    EXPECT_EQ(gridAmount(1234.5), "   1.234,50");
    EXPECT_EQ(gridAmount(0), std::string(11, ' '));
    EXPECT_EQ(gridAmount(-12.3), "     -12,30");
    EXPECT_EQ(gridAmount(9999999.99), "9999.999,99");
    for (double value : {0.01, 999.99, 1000.0, 312.89, 394.54, 9999999.99, -0.5})
        EXPECT_DOUBLE_EQ(CAR_TO_VAL(gridAmount(value)), value) << value;
    // Too wide for the separators: still read back whole.
    EXPECT_EQ(gridAmount(12345678.9), "12345678,90");
    EXPECT_DOUBLE_EQ(CAR_TO_VAL(gridAmount(12345678.9)), 12345678.9);
    EXPECT_EQ(gridAmount(123456789012.0).find_first_not_of("*.,"), std::string::npos);
}

TEST(GridText, MonthLabelsAndBlankAmounts) {
    MonthlyGrid grid;
    EXPECT_EQ(grid.cell(1, 1), "01-Jan");
    EXPECT_EQ(grid.cell(9, 1), "09-Set");
    EXPECT_EQ(grid.cell(12, 1), "12-Dez");
    EXPECT_EQ(grid.cell(13, 1), "TOTAIS");
    EXPECT_EQ(grid.cell(5, MonthlyGrid::kTaxDue), std::string(11, ' '));
    grid.cell(4, 2) = "lixo";
    EXPECT_DOUBLE_EQ(grid.amount(4, 2), 0);  // unreadable text counts as 0
}

TEST(Accumulation, KindsGoToTheirAccumulatorsAndAnEmptyDateToJanuary) {
    CarneLeao carne;
    EXPECT_EQ(addIncomeItem(carne, dated("F", 2025, 3, 1000)), &carne.TRECFIS);
    IncomeItem undated = dated("F", 2025, 1, 250);
    undated.date = Date();
    addIncomeItem(carne, undated);
    addIncomeItem(carne, dated("E", 2025, 7, 300));
    addIncomeItem(carne, dated("L", 2025, 3, 120));
    addIncomeItem(carne, monthly("P", 100));
    addIncomeItem(carne, monthly("I", 10));
    EXPECT_EQ(addIncomeItem(carne, dated("O", 2025, 3, 999)), nullptr);
    EXPECT_EQ(addIncomeItem(carne, dated("J", 2025, 3, 999)), nullptr);
    EXPECT_DOUBLE_EQ(carne.TRECFIS[3], 1000);
    EXPECT_DOUBLE_EQ(carne.TRECFIS[1], 250);
    EXPECT_DOUBLE_EQ(carne.TRECFIS[13], 1250);
    EXPECT_DOUBLE_EQ(carne.TRECEXT[7], 300);
    EXPECT_DOUBLE_EQ(carne.TPAGLCX[3], 120);
    EXPECT_DOUBLE_EQ(carne.TPAGPRE[12], 100);
    EXPECT_DOUBLE_EQ(carne.TPAGPRE[13], 1200);
    EXPECT_DOUBLE_EQ(carne.TPAGLEO[13], 120);
}

TEST(Dependants, DeductionOfTheMonthAndOfTheYearRow) {
    CarneLeao carne;
    carne.N_DEPEN = 2;
    setYear(2011);
    EXPECT_DOUBLE_EQ(CALCDEP(carne, 3), 2 * 150.69);
    EXPECT_DOUBLE_EQ(carne.DEDUDEP, 150.69);
    EXPECT_DOUBLE_EQ(CALCDEP(carne, 4), 2 * 157.47);
    EXPECT_DOUBLE_EQ(CALCDEP(carne, 13), 2 * 157.47 * 12);
    setYear(2006);
    EXPECT_DOUBLE_EQ(CALCDEP(carne, 1), 2 * 117.00);
    EXPECT_DOUBLE_EQ(CALCDEP(carne, 13), 2 * 126.36 * 12);
    carne.N_DEPEN = 1;
    // The legal amounts of 2013 to 2020.
    const struct {
        int year, month;
        double amount;
    } legal[] = {{2012, 6, 164.56}, {2013, 6, 171.97}, {2014, 6, 179.71},  {2015, 3, 179.71},
                 {2015, 4, 189.59}, {2016, 1, 189.59}, {2020, 12, 189.59}, {2025, 5, 189.59},
                 {2003, 5, 106.00}, {2001, 5, 90.00}};
    for (const auto& row : legal) {
        setYear(row.year);
        EXPECT_DOUBLE_EQ(CALCDEP(carne, row.month), row.amount) << row.year << "/" << row.month;
    }
    carne.N_DEPEN = 0;
    EXPECT_DOUBLE_EQ(CALCDEP(carne, 5), 0);
}

TEST(MonthlyTax, RowTaxAndColumnTotal) {
    setYear(2022);
    CarneLeao carne;
    MonthlyGrid& grid = carne.REC_MENSAL;
    grid.setAmount(2, MonthlyGrid::kIndividuals, 4000);
    grid.setAmount(2, MonthlyGrid::kAbroad, 1000);
    VE_LEAO(carne, 2);
    EXPECT_EQ(grid.cell(2, MonthlyGrid::kTaxDue), "     505,64");
    // Cash book and deductions come off the base: 5000 − 500 − 400.
    grid.setAmount(3, MonthlyGrid::kIndividuals, 5000);
    grid.setAmount(3, MonthlyGrid::kCashBook, 500);
    grid.setAmount(3, MonthlyGrid::kDeductions, 400);
    VE_LEAO(carne, 3);
    EXPECT_DOUBLE_EQ(grid.amount(3, MonthlyGrid::kTaxDue), 286.37);  // 4100 × 22.5 % − 636.13
    EXPECT_DOUBLE_EQ(grid.amount(13, MonthlyGrid::kTaxDue), 505.64 + 286.37);
}

TEST(MonthlyTax, Year2026ThroughTheGrid) {
    setYear(2026);
    CarneLeao carne;
    MonthlyGrid& grid = carne.REC_MENSAL;
    grid.setAmount(1, MonthlyGrid::kIndividuals, 5000.00);
    grid.setAmount(2, MonthlyGrid::kIndividuals, 6000.00);
    VE_LEAO(carne, 1);
    VE_LEAO(carne, 2);
    EXPECT_DOUBLE_EQ(grid.amount(1, MonthlyGrid::kTaxDue), 0);  // 312.89 cancelled
    EXPECT_DOUBLE_EQ(grid.amount(2, MonthlyGrid::kTaxDue), 394.54);
}

// The cells show half cents rounded as the decimal amounts they are.
TEST(MonthlyTax, HalfCentsRoundUpInTheGrid) {
    setYear(2021);
    CarneLeao carne;
    MonthlyGrid& grid = carne.REC_MENSAL;
    grid.setAmount(1, MonthlyGrid::kIndividuals, 3787.10);
    grid.setAmount(1, MonthlyGrid::kDeductions, 200.00);
    VE_LEAO(carne, 1);
    EXPECT_EQ(grid.cell(1, MonthlyGrid::kTaxDue), "     183,27");  // 3587.10 × 15 % − 354.80
    setYear(2026);
    grid.setAmount(2, MonthlyGrid::kIndividuals, 7000.00);
    VE_LEAO(carne, 2);
    EXPECT_EQ(grid.cell(2, MonthlyGrid::kTaxDue), "     802,68");  // 849.29 − 46.61
    EXPECT_EQ(grid.cell(13, MonthlyGrid::kTaxDue), "     985,95");
}

// 1995 amounts are taxed in the correction unit of their month.
TEST(MonthlyTax, Year1995FactorsWithoutDividingByZero) {
    setYear(1995);
    CarneLeao carne;
    carne.TAB_UFIR.fill(0.5);
    MonthlyGrid& grid = carne.REC_MENSAL;
    grid.setAmount(1, MonthlyGrid::kIndividuals, 1500);  // 3000 units: 3000 × 26.6 % − 376.39
    VE_LEAO(carne, 1);
    EXPECT_DOUBLE_EQ(grid.amount(1, MonthlyGrid::kTaxDue), 210.81);  // half of 421.61
    carne.TAB_UFIR[1] = 0;                                           // a factor never loaded
    grid.setAmount(2, MonthlyGrid::kIndividuals, 1500);
    VE_LEAO(carne, 2);
    EXPECT_DOUBLE_EQ(grid.amount(2, MonthlyGrid::kTaxDue), 0);
    // The total row has no factor of its own: its cell is the sum anyway.
    grid.setAmount(13, MonthlyGrid::kIndividuals, 3000);
    VE_LEAO(carne, 13);
    EXPECT_DOUBLE_EQ(grid.amount(13, MonthlyGrid::kTaxDue), 210.81);
}

TEST(GridRebuild, IndividualModeFromTheAccumulators) {
    setYear(2011);
    CarneLeao carne;
    carne.N_DEPEN = 1;
    addIncomeItem(carne, dated("F", 2011, 3, 3000));
    addIncomeItem(carne, dated("F", 2011, 4, 3000));
    addIncomeItem(carne, dated("E", 2011, 4, 500));
    addIncomeItem(carne, dated("L", 2011, 4, 200));
    addIncomeItem(carne, monthly("P", 100));
    addIncomeItem(carne, monthly("I", 20));
    PaymentItem alimony{31, {}};
    alimony.monthly[3] = 300;  // April
    PaymentItem medical{10, {}};
    medical.monthly.fill(1000);
    carne.DESPPEN[5] = 777;  // left over from an earlier rebuild
    RESOMA(carne, false, {alimony, medical});

    const MonthlyGrid& grid = carne.REC_MENSAL;
    EXPECT_DOUBLE_EQ(grid.amount(3, MonthlyGrid::kDeductions), 150.69 + 100);
    EXPECT_DOUBLE_EQ(grid.amount(4, MonthlyGrid::kDeductions), 157.47 + 100 + 300);
    EXPECT_DOUBLE_EQ(grid.amount(5, MonthlyGrid::kDeductions), 157.47 + 100);
    EXPECT_DOUBLE_EQ(grid.amount(4, MonthlyGrid::kAbroad), 500);
    EXPECT_DOUBLE_EQ(grid.amount(4, MonthlyGrid::kCashBook), 200);
    EXPECT_DOUBLE_EQ(grid.amount(4, MonthlyGrid::kTaxPaid), 20);
    // March: 3000 − 250.69 = 2749.31 × 15 % − 3371.31 / 12
    EXPECT_DOUBLE_EQ(grid.amount(3, MonthlyGrid::kTaxDue), 131.45);
    // April: 3500 − 200 − 557.47 = 2742.53 × 15 % − 3523.01 / 12
    EXPECT_DOUBLE_EQ(grid.amount(4, MonthlyGrid::kTaxDue), 117.80);
    EXPECT_DOUBLE_EQ(grid.amount(1, MonthlyGrid::kTaxDue), 0);
    EXPECT_DOUBLE_EQ(grid.amount(13, MonthlyGrid::kIndividuals), 6000);
    EXPECT_DOUBLE_EQ(grid.amount(13, MonthlyGrid::kDeductions), 157.47 * 12 + 1200 + 300);
    EXPECT_DOUBLE_EQ(grid.amount(13, MonthlyGrid::kTaxPaid), 240);
    EXPECT_DOUBLE_EQ(grid.amount(13, MonthlyGrid::kTaxDue), 131.45 + 117.80);
    EXPECT_DOUBLE_EQ(carne.DESPPEN[5], 0);
    EXPECT_DOUBLE_EQ(carne.DESPPEN[13], 300);
}

// With the totals typed by the user the grid is the source: nothing is
// recomputed, the accumulators and the totals follow the cells.
TEST(GridRebuild, TotalsModeReadsTheGridBack) {
    setYear(2022);
    CarneLeao carne;
    carne.DESPPEN.add(2, 400);
    MonthlyGrid& grid = carne.REC_MENSAL;
    grid.setAmount(1, MonthlyGrid::kIndividuals, 3000);
    grid.setAmount(2, MonthlyGrid::kIndividuals, 2000);
    grid.setAmount(2, MonthlyGrid::kAbroad, 100);
    grid.setAmount(2, MonthlyGrid::kTaxPaid, 50);
    grid.setAmount(2, MonthlyGrid::kTaxDue, 12.34);  // typed, not the table's tax
    grid.setAmount(13, MonthlyGrid::kIndividuals, 999);
    RESOMA(carne, true, {});
    EXPECT_DOUBLE_EQ(carne.TRECFIS[1], 3000);
    EXPECT_DOUBLE_EQ(carne.TRECFIS[13], 5000);
    EXPECT_DOUBLE_EQ(carne.TRECEXT[13], 100);
    EXPECT_DOUBLE_EQ(carne.TPAGLEO[2], 50);
    EXPECT_DOUBLE_EQ(carne.TLEODEV[2], 12.34);
    EXPECT_DOUBLE_EQ(carne.DESPPEN[2], 0);
    EXPECT_DOUBLE_EQ(grid.amount(13, MonthlyGrid::kIndividuals), 5000);
    EXPECT_DOUBLE_EQ(grid.amount(13, MonthlyGrid::kTaxDue), 12.34);
    EXPECT_DOUBLE_EQ(grid.amount(2, MonthlyGrid::kTaxDue), 12.34);
}
