// CPF renumbering (command 29): every row of a taxpayer in the data folder
// gets a new CPF.

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/identifiers.h"
#include "common/messages.h"
#include "common/windows.h"
#include "platform/console/keys.h"
#include "shell/selection/internal.h"
#include "shell/selection/selection.h"
#include "store/access.h"
#include "store/feedback.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/get.h"
#include "ui/screen.h"

namespace kdx2::shell::selection {

using namespace base::literals;
namespace keys = platform::keys;

namespace {

constexpr int kChangeSlot = 3;
constexpr int kTop = 10;
constexpr int kLeft = 37;
constexpr int kBottom = 15;
constexpr int kRight = 57;
constexpr size_t kInside = 19;

void closeYearTables() {
    for (int n = store::tables::kFirstYearTable; n <= store::tables::kLastYearTable; ++n)
        store::workAreas().close(n);
}

// Every year table of the data folder in its own area, exclusively; false
// (all closed again) when one of them cannot be had.
bool openAllExclusively(const std::string& folder) {
    closeYearTables();
    for (int n = store::tables::kFirstYearTable; n <= store::tables::kLastYearTable; ++n) {
        if (!detail::openYearTable(n, folder, n, true)) {
            closeYearTables();
            return false;
        }
    }
    return true;
}

RenumberResult renumberOpenTables(const std::string& oldKey, const std::string& newKey) {
    store::Table& reg = store::workAreas().area(store::tables::kRegister);
    reg.setOrder(1);
    if (reg.seek(base::Value(newKey))) return RenumberResult::NewExists;
    if (!reg.seek(base::Value(oldKey))) return RenumberResult::OldMissing;
    for (int n = store::tables::kFirstYearTable; n <= store::tables::kLastYearTable; ++n) {
        store::Table& table = store::workAreas().area(n);
        table.setOrder(1);
        table.forEachKey(base::Value(oldKey), [&](store::Table& row) {
            row.put("CPF", base::Value(newKey));
            return true;
        });
        table.flush();
    }
    return RenumberResult::Done;
}

std::string boxes() {
    const std::string rule(kInside, '\xC4');
    const std::string blank = "\xB3" + std::string(kInside, ' ') + "\xB3";
    return "\xDA" + base::padRight("CPF  Original" + rule, kInside) + "\xBF" + blank + "\xC0" +
           rule + "\xD9" + "\xDA" + base::padRight("  Novo  CPF   " + rule, kInside) + "\xBF" +
           blank + "\xC0" + rule + "\xD9";
}

void showChangeWindow() {
    const base::NamedValues& s = base::session();
    common::REDEFJAN(kChangeSlot, s.integer("COR_TEL1"), s.integer("COR_TEL2"),
                     s.integer("COR_TEL3"), kTop, kLeft, kBottom, kRight, 0);
    if (common::windowOpen(kChangeSlot)) common::FECHAJAN(kChangeSlot);
    common::ABREJAN(kChangeSlot);
    common::ESCRJAN(kChangeSlot, boxes());
}

void pickInto(int order, ui::Get* field) {
    if (field == nullptr || !lists().taxpayers(order)) return;
    field->setValue(base::Value(detail::cpfKey(base::session().text("CPF"))));
}

void tellResult(RenumberResult result) {
    switch (result) {
        case RenumberResult::NewExists:
            common::AVISOSN("CPF novo já existente. Não é possível a troca"_cp,
                            common::box::kInformation);
            break;
        case RenumberResult::OldMissing:
            common::AVISOSN("CPF original não encontrado. Confira o número digitado"_cp,
                            common::box::kInformation);
            break;
        case RenumberResult::Unavailable:
            common::AVISOSN(
                "Os arquivos da pasta estão em uso em outro terminal. Nenhum CPF foi trocado."_cp,
                common::box::kStop);
            break;
        case RenumberResult::Done:
            break;
    }
}

}  // namespace

RenumberResult renumberCpf(const std::string& oldCpf, const std::string& newCpf) {
    base::NamedValues& s = base::session();
    const std::string folder = s.text("LOCARQ");
    const std::string oldKey = detail::cpfKey(oldCpf);
    const std::string newKey = detail::cpfKey(newCpf);
    if (!openAllExclusively(folder)) {
        store::ABERTURA(store::tables::kRegister);
        return RenumberResult::Unavailable;
    }
    RenumberResult result = RenumberResult::Unavailable;
    try {
        result = renumberOpenTables(oldKey, newKey);
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
    }
    closeYearTables();
    store::ABERTURA(store::tables::kRegister);
    if (result == RenumberResult::Done && detail::cpfKey(s.text("CPF")) == oldKey)
        s.set("CPF", newKey);
    return result;
}

void MUDA_CPF() {
    showChangeWindow();
    detail::keyLine(
        "\x02[F1]\x01"
        "Contribuintes por Nome"
        "\x02[F2]\x01"
        "Contribuintes por CPF ");
    const ui::KeyAction f1 = ui::bindKey(keys::F1, [](ui::Get* field) { pickInto(2, field); });
    const ui::KeyAction f2 =
        ui::bindKey(keys::function(2), [](ui::Get* field) { pickInto(1, field); });
    store::ABERTURA(store::tables::kRegister);
    for (;;) {
        base::Value oldCpf(std::string(11, ' '));
        base::Value newCpf(std::string(11, ' '));
        auto oldField = ui::Get::of(kTop + 1, kLeft + 3, oldCpf, "@r 999.999.999-99", "CPF");
        auto newField = ui::Get::of(kTop + 4, kLeft + 3, newCpf, "@r 999.999.999-99", "CPF");
        newField->valid = [](ui::Get& field) {
            return common::VAL_CPF(field.value().text(), true, 0);
        };
        ui::GetList fields{oldField, newField};
        if (ui::readFields(fields).exit == ui::ReadExit::Escape) break;
        common::MENS(13, "Trocando !!!");
        const RenumberResult result = renumberCpf(oldCpf.text(), newCpf.text());
        common::FECHAJAN(10);
        tellResult(result);
    }
    ui::bindKey(keys::F1, f1);
    ui::bindKey(keys::function(2), f2);
    common::FECHAJAN(kChangeSlot);
    detail::keyLine("");
}

}  // namespace kdx2::shell::selection
