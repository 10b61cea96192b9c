#include "tax/limits.h"

#include <gtest/gtest.h>

#include "base/named_values.h"
#include "tax_fixture.h"

using kdx2::base::Date;
using kdx2::tax::APONS;
using kdx2::tax::LIMIT1;
using kdx2::tax::LIMIT2;
using kdx2::tax::LIMIT3;
using kdx2::tax::LimitContext;
using kdx2::tax::VER_LIMIT;
using kdx2::tax_testing::AnsweringMessages;

namespace {

Date ymd(int year, int month, int day) {
    return *Date::fromYmd(year, month, day);
}

// A retired taxpayer who turns 65 on 15 March 2025.
LimitContext retiredIn2025() {
    return LimitContext{2025, ymd(1960, 3, 15), 8};
}

}  // namespace

TEST(SmallGoodsLimit, TheLimitItselfPassesWithoutAQuestion) {
    AnsweringMessages messages;
    EXPECT_DOUBLE_EQ(LIMIT3(35000.00), 35000.00);
    EXPECT_DOUBLE_EQ(LIMIT3(0), 0);
    EXPECT_DOUBLE_EQ(LIMIT3(-10), -10);
    EXPECT_TRUE(messages.shown.empty());
}

TEST(SmallGoodsLimit, ACentAboveAsksWhetherToTakeTheLimit) {
    AnsweringMessages messages;
    messages.answers = {"S", "N"};
    EXPECT_DOUBLE_EQ(LIMIT3(35000.01), 35000.00);
    EXPECT_DOUBLE_EQ(LIMIT3(35000.01), 35000.01);
    // Leaving the question without an answer keeps the value typed.
    EXPECT_DOUBLE_EQ(LIMIT3(50000), 50000);
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[0].kind, 2);
    EXPECT_EQ(
        messages.shown[0].lines,
        (std::vector<std::string>{
            "ATENÇAO! O valor limite para alienação", "de bens de pequenos valores nesse mês ",
            "é de R$      35.000,00" + std::string(16, ' '), "       Lança o limite?        "}));
}

TEST(RetiredOnlyLine, AsksOthersAndNoClearsTheValue) {
    AnsweringMessages messages;
    LimitContext employee{2025, ymd(1980, 1, 1), 1};
    EXPECT_DOUBLE_EQ(LIMIT2(0, employee), 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_DOUBLE_EQ(LIMIT2(1200, retiredIn2025()), 1200);
    EXPECT_TRUE(messages.shown.empty());

    messages.answers = {"N", "S"};
    EXPECT_DOUBLE_EQ(LIMIT2(1200, employee), 0);
    EXPECT_DOUBLE_EQ(LIMIT2(1200, employee), 1200);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].lines,
              (std::vector<std::string>{"ATENÇAO! Esse campo só pode ser usado",
                                        "  por aposentados ou reformados !!   ",
                                        " Usa mesmo fora dessas condições?    "}));
}

// Over 65 at the first day of the following month, and retired.
TEST(OverSixtyFive, AgeCountsAtTheStartOfTheNextMonth) {
    const LimitContext retired = retiredIn2025();
    EXPECT_FALSE(APONS(2, retired));  // 1 March 2025: not yet 65
    EXPECT_TRUE(APONS(3, retired));   // 1 April 2025
    EXPECT_TRUE(APONS(12, retired));  // measured on 1 December
    EXPECT_TRUE(APONS(13, LimitContext{2025, Date(), 1}));
    EXPECT_FALSE(APONS(6, LimitContext{2025, ymd(1950, 1, 1), 1}));  // not retired
    EXPECT_FALSE(APONS(6, LimitContext{2025, Date(), 8}));           // birth unknown
}

TEST(OverSixtyFive, PensionAboveTheMonthsLimitIsCutToIt) {
    AnsweringMessages messages;
    const LimitContext retired = retiredIn2025();
    EXPECT_DOUBLE_EQ(LIMIT1(0, 5, retired), 0);
    EXPECT_DOUBLE_EQ(LIMIT1(2275.08, 5, retired), 2275.08);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_DOUBLE_EQ(LIMIT1(3000, 5, retired), 2275.08);
    EXPECT_DOUBLE_EQ(LIMIT1(30000, 12, retired), 27300.96);  // 12 × 2275.08
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].kind, 1);
    EXPECT_EQ(messages.shown[0].lines, (std::vector<std::string>{"O limite para esse mês é de ",
                                                                 "     R$       2.275,08   "}));
    // Limits of other years and of a change within a year.
    EXPECT_DOUBLE_EQ(LIMIT1(5000, 3, LimitContext{2015, ymd(1940, 1, 1), 8}), 1787.77);
    EXPECT_DOUBLE_EQ(LIMIT1(5000, 4, LimitContext{2015, ymd(1940, 1, 1), 8}), 1903.78);
    EXPECT_DOUBLE_EQ(LIMIT1(5000, 1, LimitContext{2006, ymd(1930, 1, 1), 8}), 1164.00);
}

TEST(OverSixtyFive, OthersAreAskedFirst) {
    AnsweringMessages messages;
    const LimitContext young{2025, ymd(1970, 1, 1), 8};
    messages.answers = {"N", "S"};
    EXPECT_DOUBLE_EQ(LIMIT1(1000, 5, young), 0);
    EXPECT_DOUBLE_EQ(LIMIT1(3000, 5, young), 2275.08);
    ASSERT_EQ(messages.shown.size(), 3u);  // two questions and the limit notice
    EXPECT_EQ(
        messages.shown[0].lines,
        (std::vector<std::string>{"ATENÇÃO! Esse campo só deve ser usado por aposentados "
                                  "maiores de 65 anos   Usa mesmo fora dessas condições?    "}));
}

TEST(ExemptIncomeLines, DispatchByLine) {
    AnsweringMessages messages;
    messages.answers = {"S", "N"};
    const LimitContext employee{2025, ymd(1980, 1, 1), 1};
    EXPECT_DOUBLE_EQ(VER_LIMIT(40000, 2, 3, employee), 35000);  // small-value goods
    EXPECT_DOUBLE_EQ(VER_LIMIT(900, 6, 3, employee), 0);        // retired only
    EXPECT_DOUBLE_EQ(VER_LIMIT(99999, 1, 3, employee), 99999);  // no check
    EXPECT_DOUBLE_EQ(VER_LIMIT(99999, 5, 13, retiredIn2025()), 2275.08);
    EXPECT_EQ(messages.shown.size(), 3u);
}

TEST(ExemptIncomeLines, ContextFromTheWorkingValues) {
    kdx2::base::session().set("QUEANO", 2024);
    kdx2::base::NamedValues working;
    working.set("NASCIMENTO", ymd(1955, 7, 1));
    working.set("NATUREZA", 8);
    const LimitContext context = kdx2::tax::limitContext(working);
    EXPECT_EQ(context.year, 2024);
    EXPECT_EQ(context.NASCIMENTO, ymd(1955, 7, 1));
    EXPECT_EQ(context.NATUREZA, 8);
}
