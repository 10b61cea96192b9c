#include "tax/rural_patrimony.h"

#include <gtest/gtest.h>

namespace kdx2::tax {
namespace {

TEST(RuralResult, PreviousLossIsCompensatedUpToTheResultAndTheRestCarried) {
    RuralResult r;
    r.I4_04 = 15000;
    computeRuralResult(r, 10000, 0);
    EXPECT_DOUBLE_EQ(r.I4_03, 10000);
    EXPECT_DOUBLE_EQ(r.I4_05, 10000);
    EXPECT_DOUBLE_EQ(r.I5_08, 5000);
    EXPECT_DOUBLE_EQ(r.I4_06, 0);
    EXPECT_DOUBLE_EQ(r.PREJRUR, 0);
}

TEST(RuralResult, AYearsLossAddsToThePreviousOneAndNothingIsCompensated) {
    RuralResult r;
    r.I4_04 = 2000;
    computeRuralResult(r, 1000, 4000);
    EXPECT_DOUBLE_EQ(r.I4_03, -3000);
    EXPECT_DOUBLE_EQ(r.I5_08, 5000);
    EXPECT_DOUBLE_EQ(r.I4_05, 0);
    EXPECT_DOUBLE_EQ(r.I4_06, 0);
    EXPECT_DOUBLE_EQ(r.PREJRUR, 3000);
}

TEST(RuralResult, AProfitAboveThePreviousLossIsTaxedOnWhatIsLeft) {
    RuralResult r;
    r.I4_04 = 1500.5;
    computeRuralResult(r, 9000, 2000);
    EXPECT_DOUBLE_EQ(r.I4_05, 1500.5);
    EXPECT_DOUBLE_EQ(r.I5_08, 0);
    EXPECT_DOUBLE_EQ(r.I4_06, 5499.5);
    EXPECT_DOUBLE_EQ(r.I4_07, 5499.5);
}

TEST(RuralResult, TheTwentyPercentOptionIgnoresLossesAndCarriesNothing) {
    RuralResult r;
    r.I4_04 = 50000;
    r.OPTA = true;
    computeRuralResult(r, 12345.67, 20000);
    EXPECT_DOUBLE_EQ(r.I4_06, 2469.13);  // 2469.134 to cents
    EXPECT_DOUBLE_EQ(r.I4_07, 2469.13);
    EXPECT_DOUBLE_EQ(r.I4_05, 0);
    EXPECT_DOUBLE_EQ(r.I5_08, 0);
}

TEST(RuralResult, NonTaxableResultCountsAdvancesBothWaysAndIsNeverNegative) {
    RuralResult r;
    r.I5_09 = 300;
    r.I5_10 = 100;
    computeRuralResult(r, 1000, 0);  // taxable 1000
    EXPECT_DOUBLE_EQ(r.I6_10, 200);
    r.I5_10 = 5000;
    computeRuralResult(r, 1000, 0);
    EXPECT_DOUBLE_EQ(r.I6_10, 0);
}

TEST(RuralMonthlyTotals, EntriesCountTheirPropertysShareOutsideTheDigitalBook) {
    const std::vector<double> shares = {50, 100};
    const std::vector<RuralEntry> entries = {
        {1000, true, 3, 1},  // half of it
        {1000, true, 3, 2},  // whole
        {400, false, 0, 0},  // no date: January, no property: whole
        {200, false, 5, 9},  // a property beyond the list counts whole
    };
    const RuralMonths shared = SOMA_RUR(entries, shares, false);
    EXPECT_DOUBLE_EQ(shared.revenue[2], 1500);
    EXPECT_DOUBLE_EQ(shared.expenses[0], 400);
    EXPECT_DOUBLE_EQ(shared.expenses[4], 200);
    EXPECT_DOUBLE_EQ(shared.totalRevenue(), 1500);
    EXPECT_DOUBLE_EQ(shared.totalExpenses(), 600);

    const RuralMonths digital = SOMA_RUR(entries, shares, true);
    EXPECT_DOUBLE_EQ(digital.revenue[2], 2000);
}

TEST(Patrimony, GoodsThatFellWhileDebtsGrewAreExplainedByBorrowing) {
    const PatrimonyChange c = FI10_1({5000, 4000}, {0, 500});
    EXPECT_DOUBLE_EQ(c.EMPRESTI, 500);
    EXPECT_DOUBLE_EQ(c.I10_2, 1000);
    EXPECT_DOUBLE_EQ(c.VARPATR, -1500);
    EXPECT_DOUBLE_EQ(c.I10_1, 0);
}

TEST(Patrimony, GrowthAndDebtsAreTold) {
    PatrimonyChange c = FI10_1({1000, 3000}, {0, 2500});  // debts grew more than goods
    EXPECT_DOUBLE_EQ(c.EMPRESTI, 500);
    EXPECT_DOUBLE_EQ(c.I10_2, 0);
    EXPECT_DOUBLE_EQ(c.I10_1, 0);  // variation 2000 - 2500 < 0

    c = FI10_1({1000, 4000}, {500, 500});
    EXPECT_DOUBLE_EQ(c.VARPATR, 3000);
    EXPECT_DOUBLE_EQ(c.I10_1, 3000);
    EXPECT_DOUBLE_EQ(c.EMPRESTI, 0);

    c = FI10_1({4000, 1000}, {2000, 500});  // both fell: goods 3000, debts 1500
    EXPECT_DOUBLE_EQ(c.EMPRESTI, 0);
    EXPECT_DOUBLE_EQ(c.I10_2, 1500);
}

TEST(Patrimony, TotalsAreRoundedToCents) {
    const YearEndValues t = FI7_T({{0.1, 0.2}, {0.2, 0.1}, {1000.005, 0}});
    EXPECT_DOUBLE_EQ(t.before, 1000.31);
    EXPECT_DOUBLE_EQ(t.now, 0.3);
}

}  // namespace
}  // namespace kdx2::tax
