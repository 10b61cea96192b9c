// The folder pair prompt (transfer, backup, restore) and the questions and
// progress of a transfer (command 22).

#include <algorithm>
#include <memory>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/folder_list.h"
#include "common/messages.h"
#include "common/utilities.h"
#include "common/windows.h"
#include "platform/console/keys.h"
#include "platform/drives.h"
#include "shell/layouts.h"
#include "shell/selection/internal.h"
#include "shell/selection/selection.h"
#include "store/catalog.h"
#include "store/feedback.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/get.h"
#include "ui/screen.h"

namespace kdx2::shell::selection {

using namespace base::literals;
namespace keys = platform::keys;

namespace {

constexpr size_t kFolderWidth = 40;
constexpr int kOriginRow = 8;
constexpr int kDestinationRow = 11;
constexpr int kFieldColumn = 16;
// The origin must hold at least the tables IRM1 ... IRM11.
constexpr int kLastRequiredTable = store::tables::kExpenses;

std::string padded(const std::string& folder) {
    return base::padRight(folder, kFolderWidth);
}

std::string typedFolder(const base::Value& value) {
    std::string folder = base::asciiUpper(base::alltrim(value.text()));
    if (folder.size() == 2) folder += "\\";
    return folder;
}

void tell(const std::string& text) {
    common::AVISOSN(text, common::box::kStop);
}

// Step 3 of the prompt: the pair is usable; false (after telling why) asks
// again.
bool pairUsable(int mode, const std::string& from, const std::string& to) {
    if (platform::sameFolder(from, to)) {
        tell("ATENCAO! As Pastas não podem ser iguais"_cp);
        return false;
    }
    if (!common::VERDIR(from)) {
        tell("Pasta de  origem "_cp + from + " inexistente !!");
        return false;
    }
    if (!common::VERDIR(to.substr(0, 3))) {
        tell("Foi colocado o CD?");
        return false;
    }
    if (mode == 1 || mode == 2) {
        for (int n = store::tables::kFirstYearTable; n <= kLastRequiredTable; ++n) {
            const std::string file = "IRM" + std::to_string(n) + ".DBF";
            if (common::LF_ISFILE(detail::closedFolder(from) + file)) continue;
            common::MensOptions options;
            options.column = common::MensColumn::centred();
            common::MENS(11, "Não encontrado o Arquivo "_cp + file, options);
            return false;
        }
    }
    if (to.size() > 3 && !common::VERDIR(to) && !common::CRI_NDIR(to, "KDX")) return false;
    return true;
}

// The answer of a two-button question: 1, 2, or 0 for Esc.
int twoWay(const std::string& text, const std::string& first, const std::string& second) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t semicolon = text.find(';', start);
        lines.push_back(text.substr(start, semicolon - start));
        if (semicolon == std::string::npos) break;
        start = semicolon + 1;
    }
    const std::string answer = common::AVISOSN(lines, common::box::kCustom, {first, second});
    return answer == "1" ? 1 : answer == "2" ? 2 : 0;
}

// The private copy of the origin's register the user marks (its own name,
// so it never replaces the workspace's register scratch copy).
class MarkingCopy {
  public:
    explicit MarkingCopy(const std::string& from) {
        const base::NamedValues& s = base::session();
        base_ = detail::closedFolder(s.text("LOCTRAB")) + "TMPT9" + s.text("NUSU");
        store::Table::create(base_ + ".DBF", *store::tableLayout(store::tables::kRegister));
        if (!detail::openYearTable(store::tables::kRegister, from, store::tables::kRegister, true))
            return;
        store::Table& reg = store::workAreas().area(store::tables::kRegister);
        copy_ = store::Table::open(base_ + ".DBF", store::OpenMode::Exclusive, "TMPT9");
        store::appendFrom(*copy_, reg);
        store::workAreas().close(store::tables::kRegister);
        copy_->forEach([](store::Table& row) {
            row.put("IMPRE", base::Value(" "));
            return true;
        });
        copy_->createIndex(base_ + ".cdx", "CPF");
        copy_->createIndex(base_ + "B.cdx", "upper(NOMECONTR)");
        copy_->setOrder(1);
        copy_->goTop();
        // In a work area of its own, so the marking list can browse it.
        store::WorkAreas& areas = store::workAreas();
        slot_ = areas.freeSlot();
        if (slot_ != 0) areas.attach(slot_, std::move(copy_));
    }
    ~MarkingCopy() {
        copy_.reset();
        if (slot_ != 0) store::workAreas().close(slot_);
        for (const char* suffix : {".DBF", ".cdx", "B.cdx"})
            platform::removeFile(base_ + suffix);
    }
    store::Table* table() { return slot_ != 0 ? store::workAreas().table(slot_) : copy_.get(); }

    std::vector<std::string> marked() {
        std::vector<std::string> cpfs;
        table()->forEach([&](store::Table& row) {
            if (base::asciiUpper(base::alltrim(row.get("IMPRE").text())) == "S")
                cpfs.push_back(row.get("CPF").text());
            return true;
        });
        return cpfs;
    }

  private:
    std::string base_;
    std::unique_ptr<store::Table> copy_;
    int slot_ = 0;
};

void reportProblems(const TransferReport& report) {
    if (!report.opened) {
        tell(
            "Nenhum contribuinte foi transferido: os arquivos das pastas não puderam ser abertos com exclusividade."_cp);
        return;
    }
    if (!report.failed.empty())
        tell("Os dados de "_cp + std::to_string(report.failed.size()) +
             " contribuinte(s) não puderam ser copiados; continuam só na pasta de origem."_cp);
    if (!report.notRemoved.empty())
        tell("Os dados de "_cp + std::to_string(report.notRemoved.size()) +
             " contribuinte(s) foram copiados mas não puderam ser apagados da origem."_cp);
}

bool runTransfer(const std::string& from, const std::string& to) {
    base::NamedValues& s = base::session();
    const std::string callFolder = s.text("LOCARQ");
    auto backToCallFolder = [&] {
        common::MUDADIR(callFolder);
        common::FECHAJAN(detail::kFolderSlot);
        return true;
    };
    store::workAreas().closeAll();

    TransferRequest request;
    request.origin = from;
    request.destination = to;
    const int scope =
        twoWay("PARCIAL - Copia alguns selecionados ; TOTAL  - Copia todos da pasta      ; ",
               "Parcial", "Total ");
    if (scope == 0) return backToCallFolder();
    const int kind =
        twoWay("COPIAR - Copia e mantém o original ; MOVER - Copia e APAGA o original  ; "_cp,
               "Copiar", "Mover");
    if (kind == 0) return backToCallFolder();
    request.partial = scope == 1;
    request.move = kind == 2;
    s.set("DIRORIG", callFolder);

    if (request.partial) {
        try {
            MarkingCopy copy(from);
            if (copy.table() == nullptr) return backToCallFolder();
            lists().markTaxpayers(*copy.table());
            request.chosen = copy.marked();
        } catch (const base::Error& error) {
            tell(error.what());
            return backToCallFolder();
        }
        if (request.chosen.empty()) return backToCallFolder();
    }
    request.overwrite =
        common::askBeforeDestroying({"Encontrando CPF iguais ", "Sim - Sobrepõe os dados"_cp,
                                     "Não - Salta o CPF      "_cp}) == "S";

    common::FECHAJAN(detail::kFolderSlot);
    showTaxpayerWindow();
    const std::string working =
        (request.move ? "Movendo" : "Copiando") + std::string(" os dados...");
    const TransferReport report = transferTaxpayers(
        request, [&](const std::string& cpf, const std::string& name, int at, int count) {
            s.set("CPF", cpf);
            s.set("NOMECONTR", name);
            MOSTR_PAG(2);
            showProgress(working, at, count);
            ui::refresh();
        });
    reportProblems(report);
    registerFolder(from);
    registerFolder(to);

    bool switched = false;
    if (!platform::sameFolder(from, callFolder) &&
        common::AVISOSN("Muda para a nova Pasta?", common::box::kYesNo) == "S")
        switched = selectFolder(to);
    if (!switched) common::MUDADIR(callFolder);
    if (!report.lastCopied.empty()) {
        store::Table* reg = store::workAreas().table(store::tables::kRegister);
        if (reg != nullptr) {
            reg->setOrder(1);
            if (reg->seek(base::Value(report.lastCopied))) MOSTR_PAG(1);
        }
    }
    common::FECHAJAN(detail::kTaxpayerSlot);
    return true;
}

}  // namespace

bool TRANOME(int mode) {
    base::NamedValues& s = base::session();
    const std::string dataFolder = detail::bareFolder(s.text("LOCARQ"));
    std::string from = mode == 3 ? "" : dataFolder;
    std::string to = mode == 1 ? base::alltrim(s.text("DESTINO")) : mode == 2 ? "" : dataFolder;
    MTELA1(4);
    const ui::KeyAction f1 = ui::bindKey(keys::F1, [](ui::Get* field) {
        if (field == nullptr) return;
        const std::string folder = lists().pickFolder();
        if (!folder.empty()) field->setValue(base::Value(padded(folder)));
    });
    bool chosen = false;
    for (;;) {
        base::Value origin(padded(from));
        base::Value target(padded(to));
        auto originField = ui::Get::of(kOriginRow, kFieldColumn, origin, "@!", "ORIGEM");
        auto targetField = ui::Get::of(kDestinationRow, kFieldColumn, target, "@!", "DESTINO");
        for (auto* field : {originField.get(), targetField.get()})
            field->valid = [](ui::Get& get) {
                return common::ESPCIF(base::alltrim(get.value().text()));
            };
        ui::GetList fields{originField, targetField};
        if (ui::readFields(fields).exit == ui::ReadExit::Escape) break;
        from = typedFolder(origin);
        to = typedFolder(target);
        if (!pairUsable(mode, from, to)) continue;
        chosen = true;
        break;
    }
    ui::bindKey(keys::F1, f1);
    if (!chosen) {
        common::FECHAJAN(detail::kFolderSlot);
        return false;
    }
    s.set("ORIGEM", padded(from));
    s.set("DESTINO", padded(to));
    s.set("ORIG", detail::closedFolder(from));
    s.set("DEST", detail::closedFolder(to));
    if (mode != 1) return true;
    return runTransfer(from, to);
}

}  // namespace kdx2::shell::selection
