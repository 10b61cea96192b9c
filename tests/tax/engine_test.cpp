#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "base/named_values.h"
#include "tax/engine.h"

using kdx2::tax::CALC_IMPOS;
using kdx2::tax::progressiveTax;

namespace {

// The monthly tables as the law publishes them (monthly limits, rate and
// amount to deduct), typed here independently of the engine's annual tables.
struct PublishedBand {
    double upTo;  // infinity for the last band
    double rate;
    double deduction;
};
struct PublishedTable {
    int firstYear;
    int lastYear;
    int firstMonth;
    int lastMonth;
    std::vector<PublishedBand> bands;
};

constexpr double kOpen = std::numeric_limits<double>::infinity();

std::vector<PublishedTable> publishedTables() {
    const std::vector<PublishedBand> may2025 = {{2428.80, 0, 0},
                                                {2826.65, 0.075, 182.16},
                                                {3751.05, 0.15, 394.16},
                                                {4664.68, 0.225, 675.49},
                                                {kOpen, 0.275, 908.73}};
    const std::vector<PublishedBand> feb2024 = {{2259.20, 0, 0},
                                                {2826.65, 0.075, 169.44},
                                                {3751.05, 0.15, 381.44},
                                                {4664.68, 0.225, 662.77},
                                                {kOpen, 0.275, 896.00}};
    const std::vector<PublishedBand> may2023 = {{2112.00, 0, 0},
                                                {2826.65, 0.075, 158.40},
                                                {3751.05, 0.15, 370.40},
                                                {4664.68, 0.225, 651.73},
                                                {kOpen, 0.275, 884.96}};
    const std::vector<PublishedBand> apr2015 = {{1903.98, 0, 0},
                                                {2826.65, 0.075, 142.80},
                                                {3751.05, 0.15, 354.80},
                                                {4664.68, 0.225, 636.13},
                                                {kOpen, 0.275, 869.36}};
    const std::vector<PublishedBand> y2014 = {{1787.77, 0, 0},
                                              {2679.29, 0.075, 134.08},
                                              {3572.43, 0.15, 335.03},
                                              {4463.81, 0.225, 602.96},
                                              {kOpen, 0.275, 826.15}};
    const std::vector<PublishedBand> y2010 = {{1499.15, 0, 0},
                                              {2246.75, 0.075, 112.43},
                                              {2995.70, 0.15, 280.94},
                                              {3743.19, 0.225, 505.62},
                                              {kOpen, 0.275, 692.78}};
    const std::vector<PublishedBand> y2005 = {
        {1164.00, 0, 0}, {2326.00, 0.15, 174.60}, {kOpen, 0.275, 465.35}};
    return {
        {2026, 2026, 1, 12, may2025},
        {2025, 2025, 5, 12, may2025},
        {2025, 2025, 1, 4, feb2024},
        {2024, 2024, 2, 12, feb2024},
        {2024, 2024, 1, 1, may2023},
        {2023, 2023, 5, 12, may2023},
        {2023, 2023, 1, 4, apr2015},
        {2016, 2022, 1, 12, apr2015},
        {2027, 2030, 1, 12, apr2015},
        {2015, 2015, 4, 12, apr2015},
        {2015, 2015, 1, 3, y2014},
        {2014, 2014, 1, 12, y2014},
        {2013,
         2013,
         1,
         12,
         {{1710.78, 0, 0},
          {2563.91, 0.075, 128.31},
          {3418.59, 0.15, 320.60},
          {4271.59, 0.225, 577.00},
          {kOpen, 0.275, 790.58}}},
        {2012,
         2012,
         1,
         12,
         {{1637.11, 0, 0},
          {2453.50, 0.075, 122.78},
          {3271.38, 0.15, 306.80},
          {4087.65, 0.225, 552.15},
          {kOpen, 0.275, 756.53}}},
        {2011,
         2011,
         4,
         12,
         {{1566.61, 0, 0},
          {2347.85, 0.075, 117.49},
          {3130.51, 0.15, 293.58},
          {3911.63, 0.225, 528.37},
          {kOpen, 0.275, 723.95}}},
        {2011, 2011, 1, 3, y2010},
        {2010, 2010, 1, 12, y2010},
        {2009,
         2009,
         1,
         12,
         {{1434.59, 0, 0},
          {2150.00, 0.075, 107.59},
          {2866.70, 0.15, 268.84},
          {3582.00, 0.225, 483.84},
          {kOpen, 0.275, 662.94}}},
        {2008, 2008, 1, 12, {{1372.81, 0, 0}, {2743.25, 0.15, 205.92}, {kOpen, 0.275, 548.82}}},
        {2007, 2007, 1, 12, {{1313.69, 0, 0}, {2625.12, 0.15, 197.05}, {kOpen, 0.275, 525.19}}},
        {2006, 2006, 2, 12, {{1257.12, 0, 0}, {2512.08, 0.15, 188.57}, {kOpen, 0.275, 502.58}}},
        {2006, 2006, 1, 1, y2005},
        {2005, 2005, 1, 12, y2005},
        {2002, 2004, 1, 12, {{1058.00, 0, 0}, {2115.00, 0.15, 158.70}, {kOpen, 0.275, 423.08}}},
        {1998, 2001, 1, 12, {{900.00, 0, 0}, {1800.00, 0.15, 135.00}, {kOpen, 0.275, 360.00}}},
        {1996, 1997, 1, 12, {{900.00, 0, 0}, {1800.00, 0.15, 135.00}, {kOpen, 0.25, 315.00}}},
        {1995,
         1995,
         1,
         12,
         {{1000.00, 0, 0},
          {1950.00, 0.15, 150.00},
          {18000.00, 0.266, 376.39},
          {kOpen, 0.35, 1888.25}}},
    };
}

double tax(int year, int divisor, double base, int month, double income) {
    const std::optional<double> result = progressiveTax(year, divisor, base, month, income);
    EXPECT_TRUE(result.has_value()) << year;
    return result.value_or(-1);
}

// Legal deductions above any simplified discount and an income above the
// 2026 reduction: the table alone decides.
double tableOnlyTax(int year, double base, int month) {
    return tax(year, 12, base, month, base + 8000);
}

double cents(double value) {
    return std::round(value * 100) / 100;
}

}  // namespace

// One base in the middle of every band of every year's table, against the
// published monthly table. The published deductions are rounded to the cent
// where the annual ones are not, so a cent of difference is allowed here;
// rounding and truncation are checked exactly below.
TEST(TaxTables, EveryBandAgreesWithThePublishedMonthlyTable) {
    for (const PublishedTable& table : publishedTables()) {
        double lower = 0;
        for (const PublishedBand& band : table.bands) {
            const double upper = std::isinf(band.upTo) ? lower + 3000 : band.upTo;
            const double base = cents((lower + upper) / 2);
            const double expected = std::max(0.0, cents(base * band.rate - band.deduction));
            for (int year : {table.firstYear, table.lastYear}) {
                for (int month : {table.firstMonth, table.lastMonth}) {
                    EXPECT_NEAR(tableOnlyTax(year, base, month), expected, 0.0101)
                        << year << "/" << month << " base " << base;
                }
            }
            lower = band.upTo;
        }
    }
}

// The published tables are continuous: a limit typed wrongly in the engine
// shows up as a fall or a jump of the tax next to it, wherever it lies. Every
// cent from below the exemption to above the top limit is walked. 1995 has
// steps of its own and is checked at its limits below.
TEST(TaxTables, TaxIsContinuousAndNonDecreasingAcrossEveryBand) {
    for (const PublishedTable& table : publishedTables()) {
        if (table.firstYear == 1995) continue;
        const double first = table.bands.front().upTo - 1;
        const double last = table.bands[table.bands.size() - 2].upTo + 1;
        for (int month : {table.firstMonth, table.lastMonth}) {
            double previous = tableOnlyTax(table.firstYear, first, month);
            for (long step = 1; first + step * 0.01 <= last; ++step) {
                const double base = cents(first + step * 0.01);
                const double current = tableOnlyTax(table.firstYear, base, month);
                ASSERT_GE(current, previous - 0.011)
                    << table.firstYear << "/" << month << " at " << base;
                ASSERT_LE(current - previous, 0.011)
                    << table.firstYear << "/" << month << " at " << base;
                previous = current;
            }
        }
    }
}

// Every band is closed at its upper end: a base exactly on the exemption limit
// pays nothing, and half a real more already pays.
TEST(TaxTables, BaseExactlyOnTheExemptionLimitPaysNothing) {
    for (const PublishedTable& table : publishedTables()) {
        const double limit = table.bands.front().upTo;
        for (int month : {table.firstMonth, table.lastMonth}) {
            EXPECT_EQ(tableOnlyTax(table.firstYear, limit, month), 0.0)
                << table.firstYear << "/" << month;
            EXPECT_GT(tableOnlyTax(table.firstYear, limit + 0.50, month), 0.0)
                << table.firstYear << "/" << month;
        }
    }
    EXPECT_EQ(tax(2022, 1, 22847.76, 13, 100000), 0.0);
    // 1995 is the only table with a step at a limit; the limit takes the
    // lower band's formula.
    EXPECT_DOUBLE_EQ(tax(1995, 12, 1950.00, 6, 0), 142.50);
    EXPECT_DOUBLE_EQ(tax(1995, 12, 1950.01, 6, 0), 142.31);
    EXPECT_DOUBLE_EQ(tax(1995, 12, 18000.00, 6, 0), 4411.61);
    EXPECT_DOUBLE_EQ(tax(1995, 12, 18000.01, 6, 0), 4411.75);
}

// From April 2011 the 22.5 % band starts above 3130.51 a month (37566.12 a
// year); a base just under that limit is still in the 15 % band.
TEST(TaxTables, April2011ThirdLimitIsThePublishedOne) {
    // 3130.00 × 15 % − 3523.01 / 12
    EXPECT_DOUBLE_EQ(tax(2011, 12, 3130.00, 4, 9000), 175.92);
    EXPECT_DOUBLE_EQ(tax(2011, 12, 3130.51, 12, 9000), 175.99);
    // 3130.52 × 22.5 % − 6340.47 / 12
    EXPECT_DOUBLE_EQ(tax(2011, 12, 3130.52, 12, 9000), 175.99);
    EXPECT_DOUBLE_EQ(tax(2011, 1, 37566.12, 13, 90000), 2111.91);
}

TEST(TaxTables, YearsWithoutTableLeaveTheTargetUnchanged) {
    EXPECT_FALSE(progressiveTax(1994, 12, 5000, 1, 5000).has_value());
    EXPECT_FALSE(progressiveTax(2020, 0, 5000, 1, 5000).has_value());
    kdx2::base::session().set("QUEANO", 1990);
    double target = 123.45;
    EXPECT_DOUBLE_EQ(CALC_IMPOS(12, 5000, &target, 1, 5000), 123.45);
    EXPECT_DOUBLE_EQ(target, 123.45);
    kdx2::base::session().set("QUEANO", 2022);
    EXPECT_DOUBLE_EQ(CALC_IMPOS(12, 5000, &target, 1, 5000), 505.64);
    EXPECT_DOUBLE_EQ(target, 505.64);
    EXPECT_DOUBLE_EQ(CALC_IMPOS(12, 5000, nullptr, 1, 5000), 505.64);
}

TEST(TaxTables, YearsAfterTheLastKnownKeepTheLongStandingTable) {
    // No simplified discount, no reduction, rounded.
    EXPECT_DOUBLE_EQ(tax(2027, 12, 5000, 3, 5000), tax(2022, 12, 5000, 3, 5000));
    EXPECT_DOUBLE_EQ(tax(2030, 12, 2500, 3, 2500), tax(2022, 12, 2500, 3, 2500));
}

// 2024 from February and 2025 up to April share a table; 2024 rounds and
// 2025 truncates.
TEST(Rounding, TruncationFrom2025KeepsTheFourthDecimalRounding) {
    // 3000.05 × 15 % − 381.44 = 68.5675
    EXPECT_DOUBLE_EQ(tax(2024, 12, 3000.05, 3, 9000), 68.57);
    EXPECT_DOUBLE_EQ(tax(2025, 12, 3000.05, 3, 9000), 68.56);
    // 4392.80 × 22.5 % − 675.49 is 312.89 exactly, not 312.88.
    EXPECT_DOUBLE_EQ(tax(2025, 12, 4392.80, 6, 9000), 312.89);
}

// The simplified monthly discount replaces the legal deductions when larger;
// it is not taken on top of them, and not in the annual computation.
TEST(SimplifiedDiscount, ReplacesSmallerLegalDeductionsInMonthlyBases) {
    // 2025, March (564.80, older table) against May (607.20, newer table),
    // income 3000.00 without deductions.
    EXPECT_DOUBLE_EQ(tax(2025, 12, 3000.00, 3, 3000.00), 13.20);
    EXPECT_DOUBLE_EQ(tax(2025, 12, 3000.00, 5, 3000.00), 0.0);
    // Legal deductions of 300.00, smaller than the discount: the discount is
    // taken from the income (5000 − 607.20), not from the base.
    EXPECT_DOUBLE_EQ(tax(2025, 12, 4700.00, 5, 5000.00), 312.89);
    // Legal deductions of 1000.00, larger: the base stands
    // (4000.00 × 22.5 % − 8105.88 / 12).
    EXPECT_DOUBLE_EQ(tax(2025, 12, 4000.00, 5, 5000.00), 224.51);
    // 2023 from May and 2024 January take 528.00; 2023 up to April nothing.
    EXPECT_DOUBLE_EQ(tax(2023, 12, 3000.00, 5, 3000.00), tax(2023, 12, 2472.00, 5, 10000));
    EXPECT_DOUBLE_EQ(tax(2024, 12, 3000.00, 1, 3000.00), tax(2024, 12, 2472.00, 1, 10000));
    // 3000.00 × 15 % − 4257.60 / 12
    EXPECT_DOUBLE_EQ(tax(2023, 12, 3000.00, 4, 3000.00), 95.20);
    // A caller without an income figure: the base stands for it.
    EXPECT_DOUBLE_EQ(tax(2025, 12, 3000.00, 3, 0), 13.20);
}

TEST(SimplifiedDiscount, IsNotTakenInTheAnnualComputation) {
    // 40000 × 15 % − 4679.03 and − 4566.23, the published annual deductions.
    EXPECT_DOUBLE_EQ(tax(2025, 1, 40000.00, 12, 40000.00), 1320.97);
    EXPECT_DOUBLE_EQ(tax(2024, 1, 40000.00, 13, 40000.00), 1433.77);
}

TEST(Reduction2026, MonthlyStepsByIncome) {
    // Income 5000.00 without deductions: table tax 312.89, cancelled.
    EXPECT_DOUBLE_EQ(tax(2026, 12, 5000.00, 1, 5000.00), 0.0);
    // Income 6000.00: 574.29 − (978.62 − 798.87) = 394.54.
    EXPECT_DOUBLE_EQ(tax(2026, 12, 6000.00, 1, 6000.00), 394.54);
    EXPECT_DOUBLE_EQ(tax(2026, 12, 5500.00, 7, 5500.00), 190.47);
    // The gaps settled by the income alone: 5000.01 takes the linear
    // reduction (nothing left to pay), 7350.00 the last of it (0.00425,
    // rounded to nothing), 7350.01 none: 6742.81 × 27.5 % − 908.73 is
    // 945.54275, truncated.
    EXPECT_DOUBLE_EQ(tax(2026, 12, 5000.01, 1, 5000.01), 0.0);
    EXPECT_DOUBLE_EQ(tax(2026, 12, 7350.00, 1, 7350.00), 945.54);
    EXPECT_DOUBLE_EQ(tax(2026, 12, 7350.01, 1, 7350.01), 945.54);
    // 7350.01 of income with a base a cent above it: still no reduction.
    EXPECT_DOUBLE_EQ(tax(2026, 12, 7350.02, 1, 7350.02), 945.54);
    EXPECT_DOUBLE_EQ(tax(2026, 12, 7350.00, 1, 8000.00), 1112.52);
    // Income above 7350.00 with a base far lower (large legal deductions):
    // the table tax of the base, without reduction.
    EXPECT_DOUBLE_EQ(tax(2026, 12, 3000.00, 1, 9000.00), 55.84);
    // Large legal deductions below 5000.00 of income still pay nothing.
    EXPECT_DOUBLE_EQ(tax(2026, 12, 2000.00, 1, 4999.00), 0.0);
}

TEST(Reduction2026, FirstBandUsesTheDeductionOfItsOwnLimit) {
    // Just above the exemption limit the tax is a few cents, not negative.
    EXPECT_DOUBLE_EQ(tax(2026, 12, 2500.00, 1, 9000.00), 5.34);
    EXPECT_DOUBLE_EQ(tax(2025, 12, 2500.00, 6, 9000.00), 5.34);
}

TEST(Reduction2026, AnnualBandsChosenByTheIncome) {
    // Income 75000.00: 60000.00 × 27.5 % − 10904.66 = 5595.34, less the
    // reduction 8429.73 − 75000 × 0.095575 = 1261.605, rounded to 1261.61.
    // Bases a cent apart pay the same reduced tax.
    EXPECT_DOUBLE_EQ(tax(2026, 1, 60000.00, 12, 75000.00), 4333.73);
    EXPECT_DOUBLE_EQ(tax(2026, 1, 60000.02, 12, 75000.00), 4333.73);
    // Income up to 60000.00 pays nothing (annual discount 12 × 607.20).
    EXPECT_DOUBLE_EQ(tax(2026, 1, 50000.00, 12, 50000.00), 0.0);
    // Above 88200.00: the table tax of the base itself, 90000 × 27.5 % − 10904.66.
    EXPECT_DOUBLE_EQ(tax(2026, 1, 90000.00, 12, 100000.00), 13845.34);
}

// Half cents are rounded as the decimal amounts they are, not as the binary
// doubles just below them.
TEST(DecimalRounding, ExactHalfCentsRoundUp) {
    // 2026, income 7000.00 without deductions: 6392.80 × 27.5 % − 908.73 =
    // 849.29, less the reduction 978.62 − 7000 × 0.133145 = 46.605 → 46.61.
    EXPECT_DOUBLE_EQ(tax(2026, 12, 7000.00, 3, 7000.00), 802.68);
    // 2021: 3587.10 × 15 % − 354.80 = 183.265.
    EXPECT_DOUBLE_EQ(tableOnlyTax(2021, 3587.10, 6), 183.27);
    // 2024 (rounded) and 2025 (truncated) on 2999.99 × 15 % − 381.44 = 68.5585.
    EXPECT_DOUBLE_EQ(tableOnlyTax(2024, 2999.99, 3), 68.56);
    EXPECT_DOUBLE_EQ(tableOnlyTax(2025, 2999.99, 3), 68.55);
}

namespace {

// ---- The annual tables as the Receita Federal publishes them ----

struct AnnualBand {
    double upTo;  // kOpen on the last band
    int ratePerMille;
    double deduction;
};
struct AnnualTable {
    int firstYear;
    int lastYear;
    bool truncates;
    std::vector<AnnualBand> bands;
};

std::vector<AnnualBand> fourRateBands(double l1, double l2, double l3, double l4, double a1,
                                      double a2, double a3, double a4) {
    return {{l1, 0, 0}, {l2, 75, a1}, {l3, 150, a2}, {l4, 225, a3}, {kOpen, 275, a4}};
}

std::vector<AnnualBand> twoRateBands(double exempt, double upTo15, double a15, double a27) {
    return {{exempt, 0, 0}, {upTo15, 150, a15}, {kOpen, 275, a27}};
}

std::vector<AnnualTable> publishedAnnualTables() {
    return {
        {2026, 2026, true,
         fourRateBands(29145.60, 33919.80, 45012.60, 55976.16, 2185.92, 4729.91, 8105.85,
                       10904.66)},
        {2025, 2025, true,
         fourRateBands(28467.20, 33919.80, 45012.60, 55976.16, 2135.04, 4679.03, 8054.97,
                       10853.78)},
        {2024, 2024, false,
         fourRateBands(26963.20, 33919.80, 45012.60, 55976.16, 2022.24, 4566.23, 7942.17,
                       10740.98)},
        {2023, 2023, false,
         fourRateBands(24511.92, 33919.80, 45012.60, 55976.16, 1838.39, 4382.38, 7758.32,
                       10557.13)},
        {2016, 2022, false,
         fourRateBands(22847.76, 33919.80, 45012.60, 55976.16, 1713.58, 4257.57, 7633.51,
                       10432.32)},
        {2027, 2030, false,
         fourRateBands(22847.76, 33919.80, 45012.60, 55976.16, 1713.58, 4257.57, 7633.51,
                       10432.32)},
        {2015, 2015, false,
         fourRateBands(22499.13, 33477.72, 44476.74, 55373.55, 1687.43, 4198.26, 7534.02,
                       10302.70)},
        {2014, 2014, false,
         fourRateBands(21453.24, 32151.48, 42869.16, 53565.72, 1608.99, 4020.35, 7235.54, 9913.83)},
        {2013, 2013, false,
         fourRateBands(20529.36, 30766.92, 41023.08, 51259.08, 1539.70, 3847.22, 6923.95, 9486.91)},
        {2012, 2012, false,
         fourRateBands(19645.32, 29442.00, 39256.56, 49051.80, 1473.40, 3681.55, 6625.79, 9078.38)},
        {2011, 2011, false,
         fourRateBands(18799.32, 28174.20, 37566.12, 46939.56, 1409.95, 3523.01, 6340.47, 8687.45)},
        {2010, 2010, false,
         fourRateBands(17989.80, 26961.00, 35948.40, 44918.28, 1349.24, 3371.31, 6067.44, 8313.35)},
        {2009, 2009, false,
         fourRateBands(17215.08, 25800.00, 34400.40, 42984.00, 1291.13, 3226.13, 5806.16, 7955.36)},
        {2008, 2008, false, twoRateBands(16473.72, 32919.00, 2471.06, 6585.93)},
        {2007, 2007, false, twoRateBands(15764.28, 31501.44, 2364.64, 6302.32)},
        {2006, 2006, false, twoRateBands(14992.32, 29958.88, 2248.85, 5993.71)},
        {2005, 2005, false, twoRateBands(13968.00, 27912.00, 2095.20, 5584.20)},
        {2002, 2004, false, twoRateBands(12696.00, 25380.00, 1904.40, 5076.90)},
        {1998, 2001, false, twoRateBands(10800.00, 21600.00, 1620.00, 4320.00)},
        {1996, 1997, false, {{10800.00, 0, 0}, {21600.00, 150, 1620.00}, {kOpen, 250, 3780.00}}},
        // No published copy was at hand: twelve times the monthly table.
        {1995,
         1995,
         false,
         {{12000.00, 0, 0},
          {23400.00, 150, 1800.00},
          {216000.00, 266, 4516.68},
          {kOpen, 350, 22659.00}}},
    };
}

long long inCents(double amount) {
    return std::llround(amount * 100);
}

// The tax of the published table worked exactly, in whole units of 0.00001:
// rounded half up to the cent, or (2025 on) rounded at the fourth decimal and
// cut at the second.
double publishedAnnualTax(const AnnualTable& table, long long baseCents) {
    const AnnualBand* band = &table.bands.back();
    for (const AnnualBand& candidate : table.bands) {
        if (!std::isinf(candidate.upTo) && baseCents <= inCents(candidate.upTo)) {
            band = &candidate;
            break;
        }
    }
    const long long exact = baseCents * band->ratePerMille - inCents(band->deduction) * 1000;
    if (exact <= 0) return 0.0;
    const long long taxCents = table.truncates ? (exact + 5) / 10 / 100 : (exact + 500) / 1000;
    return static_cast<double>(taxCents) / 100;
}

// A base in each band and on each limit, a cent on either side of it.
std::vector<long long> basesToTry(const AnnualTable& table) {
    std::vector<long long> bases;
    long long lower = 0;
    for (const AnnualBand& band : table.bands) {
        const long long upper = std::isinf(band.upTo) ? lower + 2000000 : inCents(band.upTo);
        bases.push_back((lower + upper) / 2);
        if (!std::isinf(band.upTo)) {
            for (long long near : {upper - 1, upper, upper + 1})
                bases.push_back(near);
        }
        lower = upper;
    }
    return bases;
}

const std::vector<PublishedBand>& monthlyBands(int year, int month) {
    static const std::vector<PublishedTable> tables = publishedTables();
    for (const PublishedTable& table : tables) {
        if (year >= table.firstYear && year <= table.lastYear && month >= table.firstMonth &&
            month <= table.lastMonth)
            return table.bands;
    }
    ADD_FAILURE() << "no monthly table for " << year << "/" << month;
    static const std::vector<PublishedBand> none;
    return none;
}

}  // namespace

// The annual tables typed above are checked against the law's rule before the
// engine is checked against them: each limit is the sum of the monthly limits
// in force in the months of the year, and each deduction keeps the tax
// continuous at the lower limit of its band. 2011 is the exception the
// Receita published: twelve times the table the law set for that year, though
// withholding used it from April only. 1995 has no published table here.
TEST(AnnualTables, PublishedTablesFollowTheLawsRule) {
    for (const AnnualTable& table : publishedAnnualTables()) {
        if (table.firstYear == 1995) continue;
        for (int year : {table.firstYear, table.lastYear}) {
            for (size_t band = 0; band + 1 < table.bands.size(); ++band) {
                if (year == 2011) break;
                long long sum = 0;
                for (int month = 1; month <= 12; ++month) {
                    const std::vector<PublishedBand>& monthly = monthlyBands(year, month);
                    if (monthly.size() == table.bands.size()) sum += inCents(monthly[band].upTo);
                }
                EXPECT_EQ(sum, inCents(table.bands[band].upTo)) << year << " limit " << band + 1;
            }
        }
        for (size_t band = 1; band < table.bands.size(); ++band) {
            const AnnualBand& previous = table.bands[band - 1];
            const AnnualBand& current = table.bands[band];
            const double continuous =
                previous.deduction +
                (current.ratePerMille - previous.ratePerMille) / 1000.0 * previous.upTo;
            EXPECT_NEAR(current.deduction, continuous, 0.0101)
                << table.firstYear << " deduction " << band;
        }
    }
}

// The annual computation of every year against its published table: a base in
// each band and on each limit, and a cent on either side. The income is high
// enough to leave the 2026 reduction out; the month does not matter.
TEST(AnnualTables, EveryYearTaxesByItsPublishedAnnualTable) {
    for (const AnnualTable& table : publishedAnnualTables()) {
        for (int year : {table.firstYear, table.lastYear}) {
            for (long long baseCents : basesToTry(table)) {
                const double base = static_cast<double>(baseCents) / 100;
                const double expected = publishedAnnualTax(table, baseCents);
                EXPECT_DOUBLE_EQ(tax(year, 1, base, 13, base + 100000), expected)
                    << year << " base " << base;
                EXPECT_DOUBLE_EQ(tax(year, 1, base, 1, base + 100000), expected)
                    << year << " base " << base << " in January";
            }
        }
    }
}

// The figures of the issue and a few more, worked by hand.
TEST(AnnualTables, HandWorkedFigures) {
    // 2024: 30000.00 × 7.5 % − 2022.24, not twelve times January's table.
    EXPECT_DOUBLE_EQ(tax(2024, 1, 30000.00, 13, 30000.00), 227.76);
    // Month-weighted exemption limits: nothing up to them, tax a cent above.
    EXPECT_DOUBLE_EQ(tax(2015, 1, 22499.13, 13, 22499.13), 0.0);
    EXPECT_DOUBLE_EQ(tax(2015, 1, 22499.14, 13, 22499.14), 0.01);  // 1687.4355 − 1687.43
    EXPECT_DOUBLE_EQ(tax(2023, 1, 24511.92, 13, 24511.92), 0.0);
    EXPECT_DOUBLE_EQ(tax(2025, 1, 28467.20, 13, 28467.20), 0.0);
    EXPECT_DOUBLE_EQ(tax(2006, 1, 20000.00, 13, 20000.00), 751.15);  // 3000 − 2248.85
    // Deductions worked on the annual limits: 40000 × 15 % − 4257.57.
    EXPECT_DOUBLE_EQ(tax(2019, 1, 40000.00, 13, 40000.00), 1742.43);
    // 2026 above the reduction: 40000 × 15 % − 4729.91 and 60000 × 27.5 % − 10904.66.
    EXPECT_DOUBLE_EQ(tax(2026, 1, 40000.00, 13, 100000.00), 1270.09);
    EXPECT_DOUBLE_EQ(tax(2026, 1, 60000.00, 13, 100000.00), 5595.34);
    // 2002: 30000 × 27.5 % − 5076.90.
    EXPECT_DOUBLE_EQ(tax(2002, 1, 30000.00, 13, 30000.00), 3173.10);
    // The monthly tables stay: 2024 February's 3000.00 × 15 % − 4577.28 / 12.
    EXPECT_DOUBLE_EQ(tableOnlyTax(2024, 3000.00, 2), 68.56);
}
