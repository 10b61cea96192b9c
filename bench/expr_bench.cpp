// Cost of computing index keys and filter results: an index build evaluates
// the key once per record, so a million-record table means a million calls.

#include <benchmark/benchmark.h>

#include "base/text.h"
#include "store/expr.h"

using namespace kdx2;
using base::Type;
using base::Value;

namespace {

// A record held as values, bound by position, as a table presents its
// current record.
class Record : public store::Resolver {
  public:
    struct Field {
        const char* name;
        Type type;
        int width;
        Value value;
    };
    explicit Record(std::vector<Field> fields) : fields_(std::move(fields)) {
        for (Field& f : fields_)
            if (f.type == Type::Character)
                f.value = Value(base::padRight(f.value.text(), static_cast<size_t>(f.width)));
    }
    std::optional<store::FieldBinding> bindField(std::string_view,
                                                 std::string_view name) const override {
        for (size_t i = 0; i < fields_.size(); ++i)
            if (base::equalsIgnoreCase(fields_[i].name, name))
                return store::FieldBinding{static_cast<int>(i), fields_[i].type, fields_[i].width,
                                           0};
        return std::nullopt;
    }
    Value field(int slot) const override { return fields_[static_cast<size_t>(slot)].value; }

  private:
    std::vector<Field> fields_;
};

const Record& sampleRecord() {
    static const Record record({
        {"NOMEMUNI", Type::Character, 40, Value("Sao Jose dos Campos")},
        {"UNIFED", Type::Character, 2, Value("SP")},
        {"BEM_NRO", Type::Numeric, 2, Value(3)},
        {"RVAR_NRO", Type::Numeric, 2, Value(12)},
        {"DAY_TRADE", Type::Character, 1, Value("S")},
        {"DT_LC", Type::Date, 8, Value(*base::Date::fromYmd(2024, 5, 17))},
        {"I1_1", Type::Character, 1, Value("O")},
        {"TIPOCR", Type::Character, 1, Value("N")},
        {"CPF", Type::Character, 11, Value("12345678909")},
    });
    return record;
}

void evaluateKey(benchmark::State& state, const char* text) {
    const Record& record = sampleRecord();
    const auto expression = store::Expression::compile(text, record);
    for (auto _ : state)
        benchmark::DoNotOptimize(expression.evaluate(record));
}

void BM_KeyUpperConcat(benchmark::State& state) {
    evaluateKey(state, "UPPER(NOMEMUNI+UNIFED)");
}
void BM_KeyStrZero(benchmark::State& state) {
    evaluateKey(state, "STRZERO(BEM_NRO,2)+STRZERO(RVAR_NRO,2)+DAY_TRADE");
}
void BM_KeyDtos(benchmark::State& state) {
    evaluateKey(state, "DTOS(DT_LC)");
}
void BM_KeyPlainField(benchmark::State& state) {
    evaluateKey(state, "CPF");
}
void BM_Filter(benchmark::State& state) {
    evaluateKey(state, "(I1_1 = 'L' .OR. I1_1 = 'O') .AND. (TIPOCR = 'D' .OR. TIPOCR = 'N')");
}
void BM_Parse(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(
            store::Expression::parse("STRZERO(BEM_NRO,2)+STRZERO(RVAR_NRO,2)+DAY_TRADE"));
}

}  // namespace

BENCHMARK(BM_KeyUpperConcat);
BENCHMARK(BM_KeyStrZero);
BENCHMARK(BM_KeyDtos);
BENCHMARK(BM_KeyPlainField);
BENCHMARK(BM_Filter);
BENCHMARK(BM_Parse);
