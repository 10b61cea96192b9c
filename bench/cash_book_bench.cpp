// The cash book of one taxpayer with 10,000 entries in a data folder of
// 1,000,000 entries (100 taxpayers): opening the entries window (the
// taxpayer's entries copied into the terminal's private table) should stay
// under 0.2 s, and transferring the 10,000 entries into the declaration's
// tables (with the monthly totals and the write-back of the marks) under 1 s.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "base/named_values.h"
#include "bench_folder.h"
#include "platform/drives.h"
#include "shell/cashbook/cashbook.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store/feedback.h"
#include "store/work_areas.h"

namespace cashbook = kdx2::shell::cashbook;
namespace store = kdx2::store;
using kdx2::base::Value;

namespace {

constexpr int kTaxpayers = 100;
constexpr int kEntriesEach = 10000;
constexpr int kWorkArea = 34;

std::string cpfOf(int n) {
    char text[24];
    std::snprintf(text, sizeof text, "%011d", n);
    return text;
}

const std::string& ours() {
    static const std::string cpf = cpfOf(kTaxpayers / 2);
    return cpf;
}

void addAccount(store::Table& chart, const char* code, int line) {
    store::appendRecord(chart);
    chart.put("CDCONTA", Value(code));
    chart.put("NMDESCRICA", Value("CONTA"));
    chart.put("CDSTATUS", Value("S"));
    chart.put("PAGINA", Value(2));
    chart.put("LINHA", Value(line));
    chart.put("LIVROCX", Value("S"));
    chart.put("TEMDESCR", Value("S"));
}

class Folder {
  public:
    Folder() {
        drive_.workstation(2024);
        kdx2::base::session().set("CPF", ours());
        for (int table = 1; table <= 17; ++table)
            if (!store::ABERTURA(table)) throw std::runtime_error("open failed");
        store::workAreas().closeAll();
        std::filesystem::remove(drive_.root() / "DADOS" / "IRM14.CDX");
        fillEntries();
        store::Table::create("C:\\CONTAS.DBF", *store::tableLayout(58));
        auto chart = store::Table::open("C:\\CONTAS.DBF", store::OpenMode::Exclusive);
        addAccount(*chart, "1001", 1);
        addAccount(*chart, "4001", 3);
        chart->createIndex("C:\\CONTAS.CDX", "CDCONTA");
    }
    // A fresh income table, so every transfer appends to the same table.
    void emptyIncome() {
        store::workAreas().closeAll();
        store::Table::create("C:\\DADOS\\IRM2.DBF", *store::tableLayout(2));
        std::filesystem::remove(drive_.root() / "DADOS" / "IRM2.CDX");
    }

  private:
    static void fillEntries() {
        auto table = store::Table::open("C:\\DADOS\\IRM14.DBF", store::OpenMode::Exclusive);
        for (int n = 1; n <= kTaxpayers; ++n) {
            const std::string cpf = cpfOf(n);
            for (int entry = 1; entry <= kEntriesEach; ++entry) {
                store::appendRecord(*table);
                table->put("CPF", Value(cpf));
                table->put("CDCONTA", Value(entry % 2 ? "1001" : "4001"));
                table->put("DESCONTA", Value("LANCAMENTO " + std::to_string(entry)));
                table->put("VALODESP", Value(10.0 + entry % 97));
                table->put("DATALAN", Value(*kdx2::base::Date::fromYmd(2024, 1 + entry % 12, 5)));
                table->put("NROCGCCPF", Value("52998224725"));
                table->put("LANCADO", Value(false));
            }
        }
        table->createIndex("C:\\DADOS\\IRM14.CDX", "CPF");
    }

    kdx2::bench::BenchFolder drive_{"cash_book"};
};

Folder& folder() {
    static Folder instance;
    return instance;
}

void BM_OpenEntriesWindow(benchmark::State& state) {
    folder();
    for (auto _ : state) {
        if (!cashbook::loadWorkTable(ours())) state.SkipWithError("load failed");
        state.PauseTiming();
        cashbook::dropWorkTable();
        state.ResumeTiming();
    }
    state.counters["entries"] = kEntriesEach;
}
BENCHMARK(BM_OpenEntriesWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every entry untransferred, then one transfer of them all (the marks go
// back to IRM14 with it).
void BM_TransferEntries(benchmark::State& state) {
    folder();
    for (auto _ : state) {
        state.PauseTiming();
        folder().emptyIncome();
        if (!cashbook::loadWorkTable(ours())) state.SkipWithError("load failed");
        store::workAreas().area(kWorkArea).forEach([](store::Table& row) {
            row.put("LANCADO", Value(false));
            return true;
        });
        state.ResumeTiming();
        const kdx2::tax::TransferResult result = cashbook::transferEntries(cashbook::kFromMainMenu);
        if (result.transferred != kEntriesEach) state.SkipWithError("not every entry transferred");
        state.PauseTiming();
        cashbook::dropWorkTable();
        state.ResumeTiming();
    }
    state.counters["entries"] = kEntriesEach;
}
BENCHMARK(BM_TransferEntries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The part of a transfer that writes the marks back: the taxpayer's 10,000
// rows of IRM14 replaced, in a table of 1,000,000.
void BM_WriteBackMarkedEntries(benchmark::State& state) {
    folder();
    bool mark = true;
    for (auto _ : state) {
        state.PauseTiming();
        if (!cashbook::loadWorkTable(ours())) state.SkipWithError("load failed");
        store::workAreas().area(kWorkArea).forEach([mark](store::Table& row) {
            row.put("LANCADO", Value(mark));
            return true;
        });
        mark = !mark;
        state.ResumeTiming();
        if (!cashbook::writeBack(ours())) state.SkipWithError("write-back failed");
        state.PauseTiming();
        cashbook::dropWorkTable();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WriteBackMarkedEntries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
