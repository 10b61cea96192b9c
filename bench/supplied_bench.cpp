// First start: every supplied table built into an empty install folder, with
// its indexes. The target is well under a second.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "platform/drives.h"
#include "store/supplied.h"

namespace {

using namespace kdx2;

void BM_BuildAllSuppliedTables(benchmark::State& state) {
    const auto root = std::filesystem::temp_directory_path() /
                      ("kdx2_supplied_bench_" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    platform::configureDrives("C=" + root.string());
    size_t records = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(root / "KDX2");
        state.ResumeTiming();
        records = 0;
        for (const auto& built : store::buildMissingSuppliedTables("C:\\KDX2"))
            records += built.records;
    }
    state.counters["records"] = static_cast<double>(records);
    std::filesystem::remove_all(root);
}
BENCHMARK(BM_BuildAllSuppliedTables)->Unit(benchmark::kMillisecond);

// The part that reads the compiled-in sources, without writing anything.
void BM_ReadSuppliedSources(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(store::suppliedTables());
}
BENCHMARK(BM_ReadSuppliedSources)->Unit(benchmark::kMillisecond);

}  // namespace
