#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "common/calculator.h"
#include "platform/console/keys.h"

using namespace kdx2::common;
namespace keys = kdx2::platform::keys;
using Outcome = Calculator::Outcome;

namespace {

// Presses every character of `typed` (blanks skipped); returns the outcome of the last.
Outcome type(Calculator& calculator, const std::string& typed) {
    Outcome last = Outcome::Shown;
    for (char ch : typed)
        if (ch != ' ') last = calculator.press(static_cast<unsigned char>(ch));
    return last;
}

std::string shown(const Calculator& calculator) {
    return kdx2::base::alltrim(calculator.display());
}

}  // namespace

TEST(Calculator, WorksLeftToRightWithoutPrecedence) {
    Calculator calculator;
    type(calculator, "2 + 3 * 4 =");
    EXPECT_EQ(shown(calculator), "20");
    EXPECT_DOUBLE_EQ(calculator.shown(), 20);

    // The next number starts a new calculation; Enter is "=".
    type(calculator, "10 - 4");
    EXPECT_EQ(shown(calculator), "4");
    calculator.press(keys::Enter);
    EXPECT_EQ(shown(calculator), "6");
    // An operator right after "=" goes on from the result.
    type(calculator, "* 3 =");
    EXPECT_EQ(shown(calculator), "18");
    // A second operator in a row replaces the first.
    type(calculator, "+ - 8 =");
    EXPECT_EQ(shown(calculator), "10");
}

TEST(Calculator, DecimalsAndDivisionSwitchToFourDecimals) {
    Calculator calculator;
    type(calculator, "1234567,5 + 0.25 =");
    EXPECT_TRUE(calculator.decimals());
    EXPECT_EQ(shown(calculator), "1.234.567,7500");

    Calculator division;
    type(division, "10 / 4 =");
    EXPECT_EQ(shown(division), "2,5000");
    EXPECT_EQ(type(division, "1.5."), Outcome::Beep);  // a second point
}

TEST(Calculator, DivisionByZeroIsAnErrorThatIsNotHandedOver) {
    Calculator calculator;
    EXPECT_EQ(type(calculator, "7 / 0 ="), Outcome::Beep);
    EXPECT_TRUE(calculator.error());
    EXPECT_DOUBLE_EQ(calculator.shown(), Calculator::kErrorValue);
    EXPECT_EQ(calculator.press(keys::CtrlEnter), Outcome::HandOver);
    double result = -1;
    EXPECT_TRUE(calculator.error());  // the window refuses to hand this over
    (void)result;
}

TEST(Calculator, EntryLimitsSignAndClearing) {
    Calculator calculator;
    EXPECT_EQ(type(calculator, "1234567890"), Outcome::Shown);
    EXPECT_EQ(calculator.press('1'), Outcome::Beep);  // an 11th integer digit
    EXPECT_DOUBLE_EQ(calculator.shown(), 1234567890);
    type(calculator, ".1234");
    EXPECT_EQ(calculator.press('5'), Outcome::Beep);  // a 5th decimal
    calculator.press(keys::Backspace);
    EXPECT_DOUBLE_EQ(calculator.shown(), 0);
    type(calculator, "25i");
    EXPECT_DOUBLE_EQ(calculator.shown(), -25);
    type(calculator, "+ 5 c 7 =");  // C drops the 5, keeps the pending sum
    EXPECT_DOUBLE_EQ(calculator.shown(), -18);
    EXPECT_EQ(calculator.press('q'), Outcome::Beep);
    EXPECT_EQ(calculator.press(keys::Up), Outcome::MoveUp);
    EXPECT_EQ(calculator.press('x'), Outcome::Leave);
    EXPECT_EQ(calculator.press(keys::Esc), Outcome::Leave);
}

TEST(Calculator, MemoryIsKeptBetweenOpenings) {
    Calculator::clearMemory();
    {
        Calculator first;
        type(first, "12,5 = m+ 2 = m+ 0,5 = m-");
        EXPECT_TRUE(first.memoryShown());
    }
    Calculator second;
    EXPECT_DOUBLE_EQ(Calculator::memory(), 14);
    type(second, "mr * 1000 =");
    EXPECT_EQ(shown(second), "14.000");
    type(second, "mc");
    EXPECT_FALSE(second.memoryShown());
    // A memory with decimals comes back whole.
    type(second, "12345,678 = m+ 0 = mr");
    EXPECT_DOUBLE_EQ(second.shown(), 12345.678);
    Calculator::clearMemory();
}
