#include "printing/questions.h"

#include <algorithm>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/choosers.h"
#include "common/messages.h"
#include "common/windows.h"
#include "platform/console/keys.h"
#include "printing/output.h"
#include "ui/dialog.h"
#include "ui/get.h"
#include "ui/screen.h"

namespace kdx2::printing {

using namespace base::literals;
namespace keys = platform::keys;

namespace {

constexpr int kMonthWindow = 5;
constexpr int kWidth = 21;

// Keys typed while printing: true when one of them was Esc. At a terminal
// every key typed ahead is read; without one, only those already queued.
bool escapeTyped() {
    if (!ui::started()) return false;
    const bool headless = ui::console().isHeadless();
    for (;;) {
        if (headless && !ui::keyPending()) return false;
        const int key = ui::waitKey(0);
        if (key == keys::Esc) return true;
        if (key == keys::None) return false;
    }
}

std::string month(int number) {
    return base::padLeft(std::to_string(number), 2);
}

// The box of the month window, one row of 21 columns after the other.
std::string monthBox(int first, int last) {
    const std::string bar(1, '\xB3');
    auto row = [&](const std::string& text) {
        return bar + base::padRight(text, kWidth - 2) + bar;
    };
    const std::string heading = "Imprimir";
    const std::string left(5, '\xC4');
    const std::string right(kWidth - 2 - left.size() - heading.size(), '\xC4');
    return "\xDA" + left + heading + right + "\xBF" + row(" Todos os meses") +
           row(" Somente o Mes " + month(first)) + row(" Faixa de meses") +
           row(" do mes " + month(first) + " ao " + month(last)) + "\xC0" +
           std::string(kWidth - 2, '\xC4') + "\xD9";
}

bool monthInRange(const base::Value& value, int lowest) {
    const int number = static_cast<int>(value.number());
    return number >= lowest && number <= 12;
}

// Edits the months of choice 2 (the first month) or 3 (first and last);
// false on Esc.
bool editMonths(int choice) {
    base::NamedValues& s = base::session();
    base::Value first(s.integer("MES_INIC"));
    base::Value last(s.integer("MES_FINAL"));
    ui::GetList fields;
    auto firstField = choice == 2 ? ui::Get::of(2, 16, first, "@z 99", "MES_INIC")
                                  : ui::Get::of(4, 9, first, "@z 99", "MES_INIC");
    firstField->valid = [](ui::Get& field) { return monthInRange(field.value(), 1); };
    fields.push_back(firstField);
    if (choice == 3) {
        auto lastField = ui::Get::of(4, 15, last, "@z 99", "MES_FINAL");
        lastField->valid = [&first](ui::Get& field) {
            return monthInRange(field.value(), static_cast<int>(first.number()));
        };
        fields.push_back(lastField);
    }
    if (ui::readFields(fields).exit == ui::ReadExit::Escape) return false;
    s.set("MES_INIC", static_cast<int>(first.number()));
    if (choice == 3) s.set("MES_FINAL", static_cast<int>(last.number()));
    return true;
}

// The choice of the month window (0 on Esc) with its months edited.
int chooseMonths() {
    base::NamedValues& s = base::session();
    std::shared_ptr<ui::LDialog> window = ui::LDLGSHOW(0, 0, 6, kWidth - 1, "Selecione");
    common::REDEFJAN(kMonthWindow, s.integer("COR_TEL1"), s.integer("COR_TEL2"),
                     s.integer("COR_TEL3"), 0, 0, 6, kWidth - 1, 0);
    common::ABREJAN(kMonthWindow);
    common::ESCRJAN(kMonthWindow, monthBox(s.integer("MES_INIC"), s.integer("MES_FINAL")));
    const std::string letters = s.text("OPCOES");
    s.set("OPCOES", "123");
    s.set("POSVER", std::clamp(s.integer("QUEMES"), 1, 3));
    int choice = common::ESC_OPCAO(kMonthWindow, 3, 2, kWidth - 2, 1);
    s.set("OPCOES", letters);
    if (choice == 2 || choice == 3) {
        if (!editMonths(choice)) choice = 0;
    } else if (choice == 1) {
        s.set("MES_INIC", 1);
    }
    common::FECHAJAN(kMonthWindow);
    window->close();
    return choice;
}

std::string ask(const std::string& question) {
    return common::AVISOSN(question, common::box::kYesNo) == "S" ? "S" : "N";
}

}  // namespace

bool PAREIMP() {
    base::NamedValues& s = base::session();
    if (!output().error().empty()) s.set("CAN_IMP", true);
    if (escapeTyped()) {
        const bool abandon =
            common::AVISOSN("Abandona a impressão ?"_cp, common::box::kYesNo) == "S";
        s.set("CAN_IMP", abandon);
    }
    return s.flag("CAN_IMP");
}

void AJUS_FIN() {
    base::NamedValues& s = base::session();
    while (base::alltrim(s.text("FEZ_TES")) == "S") {
        output().say(output().row(), 0, " ");
        common::messageHandler().tone(800, 1);
        const std::string answer = common::AVISOSN(
            {"Pausa p/ um ajuste fino. ", "Tecle Sim para mais pausa"}, common::box::kYesNo);
        s.set("FEZ_TES", answer == "S" ? "S" : "N");
    }
}

bool ESCOLHE_COMO(int kind) {
    base::NamedValues& s = base::session();
    s.set("MES_INIC", 1);
    s.set("MES_FINAL", 12);
    const int choice = chooseMonths();
    if (choice == 0) return false;
    s.set("QUEMES", choice);
    s.set("AVANCA_PAG", choice != 2 ? ask("Avança página em cada mês ?"_cp) : "S");
    s.set("CALC_SALD",
          s.integer("MES_INIC") == 1 ? "N" : ask("Calcula e Imprime saldo anterior ?"));
    if (kind == 2) s.set("IMPR_RESU", ask("Deseja imprimir o Resumo do AAR de todos os meses?"));
    return true;
}

}  // namespace kdx2::printing
