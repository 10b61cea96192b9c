#pragma once

#include <string>

// The import commands of the main menu: the tax authority's declaration
// files (72) and carnê-leão exports (73), and the taxpayers of the previous
// program's folder (71). What they need of the shell comes through
// services.h.
namespace kdx2::importing {

// Command 72 (mode 1, declarations) and 73 (mode 10, carnê-leão exports).
void CONVRECE(int mode);
// The whole import of CONVRECE: folders, listing, marking, conversion.
void ABRE_DISCO(int mode);

// The folder prompt of the imports (mode 2): the origin, preset to the last
// one used (ROTARECEI), and the destination data folder, preset to LOCARQ.
// On success the destination is the data folder and the default folder,
// every table is closed and the origin is stored in the workstation's
// CONFIG record. False on Esc.
bool PEGAOSDIR(int mode);

// Command 71: the previous program's tables IMP01yy ... IMP19yy of a folder
// into a data folder of this program.
void CONVIR();

// True when one of the files prefix + number + suffix + ".DBF", numbers 1
// ... count (two digits; without a leading zero for "IRM"), is missing from
// the folder; the first missing one is named to the user.
bool VEJA_ARQ(int count, const std::string& folder, const std::string& prefix,
              const std::string& suffix);

// The counters window of a conversion: drawn when `first` is 1, then the
// counters written.
void MOSTRA_CONTAGEM(int first);

}  // namespace kdx2::importing
