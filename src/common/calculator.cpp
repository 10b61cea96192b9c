#include "common/calculator.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/windows.h"
#include "platform/console/keys.h"
#include "ui/picture.h"
#include "ui/screen.h"

namespace kdx2::common {

namespace {

constexpr int kIntegerDigits = 10;
constexpr int kDecimalDigits = 4;

// The calculator's memory lasts from one use of the calculator to the next.
double& calculatorMemory() {
    static double memory = 0;
    [[maybe_unused]] static const bool registered = base::registerResetOnce([] { memory = 0; });
    return memory;
}

}  // namespace

double Calculator::memory() {
    return calculatorMemory();
}

void Calculator::clearMemory() {
    calculatorMemory() = 0;
}

double Calculator::entryValue() const {
    return base::parseNumber(entry_);
}

double Calculator::shown() const {
    return entering_ ? entryValue() : result_;
}

std::string Calculator::display() const {
    const char* picture = decimals_ ? "@EZ 99,999,999,999.9999" : "@EZ 99,999,999,999";
    if (error_) return base::padLeft("E", decimals_ ? 19 : 14);
    return ui::transform(base::Value(shown()), picture).text();
}

Calculator::Outcome Calculator::digit(char digit) {
    if (!entering_) {
        entry_ = "0";
        entering_ = true;
    }
    const bool negative = !entry_.empty() && entry_[0] == '-';
    std::string digits = negative ? entry_.substr(1) : entry_;
    const size_t dot = digits.find('.');
    if (dot == std::string::npos && digits == "0") {
        digits = std::string(1, digit);
    } else if (dot == std::string::npos) {
        if (static_cast<int>(digits.size()) >= kIntegerDigits) return Outcome::Beep;
        digits += digit;
    } else {
        if (static_cast<int>(digits.size() - dot - 1) >= kDecimalDigits) return Outcome::Beep;
        digits += digit;
    }
    entry_ = negative ? "-" + digits : digits;
    return Outcome::Shown;
}

Calculator::Outcome Calculator::point() {
    if (!entering_) {
        entry_ = "0";
        entering_ = true;
    }
    if (entry_.find('.') != std::string::npos) return Outcome::Beep;
    entry_ += '.';
    decimals_ = true;
    return Outcome::Shown;
}

// An operator (or "=") applies the pending operator to the result and the
// number shown; a second operator in a row only replaces the pending one.
Calculator::Outcome Calculator::apply(char op) {
    if (!entering_ && pending_ != 0 && op != '=') {
        pending_ = op;
        return Outcome::Shown;
    }
    const double operand = shown();
    Outcome outcome = Outcome::Shown;
    switch (pending_) {
        case '+':
            result_ += operand;
            break;
        case '-':
            result_ -= operand;
            break;
        case '*':
            result_ *= operand;
            break;
        case '/':
            decimals_ = true;
            if (operand == 0) {
                result_ = kErrorValue;
                outcome = Outcome::Beep;
            } else {
                result_ /= operand;
            }
            break;
        default:
            result_ = operand;
            break;
    }
    error_ = result_ == kErrorValue || std::isinf(result_) || std::isnan(result_);
    if (error_) result_ = kErrorValue;
    pending_ = op == '=' ? 0 : op;
    entering_ = false;
    return outcome;
}

Calculator::Outcome Calculator::memoryKey(char key) {
    switch (key) {
        case '+':
            if (!error_) calculatorMemory() += shown();
            return Outcome::Shown;
        case '-':
            if (!error_) calculatorMemory() -= shown();
            return Outcome::Shown;
        case 'R': {
            // The whole memory comes back, decimals included.
            const auto text = base::formatFixed(calculatorMemory(), 20, kDecimalDigits);
            entry_ = base::alltrim(text.value_or("0"));
            while (entry_.find('.') != std::string::npos &&
                   (entry_.back() == '0' || entry_.back() == '.')) {
                const bool dot = entry_.back() == '.';
                entry_.pop_back();
                if (dot) break;
            }
            if (entry_.find('.') != std::string::npos) decimals_ = true;
            entering_ = true;
            return Outcome::Shown;
        }
        case 'C':
            calculatorMemory() = 0;
            return Outcome::Shown;
        default:
            return Outcome::Beep;
    }
}

Calculator::Outcome Calculator::press(int key) {
    namespace keys = platform::keys;
    if (memoryPrefix_) {
        memoryPrefix_ = false;
        const char c = keys::isCharacter(key) ? static_cast<char>(std::toupper(key)) : 0;
        return memoryKey(c);
    }
    switch (key) {
        case keys::Up:
            return Outcome::MoveUp;
        case keys::Down:
            return Outcome::MoveDown;
        case keys::Left:
            return Outcome::MoveLeft;
        case keys::Right:
            return Outcome::MoveRight;
        case keys::Esc:
            return Outcome::Leave;
        case keys::CtrlEnter:
            return Outcome::HandOver;
        case keys::Enter:
            return apply('=');
        case keys::Backspace:
            entry_ = "0";
            entering_ = true;
            return Outcome::Shown;
        default:
            break;
    }
    if (!keys::isCharacter(key)) return Outcome::Beep;
    const char c = static_cast<char>(std::toupper(key));
    if (c >= '0' && c <= '9') return digit(c);
    switch (c) {
        case '.':
        case ',':
            return point();
        case '+':
        case '-':
        case '*':
        case '/':
        case '=':
            return apply(c);
        case 'I':
            if (entering_) {
                entry_ = entry_[0] == '-' ? entry_.substr(1) : "-" + entry_;
            } else if (!error_) {
                result_ = -result_;
            }
            return Outcome::Shown;
        case 'C':
            entry_ = "0";
            entering_ = true;
            return Outcome::Shown;
        case 'X':
            return Outcome::Leave;
        case 'M':
            memoryPrefix_ = true;
            return Outcome::Shown;
        default:
            return Outcome::Beep;
    }
}

}  // namespace kdx2::common

namespace kdx2::common {

namespace {

constexpr int kCalculatorRows = 14;
constexpr int kCalculatorCols = 26;

// The keypad, one text of 14 rows of 26 characters (CP850 box rules).
std::string keypadText() {
    const std::string h = "\xC4\xC4\xC4";
    const std::string wide = std::string(8, '\xC4');
    const std::string v = "\xB3";
    auto rule = [&](const char* l, const char* m, const char* r) {
        return std::string(l) + h + m + h + m + h + m + h + m + wide + r;
    };
    auto keys = [&](const char* a, const char* b, const char* c, const char* d, const char* e) {
        return v + a + v + b + v + c + v + d + v + e + v;
    };
    const std::string middle = rule("\xC3", "\xC5", "\xB4");
    const std::string blank = v + std::string(24, ' ') + v;
    return "\xDA" + std::string(24, '\xC4') + "\xBF" + blank + blank +
           rule("\xC3", "\xC2", "\xB4") + keys("Mr ", "Mc ", "M- ", "M+ ", " ^Enter ") + middle +
           keys(" 7 ", " 8 ", " 9 ", " * ", "  ESC   ") + middle +
           keys(" 4 ", " 5 ", " 6 ", " + ", "        ") + middle +
           keys(" 1 ", " 2 ", " 3 ", " - ", "(C)lear ") + middle +
           keys(" 0 ", " . ", " = ", " / ", " I +/-  ") + rule("\xC0", "\xC1", "\xD9");
}

void showCalculator(int window, const Calculator& calculator) {
    ESCRLCOL(window, 2, 2, calculator.memoryShown() ? "M" : " ");
    ESCRLCOL(window, 2, 5, base::padLeft(calculator.display(), 19));
    const char op = calculator.pendingOperator();
    ESCRLCOL(window, 2, 25, std::string(1, op == '/' ? '\xF6' : op == 0 ? ' ' : op));
}

}  // namespace

bool CALCULADORA(double& result, int window, int row, int column) {
    row = std::min(row, 11);
    column = std::min(column, 48);
    const base::NamedValues& s = base::session();
    REDEFJAN(window, s.integer("COR_TEL1"), s.integer("COR_TEL2"), s.integer("COR_TEL2"), row,
             column, row + kCalculatorRows - 1, column + kCalculatorCols - 1, 0);
    ABREJAN(window);
    ESCRJAN(window, keypadText());
    const platform::CursorShape cursor = ui::setCursorShape(platform::CursorShape::Hidden);
    Calculator calculator;
    bool handed = false;
    for (;;) {
        showCalculator(window, calculator);
        const int key = ui::waitKey();
        if (key == platform::keys::None || key == platform::keys::MenuEvent) continue;
        const Calculator::Outcome outcome = calculator.press(key);
        if (outcome == Calculator::Outcome::Leave) break;
        if (outcome == Calculator::Outcome::HandOver) {
            handed = !calculator.error();
            if (handed) result = calculator.shown();
            break;
        }
        switch (outcome) {
            case Calculator::Outcome::Beep:
                messageHandler().tone(800, 10);
                break;
            case Calculator::Outcome::MoveUp:
                MOVEVER(window, kTowardsStart);
                break;
            case Calculator::Outcome::MoveDown:
                MOVEVER(window, 0);
                break;
            case Calculator::Outcome::MoveLeft:
                MOVEHOR(window, kTowardsStart);
                break;
            case Calculator::Outcome::MoveRight:
                MOVEHOR(window, 0);
                break;
            default:
                break;
        }
    }
    FECHAJAN(window);
    ui::setCursorShape(cursor == platform::CursorShape::Hidden ? platform::CursorShape::Underline
                                                               : cursor);
    return handed;
}

}  // namespace kdx2::common
