// The declaration window of an open taxpayer and the commands 11 and 12.
//
// Each page opens its list screen (the browse of its table or grid), which
// edits the rows that the workspace saves.

#include "shell/declaration.h"

#include <cstdio>
#include <map>
#include <memory>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/calculator.h"
#include "common/choosers.h"
#include "common/messages.h"
#include "common/windows.h"
#include "editor/browse.h"
#include "platform/console/keys.h"
#include "shell/cashbook/cashbook.h"
#include "shell/layouts.h"
#include "shell/main_menu.h"
#include "shell/pages/pages.h"
#include "shell/selection/selection.h"
#include "shell/workspace/working_values.h"
#include "shell/workspace/workspace.h"
#include "tax/carne.h"
#include "tax/carne_tables.h"
#include "ui/dialog.h"
#include "ui/menu.h"
#include "ui/picture.h"
#include "ui/screen.h"
#include "ui/statusbar.h"

namespace kdx2::shell::declaration {

using namespace base::literals;
namespace keys = platform::keys;

namespace {

constexpr int kTaxpayerSlot = 3;
constexpr int kTitleSlot = 7;

// The keys bound while the declaration window is open, with what they had
// before, so that closing the window gives them back.
std::map<int, ui::KeyAction>& savedKeys() {
    static std::map<int, ui::KeyAction> saved;
    [[maybe_unused]] static const bool registered = base::registerResetOnce([] { saved.clear(); });
    return saved;
}

void bindWhileOpen(int key, ui::KeyAction action) {
    ui::KeyAction previous = ui::bindKey(key, std::move(action));
    savedKeys().emplace(key, std::move(previous));
}

// LIMPA_SET: gives back every key bound while the declaration was open.
void LIMPA_SET() {
    for (auto& [key, previous] : savedKeys())
        ui::bindKey(key, std::move(previous));
    savedKeys().clear();
    ui::bindKey(keys::alt('U'), {});
}

void notAvailable() {
    common::AVISOSN(notAvailableMessage(), common::box::kInformation);
}

std::string formattedCpf(const std::string& cpf) {
    return ui::transform(base::Value(base::alltrim(cpf)), "@R 999.999.999-99").text();
}

std::string windowTitle() {
    const base::NamedValues& s = base::session();
    return "CPF:" + formattedCpf(s.text("CPF")) + " - " + base::alltrim(s.text("NOMECONTR"));
}

bool digitalRuralBook() {
    return base::session().integer("TIPO_LANCA") == 2;
}

void showAbout() {
    const base::NamedValues& s = base::session();
    common::AVISOSN(
        {"KDX2 Versão "_cp + s.text("VERSAO").substr(0, 5), "de " + s.text("CULTIMAVER")},
        common::box::kInformation, {}, "Sobre o IR");
}

void runCalculator() {
    pages::runSystemCalculator();
}

// "Termina a Declaração?" with its three answers. Esc stays in the
// declaration: leaving without saving is only ever an explicit choice.
std::string askHowToLeave() {
    common::MessageBoxRequest request;
    request.title = "Aviso";
    request.icon = common::MessageIcon::Question;
    request.lines = {"Termina a Declaração?"_cp, "Sim....... Salva tudo e sai.       ",
                     "Não....... Volte para a declaração."_cp,
                     "Cancelar.. Sai sem salvar as alterações."_cp};
    request.buttons = {"Sim", "Não"_cp, "Cancelar"};
    switch (common::messageHandler().messageBox(request)) {
        case 1:
            return "S";
        case 3:
            return "I";
        default:
            return "N";
    }
}

// Alt+H: pauses or resumes the taxpayer's time-in-use counter. The time
// counted until a pause is kept in TEM_USO, so the pause adds nothing.
void toggleTimeCounter() {
    base::NamedValues& s = base::session();
    if (s.flag("SEMHORA")) {
        s.set("SEMHORA", false);
        s.set("INI_DECLA", static_cast<double>(workspace::clock().secondsSinceMidnight()));
    } else {
        s.set("TEM_USO", static_cast<double>(workspace::VETEMPO()));
        s.set("SEMHORA", true);
    }
    const long spent = workspace::VETEMPO();
    char shown[64];
    std::snprintf(shown, sizeof shown, "%02ld:%02ld:%02ld", spent / 3600, spent / 60 % 60,
                  spent % 60);
    ui::say(0, 0, std::string(shown) + (s.flag("SEMHORA") ? " Off" : " On "));
}

void addItems(ui::LMenu& menu, const std::vector<DeclarationItem>& items) {
    for (const DeclarationItem& item : items) {
        if (item.separatorBefore) menu.separator();
        if (!item.children.empty()) {
            menu.subMenu(item.prompt);
            addItems(menu, item.children);
            menu.endMenu();
            continue;
        }
        const int code = item.code;
        menu.menuItem(item.prompt, [code](ui::LMenuItem&, ui::LDialog*) {
            if (code == 0)
                runCalculator();
            else
                MENUOPC(code);
        });
    }
}

// The page keys at the menu bar; F10 stays the key of the menu bar itself.
int pageOfKey(int key) {
    static const std::map<int, int> pages = {
        {keys::function(1), 11},  {keys::function(2), 21},   {keys::function(3), 31},
        {keys::function(4), 41},  {keys::function(5), 51},   {keys::function(6), 61},
        {keys::function(7), 104}, {keys::function(11), 102}, {keys::function(12), 103}};
    const auto found = pages.find(key);
    return found == pages.end() ? 0 : found->second;
}

// CHAMA_SET: the keys bound while the declaration is open. The page keys
// (Tab, Shift+Tab, the function keys) are bound by each page's own form.
void CHAMA_SET() {
    base::NamedValues& s = base::session();
    bindWhileOpen(keys::alt('S'), [](ui::Get*) { pages::CHAMA_CALC(); });
    bindWhileOpen(keys::alt('V'), [](ui::Get*) { ui::LGETCLIPBOARD(); });
    bindWhileOpen(keys::CtrlC, [](ui::Get*) { ui::LSETCLIPBOARD(); });
    bindWhileOpen(keys::alt('T'), [](ui::Get*) { SAI_DA_DEC(112); });
    bindWhileOpen(keys::alt('K'), [](ui::Get*) { runCalculator(); });
    bindWhileOpen(keys::alt('H'), [](ui::Get*) { toggleTimeCounter(); });
    bindWhileOpen(keys::alt('D'), [](ui::Get*) { pages::CALCBEM(); });
    if (s.integer("TEMP_SAL") < 99)
        bindWhileOpen(keys::alt('W'), [](ui::Get*) { workspace::SAL_DEC(); });
}

// Polls keys and menu choices until the leave flag is set.
void pollUntilLeaving() {
    base::NamedValues& s = base::session();
    while (!s.flag("LSAI")) {
        const int key = ui::waitKey();
        if (key == keys::MenuEvent || key == keys::None) continue;
        s.set("ULTTECLA", key);
        if (const int page = pageOfKey(key)) {
            MENUOPC(page);
        } else if (key == keys::Esc) {
            SAI_DA_DEC(17);
        } else if (ui::isBound(key)) {
            ui::SETKEYEVAL(key);
        }
    }
}

}  // namespace

// ---- The menu ----

std::vector<DeclarationItem> declarationMenu(int cashBookMode) {
    std::vector<DeclarationItem> rural = {{"&Identificação  (F10)"_cp, 101, false, {}},
                                          {"&Receita e Despesas (F11)", 102, false, {}},
                                          {"&Apuração (F12)"_cp, 103, false, {}},
                                          {"&Lançamentos (F7)"_cp, 104, true, {}}};
    if (cashBookMode == 2) {
        rural.push_back({"&Cadastro dos Bancos", 107, true, {}});
        rural.push_back({"Co&ntador           ", 108, false, {}});
        rural.push_back({"&Valida lançamentos "_cp, 109, false, {}});
    }
    // The six pages share one drop-down: side by side with the other items
    // their captions would run far past the 80 columns of the bar.
    std::vector<DeclarationItem> pages = {{"Recebidos de P.&Jurídica(F1)"_cp, 11, false, {}},
                                          {"Recebidos de p&Físicas (F2)"_cp, 21, false, {}},
                                          {"&Dependentes (F3)", 31, false, {}},
                                          {"&Pagamentos (F4)", 41, false, {}},
                                          {"&Identificação (F5)"_cp, 51, false, {}},
                                          {"&Resumo (F6)", 61, false, {}}};
    return {
        {"&Páginas"_cp, 0, false, pages},
        {"&Rural", 0, false, rural},
        {"&Ajuda",
         0,
         false,
         {{"&Geral", 121, false, {}}, {"&Funções"_cp, 122, false, {}}, {"&Sobre", 123, false, {}}}},
        {"&Calculadora (Alt K)", 0, false, {}},
        {"&Terminar",
         0,
         false,
         {{"&Terminar escolhendo uma opção"_cp, 17, false, {}},
          {"Sai &salvando alterações (Alt T)"_cp, 112, false, {}},
          {"Sai se&m salvar as alterações"_cp, 111, false, {}}}}};
}

bool MENU_IRJAN() {
    std::shared_ptr<ui::LMenu> menu = ui::LMenu::make(ui::lastWindow().get());
    addItems(*menu, declarationMenu(base::session().integer("TIPO_LANCA")));
    menu->create();
    return base::session().integer("ULTTECLA") != keys::Esc;
}

namespace {

// The page of a menu code (0: the code is no page).
int pageOfCode(int code) {
    static const std::map<int, int> pages = {{11, 1}, {21, 2}, {31, 3},   {32, 3},   {41, 4},
                                             {51, 5}, {61, 6}, {101, 10}, {102, 11}, {103, 12}};
    const auto found = pages.find(code);
    return found == pages.end() ? 0 : found->second;
}

void tellDigitalBookOnly(int code) {
    common::AVISOSN({code == 109 ? "Essa validação só é necessária para o"_cp
                                 : "Esse cadastro só é necessário para o"_cp,
                     "Livro Caixa Digital do Produtor Rural (LCDPR)"},
                    common::box::kInformation);
}

}  // namespace

void MENUOPC(int code) {
    base::NamedValues& s = base::session();
    if (s.flag("LSAI")) return;
    s.set("OPCIR_1", code);
    s.set("TECLAMUDA", true);
    if (code >= 101 && code <= 107) {
        if (!pages::requireRuralActivity()) return;
        s.set("TELA", 10);
    }
    s.set("QTD_DEP", tax::NRODP(tax::carneLeao()));
    if (const int page = pageOfCode(code)) {
        if (code == 11) {
            s.set("I1_1", "J");
            s.set("I1_11", "S");
        }
        if (code == 31) s.set("OPCIR_1", 31);
        // Chosen while a page is shown: that page ends and the loop goes on
        // with this one, rather than a loop inside the page.
        if (pages::pageRunning()) {
            pages::choosePage(page);
            return;
        }
        pages::GIRO(page);
        return;
    }
    switch (code) {
        case 17:
        case 111:
        case 112:
            SAI_DA_DEC(code);
            return;
        case 104:
            pages::runRuralCashBook();
            return;
        case 107:
            if (digitalRuralBook())
                editor::EDITA(editor::screens::kBankAccounts);
            else
                tellDigitalBookOnly(code);
            return;
        case 108:
            if (digitalRuralBook())
                pages::accountantForm();
            else
                tellDigitalBookOnly(code);
            return;
        case 109:
            if (digitalRuralBook())
                pages::VAL_LCDPR();
            else
                tellDigitalBookOnly(code);
            return;
        case 121:
            common::HELPGER();
            return;
        case 122:
            common::HELPFUN();
            return;
        case 123:
            showAbout();
            return;
        default:
            notAvailable();
            return;
    }
}

void SAI_DA_DEC(int code) {
    base::NamedValues& s = base::session();
    if (code == 17) {
        const std::string answer = askHowToLeave();
        s.set("CIGNORE", answer);
        if (answer == "S" || answer == "I") s.set("LSAI", true);
    } else if (code == 111) {
        s.set("LSAI", true);
        s.set("CIGNORE", "I");
    } else if (code == 112) {
        s.set("LSAI", true);
        s.set("CIGNORE", "S");
    }
    s.set("ULT_CPF", s.get("CPF"));
    ui::clearKeyboard();
    s.set("TECLAMUDA", true);
    s.set("ULTTECLA", keys::Esc);
    // A leave chosen inside a page ends the page, so the window can close.
    if (s.flag("LSAI")) pages::endRunningPage();
}

// ---- The screens of the workspace ----

bool DeclarationScreens::chooseTaxpayer(int command) {
    return selection::chooseTaxpayer(command);
}

void DeclarationScreens::runCashBook() {
    common::FECHAJAN(kTaxpayerSlot);
    cashbook::FAZ_LANCA(cashbook::kFromMainMenu);
}

void DeclarationScreens::showTitle() {
    common::ENCHETELA(' ', base::session().text("COR_ENCH_C"));
    MTELA1(9);
}

void DeclarationScreens::runDeclaration() {
    base::NamedValues& s = base::session();
    installEditorHooks();
    common::FECHAJAN(kTitleSlot);
    common::ENCHETELA(' ', s.text("COR_ENCH_C"));
    CHAMA_SET();
    common::MENS();
    common::FECHAJAN(kTaxpayerSlot);

    std::shared_ptr<ui::LDialog> window = ui::LDialog::make(0, 0, 24, 79);
    window->cTitle(windowTitle());
    window->showWindow();
    ui::LSBDRAW({std::string(250, ' ')});
    MENU_IRJAN();
    try {
        pages::patrimonyTotals();
        pages::startRuralValues();
        // A new taxpayer has only a CPF: the identification comes first.
        if (s.flag("PVEZ")) MENUOPC(51);
        pollUntilLeaving();
    } catch (...) {
        LIMPA_SET();
        window->close();
        removeEditorHooks();
        throw;
    }
    LIMPA_SET();
    common::FECHAJAN(kTaxpayerSlot);
    window->close();
    removeEditorHooks();
    selection::showTaxpayerWindow();
}

// ---- Commands ----

void registerDeclarationCommands() {
    registerCommand(11, [](int) {
        DeclarationScreens screens;
        workspace::DISTRIBUI(11, screens);
    });
}

}  // namespace kdx2::shell::declaration
