#include "store/expr.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"

namespace kdx2::store {

using base::Error;
using base::Type;
using base::Value;
using namespace base::literals;

// ---------------------------------------------------------------------------
// Resolver defaults: no fields, the session record as the variable store.

std::optional<FieldBinding> Resolver::bindField(std::string_view, std::string_view) const {
    return std::nullopt;
}

Value Resolver::field(int) const {
    return Value();
}

std::vector<const base::NamedValues*> Resolver::variableStores() const {
    return {&base::session()};
}

namespace expr {

// ---------------------------------------------------------------------------
// The compiled form: a vector of nodes, children by index, so an expression
// copies and moves as a plain value.

enum class Kind : uint8_t { Literal, Name, Negate, Positive, Not, And, Or, Binary, Call };

// Comparisons come last: isComparison() relies on it.
enum class BinOp : uint8_t {
    Add,
    Subtract,
    Multiply,
    Divide,
    Modulo,
    Power,
    Equal,
    ExactEqual,
    NotEqual,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    Contains,
};

enum class NameBinding : uint8_t { Unbound, Field, Variable };

struct Node {
    Kind kind = Kind::Literal;
    BinOp op = BinOp::Add;
    int position = 1;  // 1-based offset in the text, for messages
    int height = 1;    // of the subtree, bounded so evaluation cannot exhaust the stack
    Value literal;
    std::string alias;  // names: upper-case, alias empty when none was written
    std::string name;
    std::vector<int> children;
    const detail::FunctionEntry* function = nullptr;
    NameBinding binding = NameBinding::Unbound;
    FieldBinding field;
    const base::NamedValues* store = nullptr;
};

struct Context {
    const std::vector<Node>* nodes = nullptr;
    const std::string* text = nullptr;
    const Resolver* resolver = nullptr;
    bool blank = false;  // fields read as blanks (describe)

    [[noreturn]] void fail(const Node& node, const std::string& detail) const;
};

Value evaluateNode(const Context& ctx, int index);
Value checkedText(const Context& ctx, const Node& node, std::string text);
Value checkedNumber(const Context& ctx, const Node& node, double number);
Value datePlus(const Context& ctx, const Node& node, base::Date date, double days);

// ---------------------------------------------------------------------------
// Messages

using detail::typeName;

namespace {

std::string located(const std::string& text, size_t position) {
    return "\"" + text + "\", posição "_cp + std::to_string(position);
}

[[noreturn]] void syntaxError(const std::string& text, size_t position, const std::string& detail) {
    throw Error("Erro de sintaxe na expressão "_cp + located(text, position) + ": " + detail + ".");
}

[[noreturn]] void bindError(const std::string& text, size_t position, const std::string& detail) {
    throw Error("Erro na expressão "_cp + located(text, position) + ": " + detail + ".");
}

}  // namespace

[[noreturn]] void evaluationError(const std::string& text, size_t position,
                                  const std::string& detail) {
    throw Error("Erro ao calcular a expressão "_cp + located(text, position) + ": " + detail + ".");
}

void Context::fail(const Node& node, const std::string& detail) const {
    evaluationError(*text, static_cast<size_t>(node.position), detail);
}

// ---------------------------------------------------------------------------
// Parser: recursive descent over the xBase precedence levels, lowest first:
// .OR., .AND., .NOT., comparisons, + -, * / %, ** ^, unary + -, operands.

namespace {

enum class Tok {
    End,
    Number,
    String,
    Identifier,
    LParen,
    RParen,
    Comma,
    Arrow,
    Plus,
    Minus,
    Star,
    Slash,
    Percent,
    Power,
    Equal,
    ExactEqual,
    NotEqual,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    Dollar,
    And,
    Or,
    Not,
    True,
    False,
};

struct Token {
    Tok kind = Tok::End;
    size_t start = 0;   // 0-based offset in the text
    std::string value;  // identifier (upper-case) or string contents
    double number = 0;
};

constexpr int kMaxDepth = 200;

bool isIdentStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isIdentChar(char c) {
    return isIdentStart(c) || isDigit(c);
}

class Parser {
  public:
    Parser(const std::string& text, std::vector<Node>& nodes) : text_(text), nodes_(nodes) {}

    int parseAll() {
        advance();
        if (token_.kind == Tok::End) syntaxError(text_, 1, "expressão vazia"_cp);
        const int root = parseOr();
        if (token_.kind != Tok::End)
            fail(token_.kind == Tok::RParen ? "\")\" sem \"(\" correspondente"
                                            : "sobra texto depois da expressão"_cp);
        return root;
    }

  private:
    // ---- Tokens ----

    [[noreturn]] void fail(const std::string& detail) const {
        syntaxError(text_, token_.start + 1, detail);
    }

    bool matchDotWord(size_t at, std::string_view word) const {
        // word is ".AND." etc.; compared without regard to case.
        if (text_.size() - at < word.size()) return false;
        return base::equalsIgnoreCase(std::string_view(text_).substr(at, word.size()), word);
    }

    void advance() {
        size_t& p = pos_;
        while (p < text_.size() &&
               (text_[p] == ' ' || text_[p] == '\t' || text_[p] == '\r' || text_[p] == '\n'))
            ++p;
        token_ = Token{};
        token_.start = p;
        if (p >= text_.size()) return;
        const char c = text_[p];
        auto single = [&](Tok kind, size_t length = 1) {
            token_.kind = kind;
            p += length;
        };
        const char next = p + 1 < text_.size() ? text_[p + 1] : '\0';
        switch (c) {
            case '(':
                return single(Tok::LParen);
            case ')':
                return single(Tok::RParen);
            case ',':
                return single(Tok::Comma);
            case '+':
                return single(Tok::Plus);
            case '-':
                return next == '>' ? single(Tok::Arrow, 2) : single(Tok::Minus);
            case '*':
                return next == '*' ? single(Tok::Power, 2) : single(Tok::Star);
            case '^':
                return single(Tok::Power);
            case '/':
                return single(Tok::Slash);
            case '%':
                return single(Tok::Percent);
            case '$':
                return single(Tok::Dollar);
            case '#':
                return single(Tok::NotEqual);
            case '=':
                return next == '=' ? single(Tok::ExactEqual, 2) : single(Tok::Equal);
            case '!':
                return next == '=' ? single(Tok::NotEqual, 2) : single(Tok::Not);
            case '<':
                if (next == '=') return single(Tok::LessEqual, 2);
                if (next == '>') return single(Tok::NotEqual, 2);
                return single(Tok::Less);
            case '>':
                return next == '=' ? single(Tok::GreaterEqual, 2) : single(Tok::Greater);
            case '"':
            case '\'':
            case '[':
                return lexString(c == '[' ? ']' : c);
            case '.':
                if (matchDotWord(p, ".AND.")) return single(Tok::And, 5);
                if (matchDotWord(p, ".OR.")) return single(Tok::Or, 4);
                if (matchDotWord(p, ".NOT.")) return single(Tok::Not, 5);
                if (matchDotWord(p, ".T.") || matchDotWord(p, ".Y.")) return single(Tok::True, 3);
                if (matchDotWord(p, ".F.") || matchDotWord(p, ".N.")) return single(Tok::False, 3);
                if (isDigit(next)) return lexNumber();
                break;
            default:
                if (isDigit(c)) return lexNumber();
                if (isIdentStart(c)) return lexIdentifier();
                break;
        }
        const std::string shown = static_cast<unsigned char>(c) < 32 ? "?" : std::string(1, c);
        fail("caractere inesperado \"" + shown + "\"");
    }

    void lexString(char close) {
        const size_t end = text_.find(close, pos_ + 1);
        if (end == std::string::npos) fail("texto sem o fecho " + std::string(1, close));
        token_.kind = Tok::String;
        token_.value = text_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
    }

    void lexNumber() {
        size_t p = pos_;
        while (p < text_.size() && isDigit(text_[p]))
            ++p;
        if (p + 1 < text_.size() && text_[p] == '.' && isDigit(text_[p + 1])) {
            ++p;
            while (p < text_.size() && isDigit(text_[p]))
                ++p;
        }
        double value = 0;
        const auto [end, ec] = std::from_chars(text_.data() + pos_, text_.data() + p, value);
        if (ec != std::errc() || !std::isfinite(value)) fail("número inválido"_cp);
        (void)end;
        token_.kind = Tok::Number;
        token_.number = value;
        pos_ = p;
    }

    void lexIdentifier() {
        size_t p = pos_;
        while (p < text_.size() && isIdentChar(text_[p]))
            ++p;
        token_.kind = Tok::Identifier;
        token_.value = base::asciiUpper(std::string_view(text_).substr(pos_, p - pos_));
        pos_ = p;
    }

    // ---- Tree ----

    int add(Node node) {
        int height = 0;
        for (int child : node.children)
            height = std::max(height, nodes_[child].height);
        node.height = height + 1;
        if (node.height > kMaxDepth)
            syntaxError(text_, node.position, "expressão complexa demais"_cp);
        nodes_.push_back(std::move(node));
        return static_cast<int>(nodes_.size()) - 1;
    }

    int binary(Kind kind, BinOp op, size_t start, int left, int right) {
        Node node;
        node.kind = kind;
        node.op = op;
        node.position = static_cast<int>(start) + 1;
        node.children = {left, right};
        return add(std::move(node));
    }

    int unary(Kind kind, size_t start, int operand) {
        Node node;
        node.kind = kind;
        node.position = static_cast<int>(start) + 1;
        node.children = {operand};
        return add(std::move(node));
    }

    // Guards the recursion itself, so that a text of a million "(" fails
    // cleanly instead of exhausting the stack.
    struct Depth {
        explicit Depth(Parser& parser) : parser_(parser) {
            if (++parser_.depth_ > kMaxDepth) parser_.fail("expressão complexa demais"_cp);
        }
        ~Depth() { --parser_.depth_; }
        Parser& parser_;
    };

    // ---- Grammar ----

    int parseOr() {
        Depth depth(*this);
        int left = parseAnd();
        while (token_.kind == Tok::Or) {
            const size_t start = token_.start;
            advance();
            left = binary(Kind::Or, BinOp::Add, start, left, parseAnd());
        }
        return left;
    }

    int parseAnd() {
        int left = parseNot();
        while (token_.kind == Tok::And) {
            const size_t start = token_.start;
            advance();
            left = binary(Kind::And, BinOp::Add, start, left, parseNot());
        }
        return left;
    }

    int parseNot() {
        if (token_.kind != Tok::Not) return parseComparison();
        Depth depth(*this);
        const size_t start = token_.start;
        advance();
        return unary(Kind::Not, start, parseNot());
    }

    static std::optional<BinOp> comparison(Tok kind) {
        switch (kind) {
            case Tok::Equal:
                return BinOp::Equal;
            case Tok::ExactEqual:
                return BinOp::ExactEqual;
            case Tok::NotEqual:
                return BinOp::NotEqual;
            case Tok::Less:
                return BinOp::Less;
            case Tok::LessEqual:
                return BinOp::LessEqual;
            case Tok::Greater:
                return BinOp::Greater;
            case Tok::GreaterEqual:
                return BinOp::GreaterEqual;
            case Tok::Dollar:
                return BinOp::Contains;
            default:
                return std::nullopt;
        }
    }

    int parseComparison() {
        int left = parseAdditive();
        while (auto op = comparison(token_.kind)) {
            const size_t start = token_.start;
            advance();
            left = binary(Kind::Binary, *op, start, left, parseAdditive());
        }
        return left;
    }

    int parseAdditive() {
        int left = parseMultiplicative();
        while (token_.kind == Tok::Plus || token_.kind == Tok::Minus) {
            const BinOp op = token_.kind == Tok::Plus ? BinOp::Add : BinOp::Subtract;
            const size_t start = token_.start;
            advance();
            left = binary(Kind::Binary, op, start, left, parseMultiplicative());
        }
        return left;
    }

    int parseMultiplicative() {
        int left = parsePower();
        while (token_.kind == Tok::Star || token_.kind == Tok::Slash ||
               token_.kind == Tok::Percent) {
            const BinOp op = token_.kind == Tok::Star    ? BinOp::Multiply
                             : token_.kind == Tok::Slash ? BinOp::Divide
                                                         : BinOp::Modulo;
            const size_t start = token_.start;
            advance();
            left = binary(Kind::Binary, op, start, left, parsePower());
        }
        return left;
    }

    int parsePower() {
        int left = parseUnary();
        while (token_.kind == Tok::Power) {
            const size_t start = token_.start;
            advance();
            left = binary(Kind::Binary, BinOp::Power, start, left, parseUnary());
        }
        return left;
    }

    int parseUnary() {
        if (token_.kind != Tok::Minus && token_.kind != Tok::Plus) return parseOperand();
        Depth depth(*this);
        const Kind kind = token_.kind == Tok::Minus ? Kind::Negate : Kind::Positive;
        const size_t start = token_.start;
        advance();
        return unary(kind, start, parseUnary());
    }

    int literal(Value value) {
        Node node;
        node.kind = Kind::Literal;
        node.position = static_cast<int>(token_.start) + 1;
        node.literal = std::move(value);
        advance();
        return add(std::move(node));
    }

    int parseOperand() {
        switch (token_.kind) {
            case Tok::Number:
                return literal(Value(token_.number));
            case Tok::String:
                return literal(Value(token_.value));
            case Tok::True:
                return literal(Value(true));
            case Tok::False:
                return literal(Value(false));
            case Tok::LParen: {
                advance();
                const int inner = parseOr();
                if (token_.kind != Tok::RParen) fail("falta \")\"");
                advance();
                return inner;
            }
            case Tok::Identifier:
                return parseName();
            case Tok::End:
                fail("a expressão termina antes do fim"_cp);
            default:
                fail("esperava um valor, um nome ou \"(\"");
        }
    }

    int parseName() {
        const size_t start = token_.start;
        std::string name = token_.value;
        advance();
        if (token_.kind == Tok::LParen) return parseCall(start, std::move(name));
        Node node;
        node.kind = Kind::Name;
        node.position = static_cast<int>(start) + 1;
        if (token_.kind == Tok::Arrow) {
            advance();
            if (token_.kind != Tok::Identifier) fail("falta o nome do campo depois de \"->\"");
            node.alias = std::move(name);
            name = token_.value;
            advance();
        }
        node.name = std::move(name);
        return add(std::move(node));
    }

    int parseCall(size_t start, std::string name) {
        Depth depth(*this);
        Node node;
        node.kind = Kind::Call;
        node.position = static_cast<int>(start) + 1;
        node.function = detail::findFunction(name);
        if (!node.function) syntaxError(text_, start + 1, "função desconhecida "_cp + name);
        node.name = std::string(detail::functionName(*node.function));
        advance();  // "("
        if (token_.kind != Tok::RParen) {
            node.children.push_back(parseOr());
            while (token_.kind == Tok::Comma) {
                advance();
                node.children.push_back(parseOr());
            }
        }
        if (token_.kind != Tok::RParen) fail("falta \")\" ou \",\"");
        advance();
        const std::string problem = detail::arityProblem(*node.function, node.children.size());
        if (!problem.empty()) syntaxError(text_, start + 1, problem);
        return add(std::move(node));
    }

    const std::string& text_;
    std::vector<Node>& nodes_;
    size_t pos_ = 0;
    int depth_ = 0;
    Token token_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Evaluation

namespace {

[[noreturn]] void typeMismatch(const Context& ctx, const Node& node, std::string_view op,
                               const Value& a, const Value& b) {
    ctx.fail(node, "tipos incompatíveis em \""_cp + std::string(op) + "\" (" + typeName(a.type()) +
                       " e " + typeName(b.type()) + ")");
}

std::string_view opText(BinOp op) {
    switch (op) {
        case BinOp::Add:
            return "+";
        case BinOp::Subtract:
            return "-";
        case BinOp::Multiply:
            return "*";
        case BinOp::Divide:
            return "/";
        case BinOp::Modulo:
            return "%";
        case BinOp::Power:
            return "**";
        case BinOp::Equal:
            return "=";
        case BinOp::ExactEqual:
            return "==";
        case BinOp::NotEqual:
            return "<>";
        case BinOp::Less:
            return "<";
        case BinOp::LessEqual:
            return "<=";
        case BinOp::Greater:
            return ">";
        case BinOp::GreaterEqual:
            return ">=";
        case BinOp::Contains:
            return "$";
    }
    return "?";
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

template <typename T>
int threeWay(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

Value arithmetic(const Context& ctx, const Node& node, const Value& a, const Value& b) {
    const BinOp op = node.op;
    if (a.isCharacter() && b.isCharacter() && (op == BinOp::Add || op == BinOp::Subtract)) {
        std::string out;
        if (op == BinOp::Add) {
            out.reserve(a.text().size() + b.text().size());
            out.append(a.text()).append(b.text());
        } else {
            // xBase "-": the blanks that end the left side move to the end.
            const std::string left = base::rtrim(a.text());
            out.reserve(a.text().size() + b.text().size());
            out.append(left).append(b.text()).append(a.text().size() - left.size(), ' ');
        }
        return checkedText(ctx, node, std::move(out));
    }
    if (a.isDate() && b.isNumeric() && (op == BinOp::Add || op == BinOp::Subtract))
        return datePlus(ctx, node, a.date(), op == BinOp::Add ? b.number() : -b.number());
    if (a.isNumeric() && b.isDate() && op == BinOp::Add)
        return datePlus(ctx, node, b.date(), a.number());
    if (a.isDate() && b.isDate() && op == BinOp::Subtract)
        return Value(static_cast<double>(a.date() - b.date()));
    if (!a.isNumeric() || !b.isNumeric()) typeMismatch(ctx, node, opText(op), a, b);

    const double x = a.number(), y = b.number();
    double result = 0;
    switch (op) {
        case BinOp::Add:
            result = x + y;
            break;
        case BinOp::Subtract:
            result = x - y;
            break;
        case BinOp::Multiply:
            result = x * y;
            break;
        case BinOp::Divide:
            // A division by zero gives 0, as the program has always done
            // (totals over empty periods divide by zero routinely).
            result = y == 0 ? 0 : x / y;
            break;
        case BinOp::Modulo:
            result = y == 0 ? 0 : std::fmod(x, y);
            break;
        case BinOp::Power:
            result = std::pow(x, y);
            break;
        default:
            break;
    }
    return checkedNumber(ctx, node, result);
}

int compareText(std::string_view a, std::string_view b, bool exact) {
    if (!exact) {
        // EXACT off: only as many bytes as the right side has are compared.
        if (b.empty()) return 0;
        if (a.size() > b.size()) a = a.substr(0, b.size());
    }
    const size_t common = std::min(a.size(), b.size());
    if (common > 0) {
        const int c = std::memcmp(a.data(), b.data(), common);
        if (c != 0) return sign(c);
    }
    return threeWay(a.size(), b.size());
}

Value comparison(const Context& ctx, const Node& node, const Value& a, const Value& b) {
    const BinOp op = node.op;
    if (op == BinOp::Contains) {
        if (!a.isCharacter() || !b.isCharacter()) typeMismatch(ctx, node, "$", a, b);
        return Value(!a.text().empty() && b.text().find(a.text()) != std::string::npos);
    }
    if (a.type() != b.type()) typeMismatch(ctx, node, opText(op), a, b);
    int c = 0;
    switch (a.type()) {
        case Type::Character:
            c = compareText(a.text(), b.text(), op == BinOp::ExactEqual);
            break;
        case Type::Numeric:
            c = threeWay(a.number(), b.number());
            break;
        case Type::Date:
            c = threeWay(a.date(), b.date());
            break;
        case Type::Logical:
            c = threeWay(a.logical(), b.logical());
            break;
    }
    switch (op) {
        case BinOp::Equal:
        case BinOp::ExactEqual:
            return Value(c == 0);
        case BinOp::NotEqual:
            return Value(c != 0);
        case BinOp::Less:
            return Value(c < 0);
        case BinOp::LessEqual:
            return Value(c <= 0);
        case BinOp::Greater:
            return Value(c > 0);
        case BinOp::GreaterEqual:
            return Value(c >= 0);
        default:
            break;
    }
    return Value(false);
}

bool isComparison(BinOp op) {
    return op >= BinOp::Equal;
}

bool logicalOperand(const Context& ctx, const Node& node, const Value& value, std::string_view op) {
    if (!value.isLogical())
        ctx.fail(node, std::string(op) + " pede valores lógicos, não "_cp + typeName(value.type()));
    return value.logical();
}

Value readName(const Context& ctx, const Node& node) {
    switch (node.binding) {
        case NameBinding::Field:
            if (ctx.blank) {
                if (node.field.type == Type::Character)
                    return Value(std::string(static_cast<size_t>(node.field.width), ' '));
                return Value::emptyOf(node.field.type);
            }
            return ctx.resolver->field(node.field.slot);
        case NameBinding::Variable:
            return node.store->get(node.name);
        case NameBinding::Unbound:
            break;
    }
    ctx.fail(node, "nome sem ligação "_cp + node.name);
}

}  // namespace

Value checkedText(const Context& ctx, const Node& node, std::string text) {
    if (text.size() > detail::kMaxTextLength)
        ctx.fail(node, "texto longo demais (mais de " + std::to_string(detail::kMaxTextLength) +
                           " caracteres)");
    return Value(std::move(text));
}

Value checkedNumber(const Context& ctx, const Node& node, double number) {
    if (!std::isfinite(number)) ctx.fail(node, "número fora do limite"_cp);
    return Value(number);
}

Value datePlus(const Context& ctx, const Node& node, base::Date date, double days) {
    if (date.empty()) return Value(date);
    static const int32_t kFirst = base::Date::fromYmd(1, 1, 1)->julian();
    static const int32_t kLast = base::Date::fromYmd(9999, 12, 31)->julian();
    const double julian = date.julian() + std::trunc(days);
    if (!(julian >= kFirst && julian <= kLast)) ctx.fail(node, "data fora do limite");
    return Value(base::Date::fromJulian(static_cast<int32_t>(julian)));
}

Value callFunction(const Context& ctx, const Node& node) {
    const detail::CallSite site{ctx.resolver, ctx.blank, ctx.text, node.position, node.name};
    const detail::FunctionEntry& function = *node.function;
    if (detail::isConditional(function)) {
        const Value condition = evaluateNode(ctx, node.children[0]);
        if (!condition.isLogical())
            ctx.fail(node, "a condição de "_cp + node.name + " deve ser lógica, não "_cp +
                               typeName(condition.type()));
        return evaluateNode(ctx, node.children[condition.logical() ? 1 : 2]);
    }
    // Registered functions may change their arity after this expression was parsed.
    const std::string problem = detail::arityProblem(function, node.children.size());
    if (!problem.empty()) ctx.fail(node, problem);
    constexpr size_t kInline = 4;
    const size_t count = node.children.size();
    if (count <= kInline) {
        std::array<Value, kInline> arguments;
        for (size_t i = 0; i < count; ++i)
            arguments[i] = evaluateNode(ctx, node.children[i]);
        return detail::callFunction(function, std::span<Value>(arguments.data(), count), site);
    }
    std::vector<Value> arguments;
    arguments.reserve(count);
    for (int child : node.children)
        arguments.push_back(evaluateNode(ctx, child));
    return detail::callFunction(function, arguments, site);
}

Value evaluateNode(const Context& ctx, int index) {
    const Node& node = (*ctx.nodes)[static_cast<size_t>(index)];
    switch (node.kind) {
        case Kind::Literal:
            return node.literal;
        case Kind::Name:
            return readName(ctx, node);
        case Kind::Negate:
        case Kind::Positive: {
            Value value = evaluateNode(ctx, node.children[0]);
            if (!value.isNumeric())
                ctx.fail(node, std::string(node.kind == Kind::Negate ? "-" : "+") +
                                   " pede um número, não "_cp + typeName(value.type()));
            return node.kind == Kind::Negate ? Value(-value.number()) : value;
        }
        case Kind::Not:
            return Value(!logicalOperand(ctx, node, evaluateNode(ctx, node.children[0]), ".NOT."));
        case Kind::And:
            // Short-circuit, so "!EMPTY(X) .AND. VAL(X) > 0" reads X only when needed.
            if (!logicalOperand(ctx, node, evaluateNode(ctx, node.children[0]), ".AND."))
                return Value(false);
            return Value(logicalOperand(ctx, node, evaluateNode(ctx, node.children[1]), ".AND."));
        case Kind::Or:
            if (logicalOperand(ctx, node, evaluateNode(ctx, node.children[0]), ".OR."))
                return Value(true);
            return Value(logicalOperand(ctx, node, evaluateNode(ctx, node.children[1]), ".OR."));
        case Kind::Binary: {
            const Value a = evaluateNode(ctx, node.children[0]);
            const Value b = evaluateNode(ctx, node.children[1]);
            return isComparison(node.op) ? comparison(ctx, node, a, b)
                                         : arithmetic(ctx, node, a, b);
        }
        case Kind::Call:
            return callFunction(ctx, node);
    }
    return Value();
}

// ---------------------------------------------------------------------------
// Binding

namespace {

const base::NamedValues* findVariable(const std::vector<const base::NamedValues*>& stores,
                                      std::string_view name) {
    for (const base::NamedValues* store : stores)
        if (store && store->has(name)) return store;
    return nullptr;
}

void bindName(const std::string& text, Node& node, const Resolver& resolver,
              const std::vector<const base::NamedValues*>& stores) {
    node.binding = NameBinding::Unbound;
    node.store = nullptr;
    const std::string& alias = node.alias;
    const bool memvar = alias == "M" || alias == "MEMVAR";
    const bool fieldOnly = !alias.empty() && !memvar;
    if (!memvar) {
        const std::string_view fieldAlias =
            alias == "FIELD" || alias == "_FIELD" ? std::string_view() : std::string_view(alias);
        if (auto field = resolver.bindField(fieldAlias, node.name)) {
            node.binding = NameBinding::Field;
            node.field = *field;
            return;
        }
    }
    if (!fieldOnly) {
        if (const base::NamedValues* store = findVariable(stores, node.name)) {
            node.binding = NameBinding::Variable;
            node.store = store;
            return;
        }
    }
    if (memvar)
        bindError(text, node.position, "variável desconhecida "_cp + alias + "->" + node.name);
    if (fieldOnly) bindError(text, node.position, "campo desconhecido " + alias + "->" + node.name);
    bindError(text, node.position, "campo ou variável desconhecido "_cp + node.name);
}

}  // namespace

}  // namespace expr

void detail::CallSite::fail(const std::string& detail) const {
    expr::evaluationError(*expression, static_cast<size_t>(position),
                          std::string(function) + ": " + detail);
}

// ---------------------------------------------------------------------------
// Expression

struct Expression::Impl {
    std::string text;
    std::vector<expr::Node> nodes;
    int root = -1;
    // The resolver the names were bound to; evaluating with another one binds
    // again, so one parsed expression can serve two tables without mixing slots.
    const Resolver* boundTo = nullptr;
};

Expression::Expression() : impl_(std::make_unique<Impl>()) {}
Expression::Expression(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Expression::~Expression() = default;
Expression::Expression(const Expression& other) : impl_(std::make_unique<Impl>(*other.impl_)) {}
Expression& Expression::operator=(const Expression& other) {
    if (this != &other) impl_ = std::make_unique<Impl>(*other.impl_);
    return *this;
}
Expression::Expression(Expression&& other) noexcept : impl_(std::move(other.impl_)) {
    other.impl_ = std::make_unique<Impl>();
}
Expression& Expression::operator=(Expression&& other) noexcept {
    std::swap(impl_, other.impl_);
    return *this;
}

Expression Expression::parse(std::string_view text) {
    auto impl = std::make_unique<Impl>();
    impl->text = std::string(text);
    expr::Parser parser(impl->text, impl->nodes);
    impl->root = parser.parseAll();
    return Expression(std::move(impl));
}

Expression Expression::compile(std::string_view text, const Resolver& resolver) {
    Expression expression = parse(text);
    expression.bind(resolver);
    return expression;
}

namespace {

void bindTo(Expression::Impl& impl, const Resolver& resolver) {
    if (impl.root < 0) throw Error("Expressão vazia."_cp);
    const auto stores = resolver.variableStores();
    impl.boundTo = nullptr;
    for (expr::Node& node : impl.nodes)
        if (node.kind == expr::Kind::Name) expr::bindName(impl.text, node, resolver, stores);
    impl.boundTo = &resolver;
}

Value run(const Expression::Impl& impl, const Resolver& resolver, bool blank) {
    expr::Context ctx;
    ctx.nodes = &impl.nodes;
    ctx.text = &impl.text;
    ctx.resolver = &resolver;
    ctx.blank = blank;
    return expr::evaluateNode(ctx, impl.root);
}

}  // namespace

void Expression::bind(const Resolver& resolver) {
    bindTo(*impl_, resolver);
}

bool Expression::bound() const {
    return impl_->boundTo != nullptr;
}

Value Expression::evaluate(const Resolver& resolver) const {
    if (impl_->boundTo != &resolver) bindTo(*impl_, resolver);
    return run(*impl_, resolver, false);
}

bool Expression::test(const Resolver& resolver) const {
    const Value value = evaluate(resolver);
    if (!value.isLogical())
        throw Error("A expressão \""_cp + impl_->text + "\" deve dar um valor lógico, não "_cp +
                    expr::typeName(value.type()) + ".");
    return value.logical();
}

ResultInfo Expression::describe(const Resolver& resolver) const {
    if (impl_->boundTo != &resolver) bindTo(*impl_, resolver);
    const Value value = run(*impl_, resolver, true);
    ResultInfo info;
    info.type = value.type();
    switch (info.type) {
        case Type::Character:
            info.length = value.text().size();
            break;
        case Type::Numeric:
        case Type::Date:
            info.length = 8;
            break;
        case Type::Logical:
            info.length = 1;
            break;
    }
    return info;
}

const std::string& Expression::text() const {
    return impl_->text;
}

std::vector<std::string> Expression::fieldNames() const {
    std::vector<std::string> names;
    for (const expr::Node& node : impl_->nodes) {
        if (node.kind != expr::Kind::Name) continue;
        if (node.alias == "M" || node.alias == "MEMVAR") continue;
        if (impl_->boundTo && node.binding != expr::NameBinding::Field) continue;
        const bool plain = node.alias.empty() || node.alias == "FIELD" || node.alias == "_FIELD";
        std::string name = plain ? node.name : node.alias + "->" + node.name;
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
    }
    return names;
}

}  // namespace kdx2::store
