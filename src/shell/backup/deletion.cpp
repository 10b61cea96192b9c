// The deletion of taxpayers (ELIMINA): marked in a list of this
// workstation's own, confirmed, then removed from every year table at once.

#include <memory>
#include <set>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/windows.h"
#include "editor/browse.h"
#include "platform/drives.h"
#include "shell/backup/backup.h"
#include "shell/backup/internal.h"
#include "shell/selection/selection.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store/feedback.h"
#include "store/journal.h"
#include "store/work_areas.h"
#include "ui/screen.h"

namespace kdx2::shell::backup {

using namespace base::literals;

namespace {

constexpr int kMarkingScreen = 35;
constexpr int kListSlot = 3;

std::string cpfKey(std::string_view cpf) {
    return base::padRight(base::alltrim(cpf), 11);
}

// Each year table of the folder in the work area of its number, exclusively,
// opened by its CPF index alone: that is the order a store change needs, and
// the register's name index stays right while records are only marked.
bool openExclusively(const std::string& folder) {
    for (int n = detail::kFirstTable; n <= detail::kLastTable; ++n)
        if (!store::ABREARQ(n, true, folder + "IRM" + std::to_string(n), "CPF")) return false;
    return true;
}

// The register again with both its indexes, so the pack rebuilds both.
void reopenRegisterWithNames(const std::string& folder) {
    store::workAreas().close(detail::kRegister);
    const store::CatalogTable* layout = store::catalogTable(detail::kRegister);
    if (!store::ABREARQ(detail::kRegister, true, folder + layout->file, layout->indexes[0].key,
                        layout->indexes[1].key, folder + layout->indexes[1].file))
        throw base::Error("O cadastro IRM9 de "_cp + folder + " não pôde ser aberto de novo.");
}

// The private copy of the register the user marks, so that the marks of
// other workstations' print selections are neither shown nor cleared.
class MarkingCopy {
  public:
    explicit MarkingCopy(store::Table& reg) {
        const base::NamedValues& s = base::session();
        base_ = detail::closed(s.text("LOCTRAB")) + "TMPE9" + s.text("NUSU");
        store::Table::create(base_ + ".DBF", *store::tableLayout(detail::kRegister));
        copy_ = store::Table::open(base_ + ".DBF", store::OpenMode::Exclusive, "IRM9");
        store::appendFrom(*copy_, reg);
        copy_->forEach([](store::Table& row) {
            row.put("IMPRE", base::Value(" "));
            return true;
        });
        copy_->createIndex(base_ + ".cdx", "CPF");
        copy_->setOrder(1);
        copy_->goTop();
    }
    ~MarkingCopy() {
        copy_.reset();
        for (const char* suffix : {".DBF", ".cdx"}) {
            try {
                platform::removeFile(base_ + suffix);
            } catch (const base::Error&) {
            }
        }
    }
    std::unique_ptr<store::Table> take() { return std::move(copy_); }

  private:
    std::string base_;
    std::unique_ptr<store::Table> copy_;
};

// The marking list over the copy in the register's work area; the CPFs
// marked when it is left.
std::vector<std::string> chooseTaxpayers(MarkingCopy& copy) {
    store::WorkAreas& areas = store::workAreas();
    areas.attach(detail::kRegister, copy.take());
    areas.select(detail::kRegister);
    const base::NamedValues& s = base::session();
    common::REDEFJAN(kListSlot, s.integer("COR_TEL1"), s.integer("COR_TEL2"), s.integer("COR_TEL2"),
                     5, 2, 19, 66, 2);
    common::ABREJAN(kListSlot);
    editor::EDITA(kMarkingScreen);
    common::FECHAJAN(kListSlot);
    common::ESCRJAN(0, std::string(common::kGridCols, ' '));  // the list's footer
    std::vector<std::string> cpfs;
    store::Table& table = areas.area(detail::kRegister);
    table.forEach([&](store::Table& row) {
        if (base::asciiUpper(base::alltrim(row.get("IMPRE").text())) == "S")
            cpfs.push_back(row.get("CPF").text());
        return true;
    });
    areas.close(detail::kRegister);
    return cpfs;
}

void tellReport(const DeletionReport& report) {
    if (!report.opened) {
        common::AVISOSN(
            {"Nenhum contribuinte foi excluído: as tabelas da pasta não puderam ser abertas"_cp,
             "com exclusividade (estão em uso em outra estação?)."_cp},
            common::box::kStop);
        return;
    }
    if (!report.notDeleted.empty())
        common::AVISOSN("Os dados de "_cp + std::to_string(report.notDeleted.size()) +
                            " contribuinte(s) não puderam ser excluídos e ficaram completos."_cp,
                        common::box::kStop);
}

}  // namespace

DeletionReport deleteTaxpayers(
    const std::string& folder, const std::vector<std::string>& cpfs,
    const std::function<void(const std::string& cpf, int at, int count)>& progress) {
    DeletionReport report;
    const std::string to = detail::closed(folder);
    store::WorkAreas& areas = store::workAreas();
    areas.closeAll();
    const bool deletedFilter = store::deletedFilter();
    store::setDeletedFilter(true);
    struct Restore {
        bool filter;
        ~Restore() {
            try {
                store::workAreas().closeAll();
            } catch (const base::Error& error) {
                store::feedback().alert(error.what());
            }
            store::setDeletedFilter(filter);
        }
    } restore{deletedFilter};
    if (!openExclusively(to)) return report;
    report.opened = true;

    std::vector<std::string> unique;
    std::set<std::string> seen;
    for (const std::string& cpf : cpfs)
        if (!base::alltrim(cpf).empty() && seen.insert(cpfKey(cpf)).second)
            unique.push_back(cpfKey(cpf));

    store::Transaction removing;
    std::vector<std::string> staged;
    std::set<int> touched;
    int at = 0;
    for (const std::string& cpf : unique) {
        if (progress) progress(cpf, ++at, static_cast<int>(unique.size()));
        const size_t mark = removing.mark();
        try {
            for (int n = detail::kFirstTable; n <= detail::kLastTable; ++n) {
                store::Table& table = areas.area(n);
                table.setOrder(1);
                if (!store::rowsOfKey(table, cpf).empty()) touched.insert(n);
                removing.removeRows(table, cpf);
            }
            staged.push_back(cpf);
        } catch (const base::Error& error) {
            store::feedback().alert(error.what());
            removing.rollbackTo(mark);
            report.notDeleted.push_back(cpf);
        }
    }
    if (!store::commitAndTell(removing)) {
        report.notDeleted.insert(report.notDeleted.end(), staged.begin(), staged.end());
        return report;
    }
    report.deleted = staged;
    // The rows go physically, as a pack writes each table anew.
    try {
        for (int n : touched) {
            if (n == detail::kRegister) reopenRegisterWithNames(to);
            areas.area(n).pack();
        }
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
    }
    return report;
}

void ELIMINA() {
    base::NamedValues& s = base::session();
    const std::string folder = detail::closed(s.text("LOCARQ"));
    store::WorkAreas& areas = store::workAreas();
    try {
        platform::setCurrentFolder(folder);
    } catch (const base::Error&) {
    }
    std::vector<std::string> chosen;
    try {
        if (areas.table(detail::kRegister) == nullptr && !store::ABERTURA(detail::kRegister))
            return;
        store::Table& reg = areas.area(detail::kRegister);
        reg.goTop();
        if (reg.eof()) {
            common::AVISOSN("Não há registro para ser selecionado"_cp, common::box::kInformation);
            return;
        }
        MarkingCopy copy(reg);
        chosen = chooseTaxpayers(copy);
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
        store::ABERTURA(detail::kRegister);
        return;
    }
    if (chosen.empty() || common::askBeforeDestroying("Confirma a Exclusão "_cp) != "S") {
        common::MENS();
        store::ABERTURA(detail::kRegister);
        return;
    }
    s.set("MOS_MENS", false);
    selection::showTaxpayerWindow();
    const DeletionReport report =
        deleteTaxpayers(folder, chosen, [&](const std::string& cpf, int at, int count) {
            s.set("CPF", cpf);
            s.set("NOMECONTR", "");
            selection::MOSTR_PAG(2);
            selection::showProgress("Excluindo os dados...", at, count);
            ui::refresh();
        });
    common::FECHAJAN(kListSlot);
    tellReport(report);
    s.set("CPF", "");
    s.set("NOMECONTR", "");
    common::MENS();
    store::ABERTURA(50);
    store::ABERTURA(detail::kRegister);
}

}  // namespace kdx2::shell::backup
