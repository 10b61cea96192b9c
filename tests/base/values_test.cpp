#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/cp850.h"
#include "base/date.h"
#include "base/named_values.h"
#include "base/text.h"

using namespace kdx2::base;

TEST(Dates, JulianDayNumbersMatchTheIndexFormat) {
    EXPECT_EQ(Date::fromYmd(2000, 1, 1)->julian(), 2451545);
    EXPECT_EQ(Date::fromYmd(1, 1, 1)->julian(), 1721426);
    const Date d = *Date::fromDtos("20240229");
    EXPECT_EQ(d.year(), 2024);
    EXPECT_EQ(d.month(), 2);
    EXPECT_EQ(d.day(), 29);
    EXPECT_EQ(d.dtoc(), "29/02/2024");
    EXPECT_EQ(d.plusDays(1).dtos(), "20240301");
}

TEST(Dates, BlankAndInvalidTexts) {
    EXPECT_TRUE(Date::fromDtos("        ")->empty());
    EXPECT_TRUE(Date::fromDtoc("  /  /    ")->empty());
    EXPECT_FALSE(Date::fromDtos("20230229").has_value());
    EXPECT_FALSE(Date::fromDtoc("31/04/2024").has_value());
    EXPECT_EQ(Date::fromDtoc("05/06/98")->year(), 1998);  // 1900 epoch
    EXPECT_EQ(Date().dtos(), "        ");
}

TEST(Numbers, FixedFormattingRoundsHalfAwayFromZero) {
    EXPECT_EQ(formatFixed(1.005, 6, 2), "  1.01");
    EXPECT_EQ(formatFixed(-2.5, 3, 0), " -3");
    EXPECT_EQ(formatFixed(-0.001, 5, 2), " 0.00");
    EXPECT_EQ(formatFixed(1234.5, 6, 0), "  1235");
    EXPECT_FALSE(formatFixed(123456.0, 5, 0).has_value());
    EXPECT_DOUBLE_EQ(roundDecimal(2.675, 2), 2.68);
    EXPECT_DOUBLE_EQ(parseNumber("  -12.50xyz"), -12.5);
    EXPECT_DOUBLE_EQ(parseNumber(""), 0.0);
}

// Results of arithmetic are rounded as the decimals they stand for, even where
// cancellation left the double visibly below a half cent.
TEST(Numbers, ComputedHalfCentsRoundAsDecimals) {
    volatile double income = 7000.00;                     // computed at run time, not folded
    const double reduction = 978.62 - income * 0.133145;  // 46.605
    EXPECT_EQ(fixedText(reduction, 2), "46.61");
    EXPECT_EQ(fixedText(-reduction, 2), "-46.61");
    EXPECT_DOUBLE_EQ(roundDecimal(0.15 * 3587.10 - 354.80, 2), 183.27);
    EXPECT_EQ(fixedText(1041.55 - 584.50005, 4), "457.0500");  // 457.04995
    EXPECT_EQ(fixedText(0.1 + 0.2, 17), "0.30000000000000000");
    // A value just short of a tie is not one.
    EXPECT_EQ(fixedText(46.6049, 2), "46.60");
    EXPECT_EQ(fixedText(0.00499999, 2), "0.00");
}

TEST(Numbers, FixedTextOfLargeSmallAndOddValues) {
    EXPECT_EQ(fixedText(9999999999.995, 2), "10000000000.00");  // carried through every digit
    EXPECT_EQ(fixedText(1e20, 2), "100000000000000000000.00");
    EXPECT_EQ(fixedText(123456789012.34, 2), "123456789012.34");
    EXPECT_EQ(fixedText(1.5e-7, 9), "0.000000150");
    EXPECT_EQ(fixedText(1.0 / 3, 12), "0.333333333333");  // more decimals asked for: kept
    EXPECT_EQ(fixedText(1e-20, 2), "0.00");
    EXPECT_EQ(fixedText(-0.0, 2), "0.00");
    EXPECT_EQ(fixedText(std::numeric_limits<double>::infinity(), 2), "0");
    EXPECT_EQ(fixedText(std::nan(""), 2), "0");
    EXPECT_EQ(fixedText(2.5, -1), "3");  // negative decimals read as none
    EXPECT_FALSE(formatFixed(1e300, 20, 2).has_value());
}

TEST(CodePage, RoundTripsPortugueseText) {
    const std::string utf8 = "Ação São Paulo – ÇÃÕ";
    const std::string text = cp850::fromUtf8(utf8);
    EXPECT_EQ(static_cast<unsigned char>(text[1]), 0x87);    // ç
    EXPECT_EQ(static_cast<unsigned char>(text[2]), 0xC6);    // ã
    EXPECT_EQ(cp850::toUtf8(text), "Ação São Paulo ? ÇÃÕ");  // the dash is not in CP850
    EXPECT_EQ(cp850::toUtf8(cp850::upper(cp850::fromUtf8("ação"))), "AÇÃO");
    EXPECT_EQ(asciiUpper(cp850::fromUtf8("ação")), cp850::fromUtf8("AçãO"));
    EXPECT_EQ(cp850::toUnicode(0xC4), U'─');
}

TEST(NamedValues, NamesAreCaseBlind) {
    NamedValues values;
    values.set("queano", 2025);
    EXPECT_TRUE(values.has("QUEANO"));
    EXPECT_EQ(values.integer("QueAno"), 2025);
    EXPECT_EQ(values.text("missing"), "");
    values.set("QUEANO", "x");
    EXPECT_EQ(values.entries().size(), 1u);
}
