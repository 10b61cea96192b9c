#include <gtest/gtest.h>

#include <cmath>

#include "common/numbers.h"

using namespace kdx2::common;

TEST(Despreza, RoundsAtTheFourthDecimalThenTruncates) {
    EXPECT_DOUBLE_EQ(DESPREZA(1.23999, 12), 1.24);
    EXPECT_DOUBLE_EQ(DESPREZA(1.23499, 12), 1.23);
    EXPECT_DOUBLE_EQ(DESPREZA(1.239, 12), 1.23);
    EXPECT_DOUBLE_EQ(DESPREZA(-1.239, 12), -1.23);
    EXPECT_DOUBLE_EQ(DESPREZA(0.1 + 0.2, 12), 0.3);  // binary noise is not truncated away
    EXPECT_DOUBLE_EQ(DESPREZA(123456789012.349, 5), 123456789012.34);
    EXPECT_DOUBLE_EQ(DESPREZA(1.23456, 12, 3), 1.234);
}

// The cut falls on the decimal value: 1041.55 − 584.50005 is 457.04995 (a double
// a little below it), which rounds to 457.0500 at the fourth decimal.
TEST(Despreza, WorksOnTheDecimalValue) {
    volatile double amount = 1041.55;  // computed at run time, not folded
    EXPECT_DOUBLE_EQ(DESPREZA(amount - 584.50005, 15), 457.05);
    EXPECT_DOUBLE_EQ(DESPREZA(-(amount - 584.50005), 15), -457.05);
    // 4392.80 × 22.5 % − 675.49 is 312.89 exactly, not 312.8899…
    EXPECT_DOUBLE_EQ(DESPREZA(4392.80 * 0.225 - 675.49, 15), 312.89);
    EXPECT_DOUBLE_EQ(DESPREZA(457.04994, 15), 457.04);  // below the tie: cut
    EXPECT_DOUBLE_EQ(DESPREZA(-0.0012, 15), 0.0);
    EXPECT_FALSE(std::signbit(DESPREZA(-0.0012, 15)));
    EXPECT_DOUBLE_EQ(DESPREZA(1e300, 15), 1e300);           // huge values pass whole, no crash
    EXPECT_DOUBLE_EQ(DESPREZA(1.23456, 15, 2, 1), 1.2346);  // other modes only round
}

TEST(CarToVal, ReadsBrazilianAmounts) {
    EXPECT_DOUBLE_EQ(CAR_TO_VAL("1.234.567,89"), 1234567.89);
    EXPECT_DOUBLE_EQ(CAR_TO_VAL(""), 0.0);
    EXPECT_DOUBLE_EQ(CAR_TO_VAL("   -12,50"), -12.5);
    EXPECT_DOUBLE_EQ(DIV(1, 0), 0.0);
    EXPECT_DOUBLE_EQ(DIV(1, 4), 0.25);
}
