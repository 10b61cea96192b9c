#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/named_values.h"
#include "base/value.h"

namespace kdx2::store {

// What a resolver reports about a field it binds: where to read it and its
// declared layout (the layout gives the blank value used by Expression::describe).
struct FieldBinding {
    int slot = 0;  // passed back to Resolver::field()
    base::Type type = base::Type::Character;
    int width = 0;
    int decimals = 0;
};

// Where an expression finds the names it uses. A table implements the field
// part for its current record; the variable part defaults to the session
// settings record. Binding happens once per expression (names are looked up
// then), reading happens on every evaluation through the slot.
class Resolver {
  public:
    virtual ~Resolver() = default;

    // The field `name` (case-blind); `alias` is empty for a plain name, else
    // the alias written before "->" (upper-case). nullopt: no such field here.
    virtual std::optional<FieldBinding> bindField(std::string_view alias,
                                                  std::string_view name) const;
    // The value of a bound field on the current record: character fields at
    // their full width, as stored.
    virtual base::Value field(int slot) const;

    // The stores searched, in order, for M->NAME and for a plain name that is
    // no field. They must outlive the expressions bound to them.
    virtual std::vector<const base::NamedValues*> variableStores() const;

    // DELETED() and RECNO() of the current record.
    virtual bool deleted() const { return false; }
    virtual uint32_t recordNumber() const { return 0; }
};

// Type and byte length of an expression's result, as an index key needs them:
// character results give their length in bytes; numeric and date results 8
// (their size in a compound index; the caller decides how to store them);
// logical results 1.
struct ResultInfo {
    base::Type type = base::Type::Character;
    size_t length = 0;
};

// A compiled xBase expression (index keys, filters, browse columns):
// field names (also ALIAS->FIELD), variables (M->NAME), literals ("text",
// 'text', [text], numbers, .T./.F.), + - * / % ** ^, comparisons
// (= == != <> # < <= > >= $), .AND. .OR. .NOT. !, parentheses and function
// calls. Text compares byte-wise in CP850; "=" between texts is the xBase
// comparison with EXACT off (the left side starts with the right side) and
// "==" the exact one.
//
// Parse once, evaluate many times: parsing builds a small tree, binding asks
// the resolver once for every name, and evaluation then only reads slots.
// Errors (bad syntax, unknown names, type mismatches at evaluation) throw
// base::Error with a Portuguese message naming the expression.
class Expression {
  public:
    Expression();
    ~Expression();
    Expression(const Expression&);
    Expression& operator=(const Expression&);
    Expression(Expression&&) noexcept;
    Expression& operator=(Expression&&) noexcept;

    // Syntax and function names only; names are bound by bind() or on the
    // first evaluation.
    static Expression parse(std::string_view text);
    // parse() followed by bind().
    static Expression compile(std::string_view text, const Resolver& resolver);

    // Looks every name up in `resolver`. The expression remembers the
    // resolver: evaluating it with another resolver object binds it again
    // (correct, but slow if it happens on every record: keep one resolver per
    // table). A resolver destroyed and replaced at the same address by one of
    // another layout is not noticed; call bind() again in that case.
    void bind(const Resolver& resolver);
    bool bound() const;

    // Evaluates on the resolver's current record.
    base::Value evaluate(const Resolver& resolver) const;
    // For filters: the result must be logical.
    bool test(const Resolver& resolver) const;

    // Evaluates on a record of blank fields (blank text of the field's width,
    // 0, the empty date, .F.) and reports the result's type and length.
    ResultInfo describe(const Resolver& resolver) const;

    // The text as given to parse() (what an index tag stores).
    const std::string& text() const;
    // Field names the expression reads, upper-case, "ALIAS->NAME" when an
    // alias was written, each once, in order of appearance.
    std::vector<std::string> fieldNames() const;

    struct Impl;

  private:
    explicit Expression(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// A function that higher layers add by name (TRANSFORM from the picture
// module, for example). It receives the evaluated arguments and throws
// base::Error for arguments it cannot use.
using ExpressionFunction = std::function<base::Value(std::span<const base::Value>)>;

// Registers (or replaces) a function for expressions parsed from now on.
// Names are case-blind; the built-in functions cannot be replaced (throws
// std::invalid_argument). maxArgs -1 means any number.
void registerFunction(std::string_view name, int minArgs, int maxArgs, ExpressionFunction function);
bool isFunctionKnown(std::string_view name);

// Internal: the link between the evaluator and its function table.
namespace detail {

inline constexpr size_t kMaxTextLength = 65535;  // longest text a result may have

// The Portuguese name of a value type, for messages ("número", "data", …).
std::string typeName(base::Type type);

struct FunctionEntry;

// Where a function is being called, for its messages and for the functions
// that read the record (DELETED, RECNO).
struct CallSite {
    const Resolver* resolver = nullptr;
    bool blank = false;  // evaluating on a blank record
    const std::string* expression = nullptr;
    int position = 1;
    std::string_view function;

    [[noreturn]] void fail(const std::string& detail) const;
};

// A built-in function (also by an abbreviation of at least four letters, as
// xBase allows) or a registered one; nullptr when unknown. name upper-case.
const FunctionEntry* findFunction(std::string_view name);
std::string_view functionName(const FunctionEntry& function);
// Empty when the count suits the function, else the message.
std::string arityProblem(const FunctionEntry& function, size_t argumentCount);
// IIF: only the chosen branch is evaluated, so the caller evaluates lazily.
bool isConditional(const FunctionEntry& function);
base::Value callFunction(const FunctionEntry& function, std::span<base::Value> arguments,
                         const CallSite& site);

}  // namespace detail

}  // namespace kdx2::store
