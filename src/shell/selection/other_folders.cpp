// The registered data folders: the search for a taxpayer in the other
// folders, and adding and selecting folders of the list.

#include <utility>
#include <vector>

#include "base/named_values.h"
#include "base/text.h"
#include "common/folder_list.h"
#include "common/utilities.h"
#include "platform/drives.h"
#include "shell/selection/internal.h"
#include "shell/selection/selection.h"
#include "store/access.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"

namespace kdx2::shell::selection {

namespace {

constexpr size_t kFolderWidth = 40;

// The rows of the folder list in its order: record number and folder.
std::vector<std::pair<uint32_t, std::string>> registeredFolders(store::Table& list) {
    std::vector<std::pair<uint32_t, std::string>> rows;
    list.forEach([&](store::Table& table) {
        rows.emplace_back(table.recNo(), base::alltrim(table.get("DIRETOR").text()));
        return true;
    });
    return rows;
}

// Positions the folder list on the folder's row; false when absent.
bool seekFolder(store::Table& list, const std::string& folder) {
    list.setOrder(1);
    return list.seek(base::Value(base::padRight(detail::bareFolder(folder), kFolderWidth)));
}

std::string searchKey(const std::string& value, int order) {
    if (order == 1) return detail::cpfKey(value);
    return base::asciiUpper(base::rtrim(value));
}

}  // namespace

bool BUSCA_OUTRO(const std::string& variable, int order, int mode) {
    base::NamedValues& s = base::session();
    store::Table* list = detail::folderList();
    if (list == nullptr) return false;
    const std::string callFolder = s.text("LOCARQ");
    s.set("DIRORIG", callFolder);
    const std::string key = searchKey(s.text(variable), order);
    if (base::alltrim(key).empty()) return false;

    for (const auto& [recno, folder] : registeredFolders(*list)) {
        if (folder.empty() || platform::sameFolder(folder, callFolder)) continue;
        if (!common::LF_ISFILE(detail::closedFolder(folder) + "IRM9.DBF")) continue;
        if (!detail::openRegisterOf(folder)) continue;
        store::Table& reg = store::workAreas().area(store::tables::kRegister);
        reg.setOrder(order);
        if (!reg.seek(base::Value(key))) continue;

        const std::string cpf = reg.get("CPF").text();
        const std::string name = reg.get("NOMECONTR").text();
        if (mode != 1) {
            common::MUDADIR(callFolder);
            return true;
        }
        s.set("NOMECONTR", name);
        s.set(variable, order == 1 ? cpf : name);
        list->goTo(recno);
        if (!common::TROCASIM(1)) break;
        store::Table& again = store::workAreas().area(store::tables::kRegister);
        again.setOrder(1);
        again.seek(base::Value(cpf));
        store::workAreas().select(store::tables::kRegister);
        return true;
    }
    common::MUDADIR(callFolder);
    return false;
}

void registerFolder(const std::string& folder) {
    store::Table* list = detail::folderList();
    const std::string bare = detail::bareFolder(folder);
    if (list == nullptr || bare.empty() || seekFolder(*list, bare)) return;
    store::workAreas().select(store::tables::kFolderList);
    if (!store::ADD_REC(5)) return;
    list->put("DIRETOR", base::Value(bare));
    list->put("SELEC", base::Value("N"));
    list->unlock();
}

bool selectFolder(const std::string& folder) {
    if (!common::VERDIR(detail::bareFolder(folder))) return false;
    registerFolder(folder);
    store::Table* list = detail::folderList();
    if (list == nullptr || !seekFolder(*list, folder)) return false;
    return common::TROCASIM(1);
}

}  // namespace kdx2::shell::selection
