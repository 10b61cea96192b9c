#include "shell/selection/internal.h"

#include "base/named_values.h"
#include "base/text.h"
#include "common/utilities.h"
#include "common/windows.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store/repair.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"

namespace kdx2::shell::selection::detail {

std::string bareFolder(std::string_view folder) {
    std::string bare = base::asciiUpper(base::alltrim(folder));
    while (bare.size() > 3 && bare.back() == '\\')
        bare.pop_back();
    return bare;
}

std::string closedFolder(std::string_view folder) {
    const std::string bare = bareFolder(folder);
    return bare.empty() ? bare : common::BAR_DIR(bare);
}

bool openYearTable(int slot, const std::string& folder, int number, bool exclusive,
                   const std::string& alias) {
    const store::CatalogTable* layout = store::catalogTable(number);
    if (layout == nullptr || layout->indexes.empty()) return false;
    base::NamedValues& s = base::session();
    const base::Value previousAlias = s.get("APELIDO");
    s.set("APELIDO", alias);
    const std::string closed = closedFolder(folder);
    const std::string path = closed + layout->file;
    bool opened = false;
    if (layout->indexes.size() == 1) {
        opened = store::ABREARQ(slot, exclusive, path, layout->indexes[0].key);
    } else {
        opened = store::ABREARQ(slot, exclusive, path, layout->indexes[0].key,
                                layout->indexes[1].key, closed + layout->indexes[1].file);
    }
    s.set("APELIDO", previousAlias);
    return opened;
}

bool openRegisterOf(const std::string& folder) {
    base::session().set("LOCARQ", closedFolder(folder));
    if (!store::CORRECAO()) return false;
    return store::ABERTURA(store::tables::kRegister);
}

store::Table* folderList() {
    store::WorkAreas& areas = store::workAreas();
    if (areas.table(store::tables::kFolderList) == nullptr &&
        !store::ABERTURA(store::tables::kFolderList))
        return nullptr;
    return areas.table(store::tables::kFolderList);
}

std::string cpfKey(std::string_view cpf) {
    return base::padRight(base::alltrim(cpf), 11);
}

void keyLine(const std::string& text) {
    common::ESCRJAN(0, base::padRight(text, common::kGridCols));
}

}  // namespace kdx2::shell::selection::detail
