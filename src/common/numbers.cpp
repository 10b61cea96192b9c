#include "common/numbers.h"

#include <string>

#include "base/text.h"

namespace kdx2::common {

double DESPREZA(double value, int /*width*/, int decimals, int mode) {
    if (decimals < 0) decimals = 0;
    // The value is written as decimal text rounded at two guard decimals and
    // cut there, so the cut falls on the decimal digits the amount stands for,
    // not on the binary noise around them.
    std::string text = base::fixedText(value, decimals + 2);
    if (mode != 0) return base::parseNumber(text);
    text.resize(text.size() - 2);  // drop the two guard decimals
    const double cut = base::parseNumber(text);
    return cut == 0 ? 0.0 : cut;  // -0.0012 cut is 0, not -0
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
