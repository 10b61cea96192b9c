// Payment slips for all twelve months of 1,000 taxpayers in one print run
// for all taxpayers: each month's due date, fine and SELIC interest worked
// out (the rate table read once, from the shipped UFIRM) and the slip drawn
// twice into the print file. Work only: nothing is routed to a printer.
// Aim: under 2 s.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "base/named_values.h"
#include "common/messages.h"
#include "platform/drives.h"
#include "printing/output.h"
#include "reports/darf.h"
#include "store/feedback.h"
#include "store/supplied.h"
#include "store/table.h"
#include "store/work_areas.h"
#include "tax/carne.h"

using namespace kdx2;

namespace {

constexpr int kTaxpayers = 1000;

// Answers every box as Esc would, silently.
class NoMessages : public common::MessageHandler {
  public:
    int messageBox(const common::MessageBoxRequest&) override { return 0; }
    base::Value messageWindow(const common::MensRequest&) override { return {}; }
    void statusLine(const std::string&) override {}
    void writeAt(int, int, const std::string&, const std::string&) override {}
    void tone(int, int) override {}
};

void installRates() {
    const store::SuppliedTable rates = store::suppliedTable("UFIRM");
    store::Table::create("C:\\UFIRM.DBF", rates.structure);
    auto table = store::Table::open("C:\\UFIRM.DBF", store::OpenMode::Exclusive);
    for (const auto& row : rates.rows) {
        store::appendRecord(*table);
        for (size_t i = 0; i < row.size(); ++i)
            table->put(static_cast<int>(i), row[i]);
    }
    table->createIndex("C:\\UFIRM.CDX", "ANOMES");
    table->close();
}

void setSession() {
    base::NamedValues& s = base::session();
    s.clear();
    s.set("ARQDEF", "C:\\");
    s.set("LOCARQ", "C:\\");
    s.set("LOCTRAB", "C:\\");
    s.set("NUSU", "03");
    s.set("QUEANO", 2025);
    s.set("QUEMOD", 2);
    s.set("QUECON", 3);
    s.set("NRO_VIAS", 1);
    s.set("MOS_MENS", false);
    s.set("NOMEIMP", "Sem Impressora");
}

// One taxpayer's grid: a tax due in every month, part paid in some.
void loadTaxpayer(int n) {
    base::NamedValues& s = base::session();
    s.set("CPF", std::to_string(10000000000LL + n));
    s.set("NOMECONTR", "CONTRIBUINTE NUMERO " + std::to_string(n));
    s.set("TELEFO", "987654321");
    tax::MonthlyGrid& grid = tax::carneLeao().REC_MENSAL;
    for (int month = 1; month <= 12; ++month) {
        grid.setAmount(month, tax::MonthlyGrid::kIndividuals, 5000 + n + month);
        grid.setAmount(month, tax::MonthlyGrid::kTaxDue, 300 + n % 97 + month);
        grid.setAmount(month, tax::MonthlyGrid::kTaxPaid, month % 3 == 0 ? 100 : 0);
    }
}

void BM_SlipsOfAYearForAThousandTaxpayers(benchmark::State& state) {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("kdx2_darf_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    platform::configureDrives("C=" + root.string());
    NoMessages quiet;
    common::ScopedMessageHandler messages(quiet);
    setSession();
    installRates();
    for (auto _ : state) {
        reports::startDarfRun();
        reports::darfRun().PAGDARF = "N";
        reports::DarfSlip& slip = reports::darfSlip();
        slip.QUEDARF = reports::kCarneLeao;
        slip.QUANTDARF = 2;
        slip.MES_PGTO = 1;
        slip.MES_FINAL = 12;
        if (!printing::PREP_IMP()) state.SkipWithError("no print file");
        for (int n = 0; n < kTaxpayers; ++n) {
            loadTaxpayer(n);
            slip.DF_PGTO = *base::Date::fromYmd(2026, 1, 15);
            reports::FAZ_DARF();
        }
        printing::closePrintOutput();
    }
    state.counters["bytes"] =
        static_cast<double>(std::filesystem::file_size(root / "NAO-DOS03.TXT"));
    store::workAreas().closeAll();
    platform::configureDrives("");
    std::filesystem::remove_all(root);
}
BENCHMARK(BM_SlipsOfAYearForAThousandTaxpayers)->Unit(benchmark::kMillisecond);

}  // namespace
