// Fine and interest of a late slip. The rates are those of the SELIC table
// the program ships (data/sources/selic.csv); every expected figure below
// is the published rule worked out by hand: the fine is 0.33 % a day late,
// at most 20 % (Lei 9.430/1996, art. 61), the interest the SELIC of the
// months after the due month and before the payment month plus 1 % for the
// payment month (art. 61, § 3, with art. 5, § 3).

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "reports/darf_charges.h"

namespace kdx2::reports {
namespace {

base::Date d(int day, int month, int year) {
    return *base::Date::fromYmd(year, month, day);
}

// The shipped rates: every month of the source but those it marks as
// unconfirmed, which the program does not install either.
SelicTable shippedRates() {
    SelicTable selic;
    std::ifstream in(std::string(KDX2_SOURCE_DIR) + "/data/sources/selic.csv");
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        if (line.find("UNCONFIRMED") != std::string::npos) continue;
        std::istringstream fields(line);
        std::string key, rate;
        std::getline(fields, key, ',');
        std::getline(fields, rate, ',');
        selic.rates[std::stoi(key)] = std::stod(rate);
    }
    return selic;
}

class Interest : public ::testing::Test {
  protected:
    SelicTable selic = shippedRates();
};

TEST(Fine, ThirtyThreeHundredthsADayUpToTwentyAlsoAcrossAYearEnd) {
    EXPECT_EQ(fineRate(d(30, 12, 2025), d(2, 1, 2026)), 0.99);  // 3 days
    EXPECT_EQ(fineRate(d(10, 3, 2025), d(20, 3, 2025)), 3.3);
    EXPECT_EQ(fineRate(d(28, 2, 2025), d(29, 4, 2025)), 19.8);  // 60 days
    EXPECT_EQ(fineRate(d(28, 2, 2025), d(30, 4, 2025)), 20);    // 61 days: 20.13 capped
    EXPECT_EQ(fineRate(d(30, 12, 2025), d(30, 12, 2025)), 0);
    EXPECT_EQ(fineRate(d(30, 12, 2025), d(29, 12, 2025)), 0);
}

TEST(Charges, FineAndInterestTruncatedToTheCentAsDecimals) {
    const Charges slip = chargesOf(1000.00, 0.99, 1.00);
    EXPECT_EQ(slip.fine, 9.90);
    EXPECT_EQ(slip.interest, 10.00);
    EXPECT_EQ(slip.total, 1019.90);
    // 11 days: 3.63 % of 1,000.00 is 36.30 exactly, which a binary floor
    // would take for 36.29.
    EXPECT_EQ(chargesOf(1000.00, fineRate(d(1, 4, 2025), d(12, 4, 2025)), 0).fine, 36.30);
    // Truncated, not rounded: 3.3 % of 333.33 is 10.99989.
    EXPECT_EQ(chargesOf(333.33, 3.3, 0).fine, 10.99);
    // 1.96 % of 1,234.56 is 24.197376.
    EXPECT_EQ(chargesOf(1234.56, 0, 1.96).interest, 24.19);
    EXPECT_EQ(chargesOf(1234.56, 0, 1.96).total, 1258.75);
}

TEST_F(Interest, SelicOfTheMonthsBetweenPlusOnePercentForThePaymentMonth) {
    // Due 28/02/2025, paid in April: March 2025 (0.96) + 1.
    const InterestRate april = ACHAJURO(d(28, 2, 2025), d(15, 4, 2025), selic);
    EXPECT_EQ(april.rate, 1.96);
    EXPECT_TRUE(april.gaps.empty());
    EXPECT_FALSE(april.ranOffEnd);
    // Due 31/01/2024, paid in May: February 0.80, March 0.83, April 0.89.
    EXPECT_EQ(ACHAJURO(d(31, 1, 2024), d(10, 5, 2024), selic).rate, 3.52);
    // Due 30/12/2025, paid 02/01/2026: no month between.
    EXPECT_EQ(ACHAJURO(d(30, 12, 2025), d(2, 1, 2026), selic).rate, 1.00);
}

TEST_F(Interest, APaymentWithinTheDueMonthBearsNone) {
    EXPECT_EQ(ACHAJURO(d(10, 3, 2025), d(20, 3, 2025), selic).rate, 0);
    EXPECT_EQ(ACHAJURO(d(10, 3, 2025), d(10, 3, 2025), selic).rate, 0);
}

TEST_F(Interest, TheWalkStopsAtThePaymentMonthEvenWhenItHasNoRate) {
    selic.rates.erase(202404);
    // Due 31/01/2024, paid 10/04/2024: February and March only, never the
    // months of the table after April.
    const InterestRate paid = ACHAJURO(d(31, 1, 2024), d(10, 4, 2024), selic);
    EXPECT_EQ(paid.rate, 2.63);
    EXPECT_TRUE(paid.gaps.empty());
}

TEST_F(Interest, AMissingMonthIsToldAndTheOthersStillCount) {
    selic.rates.erase(202403);
    const InterestRate paid = ACHAJURO(d(31, 1, 2024), d(10, 5, 2024), selic);
    EXPECT_EQ(paid.rate, 2.69);  // 1 + 0.80 + 0.89
    EXPECT_EQ(paid.gaps, std::vector<int>{202403});
}

TEST_F(Interest, BeyondTheTableItCountsWhatItHasAndSaysSo) {
    // The shipped table ends in September 2025.
    const InterestRate late = ACHAJURO(d(29, 8, 2025), d(5, 1, 2026), selic);
    EXPECT_EQ(late.rate, 2.22);  // 1 + September 1.22
    EXPECT_TRUE(late.ranOffEnd);
    EXPECT_TRUE(late.gaps.empty());
    const InterestRate none = ACHAJURO(d(29, 8, 2025), d(5, 1, 2026), SelicTable{});
    EXPECT_EQ(none.rate, 1.00);
    EXPECT_TRUE(none.ranOffEnd);
}

TEST_F(Interest, BeforeSelicOnePercentAMonth) {
    // Due June 1994, paid March 1995: 12 x 1 year - 3 months.
    EXPECT_EQ(ACHAJURO(d(30, 6, 1994), d(10, 3, 1995), selic).rate, 9);
    EXPECT_EQ(ACHAJURO(d(30, 6, 1994), d(10, 8, 1994), selic).rate, 2);
}

TEST(SelicTable, OutOfDateAgainstTheMonthThirtyDaysAgo) {
    SelicTable selic;
    selic.rates[202509] = 1.22;
    EXPECT_EQ(selicStaleness(selic, d(2, 1, 2026)), Staleness::OlderMonth);  // against 12/2025
    EXPECT_EQ(selicStaleness(selic, d(15, 10, 2025)), Staleness::Current);   // against 09/2025
    EXPECT_EQ(selicStaleness(selic, d(15, 2, 2026)), Staleness::OlderYear);  // against 01/2026
    EXPECT_EQ(selicStaleness(SelicTable{}, d(15, 2, 2026)), Staleness::OlderYear);
}

TEST(Validity, UntilTheDueDateThenTheDayPaidOrTheMonthOnceTheFineIsCapped) {
    Validity early = validityOf(d(30, 12, 2025), d(15, 12, 2025), 0);
    EXPECT_EQ(early.word, "ate");
    EXPECT_EQ(early.date, d(30, 12, 2025));
    Validity onTheDay = validityOf(d(30, 12, 2025), d(30, 12, 2025), 0);
    EXPECT_EQ(onTheDay.word, "dia");
    EXPECT_EQ(onTheDay.date, d(30, 12, 2025));
    Validity late = validityOf(d(30, 12, 2025), d(2, 1, 2026), 0.99);
    EXPECT_EQ(late.word, "dia");
    EXPECT_EQ(late.date, d(2, 1, 2026));
    // Capped at 20 %: nothing grows until the end of March 2026.
    Validity capped = validityOf(d(30, 12, 2025), d(2, 3, 2026), 20);
    EXPECT_EQ(capped.word, "ate");
    EXPECT_EQ(capped.date, d(31, 3, 2026));
}

}  // namespace
}  // namespace kdx2::reports
