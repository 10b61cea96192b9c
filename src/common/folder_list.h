#pragma once

#include <string>

// The terminal's registered data folders (table 50, DIRET<terminal>: SELEC
// "S"/"N" and DIRETOR, a folder without trailing backslash) and the switch
// of the data folder in use.
namespace kdx2::common {

// Makes the current row of the folder list (work area 50) the data folder in
// use (mode 1): the row gets SELEC "S" and the first other selected row "N";
// LOCARQ, DIRTRAB and LOCTRAB follow it; the folder's year tables are checked
// and its taxpayer register opened. False, keeping the folder in use, when
// the row's folder does not exist.
bool TROCASIM(int mode);

// Validation of the folder list's columns: column 1 is the selection mark
// ("S" selects the row through TROCASIM and is refused when that fails; "N"
// or blank accepted; anything else is told off and accepted), column 2 the
// folder (empty refused; a missing folder is created on confirmation).
bool TROCA_NAO(const std::string& answer, int column);

// Repairs the year tables of the data folder LOCARQ and opens its taxpayer
// register (table 9).
void MUDADIR(const std::string& folder);

}  // namespace kdx2::common
