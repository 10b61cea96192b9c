#include "store/settings.h"

#include "base/named_values.h"
#include "base/text.h"

namespace kdx2::store {

std::string dataFolder() {
    return base::session().text("LOCARQ");
}

std::string installFolder() {
    return base::session().text("ARQDEF");
}

std::string terminalNumber() {
    std::string number = base::alltrim(base::session().text("NUSU"));
    if (number.empty()) return "00";
    if (number.size() == 1) number = "0" + number;
    return number;
}

bool progressShown() {
    return base::session().flag("MOS_MENS");
}

void setProgressShown(bool shown) {
    base::session().set("MOS_MENS", shown);
}

std::string aliasOverride() {
    return base::alltrim(base::session().text("APELIDO"));
}

bool indexesRebuiltOnOpen() {
    return base::session().flag("REFAZ_IND");
}

}  // namespace kdx2::store
