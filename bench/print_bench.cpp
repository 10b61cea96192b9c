// A 100-page print file (a complete registry listing: 60 rows a page, one
// condensed line each page) laid out on A4 pages and written as a PDF, as a
// desktop printing does before the job goes to the queue. Aim: under 1 s.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/print_pdf.h"
#include "printing/pages.h"

using namespace kdx2;

namespace {

constexpr int kPages = 100;
constexpr int kRowsPerPage = 60;

std::string printFile() {
    std::string file;
    for (int page = 0; page < kPages; ++page) {
        if (page > 0) file += '\x0c';
        file += std::string(79, '-') + "\r\n";
        file += "          RELACAO TOTAL DAS PESSOAS NA PASTA C:\\IR2025\\\r\n";
        file += "\x0f" + std::string(132, '-') + "\x12\r\n";
        for (int row = 3; row < kRowsPerPage; ++row)
            file += " CONTRIBUINTE " + std::to_string(page * kRowsPerPage + row) +
                    std::string(30, ' ') + "123.456.789-09 (11)98765-4321\r\n";
    }
    return file;
}

void BM_PrintFileToPdf(benchmark::State& state) {
    const std::string file = printFile();
    const std::string pdf = (std::filesystem::temp_directory_path() /
                             ("kdx2_print_bench_" + std::to_string(::getpid()) + ".pdf"))
                                .string();
    for (auto _ : state) {
        const auto pages = printing::layoutPages(file);
        if (pages.size() != kPages) state.SkipWithError("wrong page count");
        platform::writeMonospacedPdf(pages, pdf, "cadastro");
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(pdf));
    std::filesystem::remove(pdf);
}
BENCHMARK(BM_PrintFileToPdf)->Unit(benchmark::kMillisecond);

void BM_LayoutOnly(benchmark::State& state) {
    const std::string file = printFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(printing::layoutPages(file));
}
BENCHMARK(BM_LayoutOnly)->Unit(benchmark::kMillisecond);

}  // namespace
