// The functions expressions may call: the xBase built-ins that index keys,
// filters and browse columns use, and the ones higher layers register.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <stdexcept>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "store/expr.h"

namespace kdx2::store::detail {

std::string typeName(base::Type type) {
    using base::literals::operator""_cp;
    switch (type) {
        case base::Type::Numeric:
            return "número"_cp;
        case base::Type::Date:
            return "data";
        case base::Type::Logical:
            return "lógico"_cp;
        case base::Type::Character:
            break;
    }
    return "texto";
}

using base::Date;
using base::Type;
using base::Value;
using namespace base::literals;

namespace {

using Builtin = Value (*)(std::span<Value> args, const CallSite& site);

// ---- Arguments ----

void expect(std::span<Value> args, size_t i, Type type, const CallSite& site) {
    if (args[i].type() != type)
        site.fail("o argumento "_cp + std::to_string(i + 1) + " deve ser " + typeName(type) +
                  ", não "_cp + typeName(args[i].type()));
}

const std::string& textArg(std::span<Value> args, size_t i, const CallSite& site) {
    expect(args, i, Type::Character, site);
    return args[i].text();
}

double numberArg(std::span<Value> args, size_t i, const CallSite& site) {
    expect(args, i, Type::Numeric, site);
    return args[i].number();
}

Date dateArg(std::span<Value> args, size_t i, const CallSite& site) {
    expect(args, i, Type::Date, site);
    return args[i].date();
}

// A count or position argument as an integer; huge values are clamped so that
// arithmetic on them cannot overflow (the length checks then refuse them).
long long integerArg(std::span<Value> args, size_t i, const CallSite& site) {
    const double value = std::trunc(numberArg(args, i, site));
    constexpr double kLimit = 1e12;
    return static_cast<long long>(std::clamp(value, -kLimit, kLimit));
}

Value checkedText(std::string text, const CallSite& site) {
    if (text.size() > kMaxTextLength)
        site.fail("texto longo demais (mais de " + std::to_string(kMaxTextLength) + " caracteres)");
    return Value(std::move(text));
}

size_t checkedLength(long long length, const CallSite& site) {
    if (length > static_cast<long long>(kMaxTextLength))
        site.fail("texto longo demais (mais de " + std::to_string(kMaxTextLength) + " caracteres)");
    return length < 0 ? 0 : static_cast<size_t>(length);
}

Value checkedNumber(double number, const CallSite& site) {
    if (!std::isfinite(number)) site.fail("número fora do limite"_cp);
    return Value(number);
}

// ---- Numbers as text ----

// STR(): right-aligned in `width`; when the decimals asked for do not fit,
// fewer are shown, and only a number whose integer part does not fit becomes
// asterisks.
std::string numberToStr(double value, long long width, long long decimals) {
    if (width < 1) return std::string();
    decimals = std::clamp<long long>(decimals, 0, std::max<long long>(0, width - 2));
    if (decimals == 0 && std::fabs(value) < 1e15) {
        // Whole numbers are the usual case in keys (STRZERO of item numbers),
        // rounded half away from zero as the decimal the value stands for.
        char digits[32];
        const auto rounded = static_cast<long long>(base::roundDecimal(value, 0));
        const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, rounded);
        const auto length = static_cast<long long>(end - digits);
        if (ec != std::errc() || length > width)
            return std::string(static_cast<size_t>(width), '*');
        return std::string(static_cast<size_t>(width - length), ' ') + std::string(digits, end);
    }
    for (long long d = decimals; d >= 0; --d)
        if (auto text = base::formatFixed(value, static_cast<int>(width), static_cast<int>(d)))
            return *text;
    return std::string(static_cast<size_t>(width), '*');
}

// The plain text of a number for PADL/PADR/PADC: integers without decimals,
// others in their shortest exact form.
std::string plainNumber(double value) {
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        return std::to_string(static_cast<long long>(value));
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

// ---- Dates ----

// CTOD(): "dd/mm/yyyy" and "dd/mm/yy" (1900 epoch), also with one-digit day
// or month and "-" or "." as separator, as people type them; anything else
// (and a day that does not exist) gives the empty date, as in xBase.
Date parseDate(std::string_view text) {
    if (auto exact = Date::fromDtoc(text)) return *exact;
    int parts[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int part = 0;
    for (char c : base::alltrim(text)) {
        if (c >= '0' && c <= '9') {
            if (digits[part] == 4) return Date();
            parts[part] = parts[part] * 10 + (c - '0');
            ++digits[part];
        } else if ((c == '/' || c == '-' || c == '.') && part < 2 && digits[part] > 0) {
            ++part;
        } else {
            return Date();
        }
    }
    if (part != 2 || digits[2] == 0 || digits[0] > 2 || digits[1] > 2) return Date();
    const int year = digits[2] <= 2 ? 1900 + parts[2] : parts[2];
    return Date::fromYmd(year, parts[1], parts[0]).value_or(Date());
}

// ---- The built-ins ----

Value fnUpper(std::span<Value> a, const CallSite& s) {
    return Value(base::asciiUpper(textArg(a, 0, s)));
}
Value fnLower(std::span<Value> a, const CallSite& s) {
    return Value(base::asciiLower(textArg(a, 0, s)));
}

Value fnStr(std::span<Value> a, const CallSite& s) {
    const double value = numberArg(a, 0, s);
    const long long width = a.size() > 1 ? integerArg(a, 1, s) : 10;
    const long long decimals = a.size() > 2 ? integerArg(a, 2, s) : 0;
    checkedLength(width, s);
    return Value(numberToStr(value, width, decimals));
}

Value fnStrZero(std::span<Value> a, const CallSite& s) {
    std::string text = fnStr(a, s).text();
    const size_t digits = text.find_first_not_of(' ');
    if (digits == std::string::npos || text[digits] == '*') return Value(std::move(text));
    if (text[digits] == '-') return Value("-" + std::string(digits, '0') + text.substr(digits + 1));
    return Value(std::string(digits, '0') + text.substr(digits));
}

Value fnVal(std::span<Value> a, const CallSite& s) {
    return checkedNumber(base::parseNumber(textArg(a, 0, s)), s);
}

Value fnDtos(std::span<Value> a, const CallSite& s) {
    return Value(dateArg(a, 0, s).dtos());
}
Value fnStod(std::span<Value> a, const CallSite& s) {
    return Value(Date::fromDtos(base::rtrim(textArg(a, 0, s))).value_or(Date()));
}
Value fnDtoc(std::span<Value> a, const CallSite& s) {
    return Value(dateArg(a, 0, s).dtoc());
}
Value fnCtod(std::span<Value> a, const CallSite& s) {
    return Value(parseDate(textArg(a, 0, s)));
}

// SUBSTR(text, start[, count]): start counts from 1; 0 is taken as 1 and a
// negative start counts from the end; out of range gives "".
Value fnSubstr(std::span<Value> a, const CallSite& s) {
    const std::string& text = textArg(a, 0, s);
    const long long length = static_cast<long long>(text.size());
    long long from = integerArg(a, 1, s);
    if (from > 0) {
        --from;
        if (from >= length) return Value(std::string());
    } else if (from < 0) {
        from = std::max(0LL, from + length);
    }
    long long count = a.size() > 2 ? integerArg(a, 2, s) : length - from;
    count = std::min(count, length - from);
    if (count <= 0) return Value(std::string());
    return Value(text.substr(static_cast<size_t>(from), static_cast<size_t>(count)));
}

Value fnLeft(std::span<Value> a, const CallSite& s) {
    const std::string& text = textArg(a, 0, s);
    const long long count = integerArg(a, 1, s);
    if (count <= 0) return Value(std::string());
    return Value(text.substr(0, static_cast<size_t>(std::min<long long>(count, text.size()))));
}

Value fnRight(std::span<Value> a, const CallSite& s) {
    const std::string& text = textArg(a, 0, s);
    const long long count = integerArg(a, 1, s);
    if (count <= 0) return Value(std::string());
    const size_t keep = static_cast<size_t>(std::min<long long>(count, text.size()));
    return Value(text.substr(text.size() - keep));
}

Value fnRtrim(std::span<Value> a, const CallSite& s) {
    return Value(base::rtrim(textArg(a, 0, s)));
}
Value fnLtrim(std::span<Value> a, const CallSite& s) {
    return Value(base::ltrim(textArg(a, 0, s)));
}
Value fnAlltrim(std::span<Value> a, const CallSite& s) {
    return Value(base::alltrim(textArg(a, 0, s)));
}

Value fnSpace(std::span<Value> a, const CallSite& s) {
    return Value(std::string(checkedLength(integerArg(a, 0, s), s), ' '));
}

Value fnReplicate(std::span<Value> a, const CallSite& s) {
    const std::string& unit = textArg(a, 0, s);
    const long long times = integerArg(a, 1, s);
    if (times <= 0 || unit.empty()) return Value(std::string());
    checkedLength(static_cast<long long>(unit.size()) * times, s);
    std::string out;
    out.reserve(unit.size() * static_cast<size_t>(times));
    for (long long i = 0; i < times; ++i)
        out += unit;
    return Value(std::move(out));
}

Value fnLen(std::span<Value> a, const CallSite& s) {
    return Value(static_cast<double>(textArg(a, 0, s).size()));
}

Value fnEmpty(std::span<Value> a, const CallSite&) {
    return Value(a[0].isEmpty());
}

Value fnYear(std::span<Value> a, const CallSite& s) {
    return Value(dateArg(a, 0, s).year());
}
Value fnMonth(std::span<Value> a, const CallSite& s) {
    return Value(dateArg(a, 0, s).month());
}
Value fnDay(std::span<Value> a, const CallSite& s) {
    return Value(dateArg(a, 0, s).day());
}
Value fnDate(std::span<Value>, const CallSite&) {
    return Value(Date::today());
}

enum class Pad { Left, Right, Center };

template <Pad side>
Value fnPad(std::span<Value> a, const CallSite& s) {
    std::string text;
    switch (a[0].type()) {
        case Type::Character:
            text = a[0].text();
            break;
        case Type::Numeric:
            text = plainNumber(a[0].number());
            break;
        case Type::Date:
            text = a[0].date().dtoc();
            break;
        case Type::Logical:
            expect(a, 0, Type::Character, s);
    }
    const size_t width = checkedLength(integerArg(a, 1, s), s);
    const char fill = a.size() > 2 && !textArg(a, 2, s).empty() ? textArg(a, 2, s)[0] : ' ';
    if (text.size() >= width) return Value(text.substr(0, width));
    const size_t missing = width - text.size();
    const size_t before = side == Pad::Left ? missing : side == Pad::Center ? missing / 2 : 0;
    return Value(std::string(before, fill) + text + std::string(missing - before, fill));
}

Value fnRound(std::span<Value> a, const CallSite& s) {
    const double value = numberArg(a, 0, s);
    const long long decimals = std::clamp<long long>(integerArg(a, 1, s), -15, 15);
    if (decimals >= 0)
        return checkedNumber(base::roundDecimal(value, static_cast<int>(decimals)), s);
    const double unit = std::pow(10.0, static_cast<double>(-decimals));
    return checkedNumber(base::roundDecimal(value / unit, 0) * unit, s);
}

Value fnInt(std::span<Value> a, const CallSite& s) {
    return Value(std::trunc(numberArg(a, 0, s)));
}
Value fnAbs(std::span<Value> a, const CallSite& s) {
    return Value(std::fabs(numberArg(a, 0, s)));
}

Value fnDeleted(std::span<Value>, const CallSite& s) {
    return Value(!s.blank && s.resolver->deleted());
}
Value fnRecno(std::span<Value>, const CallSite& s) {
    return Value(s.blank ? 0.0 : static_cast<double>(s.resolver->recordNumber()));
}

// IIF is evaluated by the evaluator itself (lazily); never called.
Value fnIif(std::span<Value>, const CallSite& s) {
    s.fail("chamada direta");
}

struct BuiltinSpec {
    const char* name;
    int minArgs;
    int maxArgs;
    Builtin function;
};

constexpr BuiltinSpec kBuiltins[] = {
    {"ABS", 1, 1, fnAbs},
    {"ALLTRIM", 1, 1, fnAlltrim},
    {"CTOD", 1, 1, fnCtod},
    {"DATE", 0, 0, fnDate},
    {"DAY", 1, 1, fnDay},
    {"DELETED", 0, 0, fnDeleted},
    {"DTOC", 1, 1, fnDtoc},
    {"DTOS", 1, 1, fnDtos},
    {"EMPTY", 1, 1, fnEmpty},
    {"IF", 3, 3, fnIif},
    {"IIF", 3, 3, fnIif},
    {"INT", 1, 1, fnInt},
    {"LEFT", 2, 2, fnLeft},
    {"LEN", 1, 1, fnLen},
    {"LOWER", 1, 1, fnLower},
    {"LTRIM", 1, 1, fnLtrim},
    {"MONTH", 1, 1, fnMonth},
    {"PADC", 2, 3, fnPad<Pad::Center>},
    {"PADL", 2, 3, fnPad<Pad::Left>},
    {"PADR", 2, 3, fnPad<Pad::Right>},
    {"RECNO", 0, 0, fnRecno},
    {"REPLICATE", 2, 2, fnReplicate},
    {"RIGHT", 2, 2, fnRight},
    {"ROUND", 2, 2, fnRound},
    {"RTRIM", 1, 1, fnRtrim},
    {"SPACE", 1, 1, fnSpace},
    {"STOD", 1, 1, fnStod},
    {"STR", 1, 3, fnStr},
    {"STRZERO", 1, 3, fnStrZero},
    {"SUBSTR", 2, 3, fnSubstr},
    {"TRIM", 1, 1, fnRtrim},
    {"UPPER", 1, 1, fnUpper},
    {"VAL", 1, 1, fnVal},
    {"YEAR", 1, 1, fnYear},
};

}  // namespace

struct FunctionEntry {
    std::string name;
    int minArgs = 0;
    int maxArgs = 0;  // -1: any number
    Builtin builtin = nullptr;
    ExpressionFunction registered;
};

namespace {

// Built-ins first, then registered functions; map nodes never move, so a
// parsed expression keeps its pointer when a function is registered again.
struct FunctionTable {
    std::map<std::string, FunctionEntry, std::less<>> builtins;
    std::map<std::string, FunctionEntry, std::less<>> registered;

    FunctionTable() {
        for (const BuiltinSpec& builtin : kBuiltins)
            builtins.emplace(
                builtin.name,
                FunctionEntry{
                    builtin.name, builtin.minArgs, builtin.maxArgs, builtin.function, {}});
    }
};

FunctionTable& table() {
    static FunctionTable instance;
    return instance;
}

}  // namespace

const FunctionEntry* findFunction(std::string_view name) {
    FunctionTable& functions = table();
    if (auto it = functions.builtins.find(name); it != functions.builtins.end()) return &it->second;
    if (auto it = functions.registered.find(name); it != functions.registered.end())
        return &it->second;
    // xBase accepts a built-in's name cut to four letters or more ("SUBS", "ALLT").
    if (name.size() < 4) return nullptr;
    const FunctionEntry* match = nullptr;
    for (auto it = functions.builtins.lower_bound(name);
         it != functions.builtins.end() && it->first.starts_with(name); ++it) {
        if (match) return nullptr;  // ambiguous
        match = &it->second;
    }
    return match;
}

std::string_view functionName(const FunctionEntry& function) {
    return function.name;
}

std::string arityProblem(const FunctionEntry& f, size_t count) {
    const auto n = static_cast<int>(count);
    if (n >= f.minArgs && (f.maxArgs < 0 || n <= f.maxArgs)) return std::string();
    std::string wanted;
    if (f.maxArgs < 0)
        wanted = "pelo menos " + std::to_string(f.minArgs);
    else if (f.minArgs == f.maxArgs)
        wanted = std::to_string(f.minArgs);
    else
        wanted = "de " + std::to_string(f.minArgs) + " a " + std::to_string(f.maxArgs);
    const bool one = f.minArgs == 1 && f.maxArgs == 1;
    return f.name + " pede " + wanted + (one ? " argumento" : " argumentos") + ", não "_cp +
           std::to_string(count);
}

bool isConditional(const FunctionEntry& function) {
    return function.builtin == fnIif;
}

Value callFunction(const FunctionEntry& function, std::span<Value> arguments,
                   const CallSite& site) {
    if (function.builtin) return function.builtin(arguments, site);
    Value result = function.registered(std::span<const Value>(arguments.data(), arguments.size()));
    if (result.isCharacter() && result.text().size() > kMaxTextLength)
        return checkedText(result.text(), site);
    return result;
}

}  // namespace kdx2::store::detail

namespace kdx2::store {

void registerFunction(std::string_view name, int minArgs, int maxArgs,
                      ExpressionFunction function) {
    const std::string key = base::asciiUpper(name);
    auto& functions = detail::table();
    if (functions.builtins.count(key))
        throw std::invalid_argument("built-in expression function cannot be replaced: " + key);
    if (!function || minArgs < 0 || (maxArgs >= 0 && maxArgs < minArgs))
        throw std::invalid_argument("invalid expression function registration: " + key);
    detail::FunctionEntry& entry = functions.registered[key];
    entry.name = key;
    entry.minArgs = minArgs;
    entry.maxArgs = maxArgs;
    entry.registered = std::move(function);
}

bool isFunctionKnown(std::string_view name) {
    return detail::findFunction(base::asciiUpper(name)) != nullptr;
}

}  // namespace kdx2::store
