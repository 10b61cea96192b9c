// A small program on the UI layer: a main window with a menu bar and a
// status bar, a form in a dialog with push buttons, and a message box. The
// tests drive it on the headless console and, inside tmux, on a terminal.
// Usage: ui_demo [--headless SCRIPT]
#include <cstdio>
#include <memory>

#include "base/cp850.h"
#include "base/error.h"
#include "platform/console/console.h"
#include "ui/button.h"
#include "ui/dialog.h"
#include "ui/menu.h"
#include "ui/msgalert.h"
#include "ui/picture.h"
#include "ui/screen.h"
#include "ui/statusbar.h"

using namespace kdx2;
using namespace kdx2::base::literals;
using kdx2::base::Value;
namespace keys = kdx2::platform::keys;

namespace {

bool quit = false;
Value name = Value(std::string(30, ' '));
Value cpf = Value(std::string(11, ' '));
Value amount = Value(0.0);

void showSummary() {
    auto main = ui::LWindowMain::load();
    ui::say(10, 2, "Nome:  "_cp + name.text(), 0x70);
    ui::say(11, 2, "CPF:   "_cp + ui::transform(cpf, "@R 999.999.999-99").text(), 0x70);
    ui::say(12, 2, "Valor: "_cp + ui::transform(amount, "@E 9,999,999.99").text(), 0x70);
}

bool elevenDigits(ui::Get& field) {
    base::Value typed;
    field.bufferValue(typed);
    const std::string digits = typed.text();
    if (digits.find_first_not_of("0123456789") == std::string::npos) return true;
    ui::MSGALERT("CPF deve ter 11 dígitos"_cp, {"Ok"}, "W+/R", "Erro"_cp);
    return false;
}

void runForm() {
    auto dialog = ui::LDLGSHOW(6, 10, 16, 69, "Cadastro"_cp);
    ui::say(1, 2, "Nome:"_cp);
    ui::say(3, 2, "CPF:"_cp);
    ui::say(5, 2, "Valor:"_cp);
    ui::GetList form;
    form.push_back(ui::Get::of(1, 10, name, "@!", "NOME"));
    auto cpfField = ui::Get::of(3, 10, cpf, "@R 999.999.999-99", "CPF");
    cpfField->valid = elevenDigits;
    form.push_back(cpfField);
    form.push_back(ui::Get::of(5, 10, amount, "@E 9,999,999.99", "VALOR"));
    ui::LButton::Options ok;
    ok.top = 8;
    ok.left = 14;
    ok.form = &form;
    ui::LButton::make(
        "&Gravar"_cp, [](ui::LButton&, ui::LDialog* w) { w->end(1); }, ok)
        ->create();
    ui::LButton::Options cancel;
    cancel.top = 8;
    cancel.left = 32;
    cancel.form = &form;
    ui::LButton::make(
        "&Cancelar"_cp, [](ui::LButton&, ui::LDialog* w) { w->cancel(); }, cancel)
        ->create();
    const Value oldName = name, oldCpf = cpf, oldAmount = amount;
    dialog->readmodal(form);
    // Cancelar or Esc discard the form; Gravar, PgDn or the last field keep it.
    if (dialog->nExit == 1 || ui::lastKey() == keys::Esc) {
        name = oldName;
        cpf = oldCpf;
        amount = oldAmount;
    }
    dialog->close();
    showSummary();
}

void buildMenu() {
    auto menu = ui::LMenu::make();
    menu->subMenu("&Arquivo");
    menu->menuItem("&Formulário"_cp, [](ui::LMenuItem&, ui::LDialog*) { runForm(); });
    menu->menuItem("&Mensagem", [](ui::LMenuItem&, ui::LDialog*) {
        const int chosen = ui::MSGALERT("Deseja continuar?;Escolha uma resposta."_cp,
                                        {"&Sim", "&Não"_cp, "Fim"}, "", "Pergunta");
        ui::say(14, 2, "Resposta: " + std::to_string(chosen), 0x70);
    });
    menu->separator();
    menu->menuItem("&Sair", [](ui::LMenuItem&, ui::LDialog*) { quit = true; });
    menu->endMenu();
    menu->subMenu("&Opções"_cp);
    menu->subMenu("&Cores");
    menu->menuItem("&Claras",
                   [](ui::LMenuItem&, ui::LDialog*) { ui::say(15, 2, "Cores claras", 0x70); });
    menu->menuItem("&Escuras", {}, false);
    menu->endMenu();
    menu->menuItem("&Relógio"_cp,
                   [](ui::LMenuItem&, ui::LDialog*) { ui::say(15, 2, "Relógio ligado"_cp, 0x70); });
    menu->endMenu();
    menu->create();
}

// The demo's main window until Esc; ui::stop() at the end.
void runDemo(platform::Console& console) {
    ui::start(console);
    auto main = ui::LWindowMain::load();
    main->cTitle("Demonstração"_cp);
    ui::clearArea(0, 0, 24, 79);
    ui::say(2, 2, "Programa de demonstração da camada de janelas"_cp);
    ui::say(4, 2, "F10 abre o menu; Alt+F abre o formulário; Esc termina"_cp);
    int seconds = 0;
    ui::LSBDRAW({"Pronto" + std::string(20, ' ')});
    main->oStatusBar->partAdd([&seconds] { return "Tempo " + std::to_string(seconds) + "s"; });
    main->oStatusBar->reset();
    ui::addTimer(1000, [&seconds] { ++seconds; });
    buildMenu();
    while (!quit) {
        const int key = ui::waitKey();
        if (key == keys::Esc) break;
        if (key == keys::alt('F')) runForm();
        if (key == keys::alt('M')) ui::MSGALERT("Mensagem"_cp);
    }
    ui::stop();
}

}  // namespace

int main(int argc, char** argv) {
    std::unique_ptr<platform::Console> console;
    try {
        console = platform::openConsole(argc, argv);
    } catch (const base::Error& error) {
        std::fprintf(stderr, "%s\n", base::cp850::toUtf8(error.what()).c_str());
        return 1;
    } catch (const platform::HeadlessStop& stop) {
        return stop.exitCode;  // a script that cannot be read
    }
    try {
        runDemo(*console);
    } catch (const platform::HeadlessStop& stop) {
        ui::stop();
        return stop.exitCode;
    }
    return 0;
}
