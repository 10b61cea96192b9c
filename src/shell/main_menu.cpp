#include "shell/main_menu.h"

#include <cctype>
#include <map>

#include "base/cp850.h"
#include "base/named_values.h"
#include "common/messages.h"
#include "common/utilities.h"
#include "common/windows.h"
#include "printing/output.h"
#include "shell/print_selection.h"
#include "store/access.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/color.h"

namespace kdx2::shell {

using namespace base::literals;

namespace {

std::map<int, Command>& commands() {
    static std::map<int, Command> all;
    return all;
}

std::function<void()>& titleRedraw() {
    static std::function<void()> redraw;
    return redraw;
}

MenuEntry item(const std::string& prompt, int code, int option = 0) {
    return MenuEntry{prompt, code, option, false, {}};
}

MenuEntry heading(const std::string& prompt) {
    return MenuEntry{prompt, 0, 0, false, {}};
}

MenuEntry menu(const std::string& prompt, std::vector<MenuEntry> children) {
    return MenuEntry{prompt, 0, 0, false, std::move(children)};
}

MenuEntry separated(MenuEntry entry) {
    entry.separatorAfter = true;
    return entry;
}

bool clearsScreen(int code) {
    switch (code) {
        case 21:
        case 22:
        case 26:
        case 27:
        case 61:
        case 62:
        case 71:
        case 72:
        case 73:
            return true;
        default:
            return false;
    }
}

void tellNotAvailable() {
    common::AVISOSN(notAvailableMessage(), common::box::kInformation);
}

void run(int code, int option) {
    const auto found = commands().find(code);
    if (found == commands().end() || !found->second) {
        tellNotAvailable();
        return;
    }
    found->second(option);
}

void fillScreen() {
    common::ENCHETELA(' ', base::session().text("COR_ENCH_C"));
}

void reopenRegister() {
    store::ABERTURA(store::tables::kRegister);
}

// Prints the last print file of this work folder again.
void printLastAgain() {
    base::NamedValues& s = base::session();
    s.set("ARQ_IMP", printing::printFilePath());
    if (!common::LF_ISFILE(s.text("ARQ_IMP"))) {
        common::AVISOSN("Selecione a impressora Não DOS antes"_cp, common::box::kInformation);
        return;
    }
    if (!commandAvailable(52)) {
        tellNotAvailable();
        return;
    }
    store::workAreas().closeAll();
    run(52, 0);
    reopenRegister();
}

}  // namespace

char MenuEntry::hotKey() const {
    const size_t amp = prompt.find('&');
    if (amp == std::string::npos || amp + 1 >= prompt.size()) return 0;
    return static_cast<char>(std::toupper(static_cast<unsigned char>(prompt[amp + 1])));
}

std::vector<MenuEntry> mainMenuDefinition(const std::string& printerName) {
    std::vector<MenuEntry> bar;
    bar.push_back(menu("&Declaração"_cp,
                       {item("&Declaração"_cp, 11), item("&Lancamentos", 12), item("&Pastas", 13),
                        separated(item("&Exclusão"_cp, 14)), item("&Terminar", 16)}));
    bar.push_back(menu("&Opções "_cp,
                       {item("&Area de Trabalho", 21), item("&Trans.Declaração"_cp, 22),
                        item("&Ver atualizacao ", 23), item("Mudar as &Cores  ", 25),
                        menu("&Gravar os dados ",
                             {item("&Automático    "_cp, 26, 1), item("&Manual (Alt w)", 26, 2),
                              item("&só no final   "_cp, 26, 3)}),
                        item("Cadastro &SELIC  ", 27), item("Reinde&xar Dados ", 28),
                        item("Mudar C&PF       ", 29), item("Cálculo &Mensalão "_cp, 30),
                        item("Muda o a&no Base  ", 31), item("&Encerrar o Ano   ", 32)}));
    bar.push_back(menu(
        "&Seleção"_cp,
        {menu("&1- O que imprimir",
              {item("&Declaração     "_cp, 41, 1), item("D&ARF           ", 41, 2),
               item("&Cadastro       ", 41, 3)}),
         menu("&2 - Tipo de Folha",
              {heading("Impressão do Imposto /Outros"_cp),
               separated(item("   Na Folha em &Branco       ", 42, 1)),
               heading("Impressão do Darf "_cp), item("   No &formulário próprio   "_cp, 42, 1),
               separated(item("   Na Folha em Bra&nco      ", 42, 2)),
               heading("Impressão do cadastro   "_cp), item("   Na Folha em Branc&o  ", 42, 1),
               item("   Em &Etiquetas        ", 42, 2)}),
         menu("&3 - Qual página"_cp,
              {heading("Na impressão do Imposto"_cp), item("   &Tudo da declaração  "_cp, 43, 1),
               item("   &Fontes Pagadoras    ", 43, 2), item("   &Atividade Rural     ", 43, 3),
               item("   &Pagamento Efetuado  ", 43, 4), item("   &Resumo              ", 43, 5),
               item("   &Livro Caixa P.Física"_cp, 43, 6), item("   Livro &Caixa Rural   ", 43, 7),
               separated(item("   Abertura e &Encerra  ", 43, 8)),
               heading("Na Impressão do Darf/Etiqueta "_cp),
               item("   F&olha Única                "_cp, 43, 1)}),
         menu("&4 - Quem imprimir",
              {item("&Individual       ", 44, 1), item("&Vários           "_cp, 44, 2),
               item("&Todos            ", 44, 3)}),
         menu("&5 - Qual Impressora",
              {item(printerName.empty() ? printerName : "&" + printerName, 45, 1)}),
         item("&Modo de Impressão"_cp, 46, 1), item("&Vias             ", 47, 1),
         item("Mostra a &Seleção "_cp, 48, 1)}));
    bar.push_back(menu("&Impressão"_cp,
                       {item("&Imprime a seleção"_cp, 51), item("&Ultima impressão "_cp, 52)}));
    bar.push_back(menu("&Cópia Segurança"_cp,
                       {item("&Fazer a cópia    "_cp, 61), item("&Recuperar a cópia"_cp, 62)}));
    bar.push_back(
        menu("I&mportação"_cp, {item("do IR da &Tavo     ", 71), item("do IRPF da &Receita", 72),
                                item("do &L.Caixa Receita", 73)}));
    bar.push_back(menu("&Terminar", {item("& Sair do Programa ", 16)}));
    return bar;
}

void registerCommand(int code, Command command) {
    commands()[code] = std::move(command);
}

bool commandAvailable(int code) {
    const auto found = commands().find(code);
    return found != commands().end() && static_cast<bool>(found->second);
}

std::string notAvailableMessage() {
    return "Esta função ainda não está disponível nesta versão do programa."_cp;
}

void setTitleRedraw(std::function<void()> redraw) {
    titleRedraw() = std::move(redraw);
}

void MENUSELECT(int code, int option) {
    base::session().set("OPCAO_1", code);
    if (code >= 41 && code <= 48) {
        if (code == 45) run(45, option);
        choosePrintSelection(code, option);
    } else if (code == 52) {
        printLastAgain();
    } else {
        const bool clears = clearsScreen(code);
        const bool available = commandAvailable(code);
        if (clears) fillScreen();
        run(code, option);
        if (code == 61 || code == 62) common::FECHAJAN(3);
        if (clears && titleRedraw()) titleRedraw()();
        if (available && code >= 71 && code <= 73) reopenRegister();
        if (available && code == 29) {
            reopenRegister();
            common::FECHAJAN(4);
        }
    }
    common::FECHAJAN(2);
}

}  // namespace kdx2::shell
