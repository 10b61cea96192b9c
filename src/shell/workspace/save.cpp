// Saving the workspace into the year tables (SALVATUDO, SALVA_PARC).

#include <algorithm>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "shell/workspace/scratch.h"
#include "shell/workspace/values_io.h"
#include "shell/workspace/versions.h"
#include "shell/workspace/working_values.h"
#include "shell/workspace/workspace.h"
#include "shell/workspace/year_tables.h"
#include "store/access.h"
#include "store/feedback.h"
#include "store/journal.h"
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

// Stages the scratch copy of `table` into the transaction (the items
// renumbered first); true when the copy's order was changed for it.
bool stageTable(store::Transaction& saving, int table) {
    store::Table& copy = scratch(table);
    copy.setFilter({});
    const bool reordered = prepareOrder(table);
    copy.goTop();
    display().working("Salvando IRM" + std::to_string(table));
    saving.replaceRows(store::workAreas().area(table), currentCpf(), copy, store::liveRows(copy));
    return reordered;
}

// After a save the scratch copy is closed (leaving the taxpayer) or back on
// its usual order and record.
void afterSave(int table, int mode, bool reordered, uint32_t remembered) {
    if (mode == 1) {
        store::workAreas().close(scratchArea(table));
        return;
    }
    if (reordered) reindexScratch(table);
    returnTo(scratch(table), remembered);
}

// The journal of the save is on the disk but could not be applied to the
// end: the save holds, and the next open of the tables finishes it.
void tellSavedButUnfinished(const std::string& why) {
    common::AVISOSN({why, "O contribuinte foi salvo."_cp}, common::box::kStop);
}

// What failed once the taxpayer's rows were saved: saying "not saved" then
// would be false (the rows are there, and a save cut short is finished by
// the next open of the tables).
void tellSavedButRegisterNot(const std::string& why) {
    common::AVISOSN({why,
                     "As tabelas do contribuinte foram salvas, mas o cadastro não pôde ser "
                     "gravado."_cp,
                     "Salve de novo para gravar o cadastro."_cp},
                    common::box::kStop);
}

void tellSavedWithTrouble(const std::string& why) {
    common::AVISOSN({why,
                     "O contribuinte foi salvo, mas a área de trabalho deste terminal "
                     "não pôde ser atualizada."_cp},
                    common::box::kStop);
}

// Closes the year tables; an error closing one is told, not thrown: what a
// save needs on the disk was synced before.
void releaseYearTables() {
    try {
        closeYearTables();
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
    }
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
        if (openedHere && openYearTables({table}, true) != 0) {
            tellNotSaved("A tabela IRM"_cp + std::to_string(table) + " não está disponível."_cp);
            return false;
        }
        const uint32_t remembered = scratch(table).recNo();
        store::Transaction saving;
        const bool reordered = stageTable(saving, table);
        try {
            saving.commit();
        } catch (const store::UnfinishedCommit& error) {
            tellSavedButUnfinished(error.what());
        }
        if (openedHere) areas.close(table);
        afterSave(table, mode, reordered, remembered);
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
    // The scratch copies hold all the work on the disk before the shared
    // tables are touched, so whatever happens next F4 can bring it back.
    try {
        checkpoint();
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
        releaseYearTables();
        display().done();
        tellNotSaved("A tabela IRM"_cp + std::to_string(missing) + " não está disponível."_cp);
        return false;
    }
    bool saved = false;
    enum class Stage { Staging, RowsSaved, RegisterSaved } stage = Stage::Staging;
    try {
        if (!mayOverwrite(cpf)) {
            releaseYearTables();
            display().done();
            return false;
        }
        // Every table of the taxpayer changes at once: all of them are
        // staged, then one journal decides the save.
        store::Transaction saving;
        struct Staged {
            int table;
            bool reordered;
            uint32_t remembered;
        };
        std::vector<Staged> staged;
        for (int table = kFirstTable; table <= kLastTable; ++table) {
            if (table == kRegister) continue;
            const uint32_t remembered = scratch(table).recNo();
            staged.push_back({table, stageTable(saving, table), remembered});
            MOSTRADOR(2, mode == 1 ? 1 : 0);
        }
        rememberPendingSave(cpf, saving);
        bool unfinished = false;
        try {
            saving.commit();
        } catch (const store::UnfinishedCommit& error) {
            tellSavedButUnfinished(error.what());
            unfinished = true;
        }
        stage = Stage::RowsSaved;
        // The register last: a save that failed before this point changed
        // nothing of the taxpayer.
        if (!saveRegister(cpf)) {
            tellSavedButRegisterNot("O cadastro não pôde ser bloqueado para gravação."_cp);
            releaseYearTables();
            display().done();
            return false;
        }
        stage = Stage::RegisterSaved;
        saved = true;
        s.set("TAM_USO", 0);
        // A save left for the next open to finish is known by the version
        // it will make, remembered before it was decided; the tables as
        // they stand now hold half of it.
        if (!unfinished) rememberStoredVersion(cpf);
        for (const Staged& table : staged)
            afterSave(table.table, mode, table.reordered, table.remembered);
        if (mode == 1) store::workAreas().close(scratchArea(kRegister));
    } catch (const base::Error& error) {
        if (stage == Stage::Staging) tellNotSaved(error.what());
        if (stage == Stage::RowsSaved) tellSavedButRegisterNot(error.what());
        if (stage == Stage::RegisterSaved) tellSavedWithTrouble(error.what());
    }
    releaseYearTables();
    display().done();
    if (saved) s.set("SEM_SALV", static_cast<double>(clock().secondsSinceMidnight()));
    return saved;
}

}  // namespace kdx2::shell::workspace
