#include "shell/workspace/year_tables.h"

#include "base/error.h"
#include "base/named_values.h"
#include "base/text.h"
#include "shell/workspace/scratch.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store/work_areas.h"

namespace kdx2::shell::workspace {

namespace {

bool opensShared(int table, bool exclusive) {
    return table == kRegister || !exclusive;
}

}  // namespace

std::vector<int> allYearTables() {
    std::vector<int> tables;
    for (int table = kFirstTable; table <= kLastTable; ++table)
        tables.push_back(table);
    return tables;
}

int openYearTables(const std::vector<int>& tables, bool exclusive) {
    for (int table : tables) {
        const bool shared = opensShared(table, exclusive);
        // Opening a table finishes a save a stopped program left half done
        // (or refuses, saying why, when that cannot be done now).
        store::Table* open = store::workAreas().table(table);
        if (open && open->exclusive() == !shared) continue;
        if (!store::ABERTURA(table, !shared)) return table;
    }
    return 0;
}

void closeYearTables() {
    // Every table is closed even when one reports an error; the first is told.
    std::string firstError;
    for (int table = kFirstTable; table <= kLastTable; ++table) {
        if (table == kRegister) continue;
        try {
            store::workAreas().close(table);
        } catch (const base::Error& error) {
            if (firstError.empty()) firstError = error.what();
        }
    }
    if (!firstError.empty()) throw base::Error(firstError);
}

std::string recoverableCpf() {
    try {
        if (!scratchExists(kRegister)) return "";
        std::string cpf;
        {
            auto reg = store::Table::open(scratchPath(kRegister), store::OpenMode::Exclusive);
            reg->goTop();
            if (reg->eof()) return "";
            cpf = reg->get("CPF").text();
        }
        if (base::alltrim(cpf).size() != 11) return "";
        for (int table = kFirstTable; table <= kLastTable; ++table) {
            if (!scratchExists(table)) return "";
            auto copy = store::Table::open(scratchPath(table), store::OpenMode::Exclusive);
            bool sameTaxpayer = true;
            copy->forEach([&](store::Table& row) {
                sameTaxpayer = row.get("CPF").text() == cpf;
                return sameTaxpayer;
            });
            if (!sameTaxpayer) return "";
        }
        return cpf;
    } catch (const store::InUseError&) {
        // Another copy of this terminal holds them: nothing to recover here.
        return "";
    }
}

}  // namespace kdx2::shell::workspace
