#pragma once

#include <map>
#include <string>
#include <vector>

#include "base/named_values.h"
#include "importing/destination.h"

// The tables of the previous income-tax program (IMP01yy ... IMP20yy) and
// their conversion into this program's year tables. The previous program's
// folder belongs to that program: its tables are only read, once, straight
// from their files, and nothing is ever written, locked or created there.
namespace kdx2::importing {

// The live records of one of those tables, each as its fields by name.
class SourceTable {
  public:
    // Reads the whole table. Throws base::Error (naming the file) when it
    // cannot be opened or is damaged.
    static SourceTable read(const std::string& path);

    const std::vector<base::NamedValues>& rows() const { return rows_; }
    // The rows of one taxpayer in the order of the file.
    std::vector<const base::NamedValues*> rowsOf(const std::string& cpf) const;

  private:
    std::vector<base::NamedValues> rows_;
    std::multimap<std::string, size_t> byCpf_;
};

// The tables the conversion reads: payers (02), dependants (03), payments
// (06), the register (09) and rural properties (16).
struct PreviousProgram {
    SourceTable payers, dependants, payments, taxpayers, properties;
};

// "IMP" + two-digit number + the two last digits of the year + ".DBF".
std::string previousTableName(int number, int taxYear);

// Reads the five tables from `folder`. Throws base::Error.
PreviousProgram readPreviousProgram(const std::string& folder, int taxYear);

// The year tables IRM1 ... IRM15 of the data folder LOCARQ, opened
// exclusively in their work areas. False (the store told the user) when one
// could not be: nothing may be written then.
bool openConversionTables();

// Converts one taxpayer of the previous program into the open tables: a new
// one gets its identification, payers, dependants (but relation 100),
// payments (but code 16) and rural properties; one already there is left
// alone when `convertedBefore`, and otherwise gets its identification,
// dependants and rural properties replaced and its company payers'
// totals summed again, keeping its payments, assets and debts.
FileOutcome convertPreviousTaxpayer(const PreviousProgram& source, const std::string& cpf,
                                    bool convertedBefore);

}  // namespace kdx2::importing
