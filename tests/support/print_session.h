#pragma once

// Session values of terminal 03 printing on drive C: to its own print file,
// with no printer chosen, no viewer and no messages.

#include <string>

#include "base/named_values.h"

namespace kdx2::test_support {

inline void setQuietPrintSession(base::NamedValues& s, const std::string& workFolder) {
    s.set("ARQDEF", "C:\\");
    s.set("ROTADEF", "C:\\");
    s.set("LOCARQ", "C:\\DADOS\\");
    s.set("LOCTRAB", workFolder);
    s.set("NUSU", "03");
    s.set("NRO_VIAS", 1);
    s.set("MOSIMP", "N");
    s.set("MOSTEL", "N");
    s.set("NOMEIMP", "Sem Impressora");
    s.set("STRING0", "");
    s.set("STRING1", "");
    s.set("MOS_MENS", false);
}

}  // namespace kdx2::test_support
