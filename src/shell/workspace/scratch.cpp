#include "shell/workspace/scratch.h"

#include "base/cp850.h"
#include "base/named_values.h"
#include "platform/drives.h"
#include "store/catalog.h"
#include "store/table_files.h"
#include "store/work_areas.h"

namespace kdx2::shell::workspace {

using namespace base::literals;

namespace {
bool gPrinting = false;
}  // namespace

std::string scratchPath(int table) {
    return base::session().text("LOCTRAB") + (gPrinting ? "TMP_P" : "TMP_") +
           std::to_string(table) + store::terminalNumber();
}

std::string scratchKey(int table) {
    switch (table) {
        case 2:
            return "DTOS(DT_LC)";
        case 4:
            return "I7_0";
        case 5:
        case 12:
            return "I8_0";
        case 7:
            return "STRZERO(BEM_NRO,2)+STRZERO(RVAR_NRO,2)+DAY_TRADE";
        case 8:
            return "STRZERO(BEM_NRO,2)+STRZERO(RVAR_NRO,2)";
        case 13:
            return "I9_0";
        default:
            return "cpf";
    }
}

bool scratchExists(int table) {
    return platform::fileExists(scratchPath(table) + ".DBF");
}

void createScratch(int table) {
    store::workAreas().close(scratchArea(table));
    const std::optional<store::Structure> layout = store::tableLayout(table);
    if (!layout) throw base::Error("Tabela "_cp + std::to_string(table) + " desconhecida.");
    // The register copy is emptied for good before any other copy changes,
    // so that after a power cut no register copy stands beside copies of
    // another taxpayer's rows. The others are work files: what they hold
    // reaches the disk at once, before the register copy is filled.
    store::Table::create(scratchPath(table) + ".DBF", *layout,
                         table == kRegister ? store::Replace::Durable : store::Replace::WorkFile);
    // An index of the old contents must not survive the new table.
    platform::removeFile(scratchPath(table) + ".CDX");
}

namespace {

// Puts every other open scratch copy on the disk: a register copy that
// names the taxpayer then always stands beside all of the taxpayer's rows.
void syncCopiesBeforeRegister() {
    for (int table = kFirstTable; table <= kLastTable; ++table) {
        if (table == kRegister) continue;
        if (store::Table* copy = store::workAreas().table(scratchArea(table))) copy->sync();
    }
    platform::syncFolderOf(scratchPath(kRegister));
}

}  // namespace

void copyRowsToScratch(store::Table& year, const std::string& cpf, int table) {
    if (table == kRegister) syncCopiesBeforeRegister();
    store::Table& copy = scratch(table);
    year.forEachKey(base::Value(cpf), [&](store::Table& row) {
        store::appendRecord(copy);
        copy.copyFieldsFrom(row);
        return true;
    });
    copy.flush();
}

void openScratch(int table, const std::string& key) {
    store::WorkAreas& areas = store::workAreas();
    const int area = scratchArea(table);
    areas.close(area);
    auto copy = store::Table::open(scratchPath(table), store::OpenMode::Exclusive);
    areas.attach(area, std::move(copy));
    reindexScratch(table, key);
}

store::Table& scratch(int table) {
    return store::workAreas().area(scratchArea(table));
}

void reindexScratch(int table, const std::string& key) {
    store::Table& copy = scratch(table);
    copy.closeIndexes();
    // A temporary index, built again whenever the copy is opened.
    copy.createIndex(scratchPath(table) + ".CDX", key.empty() ? scratchKey(table) : key,
                     store::Replace::WorkFile);
    copy.setOrder(1);
    copy.goTop();
}

void closeScratches() {
    for (int table = kFirstTable; table <= kLastTable; ++table)
        store::workAreas().close(scratchArea(table));
}

PrintingCopies::PrintingCopies() {
    closeScratches();
    gPrinting = true;
}

PrintingCopies::~PrintingCopies() {
    closeScratches();
    for (int table = kFirstTable; table <= kLastTable; ++table) {
        platform::removeFile(scratchPath(table) + ".DBF");
        platform::removeFile(scratchPath(table) + ".CDX");
    }
    gPrinting = false;
}

bool printingCopies() {
    return gPrinting;
}

}  // namespace kdx2::shell::workspace
