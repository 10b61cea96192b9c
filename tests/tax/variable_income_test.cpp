// The variable-income statement, the capital-gains totals and the totals of
// the editable grids.

#include <gtest/gtest.h>

#include "base/cp850.h"
#include "base/text.h"
#include "common/numbers.h"
#include "tax/grid_totals.h"
#include "tax/variable_income.h"

namespace kdx2::tax {
namespace {

using namespace base::literals;

CapitalGainRecord statementLine(int line, std::string dayTrade, int month, double amount) {
    CapitalGainRecord record;
    record.TIPO_BEM = kVariableIncomeKind;
    record.RVAR_NRO = line;
    record.DAY_TRADE = std::move(dayTrade);
    record.REC_MES[static_cast<size_t>(month - 1)] = amount;
    return record;
}

CapitalGainRecord assetSale(int number, int month, double taxDue) {
    CapitalGainRecord record;
    record.TIPO_BEM = 1;
    record.BEM_NRO = number;
    record.IMP_DEV[static_cast<size_t>(month - 1)] = taxDue;
    return record;
}

TEST(VariableIncome, LossesAndGainsAreNotNetted) {
    const VariableIncomeTotals totals =
        CALC_GRV({statementLine(14, "", 3, -500.00), statementLine(14, "", 5, 300.00)});
    EXPECT_DOUBLE_EQ(totals.PREJRVA, 500.00);
    EXPECT_DOUBLE_EQ(totals.LUCRRVA, 300.00);
    EXPECT_EQ(CALC_GRV({statementLine(14, "", 5, 300.00)}).PREJRVA, 0.0);
}

// A base of 1,000.00 less 200.00 of tax paid and 50.00 withheld on day
// trade; withholding on a line of common operations is not counted.
TEST(VariableIncome, ExclusiveBaseLessTaxPaidAndWithheld) {
    CapitalGainRecord base = statementLine(16, "", 4, 600.00);
    base.REC_MES[8] = 400.00;
    const VariableIncomeTotals totals =
        CALC_GRV({base, statementLine(25, "", 4, 200.00), statementLine(21, "X", 4, 50.00),
                  statementLine(21, "", 4, 70.00), statementLine(24, "X", 6, 80.00),
                  statementLine(24, "", 6, 20.00)});
    EXPECT_DOUBLE_EQ(totals.I4_03[3], 600.00);
    EXPECT_DOUBLE_EQ(totals.I4_03[8], 400.00);
    EXPECT_DOUBLE_EQ(totals.IMPOFONRV, 50.00);
    EXPECT_DOUBLE_EQ(totals.IMPORVAR[4], 200.00);
    EXPECT_DOUBLE_EQ(totals.I4_03T, 750.00);
    EXPECT_DOUBLE_EQ(totals.IMPDEVRV[6], 100.00);
    EXPECT_DOUBLE_EQ(totals.IMPDEVRV[13], 100.00);
    // More tax than base leaves no negative base.
    EXPECT_EQ(CALC_GRV({statementLine(16, "", 1, 100.00), statementLine(25, "", 1, 300.00)}).I4_03T,
              0.0);
}

TEST(VariableIncome, CapitalGainsTaxComesFromAssetSalesOnly) {
    CapitalGainRecord line = statementLine(24, "", 2, 999.00);
    line.IMP_DEV[1] = 999.00;  // a statement line's tax fields are not asset tax
    const Accumulator due =
        IMPGANCAP({assetSale(1, 2, 150.00), assetSale(2, 2, 50.00), assetSale(3, 11, 25.00), line});
    EXPECT_DOUBLE_EQ(due[2], 200.00);
    EXPECT_DOUBLE_EQ(due[11], 25.00);
    EXPECT_DOUBLE_EQ(due[13], 225.00);
    const VariableIncomeTotals totals = CALC_GRV({assetSale(1, 2, 150.00)});
    EXPECT_EQ(totals.IMPDEVRV[13], 0.0);
}

TEST(VariableIncome, EmptyStatementAndItsLabels) {
    const VariableIncomeGrid grid = ZER_RENVAR(2025);
    EXPECT_EQ(grid[0][0], "01.Mercado à Vista - Ações     "_cp);
    EXPECT_EQ(grid[17][0], "18.Imposto Operação comum (15%)"_cp);
    EXPECT_EQ(grid[24][0], "25.Imposto Pago                ");
    for (const auto& line : grid)
        for (size_t column = 1; column < line.size(); ++column)
            EXPECT_EQ(line[column], std::string(14, ' '));
    EXPECT_EQ(ZER_RENVAR(2004)[17][0], "18.Imposto Operação comum (20%)"_cp);
}

TEST(VariableIncome, StatementLinesStoredOrRemoved) {
    VariableIncomeGrid grid = ZER_RENVAR(2025);
    grid[13][5] = "   1.234,56";  // line 14, May
    const std::vector<StatementLine> lines = statementLines(grid);
    ASSERT_EQ(lines.size(), 25u);
    EXPECT_TRUE(lines[13].store);
    EXPECT_EQ(lines[13].line, 14);
    EXPECT_DOUBLE_EQ(lines[13].amounts[4], 1234.56);
    EXPECT_EQ(lines[13].amounts[0], 0.0);
    EXPECT_FALSE(lines[12].store);
}

TEST(VariableIncome, StatementLoadedForOneKindOfOperations) {
    const VariableIncomeGrid grid =
        loadVariableIncome(2025,
                           {statementLine(14, "X", 3, -12.50), statementLine(14, "", 3, 99.00),
                            statementLine(30, "X", 3, 5.00), assetSale(14, 3, 7.00)},
                           "X");
    EXPECT_DOUBLE_EQ(common::CAR_TO_VAL(grid[13][3]), -12.50);
    EXPECT_EQ(grid[13][4], std::string(14, ' '));
}

// ---- Totals of the editable grids ----

TEST(GridTotals, FormTotals) {
    std::array<double, 13> exempt{};
    exempt[0] = 100.10;
    exempt[12] = 0.20;
    EXPECT_DOUBLE_EQ(exemptIncomeTotal(exempt), 100.30);
    EXPECT_DOUBLE_EQ(exclusiveIncomeTotal({1, 2, 3, 4, 5, 6.01}), 21.01);
}

TEST(GridTotals, MonthlyGridColumnFeedsItsAccumulator) {
    CarneLeao carne;
    carne.REC_MENSAL.setAmount(1, MonthlyGrid::kIndividuals, 1000.00);
    carne.REC_MENSAL.setAmount(12, MonthlyGrid::kIndividuals, 234.56);
    totalMonthlyGridColumn(carne, MonthlyGrid::kIndividuals);
    EXPECT_DOUBLE_EQ(carne.TRECFIS[1], 1000.00);
    EXPECT_DOUBLE_EQ(carne.TRECFIS[12], 234.56);
    EXPECT_DOUBLE_EQ(carne.TRECFIS[13], 1234.56);
    EXPECT_DOUBLE_EQ(carne.REC_MENSAL.amount(13, MonthlyGrid::kIndividuals), 1234.56);

    // The typed deductions replace social security and alimony.
    carne.DESPPEN.add(3, 400.00);
    carne.REC_MENSAL.setAmount(3, MonthlyGrid::kDeductions, 900.00);
    totalMonthlyGridColumn(carne, MonthlyGrid::kDeductions);
    EXPECT_DOUBLE_EQ(carne.TPAGPRE[3], 900.00);
    EXPECT_DOUBLE_EQ(carne.TPAGPRE[13], 900.00);
    EXPECT_EQ(carne.DESPPEN[3], 0.0);
    EXPECT_EQ(carne.DESPPEN[13], 0.0);
    EXPECT_EQ(base::alltrim(carne.REC_MENSAL.cell(13, MonthlyGrid::kDeductions)), "");
}

TEST(GridTotals, RuralColumnTotal) {
    RuralGrid grid{};
    grid[0][1] = "      1.000,00";
    grid[5][1] = "        250,50";
    grid[12][1] = "    999.999,99";  // a stale total is replaced
    totalRuralColumn(grid, 2);
    EXPECT_DOUBLE_EQ(common::CAR_TO_VAL(grid[12][1]), 1250.50);
    EXPECT_EQ(grid[12][1].size(), 14u);
}

TEST(GridTotals, UfirConversionBothWaysWithoutDividingByZero) {
    ConversionGrid grid{};
    std::array<double, 12> factors{};
    factors.fill(0.5);
    factors[5] = 0;                 // June's rate merged without a factor
    grid[0][1] = "        100,00";  // January in reais
    ConversionTotals totals = convertUfirCell(grid, 1, 2, factors);
    EXPECT_DOUBLE_EQ(common::CAR_TO_VAL(grid[0][2]), 200.00);
    grid[1][2] = "         80,00";  // February in UFIR
    totals = convertUfirCell(grid, 2, 3, factors);
    EXPECT_DOUBLE_EQ(common::CAR_TO_VAL(grid[1][1]), 40.00);
    grid[5][1] = "        300,00";
    totals = convertUfirCell(grid, 6, 2, factors);
    EXPECT_EQ(common::CAR_TO_VAL(grid[5][2]), 0.0);
    EXPECT_DOUBLE_EQ(totals.QCR1, 440.00);
    EXPECT_DOUBLE_EQ(totals.QUF, 280.00);
    EXPECT_DOUBLE_EQ(common::CAR_TO_VAL(grid[12][1]), 440.00);
    EXPECT_DOUBLE_EQ(common::CAR_TO_VAL(grid[12][2]), 280.00);
}

}  // namespace
}  // namespace kdx2::tax
