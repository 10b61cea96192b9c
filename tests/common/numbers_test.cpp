#include <gtest/gtest.h>

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

TEST(CarToVal, ReadsBrazilianAmounts) {
    EXPECT_DOUBLE_EQ(CAR_TO_VAL("1.234.567,89"), 1234567.89);
    EXPECT_DOUBLE_EQ(CAR_TO_VAL(""), 0.0);
    EXPECT_DOUBLE_EQ(CAR_TO_VAL("   -12,50"), -12.5);
    EXPECT_DOUBLE_EQ(DIV(1, 0), 0.0);
    EXPECT_DOUBLE_EQ(DIV(1, 4), 0.25);
}
