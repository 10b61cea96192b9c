// The lists of the selection screens: taxpayers to choose or mark, and the
// registered folders to pick or edit (command 13).

#include <cctype>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/folder_list.h"
#include "common/identifiers.h"
#include "common/messages.h"
#include "editor/browse.h"
#include "editor/lookup_lists.h"
#include "platform/console/keys.h"
#include "shell/main_menu.h"
#include "shell/selection/internal.h"
#include "shell/selection/record_list.h"
#include "shell/selection/selection.h"
#include "store/access.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/get.h"
#include "ui/picture.h"
#include "ui/screen.h"

namespace kdx2::shell::selection {

using namespace base::literals;
namespace keys = platform::keys;

namespace {


Lists gDefaultLists;
Lists* gLists = &gDefaultLists;

std::string formattedCpf(const store::Table& row) {
    return ui::transform(row.get("CPF"), "@R 999.999.999-99").text();
}

std::string field(const store::Table& row, const char* name, size_t width) {
    return base::padRight(row.get(name).text(), width);
}

// ---- Marking ----

void markAll(store::Table& table, const char* mark) {
    table.forEach([&](store::Table& row) {
        row.put("IMPRE", base::Value(mark));
        return true;
    });
}

detail::ListAction markingKeys(detail::RecordList& list, int key) {
    store::Table& copy = list.table();
    if (key == keys::AltEquals || key == keys::KeypadAltPlus || key == keys::AltMinus) {
        const uint32_t recno = copy.recNo();
        markAll(copy, key == keys::AltMinus ? " " : "S");
        copy.goTo(recno);
        return detail::ListAction::Redraw;
    }
    if (list.empty()) return detail::ListAction::Ignored;
    const int upper = keys::isCharacter(key) ? std::toupper(key) : key;
    if (upper == 'S' || upper == 'N' || upper == keys::Space || key == keys::Enter) {
        const bool marked = base::alltrim(copy.get("IMPRE").text()) == "S";
        const bool mark = upper == 'S' || (key == keys::Enter && !marked);
        copy.put("IMPRE", base::Value(mark ? "S" : " "));
        copy.flush();
        ui::pushKey(keys::Down);
        return detail::ListAction::Redraw;
    }
    return detail::ListAction::Ignored;
}

// ---- Folders ----

}  // namespace

bool Lists::taxpayers(int order) {
    store::WorkAreas& areas = store::workAreas();
    if (areas.table(store::tables::kRegister) == nullptr &&
        !store::ABERTURA(store::tables::kRegister))
        return false;
    store::Table& reg = areas.area(store::tables::kRegister);
    reg.setOrder(order);
    const base::Value cpf = editor::GERAL2("M->CPF", base::Value());
    reg.setOrder(1);
    if (cpf.isEmpty() || !reg.seek(cpf)) return false;
    base::session().set("CPF", reg.get("CPF").text());
    base::session().set("NOMECONTR", reg.get("NOMECONTR").text());
    return true;
}

void Lists::markTaxpayers(store::Table& copy) {
    store::WorkAreas& areas = store::workAreas();
    const int slot = areas.slotOf(copy.alias());
    if (slot != 0 && areas.table(slot) == &copy) {
        // The marking screen of a transfer, over the copy of the origin's
        // register.
        base::NamedValues& s = base::session();
        const base::Value command = s.get("OPCAO_1");
        s.set("OPCAO_1", 22);
        areas.select(slot);
        copy.setOrder(1);
        copy.goTop();
        editor::EDITA(editor::screens::kMarking);
        s.set("OPCAO_1", command);
        return;
    }
    detail::ListLayout layout{5,
                              2,
                              19,
                              66,
                              "",
                              {},
                              " CPF             Nome do Contribuinte                     Transfe",
                              "Marque com a letra \x02[S]\x01 nos nomes escolhidos - Esc termina"};
    detail::RecordList list(copy, layout, [](store::Table& row) {
        return " " + base::padRight(formattedCpf(row), 15) + " " + field(row, "NOMECONTR", 40) +
               " " + field(row, "IMPRE", 1);
    });
    list.run(markingKeys);
}

void Lists::folders() {
    store::Table* table = detail::folderList();
    if (table == nullptr) return;
    table->setOrder(1);
    table->goTop();
    store::workAreas().select(store::tables::kFolderList);
    editor::EDITA(editor::screens::kFolders);
}

std::string Lists::pickFolder() {
    if (detail::folderList() == nullptr) return "";
    return base::alltrim(editor::GERAL2("M->ORIGEM", base::Value()).text());
}

Lists& lists() {
    return *gLists;
}

void setLists(Lists* lists) {
    gLists = lists ? lists : &gDefaultLists;
}

void editFolderList() {
    lists().folders();
    store::workAreas().select(store::tables::kFolderList);
}

void registerSelectionCommands() {
    registerCommand(13, [](int) { editFolderList(); });
    registerCommand(21, [](int) { SELAREA(); });
    registerCommand(22, [](int) { TRANOME(1); });
    registerCommand(29, [](int) { MUDA_CPF(); });
    registerCommand(31, [](int) { BUSCA_ANO(); });
    common::setNameSearch([] { VER_NOME(); });
}

}  // namespace kdx2::shell::selection
