#include "common/folder_list.h"

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/utilities.h"
#include "platform/drives.h"
#include "store/access.h"
#include "store/repair.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"

namespace kdx2::common {

using namespace base::literals;

namespace {

std::string installFolderBare() {
    return base::asciiUpper(BAR_FORA(base::alltrim(base::session().text("ARQDEF"))));
}

// The first row other than `keep` with SELEC "S" becomes "N".
void unselectOthers(store::Table& list, uint32_t keep) {
    list.goTop();
    while (!list.eof()) {
        if (list.recNo() != keep && base::alltrim(list.get("SELEC").text()) == "S") {
            if (store::REC_LOCK(5)) {
                list.put("SELEC", base::Value("N"));
                list.unlock();
            }
            break;
        }
        list.skip();
    }
    list.goTo(keep);
}

}  // namespace

bool TROCASIM(int mode) {
    store::WorkAreas& areas = store::workAreas();
    store::Table* list = areas.table(store::tables::kFolderList);
    if (list == nullptr) return false;
    areas.select(store::tables::kFolderList);
    base::NamedValues& s = base::session();
    try {
        const bool empty = list->recCount() == 0 || list->eof();
        std::string folder = empty ? "" : base::alltrim(list->get("DIRETOR").text());
        if (folder.empty()) folder = installFolderBare();
        if (!VERDIR(folder)) {
            MensOptions options;
            options.column = MensColumn::centred();
            MENS(11, "O diretório "_cp + folder + " não encontrado. Mantido o atual."_cp, options);
            return false;
        }
        if (!empty) unselectOthers(*list, list->recNo());
        if (mode == 1) {
            const bool locked = empty ? store::ADD_REC(5) : store::REC_LOCK(5);
            if (locked) {
                list->put("SELEC", base::Value("S"));
                if (base::alltrim(list->get("DIRETOR").text()).empty())
                    list->put("DIRETOR", base::Value(folder));
                list->unlock();
            }
            s.set("LOCARQ", BAR_DIR(folder));
            s.set("DIRTRAB", folder);
            s.set("LOCTRAB", BAR_DIR(folder));
        }
        MUDADIR(s.text("LOCARQ"));
        platform::setCurrentFolder(s.text("LOCARQ"));
        store::NTX();
    } catch (const base::Error& error) {
        AVISOSN(std::string(error.what()), box::kStop);
        return false;
    }
    areas.select(store::tables::kFolderList);
    return true;
}

bool TROCA_NAO(const std::string& answer, int column) {
    if (column == 1) {
        const std::string mark = base::asciiUpper(base::alltrim(answer));
        if (mark == "S") {
            const bool selected = TROCASIM(1);
            store::workAreas().select(store::tables::kFolderList);
            return selected;
        }
        if (mark.empty() || mark == "N") return true;
        MensOptions options;
        options.column = MensColumn::centred();
        MENS(11, "Digite (S)im ou (N)ão "_cp, options);
        return true;
    }
    const std::string folder = base::alltrim(answer);
    if (folder.empty()) {
        MENS(11, "E necessário preencher o nome do diretório"_cp);
        return false;
    }
    return CRI_NDIR(folder, "o KDX");
}

void MUDADIR(const std::string& folder) {
    base::session().set("LOCARQ", BAR_DIR(folder));
    if (store::CORRECAO()) store::ABERTURA(store::tables::kRegister);
}

}  // namespace kdx2::common
