#include "ui/color.h"

#include <cctype>
#include <charconv>

#include "base/text.h"

namespace kdx2::ui {

namespace {

// Colour letters to PC colour numbers; "+" adds 8 (bright).
std::optional<int> colorNumber(std::string_view letters) {
    std::string upper = base::asciiUpper(letters);
    if (upper.empty() || upper == "N") return 0;
    if (upper == "B") return 1;
    if (upper == "G") return 2;
    if (upper == "BG" || upper == "GB") return 3;
    if (upper == "R") return 4;
    if (upper == "RB" || upper == "BR") return 5;
    if (upper == "GR" || upper == "RG") return 6;
    if (upper == "W") return 7;
    if (upper == "U" || upper == "I" || upper == "X") return 0;
    return std::nullopt;
}

// One side of a pair: letters with optional "+" (bright) and "*" (bright
// background, the old blink bit).
std::optional<int> side(std::string_view text, bool& star) {
    std::string letters;
    int bright = 0;
    for (char ch : text) {
        if (ch == '+')
            bright = 8;
        else if (ch == '*')
            star = true;
        else if (ch != ' ')
            letters.push_back(ch);
    }
    auto number = colorNumber(letters);
    if (!number) return std::nullopt;
    return *number + bright;
}

}  // namespace

std::optional<uint8_t> parseColorPair(std::string_view pair) {
    const std::string text = base::alltrim(pair);
    if (text.empty()) return std::nullopt;
    if (std::isdigit(static_cast<unsigned char>(text[0]))) {
        int value = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size() || value < 0 || value > 255)
            return std::nullopt;
        return static_cast<uint8_t>(value);
    }
    const size_t slash = text.find('/');
    bool star = false;
    auto fg = side(std::string_view(text).substr(0, slash), star);
    std::optional<int> bg = 0;
    if (slash != std::string::npos) bg = side(std::string_view(text).substr(slash + 1), star);
    if (!fg || !bg) return std::nullopt;
    int attr = (*bg << 4) | *fg;
    if (star) attr |= 0x80;
    return static_cast<uint8_t>(attr);
}

std::vector<std::string> splitColorList(std::string_view text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        parts.push_back(base::alltrim(text.substr(start, comma - start)));
        start = comma + 1;
    }
    return parts;
}

ColorList parseColorList(std::string_view text) {
    ColorList list;
    const auto parts = splitColorList(text);
    uint8_t* slots[] = {&list.standard, &list.enhanced, &list.border, &list.background,
                        &list.unselected};
    bool unselectedGiven = false;
    for (size_t i = 0; i < parts.size() && i < 5; ++i) {
        if (auto attr = parseColorPair(parts[i])) {
            *slots[i] = *attr;
            if (i == 4) unselectedGiven = true;
        }
    }
    if (!unselectedGiven) list.unselected = list.enhanced;
    return list;
}

std::string attrToColor(uint8_t attr) {
    static constexpr const char* kNames[] = {"N", "B", "G", "BG", "R", "BR", "GR", "W"};
    auto name = [](int value) {
        std::string text = kNames[value & 7];
        if (value & 8) text += '+';
        return text;
    };
    return name(attr & 0x0F) + "/" + name(attr >> 4);
}

}  // namespace kdx2::ui
