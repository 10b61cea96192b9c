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

constexpr size_t kFolderWidth = 40;

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

std::string folderOf(const store::Table& row) {
    return base::alltrim(row.get("DIRETOR").text());
}

bool inUse(const store::Table& row) {
    return base::alltrim(row.get("SELEC").text()) == "S";
}

// Reads a folder into a line of the list; false when left with Esc. The
// folder is checked (and created on confirmation) as it is typed.
bool readFolder(int row, int column, base::Value& folder) {
    auto get = ui::Get::of(row, column, folder, "@!", "DIRETOR");
    get->valid = [](ui::Get& f) { return common::TROCA_NAO(f.value().text(), 2); };
    ui::GetList fields{get};
    return ui::readFields(fields).exit != ui::ReadExit::Escape;
}

// Edits the folder of the list's current record in place; false when left
// with Esc or refused.
bool editFolder(detail::RecordList& list) {
    store::Table& table = list.table();
    base::Value folder(base::padRight(folderOf(table), kFolderWidth));
    const uint32_t recno = table.recNo();
    if (!readFolder(list.currentRow(), list.textColumn() + 6, folder)) return false;
    const std::string typed = detail::bareFolder(folder.text());
    table.goTo(recno);
    store::workAreas().select(store::tables::kFolderList);
    if (!store::REC_LOCK(5)) return false;
    table.put("DIRETOR", base::Value(typed));
    table.unlock();
    // The folder in use changed its path: the session follows it.
    if (inUse(table)) common::TROCASIM(1);
    return true;
}

// A new folder is typed on a blank line after the last one and becomes a
// record only once typed; Esc leaves the list as it was, on the same line.
detail::ListAction addFolder(detail::RecordList& list) {
    store::Table& table = list.table();
    const uint32_t before = table.eof() ? 0 : table.recNo();
    base::Value folder(std::string(kFolderWidth, ' '));
    const int row = list.openNewLine();
    const bool typed =
        readFolder(row, list.textColumn() + 6, folder) && !base::alltrim(folder.text()).empty();
    store::workAreas().select(store::tables::kFolderList);
    if (!typed || !store::ADD_REC(5)) {
        if (before) table.goTo(before);
        return detail::ListAction::Reload;
    }
    table.put("SELEC", base::Value("N"));
    table.put("DIRETOR", base::Value(detail::bareFolder(folder.text())));
    table.unlock();
    return detail::ListAction::Reload;
}

detail::ListAction folderKeys(detail::RecordList& list, int key) {
    store::Table& table = list.table();
    const int upper = keys::isCharacter(key) ? std::toupper(key) : key;
    if ((key == keys::Down && list.atLast()) || (list.empty() && key == keys::Enter))
        return addFolder(list);
    if (list.empty()) return detail::ListAction::Ignored;
    const uint32_t recno = table.recNo();
    if (upper == 'S') {
        common::TROCA_NAO("S", 1);
        table.goTo(recno);
        return detail::ListAction::Reload;
    }
    if (upper == 'N') return detail::ListAction::Redraw;  // another "S" takes the mark
    if (key == keys::Enter) {
        editFolder(list);
        table.goTo(recno);
        return detail::ListAction::Reload;
    }
    if (key == keys::Del) {
        if (inUse(table)) {
            common::AVISOSN("A pasta em uso não pode ser retirada da lista."_cp,
                            common::box::kInformation);
            return detail::ListAction::Redraw;
        }
        store::workAreas().select(store::tables::kFolderList);
        if (store::REC_LOCK(5)) {
            table.deleteRecord();
            table.unlock();
        }
        // The line stays where the folder was.
        table.skip(1);
        if (table.eof()) table.goBottom();
        return detail::ListAction::Reload;
    }
    return detail::ListAction::Ignored;
}

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
    detail::ListLayout layout{7,
                              18,
                              24,
                              65,
                              "Pastas dos arquivos ",
                              {"Escreva a lista dos diretórios onde poderá ter"_cp,
                               "informações para o KDX  procurar. Marque com a"_cp,
                               "letra S na coluna SEL o diretório atual.      "_cp},
                              "SEL.  Drive e diretório"_cp,
                              ""};
    detail::RecordList list(*table, layout, [](store::Table& row) {
        return "  " + field(row, "SELEC", 1) + "   " + field(row, "DIRETOR", kFolderWidth);
    });
    table->setOrder(1);
    table->goTop();
    list.run(folderKeys);
}

std::string Lists::pickFolder() {
    store::Table* table = detail::folderList();
    if (table == nullptr) return "";
    table->setOrder(1);
    table->goTop();
    detail::ListLayout layout{6, 18, 20, 61, "", {}, "Nome dos diretórios"_cp, ""};
    detail::RecordList list(*table, layout,
                            [](store::Table& row) { return field(row, "DIRETOR", kFolderWidth); });
    return list.run() ? folderOf(*table) : "";
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
