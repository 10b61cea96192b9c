#pragma once

#include <string>
#include <vector>

#include "importing/carne_export.h"
#include "importing/declaration.h"

// Writing what was read from the tax authority's files into the data
// folder's year tables, shared with the other workstations: each taxpayer
// under table locks, whole or not at all.
namespace kdx2::importing {

// How one input file ended.
struct FileOutcome {
    enum class Result { Converted, Existing, NotConverted };
    Result result = Result::NotConverted;
    std::string cpf;
    std::string name;                   // CP850
    std::vector<std::string> message;   // why it was not converted (CP850); empty: nothing to say
    std::vector<std::string> warnings;  // converted, but worth a look
    int damagedLines = 0;               // lines skipped as damaged
};

// The two code lists that name occupations.
inline constexpr int kOccupations = 44;
inline constexpr int kOccupationNatures = 53;

// CRIA_BASE: opens, shared, the year tables of the data folder LOCARQ the
// imports write, the occupation list and the nature-of-occupation list.
// False, after the store told the user why, when any could not be opened:
// the import must then write nothing.
bool CRIA_BASE();

// Record 16 and what follows, for a taxpayer the register does not have
// yet (the tables of CRIA_BASE open). A taxpayer already there is left
// untouched (Existing).
FileOutcome writeDeclaration(const Declaration& declaration);

// The months and receipts of a carnê-leão export for the taxpayer the
// register is positioned on, dated in the export's base year.
FileOutcome writeCarneExport(const CarneExport& carne);

// Ten receipt digits completed with their two check digits; "" stays "".
std::string completeReceipt(const std::string& tenDigits);

// An area code of `width` digits from a wider field ("0011" gives "11").
std::string areaCode(const std::string& digits, size_t width);

}  // namespace kdx2::importing
