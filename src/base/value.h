#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "base/date.h"

namespace kdx2::base {

// The four xBase types every table field, key and expression result has.
enum class Type : char { Character = 'C', Numeric = 'N', Date = 'D', Logical = 'L' };

// One xBase-typed value: character text (CP850 bytes), a number, a date or a
// logical. A default Value is the empty text.
class Value {
  public:
    Value() = default;
    Value(std::string text) : data_(std::move(text)) {}
    Value(std::string_view text) : data_(std::string(text)) {}
    Value(const char* text) : data_(std::string(text)) {}
    Value(double number) : data_(number) {}
    Value(int number) : data_(static_cast<double>(number)) {}
    Value(Date date) : data_(date) {}
    Value(bool logical) : data_(logical) {}

    // The empty value of a type: "", 0, the empty date, false.
    static Value emptyOf(Type type);

    Type type() const;
    bool isCharacter() const { return std::holds_alternative<std::string>(data_); }
    bool isNumeric() const { return std::holds_alternative<double>(data_); }
    bool isDate() const { return std::holds_alternative<Date>(data_); }
    bool isLogical() const { return std::holds_alternative<bool>(data_); }

    // Typed reads; a read of another type gives that type's empty value, so a
    // field read with the wrong accessor never throws.
    const std::string& text() const;
    double number() const;
    Date date() const;
    bool logical() const;

    // True for "", blanks only, 0, the empty date and false (xBase EMPTY()).
    bool isEmpty() const;

    bool operator==(const Value&) const = default;

  private:
    std::variant<std::string, double, Date, bool> data_;
};

}  // namespace kdx2::base
