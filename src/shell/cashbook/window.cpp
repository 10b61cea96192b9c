// The entries window (FAZ_LANCA), its commands, and the printed chart.

#include <memory>

#include "base/cp850.h"
#include "base/error.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/utilities.h"
#include "common/windows.h"
#include "editor/browse.h"
#include "platform/console/keys.h"
#include "printing/output.h"
#include "printing/routing.h"
#include "shell/cashbook/cashbook.h"
#include "shell/cashbook/internal.h"
#include "shell/main_menu.h"
#include "shell/selection/selection.h"
#include "store/access.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/dialog.h"
#include "ui/menu.h"
#include "ui/screen.h"

namespace kdx2::shell::cashbook {

using namespace base::literals;
namespace keys = platform::keys;
namespace tables = store::tables;

namespace {

constexpr int kTaxpayerSlot = 3;  // the CPF prompt's taxpayer window
constexpr int kLinesPerPage = 60;

void tellChartUnusable(const std::string& why) {
    common::AVISOSN({why, "Sem o plano de contas não se pode fazer nem transferir lançamentos."_cp},
                    common::box::kStop);
}

// Runs a command of the window; what fails is told, and the window stays.
template <typename F>
void guarded(F&& command) {
    try {
        command();
    } catch (const base::Error& error) {
        common::AVISOSN(error.what(), common::box::kStop);
    }
}

void editGrid(int screen, int area) {
    store::workAreas().select(area);
    store::workAreas().area(area).goTop();
    editor::EDITA(screen);
}

// The entries grid; inside the declaration only the rural accounts' entries.
void viewEntries(int mode) {
    store::Table& entries = store::workAreas().area(kWorkArea);
    if (mode == kFromDeclaration)
        entries.setFilter([](store::Table& row) {
            return base::alltrim(row.get("CDCONTA").text()) >= kFirstRuralAccount;
        });
    try {
        editGrid(editor::screens::kCashBook, kWorkArea);
    } catch (...) {
        entries.setFilter({});
        throw;
    }
    entries.setFilter({});
}

void buildMenu(ui::LDialog& window, int mode, bool& leaving) {
    std::shared_ptr<ui::LMenu> menu = ui::LMenu::make(&window);
    menu->subMenu("&Lançamentos"_cp);
    menu->menuItem("Faz os lançamentos"_cp,
                   [mode](ui::LMenuItem&, ui::LDialog*) { guarded([mode] { FAZLANC(mode); }); });
    menu->menuItem("Transfere os dados", [mode](ui::LMenuItem&, ui::LDialog*) {
        guarded([mode] { transferEntries(mode); });
    });
    menu->menuItem("Visualiza os dados", [mode](ui::LMenuItem&, ui::LDialog*) {
        guarded([mode] { viewEntries(mode); });
    });
    menu->endMenu();
    menu->subMenu("&Plano de Conta");
    menu->menuItem("Modifica o Plano", [](ui::LMenuItem&, ui::LDialog*) {
        guarded([] { editGrid(editor::screens::kAccountsChart, tables::kAccounts); });
    });
    menu->menuItem("Imprime o Plano", [](ui::LMenuItem&, ui::LDialog*) { guarded(IMPLANO); });
    menu->endMenu();
    if (mode == kFromMainMenu) {
        menu->subMenu("&Refaz lançamentos"_cp);
        menu->menuItem("Da Atividade Rural", [](ui::LMenuItem&, ui::LDialog*) { guarded(AJUSTE); });
        menu->endMenu();
    }
    menu->subMenu("&Terminar");
    menu->menuItem("Sair", [&leaving](ui::LMenuItem&, ui::LDialog*) { leaving = true; });
    menu->endMenu();
    menu->create();
}

void pollUntil(const bool& leaving) {
    while (!leaving) {
        const int key = ui::waitKey();
        if (key == keys::Esc) return;
        if (key == keys::MenuEvent || key == keys::None) continue;
        if (ui::isBound(key)) ui::SETKEYEVAL(key);
    }
}

}  // namespace

store::Table& chart() {
    return store::workAreas().area(tables::kAccounts);
}

bool openChart() {
    store::WorkAreas& areas = store::workAreas();
    if (!areas.table(tables::kAccounts) && !store::ABERTURA(tables::kAccounts)) {
        tellChartUnusable("O plano de contas (CONTAS) não pôde ser aberto."_cp);
        return false;
    }
    try {
        store::Table& accounts = chart();
        accounts.goTop();
        if (accounts.eof()) {
            tellChartUnusable("O plano de contas (CONTAS) está vazio."_cp);
            return false;
        }
    } catch (const base::Error& error) {
        areas.close(tables::kAccounts);
        tellChartUnusable(error.what());
        return false;
    }
    return true;
}

void FAZ_LANCA(int mode) {
    base::NamedValues& s = base::session();
    const std::string cpf = base::alltrim(s.text("CPF"));
    if (!openChart()) return;
    if (mode == kFromMainMenu && !loadWorkTable(cpf)) return;
    if (mode == kFromDeclaration && !store::workAreas().table(kWorkArea)) {
        common::AVISOSN("A declaração não está aberta."_cp, common::box::kStop);
        return;
    }
    std::shared_ptr<ui::LDialog> window = ui::LDialog::make(0, 0, 24, 79);
    window->cTitle("Lançamentos para "_cp + base::alltrim(s.text("NOMECONTR")));
    window->showWindow();
    bool leaving = false;
    buildMenu(*window, mode, leaving);
    try {
        for (;;) {
            pollUntil(leaving);
            // Mode 1 keeps the window until the entries are stored.
            if (mode != kFromMainMenu || storeOnLeaving(cpf)) break;
            leaving = false;
        }
    } catch (...) {
        window->close();
        throw;
    }
    if (mode == kFromMainMenu) dropWorkTable();
    window->close();
}

void runCommand() {
    base::NamedValues& s = base::session();
    s.set("CPF", s.get("ULT_CPF"));
    if (!selection::chooseTaxpayer(12)) return;
    common::FECHAJAN(kTaxpayerSlot);
    FAZ_LANCA(kFromMainMenu);
    s.set("ULT_CPF", s.get("CPF"));
}

void registerCashBookCommand() {
    registerCommand(12, [](int) { runCommand(); });
}

void openFromDeclaration() {
    FAZ_LANCA(kFromDeclaration);
}

void IMPLANO() {
    base::NamedValues& s = base::session();
    if (!openChart()) return;
    if (!printing::PREP_IMP()) return;
    printing::PrintOutput& out = printing::output();
    const bool textPrinter = base::alltrim(s.text("NOMEIMP")) == "NAO DOS";
    int line = 0;
    auto heading = [&] {
        if (textPrinter) printing::MUDAIMP(0);
        const std::string rule = textPrinter ? std::string(135, '_') : std::string(132, '-');
        out.say(line++, 0, rule);
        out.say(line, 0, "Codigo");
        out.say(line++, 8, "Descricao");
        out.say(line++, 0, rule);
    };
    heading();
    store::Table& accounts = chart();
    accounts.forEach([&](store::Table& row) {
        if (line > kLinesPerPage) {
            out.eject();
            line = 0;
            heading();
        }
        out.say(line, 0, base::alltrim(row.get("CDCONTA").text()));
        out.say(line++, 8, base::rtrim(row.get("NMDESCRICA").text()));
        return true;
    });
    if (!printing::closePrintOutput()) return;
    if (common::LF_ISFILE(printing::printFilePath())) printing::IMP_TXT("Plano de contas");
}

}  // namespace kdx2::shell::cashbook
