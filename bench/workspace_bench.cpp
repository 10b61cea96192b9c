// Opening and saving one taxpayer in a data folder of 10,000 taxpayers, each
// with 20 income rows (IRM2 about 300 MB), a register record and a summary
// record. A save after changing one row must stay under a tenth of a second
// at that size; the pack of the whole income table that a save would
// otherwise make is measured beside it for comparison.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "base/named_values.h"
#include "bench_folder.h"
#include "platform/drives.h"
#include "shell/workspace/scratch.h"
#include "shell/workspace/working_values.h"
#include "shell/workspace/workspace.h"
#include "store/access.h"
#include "store/feedback.h"
#include "store/work_areas.h"

namespace ws = kdx2::shell::workspace;
namespace store = kdx2::store;
using kdx2::base::Value;

namespace {

constexpr int kTaxpayers = 10000;
constexpr int kRowsEach = 20;

std::string cpfOf(int n) {
    char text[24];
    std::snprintf(text, sizeof text, "%011d", n);
    return text;
}

// Fills a table opened without indexes, then builds its CPF index at once.
template <typename Fill>
void fillTable(const std::string& path, Fill fill) {
    auto table = store::Table::open(path, store::OpenMode::Exclusive);
    for (int n = 1; n <= kTaxpayers; ++n)
        fill(*table, cpfOf(n), n);
    table->createIndex(path.substr(0, path.size() - 4) + ".CDX", "CPF");
    table->close();
}

class Folder {
  public:
    Folder() {
        drive_.workstation(2024);
        for (int table = 1; table <= 17; ++table)
            store::ABERTURA(table);
        store::workAreas().closeAll();
        for (const char* index : {"IRM1.CDX", "IRM2.CDX", "IRM9.CDX"})
            std::filesystem::remove(drive_.root() / "DADOS" / index);
        fillTable("C:\\DADOS\\IRM2.DBF", [](store::Table& t, const std::string& cpf, int n) {
            for (int row = 1; row <= kRowsEach; ++row) {
                store::appendRecord(t);
                t.put("CPF", Value(cpf));
                t.put("I1_1", Value("J"));
                t.put("I1_2", Value("FONTE PAGADORA " + std::to_string(row)));
                t.put("I1_4", Value(1000.0 * row + n % 100));
                t.put("I1_413", Value(83.33 * row));
            }
        });
        fillTable("C:\\DADOS\\IRM1.DBF", [](store::Table& t, const std::string& cpf, int) {
            store::appendRecord(t);
            t.put("CPF", Value(cpf));
        });
        fillTable("C:\\DADOS\\IRM9.DBF", [](store::Table& t, const std::string& cpf, int n) {
            store::appendRecord(t);
            t.put("CPF", Value(cpf));
            t.put("NOMECONTR", Value("CONTRIBUINTE " + std::to_string(n)));
        });
        auto irm9 = store::Table::open("C:\\DADOS\\IRM9.DBF", store::OpenMode::Exclusive);
        irm9->createIndex("C:\\DADOS\\IRM9B.CDX", "upper(NOMECONTR)");
        irm9->close();
        ws::createWorkingValues();
    }
    uint64_t incomeBytes() const {
        return std::filesystem::file_size(drive_.root() / "DADOS" / "IRM2.DBF");
    }

  private:
    kdx2::bench::BenchFolder drive_{"workspace"};
};

Folder& folder() {
    static Folder instance;
    return instance;
}

void open(const std::string& cpf) {
    kdx2::base::session().set("CPF", cpf);
    kdx2::base::session().set("LRECUPERA", false);
    if (!ws::INIC_VAR(1, 1)) throw std::runtime_error("load failed");
}

void BM_OpenTaxpayer(benchmark::State& state) {
    folder();
    for (auto _ : state)
        open(cpfOf(kTaxpayers / 2));
    state.counters["rows"] = static_cast<double>(kRowsEach);
}
BENCHMARK(BM_OpenTaxpayer)->Unit(benchmark::kMillisecond)->UseRealTime();

// A save after the user changed one of the taxpayer's income rows: the
// twenty rows of IRM2 are replaced, the unchanged tables are left alone.
void BM_SaveTaxpayer(benchmark::State& state) {
    folder();
    open(cpfOf(kTaxpayers / 3));
    double amount = 0;
    for (auto _ : state) {
        store::Table& rows = ws::scratch(ws::kSources);
        rows.goTop();
        rows.put("I1_413", Value(amount += 1));
        if (!ws::SALVATUDO(0)) state.SkipWithError("save failed");
    }
    state.counters["IRM2_MB"] = static_cast<double>(folder().incomeBytes()) / (1 << 20);
}
BENCHMARK(BM_SaveTaxpayer)->Unit(benchmark::kMillisecond)->UseRealTime();

// A save with nothing changed since the last one (the automatic save).
void BM_SaveUnchangedTaxpayer(benchmark::State& state) {
    folder();
    open(cpfOf(kTaxpayers / 4));
    for (auto _ : state)
        if (!ws::SALVATUDO(0)) state.SkipWithError("save failed");
}
BENCHMARK(BM_SaveUnchangedTaxpayer)->Unit(benchmark::kMillisecond)->UseRealTime();

// What one save would cost if it packed the income table.
void BM_PackIncomeTable(benchmark::State& state) {
    folder();
    for (auto _ : state) {
        store::ABERTURA(2, true);
        store::workAreas().area(2).pack();
        store::workAreas().close(2);
    }
}
BENCHMARK(BM_PackIncomeTable)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
