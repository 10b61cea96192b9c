#include "ui/picture.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "base/cp850.h"
#include "base/text.h"

namespace kdx2::ui {

namespace {

bool isDigitPlaceholder(char c) {
    return c == '9' || c == '#';
}

// The fewest decimals (at most 8) that show the number as it is, so that a
// picture without a template does not invent or drop cents.
int naturalDecimals(double number) {
    for (int decimals = 0; decimals < 8; ++decimals) {
        const double rounded = base::roundDecimal(number, decimals);
        if (std::fabs(rounded - number) <= 1e-9 * std::max(1.0, std::fabs(number))) return decimals;
    }
    return 8;
}

std::string swapSeparators(std::string text) {
    for (char& c : text) {
        if (c == '.')
            c = ',';
        else if (c == ',')
            c = '.';
    }
    return text;
}

std::string leftJustify(const std::string& text) {
    return base::padRight(base::ltrim(text), text.size());
}

// Digit positions of a numeric template: placeholders before and after the
// first ".", which is the decimal point.
struct NumericLayout {
    int integerSlots = 0;
    int decimalSlots = 0;
    size_t point = std::string::npos;
};

NumericLayout numericLayout(const std::string& mask) {
    NumericLayout layout;
    layout.point = mask.find('.');
    for (size_t i = 0; i < mask.size(); ++i) {
        if (!isDigitPlaceholder(mask[i])) continue;
        if (layout.point != std::string::npos && i > layout.point)
            ++layout.decimalSlots;
        else
            ++layout.integerSlots;
    }
    return layout;
}

std::string overflow(const std::string& mask) {
    std::string out = mask;
    for (size_t i = 0; i < out.size(); ++i)
        if (isDigitPlaceholder(out[i]) || out[i] == ',') out[i] = '*';
    return out;
}

std::string formatNumber(double number, const Picture& picture, const std::string& mask) {
    if (!std::isfinite(number)) number = 0;
    const NumericLayout layout = numericLayout(mask);
    std::string digits =
        base::alltrim(*base::formatFixed(std::fabs(number), 60, layout.decimalSlots));
    const bool zero = digits.find_first_not_of("0.") == std::string::npos;
    if (zero && picture.has('Z')) return std::string(mask.size(), ' ');
    const bool negative = number < 0 && !zero;

    std::string intDigits = digits;
    std::string decDigits;
    if (const size_t dot = digits.find('.'); dot != std::string::npos) {
        intDigits = digits.substr(0, dot);
        decDigits = digits.substr(dot + 1);
    }
    // A value below one shows its "0" only where the template has room for it.
    if (intDigits == "0" && layout.integerSlots == 0) intDigits.clear();
    if (static_cast<int>(intDigits.size()) > layout.integerSlots) {
        std::string out = overflow(mask);
        return picture.has('E') ? swapSeparators(out) : out;
    }

    const bool leadingZeros = picture.has('L');
    std::string out = mask;
    // Decimals from the left, after the point.
    size_t next = 0;
    if (layout.point != std::string::npos) {
        for (size_t i = layout.point + 1; i < out.size(); ++i)
            if (isDigitPlaceholder(out[i]))
                out[i] = next < decDigits.size() ? decDigits[next++] : '0';
    }
    // Integer digits from the right, before the point.
    const size_t intEnd = layout.point == std::string::npos ? out.size() : layout.point;
    int remaining = static_cast<int>(intDigits.size());
    int firstDigit = -1;  // leftmost position holding a digit (or a leading zero)
    for (size_t i = intEnd; i-- > 0;) {
        if (!isDigitPlaceholder(out[i])) continue;
        if (remaining > 0) {
            out[i] = intDigits[--remaining];
            firstDigit = static_cast<int>(i);
        } else if (leadingZeros) {
            out[i] = '0';
            firstDigit = static_cast<int>(i);
        } else {
            out[i] = ' ';
        }
    }
    // A thousands separator stands only between digits.
    for (size_t i = 0; i < intEnd; ++i)
        if (mask[i] == ',' && (firstDigit < 0 || static_cast<int>(i) < firstDigit)) out[i] = ' ';
    if (negative) {
        int at = firstDigit < 0 ? static_cast<int>(intEnd) : firstDigit;
        bool placed = false;
        while (--at >= 0) {
            if (out[at] == ' ') {
                out[at] = '-';
                placed = true;
                break;
            }
        }
        if (!placed && leadingZeros && firstDigit >= 0 && out[firstDigit] == '0') {
            out[firstDigit] = '-';
            placed = true;
        }
        if (!placed) out = overflow(mask);
    }
    if (picture.has('E')) out = swapSeparators(out);
    if (picture.has('B')) out = leftJustify(out);
    return out;
}

std::string formatText(const std::string& text, const Picture& picture, const std::string& mask) {
    std::string source = picture.has('!') ? base::cp850::upper(text) : text;
    if (picture.has('Z') && base::alltrim(source).empty())
        return std::string(mask.empty() ? source.size() : mask.size(), ' ');
    if (mask.empty()) return picture.has('B') ? leftJustify(source) : source;
    const bool insertLiterals = picture.has('R');
    std::string out;
    out.reserve(mask.size());
    size_t next = 0;
    for (char m : mask) {
        if (Picture::isPlaceholder(m, base::Type::Character)) {
            const char c = next < source.size() ? source[next] : ' ';
            ++next;
            out += m == '!' ? base::cp850::upper(std::string_view(&c, 1))[0] : c;
        } else {
            out += m;
            // Without R a literal takes the place of the value's character.
            if (!insertLiterals) ++next;
        }
    }
    return picture.has('B') ? leftJustify(out) : out;
}

std::string formatLogical(bool value, const std::string& mask) {
    const bool yesNo = mask.find_first_of("Yy") != std::string::npos;
    if (yesNo) return value ? "Y" : "N";
    return value ? "T" : "F";
}

}  // namespace

Picture Picture::parse(std::string_view picture) {
    Picture out;
    if (picture.empty() || picture[0] != '@') {
        out.mask = std::string(picture);
        return out;
    }
    size_t i = 1;
    for (; i < picture.size() && picture[i] != ' '; ++i) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(picture[i])));
        if (c == 'S') {
            int width = 0;
            while (i + 1 < picture.size() &&
                   std::isdigit(static_cast<unsigned char>(picture[i + 1])))
                width = std::min(width * 10 + (picture[++i] - '0'), 10000);
            out.scrollWidth = width;
            continue;
        }
        if (out.functions.find(c) == std::string::npos) out.functions += c;
    }
    if (i < picture.size()) out.mask = std::string(picture.substr(i + 1));  // after the one blank
    return out;
}

bool Picture::has(char function) const {
    return functions.find(function) != std::string::npos;
}

bool Picture::isPlaceholder(char c, base::Type type) {
    switch (type) {
        case base::Type::Numeric:
            return isDigitPlaceholder(c);
        case base::Type::Logical:
            return c == 'L' || c == 'Y' || c == 'l' || c == 'y';
        case base::Type::Date:
            return isDigitPlaceholder(c);
        case base::Type::Character:
            switch (c) {
                case '9':
                case '#':
                case 'X':
                case 'x':
                case '!':
                case 'A':
                case 'a':
                case 'N':
                case 'n':
                case 'L':
                case 'l':
                case 'Y':
                case 'y':
                    return true;
                default:
                    return false;
            }
    }
    return false;
}

std::string defaultMask(const base::Value& value, const Picture&) {
    switch (value.type()) {
        case base::Type::Numeric: {
            const int decimals = naturalDecimals(value.number());
            std::string mask(10, '9');
            if (decimals > 0) mask += "." + std::string(static_cast<size_t>(decimals), '9');
            return mask;
        }
        case base::Type::Date:
            return "99/99/9999";
        case base::Type::Logical:
            return "L";
        case base::Type::Character:
            return std::string(value.text().size(), 'X');
    }
    return {};
}

std::string formatValue(const base::Value& value, const Picture& picture) {
    switch (value.type()) {
        case base::Type::Numeric: {
            const std::string mask =
                picture.mask.empty() ? defaultMask(value, picture) : picture.mask;
            return formatNumber(value.number(), picture, mask);
        }
        case base::Type::Date: {
            const base::Date date = value.date();
            if (date.empty() && picture.has('Z')) return std::string(10, ' ');
            std::string text = date.dtoc();
            return picture.has('B') ? leftJustify(text) : text;
        }
        case base::Type::Logical:
            return formatLogical(value.logical(), picture.mask);
        case base::Type::Character:
            return formatText(value.text(), picture, picture.mask);
    }
    return {};
}

base::Value transform(const base::Value& value, std::string_view picture) {
    return base::Value(formatValue(value, Picture::parse(picture)));
}

}  // namespace kdx2::ui
