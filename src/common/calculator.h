#pragma once

#include <string>

// The pop-up calculator: a four-function keypad that works left to right
// without precedence, with a memory kept between openings.
namespace kdx2::common {

// The calculator's arithmetic and key handling, apart from its window.
class Calculator {
  public:
    // What a key asks of the window around the calculator.
    enum class Outcome {
        Shown,     // the display changed or stayed as it was
        Beep,      // a key that does nothing here, or an entry too long
        Leave,     // X or Esc
        HandOver,  // Ctrl+Enter: leave and give the result to the field
        MoveUp,
        MoveDown,
        MoveLeft,
        MoveRight,
    };

    // The value that marks a division by zero.
    static constexpr double kErrorValue = 1e22;

    // Keys are the program's key codes; letters in either case.
    Outcome press(int key);

    // The number shown (the entry while one is typed, else the result).
    double shown() const;
    // The display text through the calculator's picture: whole numbers until
    // a decimal point is typed or a division made, then four decimals.
    std::string display() const;
    // The operator waiting for its second number (0 when none); "/" shows
    // as the division sign.
    char pendingOperator() const { return pending_; }
    bool decimals() const { return decimals_; }
    bool error() const { return error_; }
    // The memory is kept for the whole run.
    static double memory();
    static void clearMemory();
    bool memoryShown() const { return memory() != 0; }

  private:
    Outcome digit(char digit);
    Outcome point();
    Outcome apply(char op);
    Outcome memoryKey(char key);
    double entryValue() const;

    std::string entry_ = "0";
    bool entering_ = false;
    double result_ = 0;
    char pending_ = 0;
    bool decimals_ = false;
    bool error_ = false;
    bool memoryPrefix_ = false;
};

// The calculator in window `window` (14 x 26 cells) at (row, column), row at
// most 11 and column at most 48. Returns true when it was left with
// Ctrl+Enter on a valid result, which is then in `result`.
bool CALCULADORA(double& result, int window = 9, int row = 11, int column = 11);

}  // namespace kdx2::common
