#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/table.h"

namespace kdx2::store {

// The tables of the program by table number: 1 ... 17 the year tables of the
// data folder (IRM1 ... IRM17), 21 ... 37 their scratch copies (same
// structures), 42 ... 69 the tables of the install folder.

struct CatalogIndex {
    std::string file;  // index file base name (the order is named after it)
    std::string key;   // key expression
};

struct CatalogTable {
    int number = 0;
    std::string file;                   // base name; "DIRET" gets the terminal number appended
    bool inDataFolder = false;          // LOCARQ, else ARQDEF
    bool exclusive = false;             // opened exclusively
    std::vector<CatalogIndex> indexes;  // the first is named like the table
};

// The table of a number, or nullptr (numbers without a table, 21 ... 37).
const CatalogTable* catalogTable(int number);

// The structure that CRIA builds for a number (n and n + 20 alike for the
// year tables); nullopt for the supplied reference tables and unknown numbers.
std::optional<Structure> tableLayout(int number);

// The message shown while CRIA builds the table ("" when it has none).
std::string creationMessage(int number);

// The newest field of a year table and its type, whose absence marks a table
// written by an older release (1, 2, 9, 10, 14, 15); nullopt for the others.
struct NewestField {
    std::string name;
    base::Type type;
};
std::optional<NewestField> newestField(int number);

}  // namespace kdx2::store
