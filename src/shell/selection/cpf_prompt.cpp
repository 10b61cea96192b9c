// The CPF prompt of the declaration, cash-book and print commands, and the
// name search behind an empty CPF.

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/folder_list.h"
#include "common/identifiers.h"
#include "common/messages.h"
#include "common/utilities.h"
#include "common/windows.h"
#include "platform/console/keys.h"
#include "shell/selection/internal.h"
#include "shell/selection/selection.h"
#include "shell/workspace/workspace.h"
#include "store/access.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/get.h"
#include "ui/screen.h"

namespace kdx2::shell::selection {

using namespace base::literals;
namespace keys = platform::keys;

namespace {

constexpr int kBaseRow = 17;
constexpr int kBaseColumn = 4;
constexpr size_t kNameWidth = 53;

enum class PromptEnd { Escape, Typed, Next, Previous, Recovered };

// How a read ended from a key action (F4 ends it as a recovered CPF).
PromptEnd gActionEnd = PromptEnd::Typed;

std::function<void()>& taxpayerPrint() {
    static std::function<void()> print;
    return print;
}

store::Table* openRegister() {
    store::WorkAreas& areas = store::workAreas();
    if (areas.table(store::tables::kRegister) == nullptr &&
        !store::ABERTURA(store::tables::kRegister))
        return nullptr;
    return areas.table(store::tables::kRegister);
}

bool validCpf(ui::Get& field) {
    const int key = ui::lastKey();
    if (key == keys::PgUp || key == keys::PgDn) return true;
    const std::string typed = field.value().text();
    if (!base::alltrim(typed).empty()) return common::VAL_CPF(typed, true, 0);
    if (!VER_NOME()) return false;
    field.setValue(base::Value(detail::cpfKey(base::session().text("CPF"))));
    return true;
}

PromptEnd readCpf(base::Value& cpf, const std::string& picture, int row, int column) {
    auto field = ui::Get::of(row, column, cpf, picture, "CPF");
    field->valid = validCpf;
    ui::GetList fields{field};
    gActionEnd = PromptEnd::Typed;
    const ui::ReadResult result = ui::readFields(fields);
    switch (result.exit) {
        case ui::ReadExit::Escape:
            return PromptEnd::Escape;
        case ui::ReadExit::Cancelled:
            return gActionEnd;
        case ui::ReadExit::Ended:
            return PromptEnd::Typed;
        case ui::ReadExit::Finished:
            if (result.lastKey == keys::PgDn) return PromptEnd::Next;
            if (result.lastKey == keys::PgUp) return PromptEnd::Previous;
            return PromptEnd::Typed;
    }
    return PromptEnd::Typed;
}

// PgDn / PgUp: the next or previous taxpayer of the register, staying on
// the last or first one at the ends.
void stepRegister(store::Table& reg, bool forward) {
    reg.setOrder(1);
    if (reg.eof()) reg.goBottom();
    reg.skip(forward ? 1 : -1);
    if (forward && reg.eof()) reg.goBottom();
    if (!forward && reg.bof()) reg.goTop();
    MOSTR_PAG(1);
}

// What the command does with the taxpayer found; false asks again.
bool takeTaxpayer(int command) {
    base::NamedValues& s = base::session();
    bool taken = true;
    if (command == 11) taken = workspace::INIC_VAR(1, 1);
    if (command == 12) taken = workspace::INIC_VAR(12, 1);
    if (command == 51 && taxpayerPrint()) taxpayerPrint()();
    if (!taken) return false;
    s.set("PVEZ", false);
    s.set("RESP", "N");
    return true;
}

bool offerNewTaxpayer() {
    base::NamedValues& s = base::session();
    const std::string answer =
        common::AVISOSN({" Esse Contribuinte não está cadastrado em nenhuma"_cp,
                         " das Pastas cadastradas. Inclui na pasta atual?"},
                        common::box::kYesNo);
    if (answer != "S") {
        s.set("PVEZ", false);
        return false;
    }
    s.set("PVEZ", true);
    s.set("NOMECONTR", std::string(kNameWidth, ' '));
    return workspace::INIC_VAR(0, 0);
}

void pickFromList(int order, ui::Get* field) {
    if (!lists().taxpayers(order)) return;
    if (field != nullptr) field->setValue(base::Value(detail::cpfKey(base::session().text("CPF"))));
    MOSTR_PAG(2);
}

void recoverLast() {
    if (!workspace::DIRETO()) return;
    gActionEnd = PromptEnd::Recovered;
    ui::endRead(false);
}

}  // namespace

void setTaxpayerPrint(std::function<void()> print) {
    taxpayerPrint() = std::move(print);
}

bool GET_CODIGO(const std::string& variable, const std::string& picture, int rowOffset,
                int columnOffset, int command) {
    base::NamedValues& s = base::session();
    const int row = kBaseRow + rowOffset;
    const int column = kBaseColumn + columnOffset;
    for (;;) {
        MOSTR_PAG(2);
        base::Value cpf(detail::cpfKey(s.text(variable)));
        const PromptEnd end = readCpf(cpf, picture, row, column);
        if (end == PromptEnd::Escape) return false;
        store::Table* reg = openRegister();
        if (reg == nullptr) return false;
        if (end == PromptEnd::Next || end == PromptEnd::Previous) {
            stepRegister(*reg, end == PromptEnd::Next);
            s.set(variable, s.text("CPF"));
            continue;
        }
        if (end == PromptEnd::Recovered) {
            cpf = base::Value(detail::cpfKey(s.text("CPF")));
        } else {
            s.set("LRECUPERA", false);
        }
        s.set(variable, cpf.text());
        s.set("CPF", cpf.text());

        reg->setOrder(1);
        if (reg->seek(cpf)) {
            MOSTR_PAG(1);
            if (takeTaxpayer(command)) return true;
            continue;
        }
        if (BUSCA_OUTRO(variable, 1, 1)) {
            s.set("CPF", s.text(variable));
            // The folder line changes with the folder.
            common::ESCRLCOL(detail::kTaxpayerSlot, 4, 17, std::string(55, ' '));
            MOSTR_PAG(1);
            // The taxpayer is read from and saved into that folder from now
            // on: the user is told, not left with the folder shown before.
            common::AVISOSN({"O contribuinte está cadastrado na pasta "_cp +
                                 common::BAR_FORA(s.text("LOCARQ")) + ",",
                             "que passa a ser a pasta atual."},
                            common::box::kInformation);
            if (takeTaxpayer(command)) return true;
            continue;
        }
        if (command != 11) {
            common::AVISOSN(
                "O contribuinte não foi localizado em nenhum das Pastas. Confira o CPF ou a lista das Pastas cadastradas     "_cp,
                common::box::kInformation);
            return false;
        }
        // A taxpayer found nowhere and not to be created: the CPF is asked
        // again, so a mistyped CPF costs one more try, not the command.
        if (offerNewTaxpayer()) return true;
    }
}

bool chooseTaxpayer(int command) {
    base::NamedValues& s = base::session();
    showTaxpayerWindow();
    common::MUDADIR(s.text("LOCARQ"));
    MOSTR_PAG(2);
    const ui::KeyAction f1 = ui::bindKey(keys::F1, [](ui::Get* field) { pickFromList(1, field); });
    const ui::KeyAction f2 =
        ui::bindKey(keys::function(2), [](ui::Get* field) { pickFromList(2, field); });
    const ui::KeyAction f4 = ui::bindKey(keys::function(4), [](ui::Get*) { recoverLast(); });
    detail::keyLine(
        "\x02[F1]\x01 Ordem CPF  \x02[F2]\x01 Ordem Nome \x02[F4]\x01Ultima declaração "_cp);
    const bool chosen = GET_CODIGO("CPF", "@r 999.999.999-99", 1, 2, command);
    ui::bindKey(keys::F1, f1);
    ui::bindKey(keys::function(2), f2);
    ui::bindKey(keys::function(4), f4);
    detail::keyLine("");
    if (!chosen) common::FECHAJAN(detail::kTaxpayerSlot);
    return chosen;
}

bool VER_NOME() {
    base::NamedValues& s = base::session();
    store::Table* reg = openRegister();
    if (reg == nullptr) return false;
    base::Value name(std::string(kNameWidth, ' '));
    common::MensOptions options;
    options.row = 20;
    options.column = common::MensColumn::centred();
    options.variable = &name;
    options.picture = "@!";
    common::MENS(4, "Nome ", options);
    const std::string key = base::asciiUpper(base::rtrim(name.text()));
    bool chosen = false;
    if (!key.empty()) {
        reg->setOrder(2);
        if (reg->seek(base::Value(key), true)) {
            s.set("CPF", reg->get("CPF").text());
            s.set("NOMECONTR", reg->get("NOMECONTR").text());
            chosen = true;
        } else {
            if (reg->eof()) reg->goBottom();
            chosen = lists().taxpayers(2);
        }
    }
    reg->setOrder(1);
    common::MENS();
    return chosen;
}

}  // namespace kdx2::shell::selection
