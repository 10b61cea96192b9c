#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "base/cp850.h"
#include "base/error.h"
#include "base/named_values.h"
#include "base/text.h"
#include "store/expr.h"

using namespace kdx2;
using namespace kdx2::base::literals;
using base::Date;
using base::Type;
using base::Value;
using store::Expression;
using store::FieldBinding;
using store::ResultInfo;
using testing::HasSubstr;

namespace {

// One record of a table layout, as a table would present it: character
// fields blank-padded to their width, read by slot once bound.
class Record : public store::Resolver {
  public:
    struct Field {
        std::string name;
        Type type;
        int width;
        int decimals = 0;
    };

    Record(std::string alias, std::vector<Field> fields)
        : alias_(std::move(alias)), fields_(std::move(fields)) {
        for (const Field& f : fields_)
            values_.push_back(f.type == Type::Character
                                  ? Value(std::string(static_cast<size_t>(f.width), ' '))
                                  : Value::emptyOf(f.type));
    }

    Record& set(std::string_view name, Value value) {
        const size_t i = index(name);
        if (fields_[i].type == Type::Character)
            value = Value(base::padRight(value.text(), static_cast<size_t>(fields_[i].width)));
        values_[i] = std::move(value);
        return *this;
    }

    std::optional<FieldBinding> bindField(std::string_view alias,
                                          std::string_view name) const override {
        if (!alias.empty() && !base::equalsIgnoreCase(alias, alias_)) return std::nullopt;
        for (size_t i = 0; i < fields_.size(); ++i)
            if (base::equalsIgnoreCase(fields_[i].name, name))
                return FieldBinding{static_cast<int>(i), fields_[i].type, fields_[i].width,
                                    fields_[i].decimals};
        return std::nullopt;
    }
    Value field(int slot) const override {
        ++reads;
        return values_[static_cast<size_t>(slot)];
    }
    std::vector<const base::NamedValues*> variableStores() const override {
        return {&variables, &base::session()};
    }
    bool deleted() const override { return isDeleted; }
    uint32_t recordNumber() const override { return recno; }

    base::NamedValues variables;
    bool isDeleted = false;
    uint32_t recno = 1;
    mutable int reads = 0;

  private:
    size_t index(std::string_view name) const {
        for (size_t i = 0; i < fields_.size(); ++i)
            if (base::equalsIgnoreCase(fields_[i].name, name)) return i;
        throw std::logic_error("test record has no field " + std::string(name));
    }

    std::string alias_;
    std::vector<Field> fields_;
    std::vector<Value> values_;
};

// Income lines (IRM2), with the fields the temporary orders and browse columns use.
Record incomeLine() {
    return Record("IRM2", {{"CPF", Type::Character, 11},
                           {"I1_1", Type::Character, 1},
                           {"I1_2", Type::Character, 44},
                           {"I1_3", Type::Character, 18},
                           {"TIPOCR", Type::Character, 1},
                           {"DT_LC", Type::Date, 8},
                           {"CDCONTA", Type::Character, 4},
                           {"NROIMO", Type::Numeric, 2},
                           {"I1_413", Type::Numeric, 14, 2},
                           {"NUM_DOC", Type::Character, 20}});
}

Record capitalGain() {
    return Record("IRM7", {{"CPF", Type::Character, 11},
                           {"BEM_NRO", Type::Numeric, 2},
                           {"RVAR_NRO", Type::Numeric, 2},
                           {"DAY_TRADE", Type::Character, 1}});
}

Value eval(std::string_view text, const store::Resolver& resolver = store::Resolver()) {
    return Expression::parse(text).evaluate(resolver);
}
std::string evalText(std::string_view text, const store::Resolver& resolver = store::Resolver()) {
    const Value v = eval(text, resolver);
    EXPECT_TRUE(v.isCharacter()) << text;
    return v.text();
}
double evalNumber(std::string_view text, const store::Resolver& resolver = store::Resolver()) {
    const Value v = eval(text, resolver);
    EXPECT_TRUE(v.isNumeric()) << text;
    return v.number();
}
bool evalLogical(std::string_view text, const store::Resolver& resolver = store::Resolver()) {
    const Value v = eval(text, resolver);
    EXPECT_TRUE(v.isLogical()) << text;
    return v.logical();
}

// The UTF-8 message of the error an expression raises (at parse or at evaluation).
std::string errorOf(std::string_view text, const store::Resolver& resolver = store::Resolver()) {
    try {
        eval(text, resolver);
    } catch (const base::Error& e) {
        return base::cp850::toUtf8(e.what());
    }
    ADD_FAILURE() << "no error for " << text;
    return {};
}

Date ymd(int y, int m, int d) {
    return *Date::fromYmd(y, m, d);
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(ExpressionKeys, KeysOfTheTablesIndexesFromFieldValues) {
    Record gain = capitalGain();
    gain.set("BEM_NRO", 3).set("RVAR_NRO", 12).set("DAY_TRADE", "S");
    const auto key7 = Expression::parse("STRZERO(BEM_NRO,2)+STRZERO(RVAR_NRO,2)+DAY_TRADE");
    EXPECT_EQ(key7.evaluate(gain).text(), "0312S");
    EXPECT_EQ(Expression::parse("STRZERO(BEM_NRO,2)+STRZERO(RVAR_NRO,2)").evaluate(gain).text(),
              "0312");

    Record line = incomeLine();
    line.set("DT_LC", ymd(2024, 1, 5)).set("NROIMO", 3).set("I1_2", "Padaria Açúcar"_cp);
    EXPECT_EQ(evalText("DTOS(DT_LC)", line), "20240105");
    EXPECT_EQ(evalText("str(NROIMO)", line), "         3");
    // Upper case of ASCII letters only, so keys match indexes other programs built.
    EXPECT_EQ(evalText("upper(I1_2)", line), base::padRight("PADARIA AçúCAR"_cp, 44));
    EXPECT_EQ(evalText("cpf", line), std::string(11, ' '));

    Record town("TABMUNI", {{"NOMEMUNI", Type::Character, 40}, {"UNIFED", Type::Character, 2}});
    town.set("NOMEMUNI", "São Paulo"_cp).set("UNIFED", "sp");
    EXPECT_EQ(evalText("UPPER(NOMEMUNI+UNIFED)", town), base::padRight("SãO PAULO"_cp, 40) + "SP");
}

TEST(ExpressionKeys, KeysSortLikeTheirValues) {
    // Date keys and zero-padded numbers order as the values do.
    Record line = incomeLine();
    const auto key = Expression::parse("DTOS(DT_LC)");
    std::vector<std::string> keys;
    for (Date d : {ymd(2024, 12, 1), ymd(2023, 2, 28), Date(), ymd(2024, 1, 31)}) {
        line.set("DT_LC", d);
        keys.push_back(key.evaluate(line).text());
    }
    EXPECT_THAT(keys, testing::ElementsAre("20241201", "20230228", "        ", "20240131"));
    std::sort(keys.begin(), keys.end());
    EXPECT_THAT(keys, testing::ElementsAre("        ", "20230228", "20240131", "20241201"));

    Record gain = capitalGain();
    const auto zero = Expression::parse("STRZERO(BEM_NRO,2)");
    gain.set("BEM_NRO", 9);
    const std::string nine = zero.evaluate(gain).text();
    gain.set("BEM_NRO", 10);
    EXPECT_LT(nine, zero.evaluate(gain).text());
}

TEST(ExpressionKeys, DescribeReportsTypeAndLengthOnABlankRecord) {
    Record line = incomeLine();
    line.set("I1_2", "x").set("DT_LC", ymd(2024, 1, 1));
    auto info = [&](std::string_view text) { return Expression::parse(text).describe(line); };
    EXPECT_EQ(info("DTOS(DT_LC)").type, Type::Character);
    EXPECT_EQ(info("DTOS(DT_LC)").length, 8u);
    EXPECT_EQ(info("upper(I1_2)").length, 44u);
    EXPECT_EQ(info("CDCONTA+DTOS(DT_LC)").length, 12u);
    EXPECT_EQ(info("substr(I1_2,1,21)").length, 21u);
    EXPECT_EQ(info("str(I1_413)").length, 10u);
    EXPECT_EQ(info("I1_413").type, Type::Numeric);
    EXPECT_EQ(info("I1_413").length, 8u);
    EXPECT_EQ(info("DT_LC").type, Type::Date);
    EXPECT_EQ(info("I1_1 = 'J'").type, Type::Logical);
    EXPECT_EQ(info("I1_1 = 'J'").length, 1u);
    // A blank record: TRIM of a blank field is empty, whatever the current record holds.
    EXPECT_EQ(info("TRIM(I1_2)").length, 0u);
    // A key that cannot be computed is refused before any index is built.
    EXPECT_THROW(info("I1_2 + NROIMO"), base::Error);
}

TEST(ExpressionKeys, FieldNamesAreListedOnce) {
    Record line = incomeLine();
    auto e = Expression::parse("DTOS(DT_LC)+upper(i1_2)+DTOC(dt_lc)+M->TIPOCR+IRM2->CDCONTA");
    EXPECT_THAT(e.fieldNames(), testing::ElementsAre("DT_LC", "I1_2", "IRM2->CDCONTA"));
    line.variables.set("QUALQUER", 1);
    auto mixed = Expression::parse("CDCONTA + STR(QUALQUER)");
    mixed.bind(line);
    EXPECT_THAT(mixed.fieldNames(), testing::ElementsAre("CDCONTA"));
}

// ---------------------------------------------------------------------------

TEST(ExpressionText, EqualsComparesAsXBaseWithExactOff) {
    EXPECT_TRUE(evalLogical("'ABC' = 'AB'"));
    EXPECT_FALSE(evalLogical("'AB' = 'ABC'"));
    EXPECT_TRUE(evalLogical("'ABC' = ''"));
    EXPECT_FALSE(evalLogical("'ABC' == 'AB'"));
    EXPECT_FALSE(evalLogical("'AB ' == 'AB'"));
    EXPECT_TRUE(evalLogical("'AB' == 'AB'"));
    EXPECT_FALSE(evalLogical("'ABC' != 'AB'"));
    EXPECT_TRUE(evalLogical("'AB' <> 'ABC'"));
    EXPECT_TRUE(evalLogical("'AB' # 'ABC'"));
    // Ordering: a prefix sorts first, bytes compare unsigned (accents after ASCII).
    EXPECT_TRUE(evalLogical("'AB' < 'ABC'"));
    EXPECT_FALSE(evalLogical("'ABC' > 'AB'"));
    EXPECT_TRUE(evalLogical("'ABC' >= 'AB'"));
    EXPECT_TRUE(evalLogical("'Z' < 'Ç'"_cp));

    // A filter on a padded field with a short literal, as the browse screens set them.
    Record line = incomeLine();
    line.set("I1_1", "J").set("TIPOCR", "D");
    EXPECT_TRUE(Expression::parse("I1_1 = \"J\"").test(line));
    EXPECT_TRUE(Expression::parse("(I1_1 = 'L' .OR. I1_1 = 'J') .AND. (TIPOCR = 'D' .OR. "
                                  "TIPOCR = 'N')")
                    .test(line));
}

TEST(ExpressionText, ConcatenationAndSubstrings) {
    EXPECT_EQ(evalText("'AB  ' + 'CD '"), "AB  CD ");
    // "-" moves the left side's trailing blanks to the end.
    EXPECT_EQ(evalText("'AB  ' - 'CD '"), "ABCD   ");
    EXPECT_EQ(evalText("'    ' - 'X'"), "X    ");
    EXPECT_TRUE(evalLogical("'BC' $ 'ABCD'"));
    EXPECT_FALSE(evalLogical("'' $ 'ABCD'"));
    EXPECT_FALSE(evalLogical("'bc' $ 'ABCD'"));

    EXPECT_EQ(evalText("SUBSTR('ABCDEF', 2, 3)"), "BCD");
    EXPECT_EQ(evalText("SUBSTR('ABCDEF', 4)"), "DEF");
    EXPECT_EQ(evalText("SUBSTR('ABCDEF', 0, 2)"), "AB");
    EXPECT_EQ(evalText("SUBSTR('ABCDEF', -2)"), "EF");
    EXPECT_EQ(evalText("SUBSTR('ABCDEF', 7)"), "");
    EXPECT_EQ(evalText("SUBSTR('ABCDEF', 5, 10)"), "EF");
    EXPECT_EQ(evalText("SUBSTR('ABCDEF', 2, -1)"), "");
    EXPECT_EQ(evalText("SUBSTR('ABC', 99999999999999999999, 99999999999999999999)"), "");
    EXPECT_EQ(evalText("LEFT('ABC', 5) + RIGHT('ABC', 2) + LEFT('ABC', -1) + RIGHT('ABC', 0)"),
              "ABCBC");

    Record line = incomeLine();
    line.set("DT_LC", ymd(2024, 3, 7)).set("I1_2", "Consultório Dr. Silva, aluguel de sala"_cp);
    EXPECT_EQ(evalText("substr(dtoc(DT_LC),1,5)", line), "07/03");
    EXPECT_EQ(evalText("substr(I1_2,1,21)", line), "Consultório Dr. Silva"_cp);
}

TEST(ExpressionText, TrimPadAndRepeat) {
    EXPECT_EQ(evalText("TRIM('  a b  ') + '|' + LTRIM('  a ') + '|' + ALLTRIM('  a  ')"),
              "  a b|a |a");
    EXPECT_EQ(evalText("RTRIM('x  ')"), "x");
    EXPECT_EQ(evalText("PADL('7', 3, '0') + PADR('ab', 4, '.') + PADC('x', 4, '*')"),
              "007ab..*x**");
    EXPECT_EQ(evalText("PADR('abcdef', 3)"), "abc");
    EXPECT_EQ(evalText("PADL(42, 5)"), "   42");
    EXPECT_EQ(evalText("SPACE(3) + REPLICATE('ab', 3) + REPLICATE('x', 0)"), "   ababab");
    EXPECT_EQ(evalNumber("LEN('abc') + LEN('')"), 3);
    EXPECT_EQ(evalText("UPPER('ação') + LOWER('ÇA')"_cp), "AçãOÇa"_cp);
    EXPECT_TRUE(evalLogical("EMPTY('   ') .AND. EMPTY(0) .AND. EMPTY(CTOD('')) .AND. EMPTY(.F.)"));
    EXPECT_FALSE(evalLogical("EMPTY(' x')"));
}

// ---------------------------------------------------------------------------

TEST(ExpressionNumbers, StrRoundsAndOverflows) {
    EXPECT_EQ(evalText("STR(2.5)"), "         3");
    EXPECT_EQ(evalText("STR(-2.5)"), "        -3");
    EXPECT_EQ(evalText("STR(-0.4) + STR(0.5, 2) + STR(-0.5, 2)"), "         0 1-1");
    EXPECT_EQ(evalText("STR(-10, 2) + STR(2.49999, 1)"), "**2");
    EXPECT_EQ(evalText("STR(99999999999999.5, 16, 0)"), " 100000000000000");
    EXPECT_EQ(evalText("STR(1.005, 6, 2)"), "  1.01");
    EXPECT_EQ(evalText("STR(1234.5, 4)"), "1235");
    // A product that stands for 14.5 rounds up like the decimal it means.
    EXPECT_EQ(evalText("STR(0.145 * 100, 3)"), " 15");
    EXPECT_EQ(evalText("STR(123456, 5)"), "*****");
    EXPECT_EQ(evalText("STR(12345678901)"), "**********");
    // The decimals give way before the integer part does.
    EXPECT_EQ(evalText("STR(123.456, 5, 2)"), "123.5");
    EXPECT_EQ(evalText("STR(123.456, 3, 2)"), "123");
    EXPECT_EQ(evalText("STR(7, 0)"), "");
    EXPECT_EQ(evalText("STRZERO(7, 3)"), "007");
    EXPECT_EQ(evalText("STRZERO(-5, 4)"), "-005");
    EXPECT_EQ(evalText("STRZERO(1.5, 5, 1)"), "001.5");
    EXPECT_EQ(evalText("STRZERO(1000, 3)"), "***");
    EXPECT_EQ(evalText("STRZERO(5)"), "0000000005");

    EXPECT_DOUBLE_EQ(evalNumber("VAL('  -12.50xyz') + VAL('') + VAL('abc')"), -12.5);
    EXPECT_DOUBLE_EQ(evalNumber("ROUND(2.675, 2)"), 2.68);
    EXPECT_DOUBLE_EQ(evalNumber("ROUND(-2.5, 0)"), -3);
    EXPECT_DOUBLE_EQ(evalNumber("ROUND(1250, -2)"), 1300);
    EXPECT_DOUBLE_EQ(evalNumber("INT(-7.9) + INT(7.9)"), 0);
    EXPECT_DOUBLE_EQ(evalNumber("ABS(-3)"), 3);
}

TEST(ExpressionNumbers, ArithmeticAndPrecedence) {
    EXPECT_DOUBLE_EQ(evalNumber("1 + 2 * 3"), 7);
    EXPECT_DOUBLE_EQ(evalNumber("(1 + 2) * 3"), 9);
    EXPECT_DOUBLE_EQ(evalNumber("10 - 4 - 3"), 3);
    EXPECT_DOUBLE_EQ(evalNumber("2 ** 3 ^ 2"), 64);
    EXPECT_DOUBLE_EQ(evalNumber("-2 ^ 2"), 4);  // unary minus binds tighter
    EXPECT_DOUBLE_EQ(evalNumber("7 % 3 + .5"), 1.5);
    EXPECT_DOUBLE_EQ(evalNumber("- -3"), 3);
    EXPECT_DOUBLE_EQ(evalNumber("+4"), 4);
    // Division by zero gives 0 rather than stopping a report.
    EXPECT_DOUBLE_EQ(evalNumber("5 / 0 + 5 % 0"), 0);
    EXPECT_TRUE(evalLogical("1 < 2 .AND. 2 >= 2 .AND. 3 <> 4 .AND. 3 == 3"));
}

// ---------------------------------------------------------------------------

TEST(ExpressionDates, Arithmetic) {
    EXPECT_EQ(evalText("DTOS(CTOD('31/12/2023') + 1)"), "20240101");
    EXPECT_EQ(evalText("DTOS(CTOD('01/03/2024') - 1)"), "20240229");
    EXPECT_EQ(evalText("DTOS(2 + CTOD('28/02/2023'))"), "20230302");
    EXPECT_DOUBLE_EQ(evalNumber("CTOD('01/03/2024') - CTOD('01/02/2024')"), 29);
    EXPECT_DOUBLE_EQ(evalNumber("CTOD('01/01/2024') - CTOD('01/02/2024')"), -31);
    EXPECT_TRUE(evalLogical("CTOD('02/01/2024') > CTOD('31/12/2023')"));
    EXPECT_TRUE(evalLogical("CTOD('') < CTOD('01/01/1900')"));
    // The empty date stays empty.
    EXPECT_EQ(evalText("DTOS(CTOD('') + 10)"), "        ");
    EXPECT_EQ(evalText("DTOC(CTOD(''))"), "  /  /    ");
    EXPECT_THAT(errorOf("CTOD('31/12/9999') + 1"), HasSubstr("data fora do limite"));
}

TEST(ExpressionDates, ConversionsAndParts) {
    EXPECT_EQ(evalText("DTOC(CTOD('5/6/98'))"), "05/06/1998");  // 1900 epoch
    EXPECT_EQ(evalText("DTOC(CTOD('05-06-2024'))"), "05/06/2024");
    EXPECT_EQ(evalText("DTOS(CTOD('31/02/2024'))"), "        ");
    EXPECT_EQ(evalText("DTOS(CTOD('lixo'))"), "        ");
    EXPECT_EQ(evalText("DTOS(STOD('20240229'))"), "20240229");
    EXPECT_EQ(evalText("DTOS(STOD('2024'))"), "        ");
    EXPECT_DOUBLE_EQ(evalNumber("YEAR(CTOD('29/02/2024'))*10000 + MONTH(CTOD('29/02/2024'))*100 "
                                "+ DAY(CTOD('29/02/2024'))"),
                     20240229);
    EXPECT_DOUBLE_EQ(evalNumber("YEAR(CTOD(''))"), 0);
    EXPECT_EQ(eval("DATE()").date(), Date::today());
}

// ---------------------------------------------------------------------------

TEST(ExpressionLogic, PrecedenceAndShortCircuit) {
    EXPECT_TRUE(evalLogical(".NOT. 1 = 2"));
    EXPECT_TRUE(evalLogical("!.F. .AND. .t."));
    EXPECT_TRUE(evalLogical(".F. .OR. .T. .AND. .T."));
    EXPECT_FALSE(evalLogical("(.F. .OR. .T.) .AND. .F."));
    EXPECT_TRUE(evalLogical(".y. .and. !.n."));
    // The right side is not evaluated when the left decides, nor the branch IIF does not take.
    EXPECT_FALSE(evalLogical(".F. .AND. 'A' + 1 = 2"));
    EXPECT_TRUE(evalLogical(".T. .OR. 'A' + 1 = 2"));
    EXPECT_EQ(evalText("IIF(1 > 2, 'A' + 1, 'sim')"), "sim");
    EXPECT_DOUBLE_EQ(evalNumber("IF(.T., 1, 2)"), 1);
    // Numbers and strings glued to the dotted operators.
    EXPECT_TRUE(evalLogical("1=1.AND.2=2"));
}

TEST(ExpressionNames, FieldsAliasesAndVariables) {
    Record line = incomeLine();
    line.set("I1_1", "F").set("TIPOCR", "C");
    line.variables.set("TIPOCR", "D");
    line.variables.set("ANOBASE", "2024");

    // A field shadows a variable of the same name; M-> reaches the variable.
    EXPECT_EQ(evalText("TIPOCR + M->TIPOCR + memvar->tipocr", line), "CDD");
    EXPECT_EQ(evalText("IRM2->I1_1 + irm2->tipocr + FIELD->I1_1", line), "FCF");
    EXPECT_EQ(evalText("ANOBASE", line), "2024");
    EXPECT_TRUE(Expression::parse("I1_1 = 'F' .AND. TIPOCR = M->TIPOCR").evaluate(line) ==
                Value(false));

    // The session record is a variable store too.
    base::session().set("QUEANO", 2024);
    EXPECT_DOUBLE_EQ(evalNumber("M->QUEANO + 1"), 2025);
    EXPECT_DOUBLE_EQ(evalNumber("QUEANO - 1", line), 2023);
    base::session().erase("QUEANO");
}

TEST(ExpressionNames, BindingHappensOnceAndCanBeRedone) {
    Record line = incomeLine();
    line.set("NROIMO", 4);
    auto e = Expression::parse("NROIMO * 2");
    EXPECT_FALSE(e.bound());
    EXPECT_DOUBLE_EQ(e.evaluate(line).number(), 8);
    EXPECT_TRUE(e.bound());
    line.set("NROIMO", 5);
    EXPECT_DOUBLE_EQ(e.evaluate(line).number(), 10);

    // Another layout: NROIMO is the first field there.
    Record entries("IRM14", {{"NROIMO", Type::Numeric, 2}, {"CPF", Type::Character, 11}});
    entries.set("NROIMO", 1);
    Expression copy = e;
    copy.bind(entries);
    EXPECT_DOUBLE_EQ(copy.evaluate(entries).number(), 2);
    EXPECT_DOUBLE_EQ(e.evaluate(line).number(), 10);  // the original keeps its binding
    // Evaluating with another resolver binds again rather than reading the wrong slot.
    EXPECT_DOUBLE_EQ(e.evaluate(entries).number(), 2);
    EXPECT_DOUBLE_EQ(e.evaluate(line).number(), 10);

    // Each evaluation reads each field reference once, by slot.
    line.reads = 0;
    Expression::compile("NROIMO + NROIMO", line).evaluate(line);
    EXPECT_EQ(line.reads, 2);
}

TEST(ExpressionNames, RecordFunctionsComeFromTheResolver) {
    Record line = incomeLine();
    line.recno = 17;
    line.isDeleted = true;
    EXPECT_DOUBLE_EQ(evalNumber("RECNO()", line), 17);
    EXPECT_TRUE(evalLogical("DELETED()", line));
    // Abbreviated built-in names, as xBase programs write them.
    EXPECT_EQ(evalText("SUBS('abcdef', 2, 2) + ALLT(' x ') + STRZ(3, 2)"), "bcx03");
}

// ---------------------------------------------------------------------------

TEST(ExpressionErrors, SyntaxErrorsNameTheExpressionAndPosition) {
    EXPECT_THAT(errorOf("UPPER(NOME"),
                testing::AllOf(HasSubstr("Erro de sintaxe"), HasSubstr("\"UPPER(NOME\""),
                               HasSubstr("posição 11"), HasSubstr("falta \")\"")));
    EXPECT_THAT(errorOf("'abc"), testing::AllOf(HasSubstr("posição 1"), HasSubstr("fecho")));
    EXPECT_THAT(errorOf("1 + * 2"), HasSubstr("posição 5"));
    EXPECT_THAT(errorOf("A B"), testing::AllOf(HasSubstr("posição 3"), HasSubstr("sobra")));
    EXPECT_THAT(errorOf("a)"), HasSubstr("\")\" sem \"(\""));
    EXPECT_THAT(errorOf("   "), HasSubstr("expressão vazia"));
    EXPECT_THAT(errorOf("A @ B"), HasSubstr("caractere inesperado \"@\""));
    EXPECT_THAT(errorOf("IRM2->"), HasSubstr("falta o nome do campo"));
    EXPECT_THAT(errorOf("NADA(1)"),
                testing::AllOf(HasSubstr("função desconhecida NADA"), HasSubstr("posição 1")));
    EXPECT_THAT(errorOf("x + SUBSTR('a')"),
                testing::AllOf(HasSubstr("SUBSTR pede de 2 a 3 argumentos, não 1"),
                               HasSubstr("posição 5")));
    EXPECT_THAT(errorOf("DATE(1)"), HasSubstr("DATE pede 0 argumentos"));
    // Messages are CP850 text, like every message the program shows.
    try {
        Expression::parse("(");
        FAIL();
    } catch (const base::Error& e) {
        EXPECT_THAT(std::string(e.what()), HasSubstr("posi"_cp + std::string("\x87\xC6o")));
    }
}

TEST(ExpressionErrors, UnknownNamesAreRefusedAtBinding) {
    Record line = incomeLine();
    auto bindError = [&](std::string_view text) {
        auto e = Expression::parse(text);  // parsing alone accepts any name
        try {
            e.bind(line);
        } catch (const base::Error& error) {
            return base::cp850::toUtf8(error.what());
        }
        ADD_FAILURE() << "no error for " << text;
        return std::string();
    };
    EXPECT_THAT(bindError("DTOS(DT_LX)"),
                testing::AllOf(HasSubstr("campo ou variável desconhecido DT_LX"),
                               HasSubstr("\"DTOS(DT_LX)\""), HasSubstr("posição 6")));
    EXPECT_THAT(bindError("IRM9->NOVO"), HasSubstr("campo desconhecido IRM9->NOVO"));
    EXPECT_THAT(bindError("IRM2->NADA"), HasSubstr("campo desconhecido IRM2->NADA"));
    EXPECT_THAT(bindError("M->CDCONTA"), HasSubstr("variável desconhecida M->CDCONTA"));
    EXPECT_THROW(Expression::compile("FIELD->ANOBASE", line), base::Error);
}

TEST(ExpressionErrors, EvaluationErrorsAreMessagesNotCrashes) {
    EXPECT_THAT(errorOf("'A' + 1"),
                testing::AllOf(HasSubstr("Erro ao calcular"), HasSubstr("\"'A' + 1\""),
                               HasSubstr("posição 5"),
                               HasSubstr("tipos incompatíveis em \"+\" (texto e número)")));
    EXPECT_THAT(errorOf("CTOD('') * 2"), HasSubstr("(data e número)"));
    EXPECT_THAT(errorOf("1 = '1'"), HasSubstr("tipos incompatíveis em \"=\""));
    EXPECT_THAT(errorOf("-'x'"), HasSubstr("pede um número"));
    EXPECT_THAT(errorOf("1 .AND. .T."), HasSubstr(".AND. pede valores lógicos"));
    EXPECT_THAT(errorOf("UPPER(1)"), HasSubstr("UPPER: o argumento 1 deve ser texto, não número"));
    EXPECT_THAT(errorOf("IIF('S', 1, 2)"), HasSubstr("condição de IIF deve ser lógica"));
    EXPECT_THAT(errorOf("REPLICATE('ab', 1000000000)"), HasSubstr("texto longo demais"));
    EXPECT_THAT(errorOf("SPACE(70000)"), HasSubstr("texto longo demais"));
    EXPECT_THAT(errorOf("STR(1, 1000000000000000)"), HasSubstr("texto longo demais"));
    EXPECT_THAT(errorOf("10 ^ 400"), HasSubstr("número fora do limite"));
    EXPECT_THAT(errorOf("VAL(REPLICATE('9', 400))"), HasSubstr("número fora do limite"));
    EXPECT_THROW(Expression::parse("1 + 1").test(store::Resolver()), base::Error);
}

TEST(ExpressionErrors, DeepNestingFailsCleanly) {
    const std::string parens = std::string(100000, '(') + "1" + std::string(100000, ')');
    EXPECT_THAT(errorOf(parens), HasSubstr("complexa demais"));
    std::string chain = "1";
    for (int i = 0; i < 50000; ++i)
        chain += "+1";
    EXPECT_THAT(errorOf(chain), HasSubstr("complexa demais"));
    EXPECT_THAT(errorOf(std::string(100000, '-') + "1"), HasSubstr("complexa demais"));
    // Ordinary nesting is far below the bound.
    EXPECT_DOUBLE_EQ(evalNumber(std::string(50, '(') + "2" + std::string(50, ')') + "*2"), 4);
}

// ---------------------------------------------------------------------------

TEST(ExpressionFunctions, RegisteredFunctionsAreCalledByName) {
    store::registerFunction("DOBRO", 1, 1, [](std::span<const Value> args) {
        if (!args[0].isNumeric()) throw base::Error("DOBRO pede um número"_cp);
        return Value(args[0].number() * 2);
    });
    EXPECT_TRUE(store::isFunctionKnown("dobro"));
    Record line = incomeLine();
    line.set("NROIMO", 21);
    auto e = Expression::parse("dobro(NROIMO) + 0");
    EXPECT_DOUBLE_EQ(e.evaluate(line).number(), 42);
    EXPECT_THAT(errorOf("DOBRO('x')"), HasSubstr("DOBRO pede um número"));
    EXPECT_THAT(errorOf("DOBRO(1, 2)"), HasSubstr("DOBRO pede 1 argumento, não 2"));

    // Registering again replaces the function, also for expressions already parsed.
    store::registerFunction("DOBRO", 1, 2, [](std::span<const Value> args) {
        return Value(args[0].number() * (args.size() > 1 ? args[1].number() : 2));
    });
    EXPECT_DOUBLE_EQ(e.evaluate(line).number(), 42);
    EXPECT_DOUBLE_EQ(evalNumber("DOBRO(2, 5)"), 10);

    // Any number of arguments, and a text result.
    store::registerFunction("JUNTA", 0, -1, [](std::span<const Value> args) {
        std::string out;
        for (const Value& v : args)
            out += v.text();
        return Value(out);
    });
    EXPECT_EQ(evalText("JUNTA('a', 'b', 'c', 'd', 'e', 'f')"), "abcdef");
    EXPECT_EQ(evalText("JUNTA()"), "");

    EXPECT_THROW(store::registerFunction("upper", 1, 1, [](auto) { return Value(); }),
                 std::invalid_argument);
    EXPECT_FALSE(store::isFunctionKnown("NAOEXISTE"));
}
