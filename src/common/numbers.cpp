#include "common/numbers.h"

#include <string>

#include "base/text.h"

namespace kdx2::common {

double DESPREZA(double value, int /*width*/, int decimals, int mode) {
    if (decimals < 0) decimals = 0;
    const double rounded = base::roundDecimal(value, decimals + 2);
    if (mode != 0) return rounded;
    std::string text = *base::formatFixed(rounded, 64, decimals + 2);
    text.resize(text.size() - 2);  // drop the two guard decimals
    return base::parseNumber(text);
}

double CAR_TO_VAL(std::string_view text) {
    std::string plain;
    bool decimalSeen = false;
    for (char c : text) {
        if (c == '.') continue;
        if (c == ',' && !decimalSeen) {
            decimalSeen = true;
            plain += '.';
        } else {
            plain += c;
        }
    }
    return base::parseNumber(plain);
}

double DIV(double a, double b) {
    return b == 0.0 ? 0.0 : a / b;
}

}  // namespace kdx2::common
