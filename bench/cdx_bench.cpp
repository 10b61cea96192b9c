// Speed of the compound index engine on a CPF-keyed tag of a million
// records: building the tag, seeking in it and keeping it up to date.
// Aims: a build under 1.5 s, more than 500,000 seeks per second with the
// pages cached.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "store/cdx.h"

using namespace kdx2;
using store::CdxCursor;
using store::CdxFile;
using store::CdxKeyList;
using store::CdxTag;

namespace {

namespace fs = std::filesystem;

constexpr size_t kRecords = 1'000'000;

// A folder of this run's files, removed at exit.
struct BenchFolder {
    fs::path dir = fs::temp_directory_path() / ("kdx2_cdx_bench_" + std::to_string(::getpid()));
    BenchFolder() { fs::create_directories(dir); }
    ~BenchFolder() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
};

const fs::path& benchFolder() {
    static const BenchFolder folder;
    return folder.dir;
}

// Random 11-digit CPFs, one per record (repeats are as rare as among real ones).
const std::vector<std::string>& cpfs() {
    static const std::vector<std::string> keys = [] {
        std::mt19937_64 random(2018);
        std::vector<std::string> k(kRecords);
        char buffer[16];
        for (std::string& key : k) {
            std::snprintf(buffer, sizeof buffer, "%011llu",
                          static_cast<unsigned long long>(random() % 100'000'000'000ull));
            key = buffer;
        }
        return k;
    }();
    return keys;
}

CdxKeyList cpfKeyList() {
    CdxKeyList keys(11);
    keys.reserve(kRecords);
    const auto& k = cpfs();
    for (size_t i = 0; i < k.size(); ++i)
        keys.add(k[i], static_cast<uint32_t>(i + 1));
    return keys;
}

void countRecords(benchmark::State& state, size_t perIteration) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * perIteration));
    state.counters["records/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * perIteration), benchmark::Counter::kIsRate);
}

// The built file, shared by the seek benchmarks.
const fs::path& builtFile() {
    static const fs::path file = [] {
        const fs::path f = benchFolder() / "SEEK.CDX";
        CdxFile cdx = CdxFile::create(f.string());
        cdx.addTag({"CPF", "CPF", "", false}, cpfKeyList());
        cdx.close();
        return f;
    }();
    return file;
}

void BM_BuildCpfTag(benchmark::State& state) {
    const CdxKeyList keys = cpfKeyList();
    const fs::path file = benchFolder() / "BUILD.CDX";
    for (auto _ : state) {
        CdxFile cdx = CdxFile::create(file.string());
        cdx.addTag({"CPF", "CPF", "", false}, keys);
        cdx.close();
    }
    countRecords(state, kRecords);
}
BENCHMARK(BM_BuildCpfTag)->Unit(benchmark::kMillisecond)->Iterations(3);

// Seeks of random existing CPFs, the file's pages already in memory.
void seekRandomly(benchmark::State& state, CdxFile::Sharing sharing) {
    CdxFile cdx = CdxFile::open(builtFile().string(), CdxFile::Access::ReadOnly, sharing);
    CdxTag tag = cdx.tag("CPF", base::Type::Character);
    std::vector<std::string> wanted(cpfs());
    std::shuffle(wanted.begin(), wanted.end(), std::mt19937(7));
    CdxCursor cursor = tag.cursor();
    {
        // A held read lock keeps a shared file's cache for the warm-up walk.
        CdxFile::ReadLock lock(cdx);
        for (const std::string& key : wanted)
            cursor.seek(key);
    }
    size_t found = 0;
    for (auto _ : state) {
        for (const std::string& key : wanted)
            found += cursor.seek(key) && cursor.key() == key;
    }
    if (found != state.iterations() * wanted.size()) state.SkipWithError("a seek missed its key");
    countRecords(state, wanted.size());
}

void BM_SeekWarmExclusive(benchmark::State& state) {
    seekRandomly(state, CdxFile::Sharing::Exclusive);
}
BENCHMARK(BM_SeekWarmExclusive)->Unit(benchmark::kMillisecond)->Iterations(3);

// Shared: each seek takes and releases the index read lock and compares
// the change counter, as a copy on a network folder does.
void BM_SeekWarmShared(benchmark::State& state) {
    seekRandomly(state, CdxFile::Sharing::Shared);
}
BENCHMARK(BM_SeekWarmShared)->Unit(benchmark::kMillisecond)->Iterations(1);

// Inserts one by one into an empty tag (each its own change), then writes
// the file.
void insertAll(benchmark::State& state, const std::vector<size_t>& order) {
    const auto& k = cpfs();
    const fs::path file = benchFolder() / "INSERT.CDX";
    for (auto _ : state) {
        CdxFile cdx = CdxFile::create(file.string());
        CdxTag tag = cdx.addTag({"CPF", "CPF", "", false}, CdxKeyList(11));
        for (size_t i : order)
            tag.insert(k[i], static_cast<uint32_t>(i + 1));
        cdx.close();
    }
    countRecords(state, order.size());
}

void BM_InsertInKeyOrder(benchmark::State& state) {
    const auto& k = cpfs();
    std::vector<size_t> order(k.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return std::tie(k[a], a) < std::tie(k[b], b); });
    insertAll(state, order);
}
BENCHMARK(BM_InsertInKeyOrder)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_InsertInRandomOrder(benchmark::State& state) {
    std::vector<size_t> order(kRecords);
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(11));
    insertAll(state, order);
}
BENCHMARK(BM_InsertInRandomOrder)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
