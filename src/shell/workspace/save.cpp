// Saving the workspace into the year tables (SALVATUDO, SALVA_PARC).

#include <algorithm>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "shell/workspace/scratch.h"
#include "shell/workspace/values_io.h"
#include "shell/workspace/working_values.h"
#include "shell/workspace/workspace.h"
#include "shell/workspace/year_rows.h"
#include "shell/workspace/year_tables.h"
#include "store/access.h"
#include "store/work_areas.h"

namespace kdx2::shell::workspace {

using namespace base::literals;

namespace {

// The register's six-digit counters cannot hold more.
constexpr double kLargestCounter = 999999;

void tellNotSaved(const std::string& why) {
    common::AVISOSN({why, "O contribuinte NÃO foi salvo. As alterações continuam na área de"_cp,
                     "trabalho (F4 na escolha do contribuinte as recupera)."_cp},
                    common::box::kStop);
}

double counter(double value) {
    return std::clamp(value, 0.0, kLargestCounter);
}

// The register record gets the working values (the time used so far first).
bool saveRegister(const std::string& cpf) {
    base::NamedValues& s = base::session();
    if (!PREP_REG(cpf)) return false;
    store::Table& reg = store::workAreas().area(kRegister);
    s.set("TEM_USO", counter(static_cast<double>(VETEMPO())));
    s.set("INI_DECLA", static_cast<double>(clock().secondsSinceMidnight()));
    s.set("TAM_USO", counter(s.number("TAM_USO")));
    valuesToRecord(reg);
    reg.unlock();
    return true;
}

// Items are numbered 10, 20, 30 ... in their order, leaving room to insert
// between them; entries are saved in date order (the usual order of their
// copy) and payments in the order of their codes. True when the copy's
// order was changed for the save.
bool prepareOrder(int table) {
    if (table == kAssets || table == kDebts) {
        const std::string field = table == kAssets ? "I7_0" : "I8_0";
        store::Table& copy = scratch(table);
        int item = 0;
        copy.forEach([&](store::Table& row) {
            row.put(field, base::Value(10 * ++item));
            return true;
        });
        copy.flush();
        return false;
    }
    if (table == kPayments) {
        reindexScratch(table, "I6_3");
        return true;
    }
    return false;
}

void returnTo(store::Table& copy, uint32_t recno) {
    copy.goTo(recno);
    if (copy.eof() || copy.deleted()) copy.goTop();
}

}  // namespace

bool SALVA_PARC(int table, int mode) {
    if (table == kRegister) {
        if (mode == 1) store::workAreas().close(scratchArea(kRegister));
        return true;
    }
    store::WorkAreas& areas = store::workAreas();
    const bool openedHere = !areas.table(table) || !areas.table(table)->exclusive();
    try {
        store::Table& copy = scratch(table);
        const uint32_t remembered = copy.recNo();
        copy.setFilter({});
        const bool reordered = prepareOrder(table);
        copy.goTop();
        if (openedHere && openYearTables({table}, true) != 0) {
            tellNotSaved("A tabela IRM"_cp + std::to_string(table) + " não está disponível."_cp);
            return false;
        }
        display().working("Salvando IRM" + std::to_string(table));
        replaceTaxpayerRows(areas.area(table), currentCpf(), copy);
        if (openedHere) areas.close(table);
        if (mode == 1) {
            areas.close(scratchArea(table));
        } else {
            if (reordered) reindexScratch(table);
            returnTo(copy, remembered);
        }
        return true;
    } catch (const base::Error& error) {
        if (openedHere) areas.close(table);
        tellNotSaved(error.what());
        return false;
    }
}

bool SALVATUDO(int mode) {
    base::NamedValues& s = base::session();
    const std::string cpf = currentCpf();
    display().working("Salvando as informações"_cp);
    s.set("TAM_USO", static_cast<double>(VETAMHO()));
    // The scratch copies hold all the work before the shared tables are
    // touched, so whatever happens next F4 can bring it back.
    try {
        storeWorkingValues(cpf);
    } catch (const base::Error& error) {
        display().done();
        tellNotSaved(error.what());
        return false;
    }
    // Nothing is written until every table is ours: a table in use elsewhere
    // leaves the taxpayer as it was in every table.
    std::vector<int> tables = allYearTables();
    const int missing = openYearTables(tables, true);
    if (missing) {
        closeYearTables();
        display().done();
        tellNotSaved("A tabela IRM"_cp + std::to_string(missing) + " não está disponível."_cp);
        return false;
    }
    bool saved = false;
    try {
        saved = saveRegister(cpf);
        if (!saved) {
            tellNotSaved("O cadastro do contribuinte não pôde ser bloqueado."_cp);
        } else {
            s.set("TAM_USO", 0);
            for (int table = kFirstTable; saved && table <= kLastTable; ++table) {
                saved = SALVA_PARC(table, mode);
                MOSTRADOR(2, mode == 1 ? 1 : 0);
            }
        }
    } catch (const base::Error& error) {
        tellNotSaved(error.what());
        saved = false;
    }
    closeYearTables();
    display().done();
    if (saved) s.set("SEM_SALV", static_cast<double>(clock().secondsSinceMidnight()));
    return saved;
}

}  // namespace kdx2::shell::workspace
