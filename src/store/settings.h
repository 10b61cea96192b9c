#pragma once

#include <string>

namespace kdx2::store {

// The application settings the store reads, each named once here. They live
// in the session record because index keys and filter conditions read the
// same memory variables; nothing else in the store reads that record by name.

std::string dataFolder();     // the year's tables (LOCARQ)
std::string installFolder();  // the tables shared by every year (ARQDEF)

// The terminal number of this workstation (NUSU, "00" when unset).
std::string terminalNumber();

// Whether slow opens show what they are doing (MOS_MENS).
bool progressShown();
void setProgressShown(bool shown);

// The alias the next open gives its table instead of the file name (APELIDO).
std::string aliasOverride();

// Every index is rebuilt as the tables open (REFAZ_IND, set by maintenance).
bool indexesRebuiltOnOpen();

}  // namespace kdx2::store
