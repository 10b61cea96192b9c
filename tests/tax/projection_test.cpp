// The annual projection. Every expected figure is worked out by hand from the
// published rules (Lei 9.250/1995 arts. 8, 10 and 12; the annual tables of
// each year) and written here as a number, never taken from the code.

#include <gtest/gtest.h>

#include <string>

#include "base/cp850.h"
#include "base/named_values.h"
#include "common/numbers.h"
#include "tax/projection.h"

namespace kdx2::tax {
namespace {

using namespace base::literals;

// Rows of the summary the tests read.
constexpr int kIndividualsRow = 3;
constexpr int kIncomeRow = 6;
constexpr int kSocialSecurityRow = 7;
constexpr int kPrivatePensionRow = 8;
constexpr int kMonthlyDeductionsRow = 12;
constexpr int kEducationRow = 14;
constexpr int kAnnualDeductionsRow = 16;
constexpr int kSimplifiedRow = 17;
constexpr int kBaseRow = 18;
constexpr int kTaxRow = 19;
constexpr int kIncentivesRow = 20;
constexpr int kTaxDueRow = 21;
constexpr int kPaidFirstRow = 22;
constexpr int kBalanceRow = 26;
constexpr int kCarneDueRow = 27;
constexpr int kSuggestedRow = 28;
constexpr int Y = Summary::kYear;

class Projection : public ::testing::Test {
  protected:
    Summary compute() { return CALCULA_TUDO(carne, figures, settings); }

    // Income of the holder from a company, spread evenly over `months`.
    void holderCompanyIncome(double perMonth, int months, double withheldPerMonth = 0) {
        CompanyItem item;
        item.kind = "J";
        for (int month = 1; month <= months; ++month) {
            item.income.add(month, perMonth);
            item.withheld.add(month, withheldPerMonth);
        }
        companyItems.push_back(item);
        figures.company = SOMA_JUR(companyItems);
    }

    void pay(int code, double annual, int dependant = 0, int month = 1) {
        PaymentItem item;
        item.code = code;
        item.annual = annual;
        item.dependant = dependant;
        item.monthly[static_cast<size_t>(month - 1)] = annual;
        payments.push_back(item);
        figures.payments = FDE_TUDO(payments, 0, 0);
    }

    CarneLeao carne;
    ProjectionFigures figures;
    ProjectionSettings settings{.QUEANO = 2025, .QMEDIA = 12, .QUALMENS = "1", .MES_ATU = 12};
    std::vector<CompanyItem> companyItems;
    std::vector<PaymentItem> payments;
};

// ---- Projection of the year ----

TEST_F(Projection, SixMonthsOverSixMonthsProjectTheWholeYear) {
    settings.QMEDIA = 6;
    for (int month = 1; month <= 6; ++month)
        carne.TRECFIS.add(month, 10000.00);
    const Summary summary = compute();
    EXPECT_DOUBLE_EQ(summary.amount(kIndividualsRow, Y), 120000.00);
    EXPECT_DOUBLE_EQ(summary.amount(kIncomeRow, Y), 120000.00);
    EXPECT_DOUBLE_EQ(summary.amount(kIndividualsRow, 3), 10000.00);
    EXPECT_EQ(summary.amount(kIndividualsRow, 7), 0.0);
    EXPECT_EQ(summary.text(kIncomeRow, Y), "    120.000,00");
    EXPECT_EQ(summary.note, "O valor anual esta projetado com a média de 06 meses"_cp);
}

TEST_F(Projection, MonthsOutsideOneToTwelveAreKeptInRange) {
    carne.TRECFIS.add(1, 1000.00);
    settings.QMEDIA = 0;  // a blank setting must not divide by zero
    EXPECT_DOUBLE_EQ(compute().amount(kIndividualsRow, Y), 12000.00);
    settings.QMEDIA = 15;
    EXPECT_DOUBLE_EQ(compute().amount(kIndividualsRow, Y), 1000.00);
    settings.QMEDIA = 1;
    EXPECT_EQ(compute().note, "O valor anual esta projetado com a média de 01 mês  "_cp);
    settings.QMEDIA = 12;
    EXPECT_EQ(compute().note, std::string(54, '\xC4'));
}

// 2024, 120,000.00 from a company, nothing withheld: the simplified discount
// (16,754.34) beats no deductions; base 103,245.66 taxed by the annual table
// of 2024: 103,245.66 x 27.5 % - 10,740.98 = 17,651.5765, 17,651.58.
TEST_F(Projection, AnnualTaxUsesThePublishedAnnualTable) {
    settings.QUEANO = 2024;
    holderCompanyIncome(10000.00, 12);
    const Summary summary = compute();
    EXPECT_TRUE(summary.simplified);
    EXPECT_DOUBLE_EQ(summary.amount(kSimplifiedRow, Y), 16754.34);
    EXPECT_DOUBLE_EQ(summary.amount(kBaseRow, Y), 103245.66);
    EXPECT_DOUBLE_EQ(summary.amount(kTaxRow, Y), 17651.58);
    EXPECT_DOUBLE_EQ(summary.amount(kTaxDueRow, Y), 17651.58);
    EXPECT_DOUBLE_EQ(summary.amount(kSuggestedRow, Y), 17651.58);
}

// A 2026 taxpayer with 5,000.00 a month all year: income 60,000.00, the
// simplified discount 12,000.00, base 48,000.00; the table gives 48,000.00 x
// 22.5 % - 8,105.85 = 2,694.15, which the reduction for incomes up to
// 60,000.00 cancels. Each month the carnê-leão of 5,000.00 is cancelled too.
TEST_F(Projection, TwentyTwentySixIncomeOfFiveThousandAMonthOwesNoTax) {
    settings.QUEANO = 2026;
    for (int month = 1; month <= 12; ++month)
        carne.TRECFIS.add(month, 5000.00);
    const Summary summary = compute();
    EXPECT_DOUBLE_EQ(summary.amount(kBaseRow, Y), 48000.00);
    EXPECT_EQ(summary.amount(kTaxRow, Y), 0.0);
    EXPECT_EQ(summary.amount(kTaxDueRow, Y), 0.0);
    for (int month = 1; month <= 12; ++month)
        EXPECT_EQ(summary.amount(kCarneDueRow, month), 0.0) << month;
}

// 2004 let each company income above 500.00 count 500.00 less: 30,000.00 less
// the discount of 6,000.00 (20 %, below 9,400.00) and 500.00 is 23,500.00,
// taxed 23,500.00 x 15 % - 1,904.40 = 1,620.60 (annual table of 2002-2004,
// whose deduction 1,904.40 is 12 x 158.70).
TEST_F(Projection, TwentyZeroFourCompanyIncomeAllowance) {
    settings.QUEANO = 2004;
    holderCompanyIncome(2500.00, 12);
    const Summary summary = compute();
    EXPECT_DOUBLE_EQ(summary.amount(kSimplifiedRow, Y), 6000.00);
    EXPECT_DOUBLE_EQ(summary.amount(kBaseRow, Y), 23500.00);
    EXPECT_DOUBLE_EQ(summary.amount(kTaxRow, Y), 1620.60);
}

// ---- Deductions ----

TEST_F(Projection, EducationIsCappedPerPersonWithTheLimitLabel) {
    carne.N_DEPEN = 2;
    pay(1, 5000.00, 1);
    pay(2, 5000.00, 2);
    settings.OPCAO_1 = 1;  // the summary printed from the main menu
    Summary summary = compute();
    EXPECT_DOUBLE_EQ(summary.amount(kEducationRow, Y), 7123.00);  // 2 x 3,561.50
    EXPECT_EQ(summary.labels[kEducationRow], "Despesas c/instrucao=LIMITE");

    // In the declaration the label stays as it opened.
    settings.OPCAO_1 = 11;
    summary = compute();
    EXPECT_DOUBLE_EQ(summary.amount(kEducationRow, Y), 7123.00);
    EXPECT_EQ(summary.labels[kEducationRow], "Despesas com instrução     "_cp);
}

TEST_F(Projection, EducationOfUnknownPeopleGoesToTheHolder) {
    carne.N_DEPEN = 1;
    pay(1, 2000.00, 0);
    pay(1, 1000.00, 7);  // no such dependant: the holder's share
    pay(1, 3000.00, 1);
    settings.OPCAO_1 = 1;
    const Summary summary = compute();
    // Holder 3,000.00 (below the limit) + dependant 3,000.00.
    EXPECT_DOUBLE_EQ(summary.amount(kEducationRow, Y), 6000.00);
    EXPECT_EQ(summary.labels[kEducationRow], "Despesas com instrucao     ");
    payments.clear();
    figures.payments = FDE_TUDO(payments, 0, 0);
    EXPECT_EQ(compute().labels[kEducationRow], "Sem abatimento c/instrucao ");
}

// 100,000.00 of income and 20,000.00 of private pension: the pension counts
// up to 12 % of the income, 12,000.00; the simplified discount (16,754.34)
// is still larger.
TEST_F(Projection, PrivatePensionIsCutToTwelvePercentOfTheIncome) {
    settings.QUEANO = 2024;
    holderCompanyIncome(10000.00, 10);
    pay(36, 20000.00);
    const Summary summary = compute();
    EXPECT_DOUBLE_EQ(summary.amount(kPrivatePensionRow, Y), 12000.00);
    EXPECT_DOUBLE_EQ(summary.amount(kAnnualDeductionsRow, Y), 12000.00);
    EXPECT_TRUE(summary.simplified);
    // The month shows what was paid, without a limit.
    EXPECT_DOUBLE_EQ(summary.amount(kPrivatePensionRow, 1), 20000.00);
}

// 2024, 100,000.00 of income and medical expenses equal to the simplified
// discount: the legal deductions stay, base 83,245.66, tax 83,245.66 x
// 27.5 % - 10,740.98 = 12,151.58; donations of 1,000.00 deduct up to 6 % of
// it, 729.09, leaving 11,422.49.
TEST_F(Projection, TieKeepsTheLegalDeductionsAndTheIncentives) {
    settings.QUEANO = 2024;
    settings.OPCAO_1 = 1;
    holderCompanyIncome(10000.00, 10);
    pay(10, 16754.34);
    pay(40, 1000.00);
    Summary summary = compute();
    EXPECT_FALSE(summary.simplified);
    EXPECT_DOUBLE_EQ(summary.amount(kBaseRow, Y), 83245.66);
    EXPECT_DOUBLE_EQ(summary.amount(kTaxRow, Y), 12151.58);
    EXPECT_DOUBLE_EQ(summary.amount(kIncentivesRow, Y), 729.09);
    EXPECT_DOUBLE_EQ(summary.amount(kTaxDueRow, Y), 11422.49);
    EXPECT_EQ(summary.labels[kIncentivesRow], "Deduçoes incentivos  LIMITE"_cp);

    // One cent less of medical expenses: the simplified discount wins and
    // the donations deduct nothing.
    payments.front().annual = payments.front().monthly[0] = 16754.33;
    figures.payments = FDE_TUDO(payments, 0, 0);
    settings.OPCAO_1 = 11;
    summary = compute();
    EXPECT_TRUE(summary.simplified);
    EXPECT_EQ(summary.amount(kIncentivesRow, Y), 0.0);
    EXPECT_DOUBLE_EQ(summary.amount(kTaxDueRow, Y), 12151.58);
    EXPECT_EQ(summary.labels[kIncentivesRow], "Ded.de Incentivo");
}

// The dependants' social security and withheld tax count with their income:
// 2024, 60,000.00 of a dependant's income with 6,000.00 of social security
// and 3,000.00 withheld; the simplified discount 12,000.00 beats 6,000.00,
// base 48,000.00, tax 48,000.00 x 22.5 % - 7,942.17 = 2,857.83, balance
// 2,857.83 - 3,000.00.
TEST_F(Projection, DependantsSocialSecurityAndWithheldTaxCount) {
    settings.QUEANO = 2024;
    CompanyItem item;
    item.kind = "D";
    for (int month = 1; month <= 12; ++month) {
        item.income.add(month, 5000.00);
        item.socialSecurity.add(month, 500.00);
        item.withheld.add(month, 250.00);
    }
    figures.company = SOMA_JUR({item});
    const Summary summary = compute();
    EXPECT_DOUBLE_EQ(summary.amount(kSocialSecurityRow, Y), 6000.00);
    EXPECT_DOUBLE_EQ(summary.amount(kTaxRow, Y), 2857.83);
    EXPECT_DOUBLE_EQ(summary.amount(kPaidFirstRow + 1, Y), 3000.00);
    EXPECT_DOUBLE_EQ(summary.amount(kBalanceRow, Y), -142.17);
    EXPECT_EQ(summary.amount(kSuggestedRow, Y), 0.0);
    EXPECT_EQ(summary.text(kBalanceRow, Y), "       -142,17");
}

// ---- The complementary payment ----

// The 2024 case above owes 17,651.58 for the year. In October with no
// complementary payment it is spread over October, November and December.
TEST_F(Projection, FirstMethodInOctoberDividesTheShortfallByThree) {
    settings.QUEANO = 2024;
    settings.MES_ATU = 10;
    holderCompanyIncome(10000.00, 12);
    const Summary summary = compute();
    EXPECT_DOUBLE_EQ(summary.quota, 5883.86);
    for (int month = 1; month <= 9; ++month)
        EXPECT_EQ(summary.amount(kSuggestedRow, month), 0.0) << month;
    for (int month = 10; month <= 12; ++month)
        EXPECT_DOUBLE_EQ(summary.amount(kSuggestedRow, month), 5883.86) << month;
    EXPECT_EQ(summary.labels[kSuggestedRow], "Mensalão/Poupança sugerido "_cp);
}

// A complementary payment of 1,000.00 in November leaves 16,651.58 for the
// two months not yet paid. The quota counts that payment from the payments
// themselves, on the first computation, not from a month column filled
// later (which would divide by 3).
TEST_F(Projection, QuotaCountsThePaymentsOfThisComputation) {
    settings.QUEANO = 2024;
    settings.MES_ATU = 10;
    holderCompanyIncome(10000.00, 12);
    pay(69, 1000.00, 0, 11);
    const Summary summary = compute();
    EXPECT_DOUBLE_EQ(summary.amount(kBalanceRow, Y), 16651.58);
    EXPECT_DOUBLE_EQ(summary.quota, 8325.79);
    EXPECT_DOUBLE_EQ(summary.amount(kSuggestedRow, 10), 8325.79);
    EXPECT_DOUBLE_EQ(summary.amount(kSuggestedRow, 11), 1000.00);
    EXPECT_DOUBLE_EQ(summary.amount(kSuggestedRow, 12), 8325.79);
}

// The carnê-leão still owed in the monthly grid is left out of the
// suggestion: it is paid month by month anyway.
TEST_F(Projection, CarneStillOwedIsLeftOutOfTheSuggestion) {
    settings.QUEANO = 2024;
    holderCompanyIncome(10000.00, 12);
    carne.REC_MENSAL.setAmount(MonthlyGrid::kTotalRow, MonthlyGrid::kTaxDue, 500.00);
    carne.REC_MENSAL.setAmount(MonthlyGrid::kTotalRow, MonthlyGrid::kTaxPaid, 200.00);
    const Summary summary = compute();
    EXPECT_DOUBLE_EQ(summary.amount(kCarneDueRow, Y), 300.00);
    EXPECT_DOUBLE_EQ(summary.amount(kSuggestedRow, Y), 17351.58);
}

// Second method, May 2025: 10,000.00 from a company with 1,000.00 withheld.
// The monthly discount 607.20 replaces the missing deductions: 9,392.80 x
// 27.5 % - 908.73 = 1,674.29; less 1,000.00 withheld, less the 200.00 of
// medical expenses of the month.
TEST_F(Projection, SecondMethodTakesTheMonthsDueLessPaid) {
    settings.QUALMENS = "2";
    CompanyItem item;
    item.kind = "J";
    item.income.add(5, 10000.00);
    item.withheld.add(5, 1000.00);
    figures.company = SOMA_JUR({item});
    pay(8, 200.00, 0, 5);
    const Summary summary = compute();
    EXPECT_DOUBLE_EQ(summary.amount(kTaxRow, 5), 1674.29);
    EXPECT_DOUBLE_EQ(summary.amount(kBalanceRow, 5), 674.29);
    EXPECT_DOUBLE_EQ(summary.amount(kSuggestedRow, 5), 474.29);
    EXPECT_EQ(summary.quota, 0.0);
    EXPECT_EQ(summary.labels[kSuggestedRow], "Mensalão a recolher........"_cp);
}

// ---- The monthly carnê-leão of the summary ----

// March 2025, 6,000.00 received from abroad only: the carnê-leão is due on
// it as on income from individuals. The monthly discount 564.80 replaces the
// missing deductions: 5,435.20 x 27.5 % - 896.00 = 598.68.
TEST_F(Projection, IncomeFromAbroadIsInTheCarneBase) {
    carne.TRECEXT.add(3, 6000.00);
    const Summary summary = compute();
    EXPECT_DOUBLE_EQ(summary.amount(kCarneDueRow, 3), 598.68);
}

TEST_F(Projection, MonthlyCarneDueMatchesTheMonthlyGrid) {
    base::session().set("QUEANO", 2025);
    carne.N_DEPEN = 1;
    for (int month = 1; month <= 12; ++month) {
        carne.TRECFIS.add(month, 3000.00 + 400 * month);
        carne.TRECEXT.add(month, month % 3 == 0 ? 1500.00 : 0.0);
        carne.TPAGLCX.add(month, 250.00);
        carne.TPAGPRE.add(month, 300.00);
        carne.TPAGLEO.add(month, 100.00);
    }
    PaymentItem alimony;
    alimony.code = 31;
    alimony.monthly.fill(400.00);
    rebuildGridFromEntries(carne, {alimony});
    const Summary summary = compute();
    for (int month = 1; month <= 12; ++month) {
        const double gridDue = carne.REC_MENSAL.amount(month, MonthlyGrid::kTaxDue);
        EXPECT_NEAR(summary.amount(kCarneDueRow, month) + 100.00, gridDue, 1e-9) << month;
        EXPECT_GT(gridDue, 0.0) << month;
    }
}

// ---- One month ----

// The month's deductions are alimony, social security (own, withheld, the
// dependants'), dependants and the cash book; medical and education expenses
// are only shown.
TEST_F(Projection, MonthlyDeductions) {
    settings.QUEANO = 2024;
    carne.N_DEPEN = 2;
    carne.DESPPEN.add(4, 300.00);
    carne.TPAGPRE.add(4, 100.00);
    carne.TPAGLCX.add(4, 50.00);
    CompanyItem holder;
    holder.kind = "J";
    holder.income.add(4, 8000.00);
    holder.socialSecurity.add(4, 700.00);
    CompanyItem dependant;
    dependant.kind = "D";
    dependant.income.add(4, 2000.00);
    dependant.socialSecurity.add(4, 200.00);
    figures.company = SOMA_JUR({holder, dependant});
    pay(8, 999.00, 0, 4);
    const Summary summary = compute();
    // 300 + 100 + 700 + 200 + 2 x 189.59 + 50.
    EXPECT_DOUBLE_EQ(summary.amount(kMonthlyDeductionsRow, 4), 1729.18);
    EXPECT_DOUBLE_EQ(summary.amount(kBaseRow, 4), 10000.00 - 1729.18);
    EXPECT_DOUBLE_EQ(summary.amount(kSocialSecurityRow, 4), 1000.00);
}

TEST_F(Projection, SeparatorsAndTheDisplayGrid) {
    carne.TRECFIS.add(2, 1234567890.12);  // wider than the picture's separators
    const Summary summary = compute();
    const Summary::Grid grid = summary.grid();
    EXPECT_EQ(grid[12][1], std::string(14, '-'));  // monthly deductions, year
    EXPECT_EQ(grid[5][3], std::string(14, '-'));   // rural, a month
    EXPECT_EQ(grid[15][4], std::string(14, '-'));
    EXPECT_EQ(grid[16][13], std::string(14, '-'));  // December
    EXPECT_EQ(grid[17][5], std::string(14, ' '));   // no simplified discount by month
    EXPECT_EQ(grid[1][0], "Rec. P.Jurídicas (Titular) "_cp);
    EXPECT_EQ(grid[30][0], "Imposto s/renda variável   "_cp);
    const std::string wide = grid[kIndividualsRow][3];
    EXPECT_EQ(wide.size(), 14u);
    EXPECT_EQ(wide.find('*'), std::string::npos);
    EXPECT_DOUBLE_EQ(common::CAR_TO_VAL(wide), 1234567890.12);

    Summary rounded;
    rounded.set(kBalanceRow, 5, 0.30 - 0.10 - 0.20 - 0.001);  // a difference of nothing
    EXPECT_EQ(rounded.text(kBalanceRow, 5), std::string(14, ' '));
}

// ---- Company income ----

TEST(CompanyIncome, SumsHolderAndDependantsAndTheFormTotals) {
    CompanyItem holder;
    holder.kind = "J";
    holder.income.add(1, 100.00);
    holder.income[13] = 1300.00;  // the item's own total, not the sum of months
    holder.thirteenth[13] = 700.00;
    holder.profits[13] = 50.00;
    holder.I1_9 = 999.00;  // only a dependant's counts
    CompanyItem dependant;
    dependant.kind = "d";
    dependant.income.add(2, 200.00);
    dependant.thirteenth[13] = 80.00;
    dependant.profits[13] = 20.00;
    dependant.I1_9 = 30.00;
    dependant.I1_10 = 40.00;
    CompanyItem other;
    other.kind = "F";
    other.income.add(1, 5000.00);
    const CompanyIncome sums = SOMA_JUR({holder, dependant, other});
    EXPECT_DOUBLE_EQ(sums.TRECJUR[1], 100.00);
    EXPECT_DOUBLE_EQ(sums.TRECJUR[13], 1300.00);
    EXPECT_DOUBLE_EQ(sums.TRECDEP[2], 200.00);
    EXPECT_DOUBLE_EQ(sums.I4_01T, 700.00);
    EXPECT_DOUBLE_EQ(sums.I3_05T, 70.00);
    EXPECT_DOUBLE_EQ(sums.I3_13T, 30.00);
    EXPECT_DOUBLE_EQ(sums.I4_06T, 120.00);
}

// ---- Payments and limits ----

TEST(Payments, ClassifiedByCode) {
    auto payment = [](int code, double january, double annual = 0, int dependant = 0) {
        PaymentItem item;
        item.code = code;
        item.monthly[0] = january;
        item.annual = annual;
        item.dependant = dependant;
        return item;
    };
    const PaymentSums sums = FDE_TUDO(
        {payment(2, 10, 500, 1), payment(26, 20), payment(31, 30), payment(38, 40), payment(43, 50),
         payment(69, 60), payment(35, 70), payment(5, 80), payment(95, 90)},
        1000.00, 2275.08);
    EXPECT_DOUBLE_EQ(sums.DESPESC[1], 10);
    EXPECT_DOUBLE_EQ(sums.DESPMED[13], 20);
    EXPECT_DOUBLE_EQ(sums.TPAGPPRI[1], 40);
    EXPECT_DOUBLE_EQ(sums.DESPINC[1], 50);
    EXPECT_DOUBLE_EQ(sums.DESPMEN[1], 60);
    EXPECT_DOUBLE_EQ(sums.DESPOUT[13], 80 + 90);
    // Dependants and "O" items, then every payment up to code 90 except 35:
    // the alimony too, and not code 95.
    EXPECT_DOUBLE_EQ(sums.TDESP_CR, 2275.08 + 1000.00 + 10 + 20 + 30 + 40 + 50 + 60 + 80);
    EXPECT_TRUE(sums.DESPINST);
    EXPECT_DOUBLE_EQ(sums.educationByPerson.at(1), 500);
}

// Lei 9.250/1995 art. 10 (ceilings) and art. 8 II b (education).
TEST(Limits, SimplifiedDiscountAndEducation) {
    EXPECT_DOUBLE_EQ(PADRAO(2027, 200000.00), 17640.00);
    EXPECT_DOUBLE_EQ(PADRAO(2026, 200000.00), 17640.00);
    EXPECT_DOUBLE_EQ(PADRAO(2025, 200000.00), 16754.34);
    EXPECT_DOUBLE_EQ(PADRAO(2016, 200000.00), 16754.34);
    EXPECT_DOUBLE_EQ(PADRAO(2015, 200000.00), 16754.34);
    EXPECT_DOUBLE_EQ(PADRAO(2014, 200000.00), 15880.89);
    EXPECT_DOUBLE_EQ(PADRAO(2007, 200000.00), 11669.72);
    EXPECT_DOUBLE_EQ(PADRAO(2025, 50000.05), 10000.01);
    EXPECT_EQ(PADRAO(2025, -100), 0.0);
    EXPECT_DOUBLE_EQ(educationLimit(2014), 3375.83);
    EXPECT_DOUBLE_EQ(educationLimit(2026), 3561.50);
    EXPECT_DOUBLE_EQ(educationLimit(2003), 1998.00);
    EXPECT_DOUBLE_EQ(FDEDU_INCE(1000.00, 10000.00), 600.00);
    EXPECT_DOUBLE_EQ(FDEDU_INCE(100.00, 10000.00), 100.00);
    EXPECT_EQ(FDEDU_INCE(100.00, -50.00), 0.0);
}

}  // namespace
}  // namespace kdx2::tax
