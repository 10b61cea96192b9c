#pragma once

#include <string>
#include <string_view>

#include "base/value.h"

namespace kdx2::ui {

// A picture: an optional function part ("@" and letters, ended by a blank)
// and a template. Function letters: E (comma decimal point, dot thousands),
// Z (zero shown as blanks), R (template literals inserted), ! (upper case),
// D (date), S n (the field scrolls within n columns), L (leading zeros),
// B (left-justified), K (first key clears the field). Template placeholders:
// 9 a digit, # a digit, blank or sign, X any character, ! any character in
// upper case, A a letter, N a letter or digit, L and Y logical, "." the
// decimal point, "," a thousands separator shown only between digits.
struct Picture {
    std::string functions;  // upper-case function letters, without "@" and the S width
    int scrollWidth = 0;    // n of "@S n"; 0 without
    std::string mask;       // the template

    static Picture parse(std::string_view picture);
    bool has(char function) const;
    // True for the template characters that take a character of the value.
    static bool isPlaceholder(char c, base::Type type);
};

// The value as the picture shows it (CP850). Numbers are rounded half away
// from zero at the template's decimals; a number that does not fit fills the
// digit positions with "*".
std::string formatValue(const base::Value& value, const Picture& picture);

// TRANSFORM(value, picture): the formatted text as a character value.
base::Value transform(const base::Value& value, std::string_view picture);

// The template the field editor uses for a value when its picture has none:
// numbers 10 digits (with the picture's decimals), dates the date format,
// logicals "L", text one "X" per character.
std::string defaultMask(const base::Value& value, const Picture& picture);

}  // namespace kdx2::ui
