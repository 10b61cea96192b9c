// Cost of the monthly tax: the grid is rebuilt (thirteen rows, each taxed and
// its cells formatted and read back) whenever the user changes an entry, so a
// rebuild must stay far below a keystroke's time.

#include <benchmark/benchmark.h>

#include "base/named_values.h"
#include "base/text.h"
#include "tax/carne.h"
#include "tax/engine.h"
#include "tax/projection.h"

using namespace kdx2;

namespace {

void taxOfOneMonth(benchmark::State& state) {
    const int year = static_cast<int>(state.range(0));
    double base = 1000;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tax::progressiveTax(year, 12, base, 6, base + 100));
        base = base < 9000 ? base + 7.31 : 1000;
    }
}
BENCHMARK(taxOfOneMonth)->Arg(2008)->Arg(2022)->Arg(2025)->Arg(2026);

// The annual adjustment of the year row and the printouts.
void taxOfOneYear(benchmark::State& state) {
    const int year = static_cast<int>(state.range(0));
    double base = 10000;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tax::progressiveTax(year, 1, base, 13, base + 1000));
        base = base < 120000 ? base + 87.31 : 10000;
    }
}
BENCHMARK(taxOfOneYear)->Arg(2015)->Arg(2024)->Arg(2026);

// Every amount shown, stored or taxed is rounded through its decimal text.
void roundOneAmount(benchmark::State& state) {
    double amount = 0.015;
    for (auto _ : state) {
        benchmark::DoNotOptimize(base::fixedText(amount, 2));
        amount = amount < 1e7 ? amount * 1.37 + 0.01 : 0.015;
    }
}
BENCHMARK(roundOneAmount);

void gridRebuild(benchmark::State& state) {
    base::session().set("QUEANO", 2026);
    tax::CarneLeao carne;
    carne.N_DEPEN = 2;
    for (int month = 1; month <= 12; ++month) {
        carne.TRECFIS.add(month, 4000 + 250 * month);
        carne.TPAGPRE.add(month, 300);
        carne.TPAGLEO.add(month, 20);
    }
    tax::PaymentItem alimony;
    alimony.code = 31;
    alimony.monthly.fill(450);
    const std::vector<tax::PaymentItem> payments(20, alimony);
    for (auto _ : state) {
        tax::RESOMA(carne, false, payments);
        benchmark::DoNotOptimize(carne.REC_MENSAL.cell(13, 7));
    }
}
BENCHMARK(gridRebuild);

// The whole yearly summary, recomputed whenever it is shown or the average
// months change: a taxpayer with 200 income items and 300 payments, summed
// and projected from scratch each time. The aim is well under 1 ms.
void wholeSummary(benchmark::State& state) {
    base::session().set("QUEANO", 2025);
    tax::CarneLeao carne;
    carne.N_DEPEN = 2;
    std::vector<tax::CompanyItem> items(200);
    for (size_t i = 0; i < items.size(); ++i) {
        tax::CompanyItem& item = items[i];
        item.kind = i % 4 == 0 ? "D" : "J";
        for (int month = 1; month <= 12; ++month) {
            item.income.add(month, 1000 + static_cast<double>(i));
            item.withheld.add(month, 75);
            item.socialSecurity.add(month, 110);
        }
    }
    std::vector<tax::PaymentItem> payments(300);
    for (size_t i = 0; i < payments.size(); ++i) {
        tax::PaymentItem& payment = payments[i];
        payment.code = static_cast<int>(i % 70) + 1;
        payment.dependant = static_cast<int>(i % 3);
        payment.annual = 120;
        payment.monthly.fill(10);
    }
    for (int month = 1; month <= 12; ++month)
        carne.TRECFIS.add(month, 3000);
    tax::rebuildGridFromEntries(carne, payments);
    const tax::ProjectionSettings settings{
        .QUEANO = 2025, .QMEDIA = 9, .QUALMENS = "1", .MES_ATU = 10};
    for (auto _ : state) {
        tax::ProjectionFigures figures;
        figures.company = tax::SOMA_JUR(items);
        figures.payments = tax::FDE_TUDO(payments, 0, tax::dependantsDeduction(2025, 2, 13));
        const tax::Summary summary = tax::CALCULA_TUDO(carne, figures, settings);
        benchmark::DoNotOptimize(summary.grid());
    }
}
BENCHMARK(wholeSummary)->Unit(benchmark::kMicrosecond);

}  // namespace
