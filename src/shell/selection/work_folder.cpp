// The work folder (command 21) and the folder prompt of the folder window.

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/utilities.h"
#include "common/windows.h"
#include "shell/layouts.h"
#include "shell/selection/internal.h"
#include "shell/selection/selection.h"
#include "store/access.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/get.h"

namespace kdx2::shell::selection {

using namespace base::literals;

namespace {

constexpr size_t kFolderWidth = 40;
// The folder lines of the folder window: the current folder on the window's
// third row (grid row 8), the new one on its sixth (grid row 11), from the
// window's second column (grid column 16).
constexpr int kCurrentRow = 3;
constexpr int kCurrentColumn = 2;
constexpr int kNewGridRow = 11;
constexpr int kNewGridColumn = 16;

bool validFolder(ui::Get& field) {
    return common::ESPCIF(base::alltrim(field.value().text()));
}

// A typed folder made usable: "D:" gets its backslash, a missing folder is
// created on confirmation. Empty when it cannot be used.
std::string usableFolder(std::string folder) {
    if (folder.size() == 2) folder += "\\";
    if (folder.size() > 3) return common::CRI_NDIR(folder, "KDX") ? folder : "";
    if (common::VERDIR(folder)) return folder;
    common::AVISOSN("Foi colocado o CD?", common::box::kStop);
    return "";
}

}  // namespace

std::string NOVA_ROTA(const std::string& variable, const std::string&) {
    const std::string current = base::padRight(base::session().text(variable), kFolderWidth);
    MTELA1(4);
    common::ESCRLCOL(detail::kFolderSlot, kCurrentRow, kCurrentColumn, current);
    for (;;) {
        base::Value typed(std::string(kFolderWidth, ' '));
        auto field = ui::Get::of(kNewGridRow, kNewGridColumn, typed, "", variable);
        field->valid = validFolder;
        ui::GetList fields{field};
        if (ui::readFields(fields).exit == ui::ReadExit::Escape) return current;
        const std::string folder = usableFolder(base::alltrim(typed.text()));
        if (!folder.empty()) return base::padRight(folder, kFolderWidth);
    }
}

void SELAREA() {
    base::NamedValues& s = base::session();
    store::ABERTURA(store::tables::kConfig);
    const std::string folder = NOVA_ROTA("DIRTRAB");
    common::FECHAJAN(detail::kFolderSlot);
    s.set("DIRTRAB", folder);
    s.set("LOCTRAB", common::BAR_DIR(base::alltrim(folder)));
    store::WorkAreas& areas = store::workAreas();
    store::Table* config = areas.table(store::tables::kConfig);
    if (config == nullptr) return;
    areas.select(store::tables::kConfig);
    config->setOrder(1);
    if (!config->seek(base::Value(s.text("NUSU"))) || !store::REC_LOCK(5)) return;
    config->put("DIRTRAB", base::Value(folder));
    config->unlock();
}

}  // namespace kdx2::shell::selection
