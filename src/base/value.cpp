#include "base/value.h"

namespace kdx2::base {

Value Value::emptyOf(Type type) {
    switch (type) {
        case Type::Numeric:
            return Value(0.0);
        case Type::Date:
            return Value(Date());
        case Type::Logical:
            return Value(false);
        case Type::Character:
            break;
    }
    return Value(std::string());
}

Type Value::type() const {
    if (isNumeric()) return Type::Numeric;
    if (isDate()) return Type::Date;
    if (isLogical()) return Type::Logical;
    return Type::Character;
}

const std::string& Value::text() const {
    static const std::string kEmpty;
    const auto* text = std::get_if<std::string>(&data_);
    return text ? *text : kEmpty;
}

double Value::number() const {
    const auto* number = std::get_if<double>(&data_);
    return number ? *number : 0.0;
}

Date Value::date() const {
    const auto* date = std::get_if<Date>(&data_);
    return date ? *date : Date();
}

bool Value::logical() const {
    const auto* logical = std::get_if<bool>(&data_);
    return logical ? *logical : false;
}

bool Value::isEmpty() const {
    switch (type()) {
        case Type::Numeric:
            return number() == 0.0;
        case Type::Date:
            return date().empty();
        case Type::Logical:
            return !logical();
        case Type::Character:
            break;
    }
    return text().find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace kdx2::base
