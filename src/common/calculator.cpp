#include "common/calculator.h"

#include <cctype>
#include <cmath>

#include "base/text.h"
#include "platform/console/keys.h"
#include "ui/picture.h"

namespace kdx2::common {

namespace {

constexpr int kIntegerDigits = 10;
constexpr int kDecimalDigits = 4;

double calculatorMemory = 0;

}  // namespace

double Calculator::memory() {
    return calculatorMemory;
}

void Calculator::clearMemory() {
    calculatorMemory = 0;
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
            if (!error_) calculatorMemory += shown();
            return Outcome::Shown;
        case '-':
            if (!error_) calculatorMemory -= shown();
            return Outcome::Shown;
        case 'R': {
            // The whole memory comes back, decimals included.
            const auto text = base::formatFixed(calculatorMemory, 20, kDecimalDigits);
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
            calculatorMemory = 0;
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
