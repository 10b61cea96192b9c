// The municipality list of one state (the 5,570 municipalities shipped with
// the program) opened from a field and moved to a typed name, as a user
// filling in an address does: the temporary order by state and name is
// built, the list drawn on the headless console, the name typed letter by
// letter and chosen with Enter. Target: under 50 ms.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "base/named_values.h"
#include "base/text.h"
#include "common/colours.h"
#include "common/screen_messages.h"
#include "editor/lookup_lists.h"
#include "platform/console/console.h"
#include "platform/drives.h"
#include "store/access.h"
#include "store/feedback.h"
#include "store/supplied.h"
#include "store/work_areas.h"
#include "ui/screen.h"

using namespace kdx2;

namespace {

class InstallFolder {
  public:
    InstallFolder() {
        root_ = std::filesystem::temp_directory_path() /
                ("kdx2_lookup_bench_" + std::to_string(::getpid()));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "TRAB");
        platform::configureDrives("C=" + root_.string());
        platform::setCurrentFolder("C:\\");
        base::NamedValues& s = base::session();
        s.set("ARQDEF", "C:\\");
        s.set("LOCARQ", "C:\\");
        s.set("LOCTRAB", "C:\\TRAB\\");
        s.set("NUSU", "03");
        common::setDefaultColours(s);
        common::composeColourLists(s);
        store::buildMissingSuppliedTables("C:\\");
    }
    ~InstallFolder() {
        store::workAreas().closeAll();
        std::filesystem::remove_all(root_);
    }

  private:
    std::filesystem::path root_;
};

void BM_MunicipalitiesOfAStateToATypedName(benchmark::State& state) {
    static InstallFolder folder;
    base::session().set("UF", "SP");
    const std::string script = "type SAO JOSE DOS CAMPOS\nkey Enter\n";
    for (auto _ : state) {
        auto console = platform::headlessConsoleFromText(script, platform::HeadlessEnd::Throw);
        ui::start(*console);
        common::installScreenMessages();
        const base::Value chosen = editor::GERAL2("M->MUNICIPIO", base::Value());
        common::removeScreenMessages();
        ui::stop();
        if (base::rtrim(chosen.text()) != "SAO JOSE DOS CAMPOS") {
            state.SkipWithError(("chose " + chosen.text()).c_str());
            break;
        }
    }
}

}  // namespace

BENCHMARK(BM_MunicipalitiesOfAStateToATypedName)->Unit(benchmark::kMillisecond);
