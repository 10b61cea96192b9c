// Table throughput on a table shaped like IRM2 (the paying sources, 112
// fields, 1,503-byte records) keyed by CPF: appends with the index kept up to
// date, building the CPF index, random seeks and reading one taxpayer's rows.
// The files live in a temporary folder mapped as drive C:.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"
#include "bench_folder.h"
#include "platform/drives.h"
#include "store/catalog.h"
#include "store/table.h"

using namespace kdx2;
using store::OpenMode;
using store::Table;

namespace {

constexpr int kRecords = 1'000'000;
constexpr int kTaxpayers = 10'000;

bench::BenchFolder& folder() {
    static bench::BenchFolder f("table");
    return f;
}

std::string cpfOf(int taxpayer) {
    return std::to_string(10'000'000'000LL + taxpayer * 7'919LL);
}

// Appends `count` rows spread over `taxpayers` taxpayers (each row gets the
// CPF of row % taxpayers), filling a few fields as the entry screens do.
void appendRows(Table& t, int count, int taxpayers) {
    const int cpf = t.fieldIndex("CPF"), kind = t.fieldIndex("I1_1"), name = t.fieldIndex("I1_2");
    const int total = t.fieldIndex("I1_4"), month = t.fieldIndex("I1_401");
    const base::Value company("J"), payer("EMPRESA PAGADORA LTDA");
    for (int i = 0; i < count; ++i) {
        if (!t.append()) throw std::runtime_error("append refused");
        t.put(cpf, base::Value(cpfOf(i % taxpayers)));
        t.put(kind, company);
        t.put(name, payer);
        t.put(total, base::Value(1234.56 + i % 1000));
        t.put(month, base::Value(102.88));
    }
    t.flush();
}

// A table of `count` rows with its CPF index, built once per name.
void ensureTable(const std::string& name, int count, int taxpayers) {
    folder();
    if (platform::fileExists("C:\\" + name + ".DBF") &&
        platform::fileExists("C:\\" + name + ".cdx"))
        return;
    Table::create("C:\\" + name, *store::tableLayout(2));
    auto t = Table::open("C:\\" + name, OpenMode::Exclusive);
    t->createIndex("C:\\" + name, "CPF");
    appendRows(*t, count, taxpayers);
}

void BM_AppendWithIndex(benchmark::State& state) {
    folder();
    const bool shared = state.range(1) != 0;
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        Table::create("C:\\APPEND", *store::tableLayout(2));
        auto t = Table::open("C:\\APPEND", shared ? OpenMode::Shared : OpenMode::Exclusive);
        t->createIndex("C:\\APPEND", "CPF");
        state.ResumeTiming();
        if (shared) {
            // The way a workstation appends beside others: lock, write, unlock.
            const int cpf = t->fieldIndex("CPF");
            for (int i = 0; i < count; ++i) {
                store::appendRecord(*t);
                t->put(cpf, base::Value(cpfOf(i % kTaxpayers)));
                t->unlock();
            }
        } else {
            appendRows(*t, count, kTaxpayers);
        }
        t->close();
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["records_per_s"] =
        benchmark::Counter(double(count), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AppendWithIndex)
    ->Args({kRecords, 0})
    ->Args({100'000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_BuildCpfIndex(benchmark::State& state) {
    ensureTable("IRM2", kRecords, kRecords / 3);
    auto t = Table::open("C:\\IRM2", OpenMode::Exclusive);
    for (auto _ : state)
        t->createIndex("C:\\IRM2B", "CPF");
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.counters["keys_per_s"] =
        benchmark::Counter(double(kRecords), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_BuildCpfIndex)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_RandomSeeks(benchmark::State& state) {
    ensureTable("IRM2", kRecords, kRecords / 3);
    const bool shared = state.range(0) != 0;
    auto t = Table::open("C:\\IRM2", shared ? OpenMode::Shared : OpenMode::Exclusive);
    t->openIndex("C:\\IRM2");
    std::mt19937 random(42);
    std::uniform_int_distribution<int> pick(0, kRecords / 3 - 1);
    std::vector<base::Value> keys;
    for (int i = 0; i < 4096; ++i)
        keys.emplace_back(cpfOf(pick(random)));
    // Warm the cache once.
    for (const base::Value& key : keys)
        t->seek(key);
    constexpr int kSeeks = 1'000'000;
    for (auto _ : state) {
        int found = 0;
        for (int i = 0; i < kSeeks; ++i)
            found += t->seek(keys[static_cast<size_t>(i) & 4095]);
        if (found != kSeeks) state.SkipWithError("a seek missed");
    }
    state.SetItemsProcessed(state.iterations() * kSeeks);
    state.counters["seeks_per_s"] =
        benchmark::Counter(double(kSeeks), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_RandomSeeks)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_ReadOneTaxpayer(benchmark::State& state) {
    // 10,000 taxpayers with 10 rows each, appended interleaved as in real use.
    ensureTable("TAXP", kTaxpayers * 10, kTaxpayers);
    auto t = Table::open("C:\\TAXP", OpenMode::Shared);
    t->openIndex("C:\\TAXP");
    const int cpfField = t->fieldIndex("CPF"), amount = t->fieldIndex("I1_4");
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(0, kTaxpayers - 1);
    int64_t rows = 0;
    for (auto _ : state) {
        const base::Value cpf(cpfOf(pick(random)));
        double sum = 0;
        for (t->seek(cpf); !t->eof() && t->get(cpfField) == cpf; t->skip()) {
            sum += t->get(amount).number();
            ++rows;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["rows_per_taxpayer"] = double(rows) / double(state.iterations());
}
BENCHMARK(BM_ReadOneTaxpayer);

// The same through forEachKey, which lists the rows from the index under one
// read lock before visiting them.
void BM_ReadOneTaxpayerForEachKey(benchmark::State& state) {
    ensureTable("TAXP", kTaxpayers * 10, kTaxpayers);
    auto t = Table::open("C:\\TAXP", OpenMode::Shared);
    t->openIndex("C:\\TAXP");
    const int amount = t->fieldIndex("I1_4");
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(0, kTaxpayers - 1);
    int64_t rows = 0;
    for (auto _ : state) {
        double sum = 0;
        t->forEachKey(base::Value(cpfOf(pick(random))), [&](Table& row) {
            sum += row.get(amount).number();
            ++rows;
            return true;
        });
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["rows_per_taxpayer"] = double(rows) / double(state.iterations());
}
BENCHMARK(BM_ReadOneTaxpayerForEachKey);

}  // namespace
