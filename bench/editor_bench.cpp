// Scrolling a browse page by page from the first to the last of 100,000
// rows, as a person holding PgDn does: every page is drawn and composed on
// the headless console. The table is the income sources' layout (IRM2, the
// widest), shown with the columns of the income screen, once in record order
// and once in the order of a CPF index (as a taxpayer's scratch copy is).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/named_values.h"
#include "common/colours.h"
#include "common/screen_messages.h"
#include "editor/browse.h"
#include "platform/console/console.h"
#include "platform/drives.h"
#include "store/catalog.h"
#include "store/table.h"
#include "store/work_areas.h"
#include "ui/screen.h"

using namespace kdx2;

namespace {

constexpr int kRows = 100'000;
constexpr int kArea = 22;
constexpr int kRowsPerPage = 7;  // the income screen (1): rows 4 ... 10 of the grid

class Folder {
  public:
    Folder() {
        root_ = std::filesystem::temp_directory_path() /
                ("kdx2_editor_bench_" + std::to_string(::getpid()));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "TRAB");
        platform::configureDrives("C=" + root_.string());
        base::NamedValues& s = base::session();
        s.set("LOCTRAB", "C:\\TRAB\\");
        s.set("NUSU", "03");
        s.set("CPF", "12345678909");
        common::setDefaultColours(s);
        common::composeColourLists(s);
        store::Table::create("C:\\TRAB\\ROWS.DBF", *store::tableLayout(2));
        auto table = store::Table::open("C:\\TRAB\\ROWS.DBF", store::OpenMode::Exclusive);
        for (int i = 0; i < kRows; ++i) {
            store::appendRecord(*table);
            table->put("CPF", "12345678909");
            table->put("I1_1", "J");
            table->put("I1_2", "EMPRESA PAGADORA " + std::to_string(i));
            table->put("I1_413", 1000.0 + i);
            table->put("I1_3", "12.345.678/0001-90");
        }
        table->createIndex("C:\\TRAB\\ROWS.CDX", "CPF");
        store::workAreas().attach(kArea, std::move(table));
    }
    ~Folder() {
        store::workAreas().closeAll();
        std::filesystem::remove_all(root_);
    }

  private:
    std::filesystem::path root_;
};

Folder& folder() {
    static Folder f;
    return f;
}

// PgDn until the last page, then Esc.
std::string pageDownScript() {
    std::string script;
    for (int page = 0; page < kRows / kRowsPerPage + 1; ++page)
        script += "key PgDn\n";
    return script + "key Esc\n";
}

void scrollToTheEnd(benchmark::State& state, int order) {
    folder();
    const std::string script = pageDownScript();
    store::Table& table = store::workAreas().area(kArea);
    table.setOrder(order);
    for (auto _ : state) {
        auto console = platform::headlessConsoleFromText(script, platform::HeadlessEnd::Throw);
        ui::start(*console);
        common::installScreenMessages();
        store::workAreas().select(kArea);
        table.goTop();
        editor::EDITA(1);
        benchmark::DoNotOptimize(table.recNo());
        common::removeScreenMessages();
        ui::stop();
        if (table.recNo() != table.recCount()) {
            state.SkipWithError(
                ("did not reach the last row: " + std::to_string(table.recNo())).c_str());
            break;
        }
    }
    state.counters["pages"] = kRows / kRowsPerPage + 1;
    state.counters["per_page"] = benchmark::Counter(
        static_cast<double>(kRows / kRowsPerPage + 1),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_PageDownToTheEndInRecordOrder(benchmark::State& state) {
    scrollToTheEnd(state, 0);
}
void BM_PageDownToTheEndInCpfOrder(benchmark::State& state) {
    scrollToTheEnd(state, 1);
}

}  // namespace

BENCHMARK(BM_PageDownToTheEndInRecordOrder)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PageDownToTheEndInCpfOrder)->Unit(benchmark::kMillisecond)->Iterations(3);
