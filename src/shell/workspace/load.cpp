// Loading the workspace (INIC_VAR) and bringing unsaved work back (DIRETO).

#include <optional>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/messages.h"
#include "shell/workspace/hooks.h"
#include "shell/workspace/scratch.h"
#include "shell/workspace/values_io.h"
#include "shell/workspace/versions.h"
#include "shell/workspace/working_values.h"
#include "shell/workspace/workspace.h"
#include "shell/workspace/year_tables.h"
#include "store/access.h"
#include "store/work_areas.h"

namespace kdx2::shell::workspace {

using namespace base::literals;

namespace {

void tellTableUnavailable(int table) {
    common::AVISOSN({"A tabela IRM"_cp + std::to_string(table) + " não pôde ser aberta."_cp,
                     "O contribuinte não foi carregado; nada foi alterado."_cp},
                    common::box::kStop);
}

// Copies the taxpayer's rows of every year table into new scratch copies.
// The register copy goes first and comes back last, so a load cut short
// leaves nothing that F4 could take for a whole workspace.
void rebuildScratches(const std::string& cpf) {
    createScratch(kRegister);
    for (int table = kFirstTable; table <= kLastTable; ++table) {
        if (table == kRegister) continue;
        createScratch(table);
        openScratch(table);
        copyRowsToScratch(store::workAreas().area(table), cpf, table);
        MOSTRADOR(2, 1);
    }
    openScratch(kRegister);
    copyRowsToScratch(store::workAreas().area(kRegister), cpf, kRegister);
    MOSTRADOR(2, 1);
}

void reopenScratches() {
    for (int table = kFirstTable; table <= kLastTable; ++table) {
        openScratch(table);
        MOSTRADOR(2, 1);
    }
}

// The summary values: from the year table, or (bringing work back) from its
// scratch copy when that holds the taxpayer's row.
void loadSummary(const std::string& cpf, bool newTaxpayer, bool recovering) {
    if (recovering) {
        store::Table& copy = scratch(kSummary);
        copy.goTop();
        if (!copy.eof()) {
            valuesFromRecord(copy);
            return;
        }
    }
    store::Table& summary = store::workAreas().area(kSummary);
    // A new taxpayer starts from blank values: those of the end of the table.
    if (newTaxpayer) {
        summary.goBottom();
        summary.skip();
    } else {
        summary.seek(base::Value(cpf));
    }
    valuesFromRecord(summary);
}

void loadRegister(const std::string& cpf, bool recovering) {
    if (recovering) {
        store::Table& copy = scratch(kRegister);
        copy.goTop();
        if (!copy.eof()) valuesFromRecord(copy);
        return;
    }
    store::Table& reg = store::workAreas().area(kRegister);
    if (reg.seek(base::Value(cpf))) valuesFromRecord(reg);
}

// The CPF of the open workspace: the row of its register copy.
std::string openWorkspaceCpf() {
    store::Table& reg = scratch(kRegister);
    const uint32_t at = reg.recNo();
    reg.goTop();
    const std::string cpf = reg.eof() ? std::string() : reg.get("CPF").text();
    if (at) reg.goTo(at);
    return cpf;
}

bool loadSummaryOnly(const std::string& cpf) {
    if (!store::ABERTURA(kSummary)) {
        tellTableUnavailable(kSummary);
        return false;
    }
    store::Table& summary = store::workAreas().area(kSummary);
    summary.seek(base::Value(cpf));
    valuesFromRecord(summary);
    return true;
}

}  // namespace

bool INIC_VAR(int mode, int subMode) {
    base::NamedValues& s = base::session();
    const std::string cpf = currentCpf();
    try {
        if (mode == 12) return loadSummaryOnly(cpf);

        const bool recovering = s.flag("LRECUPERA");
        LIMPVAR();
        s.set("SEMHORA", false);
        const long now = clock().secondsSinceMidnight();
        s.set("INI_DECLA", static_cast<double>(now));
        s.set("SEM_SALV", static_cast<double>(now));
        s.set("TAM_CALC", "");
        tax::carneLeao().REC_MENSAL = tax::MonthlyGrid();

        // Every table is open before any scratch copy is replaced, so a table
        // in use elsewhere stops the load with the old copies untouched.
        const std::vector<int> tables =
            recovering ? std::vector<int>{kSummary, kRegister} : allYearTables();
        const int missing = openYearTables(tables, false);
        if (missing) {
            closeYearTables();
            tellTableUnavailable(missing);
            return false;
        }
        if (mode == 1)
            display().working(subMode == 0 ? "Criando os dados..." : "Reprocessando os dados...");
        store::setDeletedFilter(true);
        if (recovering)
            reopenScratches();
        else
            rebuildScratches(cpf);
        loadSummary(cpf, mode == 0, recovering);
        if (mode == 1 || recovering) loadRegister(cpf, recovering);
        // Brought back from the scratch copies, the workspace keeps the
        // version it was loaded from; a taxpayer loaded to be printed is
        // not a workspace that will be saved.
        const bool printing = printingCopies();
        if (!recovering && !printing) rememberStoredVersion(cpf);
        closeYearTables();

        loadMonthlyValues(scratch(kMonthly));
        loadRuralValues(scratch(kRural));
        recomputeYear();
        display().done();
        if (!printing) announceTaxpayerOpen(cpf);
        return true;
    } catch (const base::Error& error) {
        display().done();
        closeYearTables();
        closeScratches();
        common::AVISOSN({error.what(), "O contribuinte não foi carregado."_cp}, common::box::kStop);
        return false;
    }
}

namespace {

// The copies of the taxpayer being printed, alive from its load to the end of
// its pages.
std::optional<PrintingCopies>& printingHold() {
    static std::optional<PrintingCopies> hold;
    [[maybe_unused]] static const bool registered = base::registerResetOnce([] { hold.reset(); });
    return hold;
}

}  // namespace

void releasePrintingCopies() {
    printingHold().reset();
}

bool loadForPrinting() {
    // An open declaration's copies are in the areas a load would take: its
    // own taxpayer is printed from the workspace as it stands, another one
    // only once it is closed.
    if (store::workAreas().table(scratchArea(kRegister)) != nullptr) {
        if (openWorkspaceCpf() == currentCpf()) return true;
        common::AVISOSN({"Há uma declaração aberta neste terminal."_cp,
                         "Feche-a antes de imprimir outro contribuinte."},
                        common::box::kStop);
        return false;
    }
    releasePrintingCopies();
    printingHold().emplace();
    base::session().set("LRECUPERA", false);
    if (INIC_VAR(1, 1)) return true;
    releasePrintingCopies();
    return false;
}

bool DIRETO() {
    closeScratches();
    std::string cpf;
    try {
        cpf = recoverableCpf();
    } catch (const base::Error& error) {
        common::AVISOSN({error.what(), "Impossível recuperar o último CPF."_cp},
                        common::box::kStop);
        return false;
    }
    if (cpf.empty()) {
        common::MENS(11, "Impossível recuperar o último CPF."_cp,
                     {.row = 20, .column = common::MensColumn::centred()});
        return false;
    }
    base::session().set("CPF", cpf);
    base::session().set("LRECUPERA", true);
    return true;
}

}  // namespace kdx2::shell::workspace
