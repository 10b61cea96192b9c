#include "tax/amount_text.h"

#include <cmath>

#include "base/text.h"

namespace kdx2::tax {

namespace {

struct Picture {
    bool europeanPoint = false;  // E
    bool blankZero = false;      // Z
    std::string_view layout;
};

Picture parsePicture(std::string_view picture) {
    Picture parsed;
    parsed.layout = picture;
    if (picture.empty() || picture[0] != '@') return parsed;
    const size_t blank = picture.find(' ');
    const std::string_view letters =
        picture.substr(1, blank == std::string_view::npos ? std::string_view::npos : blank - 1);
    for (char letter : letters) {
        if (letter == 'E' || letter == 'e') parsed.europeanPoint = true;
        if (letter == 'Z' || letter == 'z') parsed.blankZero = true;
    }
    parsed.layout =
        blank == std::string_view::npos ? std::string_view() : picture.substr(blank + 1);
    return parsed;
}

bool isDigitPlace(char c) {
    return c == '9' || c == '#';
}

// The integer digits laid into the integer part of the layout from the right;
// false when they (or the sign) do not fit.
bool layInteger(std::string_view layout, const std::string& digits, bool negative, char thousands,
                std::string& out) {
    out.assign(layout.size(), ' ');
    size_t left = digits.size();  // digits still to place
    bool signPlaced = !negative;
    for (size_t i = layout.size(); i-- > 0;) {
        const char place = layout[i];
        if (isDigitPlace(place)) {
            if (left > 0) {
                out[i] = digits[--left];
            } else if (!signPlaced) {
                out[i] = '-';
                signPlaced = true;
            }
        } else if (place == ',') {
            if (left > 0) out[i] = thousands;
        } else {
            out[i] = place;  // any other character of the template stays
        }
    }
    return left == 0 && signPlaced;
}

}  // namespace

std::string formatAmount(double value, std::string_view picture) {
    const Picture parsed = parsePicture(picture);
    const std::string_view layout = parsed.layout;
    const size_t point = layout.find('.');
    const std::string_view integerLayout = layout.substr(0, point);
    const std::string_view decimalLayout =
        point == std::string_view::npos ? std::string_view() : layout.substr(point + 1);
    const int decimals = static_cast<int>(decimalLayout.size());

    const double rounded = base::roundDecimal(value, decimals);
    if (rounded == 0.0 && parsed.blankZero) return std::string(layout.size(), ' ');

    const std::string fixed = *base::formatFixed(std::fabs(rounded), 1, decimals);
    const size_t dot = fixed.find('.');
    const std::string integerDigits = fixed.substr(0, dot);
    const std::string decimalDigits = dot == std::string::npos ? "" : fixed.substr(dot + 1);
    const bool negative = rounded < 0;
    const char thousands = parsed.europeanPoint ? '.' : ',';
    const char decimalPoint = parsed.europeanPoint ? ',' : '.';

    std::string decimalText;
    if (point != std::string_view::npos) decimalText = decimalPoint + decimalDigits;

    std::string integerText;
    if (layInteger(integerLayout, integerDigits, negative, thousands, integerText))
        return integerText + decimalText;

    // Too wide for the separators: the bare number, right-aligned, if it fits.
    const std::string bare = (negative ? "-" : "") + integerDigits + decimalText;
    if (bare.size() <= layout.size()) return base::padLeft(bare, layout.size());
    return std::string(layout.size(), '*');
}

}  // namespace kdx2::tax
