// Importing 1,000 synthetic declaration files of about 200 lines each into
// an empty data folder (aim: under 10 s), and listing an origin folder of
// 5,000 files into the found list (aim: under 1 s).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "../tests/importing/synthetic_files.h"
#include "base/named_values.h"
#include "importing/convert.h"
#include "importing/listing.h"
#include "platform/drives.h"
#include "store/access.h"
#include "store/supplied.h"
#include "store/work_areas.h"

namespace importing = kdx2::importing;
namespace store = kdx2::store;
namespace fs = std::filesystem;
using namespace kdx2::test_import;

namespace {

constexpr int kTaxYear = 2025;

class Drive {
  public:
    explicit Drive(const std::string& name) {
        root_ =
            fs::temp_directory_path() / ("kdx2_bench_" + name + "_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "ORIGEM");
        kdx2::platform::configureDrives("C=" + root_.string());
        kdx2::base::NamedValues& s = kdx2::base::session();
        s.set("ARQDEF", "C:\\");
        s.set("NUSU", "01");
        s.set("QUEANO", kTaxYear);
        store::buildMissingSuppliedTables("C:\\");
    }
    ~Drive() {
        store::workAreas().closeAll();
        fs::remove_all(root_);
    }
    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(root_ / "ORIGEM" / name, std::ios::binary) << bytes;
    }
    // An empty data folder.
    void emptyDataFolder() {
        store::workAreas().closeAll();
        fs::remove_all(root_ / "DADOS");
        fs::create_directories(root_ / "DADOS");
        kdx2::base::session().set("LOCARQ", "C:\\DADOS\\");
        kdx2::platform::setCurrentFolder("C:\\DADOS\\");
    }

  private:
    fs::path root_;
};

// About 200 lines each: the records the import reads and 150 asset lines.
void writeDeclarations(Drive& drive, int count) {
    for (int n = 1; n <= count; ++n)
        drive.write("D" + std::to_string(n) + ".DEC",
                    declarationFile(fullDeclaration(n, kTaxYear, kTaxYear)));
}

void BM_ImportThousandDeclarations(benchmark::State& state) {
    Drive drive("import");
    writeDeclarations(drive, 1000);
    for (auto _ : state) {
        state.PauseTiming();
        drive.emptyDataFolder();
        state.ResumeTiming();
        const importing::Listing listing =
            importing::listFolder(importing::ImportKind::Declarations, "C:\\ORIGEM", kTaxYear);
        if (!importing::CRIA_BASE()) state.SkipWithError("the tables could not be opened");
        int converted = 0;
        for (const importing::ListedFile& file : listing.listed) {
            const importing::MarkedFile marked{file.path, file.id.typeKey, file.id.cpf, ""};
            converted +=
                importing::FAZCONV(importing::ImportKind::Declarations, marked, kTaxYear).result ==
                importing::FileOutcome::Result::Converted;
        }
        if (converted != 1000) state.SkipWithError("not every declaration was converted");
        store::workAreas().closeAll();
    }
}
BENCHMARK(BM_ImportThousandDeclarations)->Unit(benchmark::kSecond)->Iterations(1);

void BM_ListFiveThousandFiles(benchmark::State& state) {
    Drive drive("listing");
    writeDeclarations(drive, 5000);
    drive.emptyDataFolder();
    for (auto _ : state) {
        const importing::Listing listing =
            importing::listFolder(importing::ImportKind::Declarations, "C:\\ORIGEM", kTaxYear);
        if (!store::ABERTURA(importing::kFoundList)) state.SkipWithError("RELNOME");
        store::Table& found = store::workAreas().area(importing::kFoundList);
        importing::fillFoundList(found, listing.listed);
        importing::indexFoundList(found, "C:\\");
        if (found.recCount() != 5000) state.SkipWithError("not all listed");
        store::workAreas().closeAll();
    }
}
BENCHMARK(BM_ListFiveThousandFiles)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
