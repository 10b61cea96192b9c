#include "shell/import_commands.h"

#include "editor/browse.h"
#include "importing/importing.h"
#include "importing/services.h"
#include "shell/layouts.h"
#include "shell/main_menu.h"
#include "shell/maintenance/maintenance.h"
#include "shell/selection/selection.h"

namespace kdx2::shell {

namespace {

constexpr int kImportSelection = 56;

importing::Services shellServices() {
    importing::Services services;
    services.folderWindow = [] { MTELA1(4); };
    services.pickFolder = [] { return selection::lists().pickFolder(); };
    services.selectionScreen = [] { editor::EDITA(kImportSelection); };
    services.showTaxpayerWindow = [] { selection::showTaxpayerWindow(); };
    services.showTaxpayer = [] { selection::MOSTR_PAG(2); };
    services.showProgress = [](const std::string& text, int done, int total) {
        selection::showProgress(text, done, total);
    };
    services.findInOtherFolders = [] { return selection::BUSCA_OUTRO("CPF", 1, 1); };
    services.registerFolder = [](const std::string& folder) { selection::registerFolder(folder); };
    services.selectFolder = [](const std::string& folder) {
        return selection::selectFolder(folder);
    };
    services.reorganise = [](const std::string& folder) { maintenance::REORG(folder); };
    return services;
}

}  // namespace

void registerImportCommands() {
    importing::setServices(shellServices());
    registerCommand(71, [](int) { importing::CONVIR(); });
    registerCommand(72, [](int) { importing::CONVRECE(1); });
    registerCommand(73, [](int) { importing::CONVRECE(10); });
}

}  // namespace kdx2::shell
