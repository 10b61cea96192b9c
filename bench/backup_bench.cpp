// Backup and restore of a data folder of 10,000 taxpayers (about 300 MB of
// year tables) against "cp" of the same files in the same run: the copy
// itself should go at the disk's speed. The restore also builds every index
// of the restored tables again, which cp does not.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/named_values.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "shell/backup/backup.h"
#include "store/catalog.h"
#include "store/dbf.h"
#include "store/table.h"
#include "store/work_areas.h"

using namespace kdx2;

namespace {

constexpr int kTaxpayers = 10'000;

// Rows of each taxpayer per table (IRM1 ... IRM17): about 29 KB a taxpayer.
constexpr int kRowsPerTaxpayer[18] = {0, 1, 10, 1, 1, 1, 5, 2, 1, 1, 1, 1, 1, 1, 1, 1, 6, 1};

std::string cpfOf(int taxpayer) {
    return std::to_string(10'000'000'000LL + taxpayer * 7'919LL);
}

// A year table written directly in the file layout: every taxpayer's rows
// in CPF order, then its indexes built as the program builds them.
void writeTable(const std::string& folder, int n) {
    const std::string path = folder + "IRM" + std::to_string(n) + ".DBF";
    const store::Structure fields = *store::tableLayout(n);
    store::dbf::Layout layout = store::dbf::layoutOf(fields);
    const uint32_t count = uint32_t(kTaxpayers) * kRowsPerTaxpayer[n];
    layout.header.recordCount = count;
    const std::vector<char> header = store::dbf::encodeHeader(layout);
    std::vector<char> record = store::dbf::blankRecord(layout);
    size_t cpfAt = 0;
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == "CPF") cpfAt = layout.offsets[i];
    platform::File out = platform::createFile(path);
    out.writeAt(0, header.data(), header.size());
    std::vector<char> block;
    uint64_t at = header.size();
    for (int t = 0; t < kTaxpayers; ++t) {
        const std::string cpf = cpfOf(t);
        std::copy(cpf.begin(), cpf.end(), record.begin() + long(cpfAt));
        for (int r = 0; r < kRowsPerTaxpayer[n]; ++r)
            block.insert(block.end(), record.begin(), record.end());
        if (block.size() > (8u << 20) || t + 1 == kTaxpayers) {
            out.writeAt(at, block.data(), block.size());
            at += block.size();
            block.clear();
        }
    }
    const char end = store::dbf::kEndOfFile;
    out.writeAt(at, &end, 1);
    out.close();
    auto table = store::Table::open(path, store::OpenMode::Exclusive);
    for (const store::CatalogIndex& index : store::catalogTable(n)->indexes)
        table->createIndex(folder + index.file + ".cdx", index.key);
}

class Folders {
  public:
    Folders() {
        root_ = std::filesystem::temp_directory_path() /
                ("kdx2_backup_bench_" + std::to_string(::getpid()));
        std::filesystem::remove_all(root_);
        for (const char* sub : {"DADOS", "BK", "CP"})
            std::filesystem::create_directories(root_ / sub);
        platform::configureDrives("C=" + root_.string());
        base::NamedValues& s = base::session();
        s.set("LOCARQ", "C:\\DADOS\\");
        s.set("ARQDEF", "C:\\");
        s.set("NUSU", "00");
        s.set("MOS_MENS", false);
        for (int n = 1; n <= 17; ++n)
            writeTable("C:\\DADOS\\", n);
    }
    ~Folders() { std::filesystem::remove_all(root_); }
    std::string host(const char* sub) const { return (root_ / sub).string(); }
    int64_t tableBytes() const {
        int64_t bytes = 0;
        for (const auto& entry : std::filesystem::directory_iterator(root_ / "DADOS"))
            if (entry.path().extension() == ".DBF") bytes += int64_t(entry.file_size());
        return bytes;
    }

  private:
    std::filesystem::path root_;
};

Folders& folders() {
    static Folders f;
    return f;
}

void BM_Backup(benchmark::State& state) {
    Folders& f = folders();
    for (auto _ : state)
        if (!shell::backup::backupTables("C:\\DADOS", "C:\\BK"))
            state.SkipWithError("backup failed");
    state.SetBytesProcessed(state.iterations() * f.tableBytes());
}
BENCHMARK(BM_Backup)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The same files copied by cp (and forced to the disk, as the backup is).
void BM_CpOfTheSameFiles(benchmark::State& state) {
    Folders& f = folders();
    const std::string command =
        "cp " + f.host("DADOS") + "/IRM*.DBF " + f.host("CP") + "/ && sync -f " + f.host("CP");
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
    state.SetBytesProcessed(state.iterations() * f.tableBytes());
}
BENCHMARK(BM_CpOfTheSameFiles)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_Restore(benchmark::State& state) {
    Folders& f = folders();
    if (!shell::backup::backupTables("C:\\DADOS", "C:\\BK")) state.SkipWithError("backup failed");
    for (auto _ : state) {
        const auto result = shell::backup::restoreTables("C:\\BK", "C:\\DADOS");
        if (result.outcome != shell::backup::RestoreResult::Outcome::Restored)
            state.SkipWithError("restore failed");
    }
    state.SetBytesProcessed(state.iterations() * f.tableBytes());
}
BENCHMARK(BM_Restore)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace
