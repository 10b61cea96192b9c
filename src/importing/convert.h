#pragma once

#include <string>

#include "importing/destination.h"
#include "importing/identify.h"

namespace kdx2::importing {

// One file the user marked, as the listing found it.
struct MarkedFile {
    std::string path;
    std::string typeKey;  // TIPO at listing time
    std::string cpf;
    std::string name;  // CP850
};

// FAZCONV: reads the whole file, then writes its taxpayer into the data
// folder LOCARQ (its tables opened by CRIA_BASE). A file that cannot be
// read, is being written by another program, changed since the listing, or
// holds damaged records writes nothing and says why. A carnê-leão export
// whose taxpayer is not in the data folder is looked for in the other
// registered folders, and written in the one where it is.
FileOutcome FAZCONV(ImportKind kind, const MarkedFile& file, int taxYear);

}  // namespace kdx2::importing
