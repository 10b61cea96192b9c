// The cash book of a taxpayer with 10,000 entries over twelve months printed
// into the print file (aim: under 0.5 s), and that print file laid out and
// written as a PDF (aim: under 2 s). The entries are the loaded taxpayer's
// copy of the income items; the chart names two accounts.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "base/named_values.h"
#include "base/process_state.h"
#include "bench_folder.h"
#include "platform/drives.h"
#include "platform/print_pdf.h"
#include "printing/output.h"
#include "printing/pages.h"
#include "printing/selection.h"
#include "reports/declaration_print.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store/table.h"
#include "store/work_areas.h"

using namespace kdx2;
using base::Value;

namespace {

constexpr int kEntries = 10000;
constexpr const char* kCpf = "11144477735";

class Folder {
  public:
    Folder() {
        drive_.workstation(2025);
        base::NamedValues& s = base::session();
        s.set("MOS_MENS", false);
        s.set("CPF", kCpf);
        s.set("NOMECONTR", "JOAO DA SILVA SANTOS");
        s.set("QUEMES", 1);
        s.set("AVANCA_PAG", "S");
        s.set("FECHA_DIA", "S");
        s.set("MOSTR_ACU", "S");
        printing::setPrintWorkingValues();
        store::Table::create("C:\\CONTAS.DBF", *store::tableLayout(58));
        auto chart = store::Table::open("C:\\CONTAS.DBF", store::OpenMode::Exclusive);
        addAccount(*chart, "1001", "Trabalho nao assalariado");
        addAccount(*chart, "4001", "Salarios de empregados");
        chart->createIndex("C:\\CONTAS.CDX", "CDCONTA");
        chart->close();
        if (!store::ABREARQ(22, true, "C:\\TRAB\\TMP_P201") ||
            !store::ABREARQ(35, true, "C:\\TRAB\\TMP_P1501"))
            throw std::runtime_error("open failed");
        fillEntries(store::workAreas().area(22));
    }
    std::string printFile() const {
        std::ifstream in(drive_.root() / "TRAB" / "NAO-DOS01.TXT", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    static void addAccount(store::Table& chart, const char* code, const char* name) {
        store::appendRecord(chart);
        chart.put("CDCONTA", Value(code));
        chart.put("NMDESCRICA", Value(name));
        chart.put("CDSTATUS", Value("S"));
    }
    static void fillEntries(store::Table& income) {
        for (int entry = 1; entry <= kEntries; ++entry) {
            const bool expense = entry % 3 == 0;
            store::appendRecord(income);
            income.put("CPF", Value(kCpf));
            income.put("I1_1", Value(expense ? "L" : "F"));
            income.put("I1_2", Value("LANCAMENTO " + std::to_string(entry)));
            income.put("CDCONTA", Value(expense ? "4001" : "1001"));
            income.put("TIPOCR", Value(expense ? "D" : "C"));
            income.put("I1_413", Value(10.0 + entry % 97));
            income.put("DT_LC", Value(*base::Date::fromYmd(2025, 1 + entry % 12, 1 + entry % 28)));
        }
        income.flush();
    }

    bench::BenchFolder drive_{"cash_book_print"};
};

Folder& folder() {
    static Folder instance;
    return instance;
}

void BM_CashBookIntoPrintFile(benchmark::State& state) {
    folder();
    for (auto _ : state) {
        if (!printing::PREP_IMP()) state.SkipWithError("no print file");
        if (!reports::FOLHA(reports::kCashBookPage)) state.SkipWithError("nothing printed");
        printing::closePrintOutput();
    }
    state.counters["bytes"] = static_cast<double>(folder().printFile().size());
}
BENCHMARK(BM_CashBookIntoPrintFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CashBookToPdf(benchmark::State& state) {
    folder();
    printing::PREP_IMP();
    reports::FOLHA(reports::kCashBookPage);
    printing::closePrintOutput();
    const std::string file = folder().printFile();
    const std::string pdf = (std::filesystem::temp_directory_path() /
                             ("kdx2_book_bench_" + std::to_string(::getpid()) + ".pdf"))
                                .string();
    size_t pages = 0;
    for (auto _ : state) {
        const auto laid = printing::layoutPages(file);
        pages = laid.size();
        platform::writeMonospacedPdf(laid, pdf, "livro");
    }
    state.counters["pages"] = static_cast<double>(pages);
    std::filesystem::remove(pdf);
}
BENCHMARK(BM_CashBookToPdf)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
