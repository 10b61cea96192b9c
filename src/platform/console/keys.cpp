#include "platform/console/keys.h"

#include <array>
#include <cctype>
#include <charconv>

#include "base/cp850.h"
#include "base/text.h"

namespace kdx2::platform::keys {

namespace {

// Alt+letter codes follow the PC keyboard's scan codes.
constexpr std::array<int, 26> kAltLetters = {286, 304, 302, 288, 274, 289, 290, 291, 279,
                                             292, 293, 294, 306, 305, 280, 281, 272, 275,
                                             287, 276, 278, 303, 273, 301, 277, 300};

struct Named {
    std::string_view name;
    int code;
};

constexpr Named kNamed[] = {
    {"Enter", Enter},
    {"Return", Enter},
    {"Esc", Esc},
    {"Escape", Esc},
    {"Tab", Tab},
    {"Shift+Tab", ShiftTab},
    {"Up", Up},
    {"Down", Down},
    {"Left", Left},
    {"Right", Right},
    {"PgUp", PgUp},
    {"PgDn", PgDn},
    {"PageUp", PgUp},
    {"PageDown", PgDn},
    {"Home", Home},
    {"End", End},
    {"Ins", Ins},
    {"Insert", Ins},
    {"Del", Del},
    {"Delete", Del},
    {"Backspace", Backspace},
    {"BS", Backspace},
    {"Space", Space},
    {"Ctrl+Enter", CtrlEnter},
    {"Ctrl+Left", CtrlLeft},
    {"Ctrl+Right", CtrlRight},
    {"Ctrl+Up", CtrlUp},
    {"Ctrl+Down", CtrlDown},
    {"Ctrl+Home", CtrlHome},
    {"Ctrl+End", CtrlEnd},
    {"Ctrl+PgUp", CtrlPgUp},
    {"Ctrl+PgDn", CtrlPgDn},
    {"Alt+-", AltMinus},
    {"Alt+=", AltEquals},
    {"Alt+Minus", AltMinus},
    {"Alt+Equals", AltEquals},
    {"Alt+Keypad+", KeypadAltPlus},
    {"Alt+Keypad-", KeypadAltMinus},
};

int functionNumber(std::string_view text) {
    if (text.size() < 2 || (text[0] != 'F' && text[0] != 'f')) return 0;
    int n = 0;
    auto [end, ec] = std::from_chars(text.data() + 1, text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 1 || n > 12) return 0;
    return n;
}

}  // namespace

int function(int n) {
    if (n == 1) return F1;
    if (n >= 2 && n <= 10) return -(n - 1);
    if (n == 11) return -40;
    if (n == 12) return -41;
    return None;
}

int shiftFunction(int n) {
    if (n >= 1 && n <= 10) return -(n + 9);
    if (n == 11) return -42;
    if (n == 12) return -43;
    return None;
}

int ctrlFunction(int n) {
    if (n >= 1 && n <= 10) return -(n + 19);
    if (n == 11) return -44;
    if (n == 12) return -45;
    return None;
}

int altFunction(int n) {
    if (n >= 1 && n <= 10) return -(n + 29);
    if (n == 11) return -46;
    if (n == 12) return -47;
    return None;
}

int alt(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isalpha(u)) return kAltLetters[std::toupper(u) - 'A'];
    if (c >= '1' && c <= '9') return 376 + (c - '1');
    if (c == '0') return 385;
    if (c == '-') return AltMinus;
    if (c == '=') return AltEquals;
    return None;
}

int ctrl(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (!std::isalpha(u)) return None;
    return 700 + (std::toupper(u) - 'A' + 1);
}

std::optional<int> fromName(std::string_view name) {
    for (const auto& named : kNamed)
        if (base::equalsIgnoreCase(named.name, name)) return named.code;
    if (int n = functionNumber(name)) return function(n);
    auto prefixed = [&](std::string_view prefix) -> std::optional<std::string_view> {
        if (name.size() > prefix.size() &&
            base::equalsIgnoreCase(name.substr(0, prefix.size()), prefix))
            return name.substr(prefix.size());
        return std::nullopt;
    };
    if (auto rest = prefixed("Shift+")) {
        if (int n = functionNumber(*rest)) return shiftFunction(n);
        return std::nullopt;
    }
    if (auto rest = prefixed("Ctrl+")) {
        if (int n = functionNumber(*rest)) return ctrlFunction(n);
        if (rest->size() == 1 && ctrl((*rest)[0]) != None) return ctrl((*rest)[0]);
        return std::nullopt;
    }
    if (auto rest = prefixed("Alt+")) {
        if (int n = functionNumber(*rest)) return altFunction(n);
        if (rest->size() == 1 && alt((*rest)[0]) != None) return alt((*rest)[0]);
        return std::nullopt;
    }
    return std::nullopt;
}

std::string name(int key) {
    for (const auto& named : kNamed)
        if (named.code == key) return std::string(named.name);
    for (int n = 1; n <= 12; ++n) {
        if (key == function(n)) return "F" + std::to_string(n);
        if (key == shiftFunction(n)) return "Shift+F" + std::to_string(n);
        if (key == ctrlFunction(n)) return "Ctrl+F" + std::to_string(n);
        if (key == altFunction(n)) return "Alt+F" + std::to_string(n);
    }
    for (char c = 'A'; c <= 'Z'; ++c) {
        if (key == alt(c)) return std::string("Alt+") + c;
        if (key == ctrl(c)) return std::string("Ctrl+") + c;
    }
    for (char c = '0'; c <= '9'; ++c)
        if (key == alt(c)) return std::string("Alt+") + c;
    if (key == LeftClick) return "LeftClick";
    if (key == RightClick) return "RightClick";
    if (key == MenuEvent) return "Menu";
    if (isCharacter(key)) return std::string(1, static_cast<char>(key));
    return "#" + std::to_string(key);
}

}  // namespace kdx2::platform::keys
