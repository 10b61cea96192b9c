#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/value.h"
#include "store/feedback.h"
#include "store/table.h"

namespace kdx2::store {

// The reference tables the program ships with (code lists, municipalities,
// countries, banks, SELIC rates, the chart of accounts and the help texts).
// Their contents come from the public sources under data/, compiled into the
// program, so a first start needs no data files: each table of the install
// folder that is missing is built there, in CP850, with its indexes.

// One index file of a supplied table: the file's base name (also the order's
// name) and its key expression.
struct SuppliedIndex {
    std::string name;
    std::string keyExpression;
};

// A supplied table as it will be written: file base name, structure, index
// files and the records in the order they are stored (key order).
struct SuppliedTable {
    std::string name;
    Structure structure;
    std::vector<SuppliedIndex> indexes;
    std::vector<std::vector<base::Value>> rows;
};

// Every supplied table with its records, built from the compiled-in sources.
// Throws base::Error when a source is malformed (a broken build, not a user
// situation: the sources are part of the program).
std::vector<SuppliedTable> suppliedTables();

// The one supplied table named `name` (case-blind); throws base::Error for an
// unknown name.
SuppliedTable suppliedTable(std::string_view name);

struct SuppliedBuildResult {
    std::string name;      // table name, as in suppliedTables()
    uint32_t records = 0;  // records written
};

// Start-up step, run before the shared tables are opened: builds in
// `installFolder` (a drive path such as "C:\KDX2") every supplied table whose
// .DBF file is missing, with its index files, showing "Criando tabela de
// referência ..." through `sink` while it works, and returns what it built.
// Existing tables are never overwritten: users edit UFIRM and CONTAS. The one
// exception is a table file holding no record at all (not even a deleted
// one), such as an empty CONTAS created before the chart was installed: it
// receives the shipped records. Each table is written under a temporary name
// and renamed into place, so an interrupted start leaves either no table
// (built again next time) or a complete one. Throws base::Error (Portuguese,
// CP850) when the folder cannot be written.
std::vector<SuppliedBuildResult> buildMissingSuppliedTables(const std::string& installFolder,
                                                            Feedback& sink = feedback());

// Lines for the "about" box: the licence notices the shipped data requires
// (CP850).
std::vector<std::string> suppliedDataNotices();
// The full licence notice of the shipped data (data/licencas.txt), one CP850
// text per line, for a "licenças" window or a printed copy.
std::vector<std::string> suppliedDataLicence();

}  // namespace kdx2::store
